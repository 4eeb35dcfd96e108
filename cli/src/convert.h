// One picture through the whole conversion, as "PROCESS" and the save
// buttons would do it in a freshly started window.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "palette_options.h"

namespace tessera::cli {

struct Outcome {
  bool ok = false;
  std::vector<std::string> written;  // files written, in order
  std::string error;                 // what went wrong, naming the file
};

// temp_dir: where the stages write their preview files on the way.
// plan: what the palette options ask for (none when null).
Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir,
                        const PalettePlan* plan = nullptr);

}  // namespace tessera::cli
