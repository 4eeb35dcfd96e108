// The comparison sheet: one picture rendered with every chosen palette method
// crossed with every chosen dithering, side by side in one PNG, each tile
// captioned with its settings.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "tessera/surface.h"

namespace tessera::cli {

// One column of the sheet: a diffusion kernel (or none) or the ordered pre-pass.
struct SheetColumn {
  Diffusion diffusion = Diffusion::None;
  bool bayer = false;
  std::string caption;
};

// The lists of --sheet-methods (method values) and --sheet-diffusions; "" or
// what is wrong with the list.
std::string sheet_methods(const std::string& list, std::vector<Method>& methods);
std::string sheet_diffusions(const std::string& list, std::vector<SheetColumn>& columns);

struct SheetResult {
  bool ok = false;
  std::string error;
};

// Renders the sheet of one picture (shown: its name in the heading) and writes
// it as a PNG to settings.contact_sheet; threads: how many rows at once.
SheetResult write_contact_sheet(const std::string& picture, const std::string& shown, const Settings& settings,
                                unsigned threads);

// The sheet itself, for tests: rows are methods, columns the dithering.
Surface contact_sheet(const std::string& picture, const std::string& shown, const Settings& settings,
                      unsigned threads, std::string& error);

// Where tile (row, column) lies on the sheet (its top-left corner); every
// tile is 320 x 200.
struct TilePlace {
  int x = 0, y = 0;
};
TilePlace tile_place(int row, int column);

}  // namespace tessera::cli
