// The settings files (".tessera"): plain text, one "option = value" a line,
// the option names being those of the settings table (settings.h), which are
// tessera-convert's long options too.
//
// The window and the command line both read and write these files through
// the functions here, so a file saved by one gives the same bytes on the other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tessera/settings.h"

namespace tessera {

// The file's text: a heading comment, then every setting in the fixed order
// (the look's only where they are not at their defaults).
std::string settings_file_text(const ConversionSettings& settings);

// Applies the lines of a file's text over the settings given. Blank lines and
// lines whose first non-blank is '#' are skipped; a later line for the same
// setting wins. Returns "" or "line N: ..." for the first line that is wrong;
// the settings are then left as they were. A file that says `best = true`
// gets the best look in every setting it does not name itself. The names of
// the settings it holds are added to `named`, when given.
std::string read_settings_text(std::string_view text, ConversionSettings& settings,
                               std::vector<std::string>* named = nullptr);

// The same for a file: "" or "<path>: ..." (including "<path>:N: ..." for a
// wrong line). Only a regular file of at most 1 MB is read; anything else
// (a device, a FIFO, a folder, a link to one) is refused without waiting.
std::string load_settings_file(const std::string& path, ConversionSettings& settings,
                               std::vector<std::string>* named = nullptr);
// Writes the file through a temporary file renamed over the path; "" or why not.
std::string save_settings_file(const std::string& path, const ConversionSettings& settings);

}  // namespace tessera
