#include "tessera/store.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tessera {

Store::Store() : COLORS(static_cast<std::size_t>(kMaxColors) + 1, CensusEntry{}) {}

std::string default_temp_path() {
  if (const char* tmp = std::getenv("TMP"); tmp != nullptr && *tmp != '\0') return tmp;
  std::error_code ec;
  auto dir = std::filesystem::temp_directory_path(ec);
  return ec ? std::string("/tmp") : dir.string();
}

}  // namespace tessera
