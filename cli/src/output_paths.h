// The names a run writes to, checked and settled before any work: the target
// format from the name given to --output, the extensions of --png and
// --export-bmp, standard output ("-"), and what a name is compared by when
// the run looks for two outputs, or an output and a picture, that are one file.
#pragma once

#include <string>

#include "options.h"

namespace tessera::cli {

// The name that stands for standard output in --output, --export-bmp and --png.
inline constexpr const char* kStandardOutput = "-";

// Settles settings.format from --output's name when --format was not given
// and checks the names of the outputs. Returns a usage error, or "".
std::string settle_output_names(Settings& settings);

// What a file name is compared by: the file it resolves to after links
// (standard output for "-"), or the new name in its folder, or, when neither
// can be found, the spelling made absolute. Two names with the same key are
// one file. "" for a character device (/dev/null, a terminal), which can take
// any number of writes without anything being lost.
std::string file_key(const std::string& path);

}  // namespace tessera::cli
