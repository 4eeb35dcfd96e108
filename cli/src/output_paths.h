// The names a run writes to, checked and settled before any work: the target
// format from the name given to --output, the extensions of --png and
// --export-bmp, standard output ("-"), and that no two outputs, and no output
// and picture, are one file.
#pragma once

#include <string>

#include "options.h"

namespace tessera::cli {

// The name that stands for standard output in --output, --export-bmp and --png.
inline constexpr const char* kStandardOutput = "-";

// Settles settings.format from --output's name when --format was not given
// and checks every output name. Returns a usage error naming what clashes, or "".
std::string settle_output_paths(Settings& settings);

}  // namespace tessera::cli
