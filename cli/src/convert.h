// One picture through the whole conversion, as "PROCESS" and the save
// buttons would do it in a freshly started window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "palette_options.h"
#include "tessera/store.h"
#include "tessera/surface.h"

namespace tessera::cli {

// What the conversion found, for a report: set once the stages have run.
struct Facts {
  bool rendered = false;
  int picture_width = 0, picture_height = 0;  // XSIZE x YSIZE
  int width = 0, height = 0;                  // the working image, OUTPUTX x OUTPUTY
  int colours = 0;                            // COLCOUNT
  bool transparent = false;
  std::array<std::uint32_t, 16> palette{};    // 0xRRGGBB of OCLUSTER 1..16
  int kmeans_iterations = 0;                  // 0 when K-means++ did not run
};

struct Outcome {
  bool ok = false;
  std::vector<std::string> written;  // files written, in order
  std::vector<std::string> kept;     // with --no-clobber: files left as they were, in order
  std::string error;                 // what went wrong, naming the file
  std::string damage;                // not empty: converted from a damaged picture; why
  std::string palette_note;          // how much of a palette file went in, when not all of it exactly
  Facts facts;
};

// A surface's pixels as PNG bytes (Qt's writer, loaded on first need); empty
// when encoding failed, and then, when Qt could not be loaded, why in *why.
std::vector<std::uint8_t> png_bytes(const Surface& surface, std::string* why = nullptr);

// temp_dir: where the stages write their preview files on the way.
// plan: what the palette options ask for (none when null).
Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir,
                        const PalettePlan* plan = nullptr);

// The same in a store of the caller's, freshly made or reset (Store::reset):
// a worker that converts many pictures keeps one store and gets the very same
// results.
Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir,
                        Store& fresh, const PalettePlan* plan = nullptr);

}  // namespace tessera::cli
