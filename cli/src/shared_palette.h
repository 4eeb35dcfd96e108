// --shared-palette: the first stages of every picture, one census over all
// of them and the palette chosen over it.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "palette_options.h"
#include "tessera/palette_file.h"

namespace tessera::cli {

// Runs the input stage of every picture (pictures that cannot be read are
// left out here; their conversion reports them), adds their working images
// into one census and chooses the palette over it with the settings' method
// and the plan's pinned colours and palette file (whose note goes into the
// plan). Returns "" or why no palette came of it.
std::string choose_shared_palette_for(const ConversionSettings& settings, const std::vector<std::string>& pictures,
                                      PalettePlan& plan, PaletteEntries& palette);

}  // namespace tessera::cli
