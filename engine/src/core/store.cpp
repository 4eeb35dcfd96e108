#include "tessera/store.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tessera {

Store::Store() : COLORS(static_cast<std::size_t>(kMaxColors) + 1) {}

Store::Store(Bare)
    : IMAGEIN(decltype(IMAGEIN)::Unallocated{}),
      IMAGEINORG(decltype(IMAGEINORG)::Unallocated{}),
      IMAGEOUT(decltype(IMAGEOUT)::Unallocated{}),
      RENDEREDIMAGE(decltype(RENDEREDIMAGE)::Unallocated{}) {}

void Store::reset() {
  // Whatever members the store gains, the bare store gives them their start
  // values; only the buffers are carried over, and cleared as a fresh store
  // has them.
  auto in = std::move(IMAGEIN);
  auto org = std::move(IMAGEINORG);
  auto out = std::move(IMAGEOUT);
  auto rendered = std::move(RENDEREDIMAGE);
  auto colors = std::move(COLORS);
  *this = Store(Bare{});
  in.clear();
  org.clear();
  out.clear();
  rendered.clear();
  std::fill(colors.begin(), colors.end(), CensusEntry{});
  IMAGEIN = std::move(in);
  IMAGEINORG = std::move(org);
  IMAGEOUT = std::move(out);
  RENDEREDIMAGE = std::move(rendered);
  COLORS = std::move(colors);
}

void Store::end_census(int count) {
  const int limit = static_cast<int>(COLORS.size()) - 1;
  for (int k = std::max(count, 0) + 1; k <= std::min(COLCOUNT, limit); ++k) COLORS[static_cast<std::size_t>(k)] = CensusEntry{};
  COLCOUNT = count;
}

std::string default_temp_path() {
  if (const char* tmp = std::getenv("TMP"); tmp != nullptr && *tmp != '\0') return tmp;
  std::error_code ec;
  auto dir = std::filesystem::temp_directory_path(ec);
  return ec ? std::string("/tmp") : dir.string();
}

}  // namespace tessera
