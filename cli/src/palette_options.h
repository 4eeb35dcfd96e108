// The palette options of the command line: a palette file to convert onto,
// pinned colours, one palette shared by all the pictures, and the palette
// written out as a file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "options.h"
#include "tessera/palette_file.h"
#include "tessera/pins.h"
#include "tessera/store.h"

namespace tessera::cli {

// Usage errors of the palette options ("" when they are sound).
std::string check_palette_options(const Settings& settings, std::size_t pictures);

// The colours of --palette's file, or why there are none (the file named).
std::string read_palette_option(const Settings& settings, std::vector<PaletteColour>& colours);

// The colours of --pin, reduced to the grid (empty without the option).
std::vector<PinAt> pinned_colours(const Settings& settings);

// What every conversion of a run does about its palette.
struct PalettePlan {
  std::optional<std::vector<PaletteColour>> fixed;  // --palette: the file's colours
  std::string palette_name;                         // the file as named
  std::string shared_note;                          // what choosing the shared palette from it tells
  std::optional<PaletteEntries> shared;             // --shared-palette: the palette of all pictures
  std::vector<PinAt> pins;                          // --pin
  std::string export_path;                          // --export-palette for a single picture
};

// Reads the palette file and, for --shared-palette, chooses the one palette
// over all the pictures (and writes --export-palette for it). Returns "" or
// what went wrong; written gets the files written on the way, kept those
// that --no-clobber left as they were.
// pictures: the pictures of the run, as read.
std::string make_palette_plan(const Settings& settings, const std::vector<std::string>& pictures, PalettePlan& plan,
                              std::vector<std::string>& written, std::vector<std::string>& kept);

// After the census of one picture: pins what the plan keeps. "" or why the
// colours do not fit this picture.
std::string apply_palette_plan(Store& store, const PalettePlan& plan);

// After the rendering of one picture: writes its palette when asked to.
// "" when nothing was to be done, else the path written or, in error, the
// reason; ok tells which.
std::string export_palette(const Store& store, const PalettePlan& plan, bool& ok);

}  // namespace tessera::cli
