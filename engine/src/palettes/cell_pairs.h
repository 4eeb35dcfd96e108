// The pieces of the BMP1 cell-pair search (cell_pairs.cpp) that its AVX2
// form (cell_pairs_avx2.cpp) shares.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tessera/store.h"

namespace tessera::cell_pairs {

inline constexpr int kCellPixels = 64;

// A pair and its mirror have the same total, and the search meets the pair
// with the lower first slot first, so a mirror can never win: only pairs with
// first slot <= second slot are visited, in the search order.
struct Pair {
  int first, second;
};
inline constexpr std::array<Pair, 136> kPairs = [] {
  std::array<Pair, 136> pairs{};
  std::size_t n = 0;
  for (int c1 = 1; c1 <= 16; ++c1)
    for (int c2 = c1; c2 <= 16; ++c2) pairs[n++] = Pair{c1, c2};
  return pairs;
}();

struct CellDistances {
  int pixels = 0;
  // Squared distance of pixel p (row by row) to palette slot k; entries past
  // the cell's pixels are 0 and add nothing to the approximate totals.
  alignas(64) std::int32_t squared[17][kCellPixels];
  alignas(64) float root[17][kCellPixels];
  std::vector<std::array<std::int32_t, kCellPixels>> seen;  // scratch of the exact search
};

// The loops of cell_pairs_loops.inc built for AVX2.
namespace avx2 {
void approximate_totals(const CellDistances& cell, double* totals);
void cell_squares(const std::int32_t (&pixel)[3][kCellPixels], int pixels, const Palette& palette,
                  CellDistances& cell);
}  // namespace avx2

}  // namespace tessera::cell_pairs
