// One picture through the whole conversion, as "PROCESS" and the save
// buttons would do it in a freshly started window.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "tessera/store.h"

namespace tessera::cli {

struct Outcome {
  bool ok = false;
  std::vector<std::string> written;  // files written, in order
  std::string error;                 // what went wrong, naming the file
};

// temp_dir: where the stages write their preview files on the way.
Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir);

// The same in a store of the caller's, freshly made or reset (Store::reset):
// a worker that converts many pictures keeps one store and gets the very same
// results.
Outcome convert_picture(const std::string& picture, const Settings& settings, const std::string& temp_dir,
                        Store& fresh);

}  // namespace tessera::cli
