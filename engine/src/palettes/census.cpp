// The colour census: every distinct colour of the working image, ascending by
// red, then green, then blue.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tessera/controls.h"
#include "tessera/stages.h"

namespace tessera {

namespace {

// Sorts 24-bit keys in two counting passes of 12 bits each.
void radix_sort(std::vector<std::uint32_t>& keys) {
  std::vector<std::uint32_t> tmp(keys.size());
  std::vector<std::uint32_t> count(4097);
  for (int shift : {0, 12}) {
    std::fill(count.begin(), count.end(), 0u);
    for (std::uint32_t k : keys) ++count[((k >> shift) & 4095) + 1];
    for (std::size_t i = 1; i < count.size(); ++i) count[i] += count[i - 1];
    for (std::uint32_t k : keys) tmp[count[(k >> shift) & 4095]++] = k;
    keys.swap(tmp);
  }
}

}  // namespace

void COUNTINPUTCOLORS(Store& s, Controls& controls) {
  // Later stages paint over IMAGEIN; the census always counts the working
  // image as the input stage left it.
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.IMAGEINORG(x, y, c);

  // Sorting the at most 64,000 pixels gives the same ascending list as
  // scanning a counter for each of the 2^24 colours, at a fraction of the
  // memory.
  std::vector<std::uint32_t> keys;
  keys.reserve(static_cast<std::size_t>(std::max(s.OUTPUTX, 0)) * static_cast<std::size_t>(std::max(s.OUTPUTY, 0)));
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      keys.push_back((static_cast<std::uint32_t>(s.IMAGEIN(x, y, 1) & 255) << 16) |
                     (static_cast<std::uint32_t>(s.IMAGEIN(x, y, 2) & 255) << 8) |
                     static_cast<std::uint32_t>(s.IMAGEIN(x, y, 3) & 255));
  radix_sort(keys);
  int entries = 0;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0 && keys[i] == keys[i - 1]) continue;
    CensusEntry& e = s.COLORS[static_cast<std::size_t>(++entries)];
    e[1] = static_cast<int>(keys[i] >> 16);
    e[2] = static_cast<int>((keys[i] >> 8) & 255);
    e[3] = static_cast<int>(keys[i] & 255);
  }
  // Only the entries the last census left past this one need clearing: a
  // fresh store's list past the picture's colours is never faulted in.
  s.end_census(entries);

  const std::string count = std::to_string(s.COLCOUNT);
  controls.set_text(Ctl::UniqueColors,
                    std::to_string(s.XSIZE) + "x" + std::to_string(s.YSIZE) + " with " + count + " Colors");
  controls.set_text(Ctl::StatusBar, "Unique Colors ... " + count);
  // An empty working image is only what the picture left us with; say why.
  if (!s.LOADERROR.empty()) controls.set_text(Ctl::StatusBar, "Picture could not be read: " + s.LOADERROR);
  if (!s.LOADDAMAGE.empty())
    controls.set_text(Ctl::StatusBar, "Picture is damaged: " + s.LOADDAMAGE + "; converted what could be read");
}

}  // namespace tessera
