// Work on the rows of the working image split over a few threads.
#pragma once

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace tessera {

// Runs rows(first, last) over 0..count-1 in a few bands on separate threads.
// Every working pixel depends only on the picture, so the bands may run in
// any order and the result is the same bytes as one pass; without threads
// the bands simply run one after the other.
template <typename Rows>
void in_bands(int count, Rows rows) {
  const int bands = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
  std::vector<std::thread> helpers;
  int first = 0;
  for (int b = 0; b < bands; ++b) {
    const int last = static_cast<int>(static_cast<long long>(count) * (b + 1) / bands);
    if (b + 1 < bands) {
      try {
        helpers.emplace_back(rows, first, last);
      } catch (const std::system_error&) {
        rows(first, last);
      }
    } else {
      rows(first, last);
    }
    first = last;
  }
  for (std::thread& t : helpers) t.join();
}

}  // namespace tessera
