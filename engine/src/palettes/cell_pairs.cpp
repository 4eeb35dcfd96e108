// Colour pairs of the 8 x 8 cells of BMP1: for every cell the two palette
// colours that bring its pixels nearest, by the sum over the pixels of the
// Euclidean distance to the nearer colour of the pair.
//
// The pick depends on exact ties and on the last bit of each total (the first
// pair in search order with the smallest total wins), so every total is formed
// exactly as the plain search forms it: pixels row by row, each root taken in
// extended precision and added to the running total, which is rounded to
// double at every step. Forming all 256 totals that way is slow, so the search
// first forms cheap double-precision totals and only works out exactly the
// pairs that those leave in the running.

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "palettes/palette_methods.h"
#include "tessera/stages.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/wide_clones.h"

namespace tessera {

namespace {

constexpr int kCellPixels = 64;

// A pair and its mirror have the same total, and the search meets the pair
// with the lower first slot first, so a mirror can never win: only pairs with
// first slot <= second slot are visited, in the search order.
struct Pair {
  int first, second;
};
constexpr std::array<Pair, 136> kPairs = [] {
  std::array<Pair, 136> pairs{};
  std::size_t n = 0;
  for (int c1 = 1; c1 <= 16; ++c1)
    for (int c2 = c1; c2 <= 16; ++c2) pairs[n++] = Pair{c1, c2};
  return pairs;
}();

// The cheap totals are formed in single precision. Each root is within
// 2.7e-5 of the true one (a root below 442, rounded once: 64 of them, 0.002);
// each lane adds eight of them with partial sums below 4096 (half a unit in
// the last place: 2.5e-4, eight lanes of eight additions: 0.016), and the
// seven additions of the lanes, below 32768, round by 0.002 each (0.014).
// A cheap total is thus within 0.035 of the true sum, and an exact total
// within 1e-8. A pair whose cheap total lies more than twice that above the
// lowest cheap total has an exact total above the smallest one.
constexpr double kApproximationMargin = 0.1;

struct CellDistances {
  int pixels = 0;
  // Squared distance of pixel p (row by row) to palette slot k; entries past
  // the cell's pixels are 0 and add nothing to the approximate totals.
  alignas(64) std::int32_t squared[17][kCellPixels];
  alignas(64) float root[17][kCellPixels];
  std::vector<std::array<std::int32_t, kCellPixels>> seen;  // scratch of the exact search
};

TESSERA_WIDE_CLONES
void approximate_totals(const CellDistances& cell, double* totals) {
  for (std::size_t q = 0; q < kPairs.size(); ++q) {
    const float* a = cell.root[kPairs[q].first];
    const float* b = cell.root[kPairs[q].second];
    float lanes[8] = {};
    for (int p0 = 0; p0 < kCellPixels; p0 += 8)
      for (int l = 0; l < 8; ++l) lanes[l] += std::min(a[p0 + l], b[p0 + l]);
    totals[q] =
        ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
  }
}

// Square roots of small whole numbers, for the approximate totals. The plain
// library call keeps the compiler from doing several at once (it may have to
// set errno), so the vector instruction is used where there is one.
void take_roots(CellDistances& cell) {
  for (int k = 1; k <= 16; ++k) {
#if defined(__SSE2__)
    for (int p = 0; p < kCellPixels; p += 4) {
      const __m128i d = _mm_load_si128(reinterpret_cast<const __m128i*>(&cell.squared[k][p]));
      _mm_store_ps(&cell.root[k][p], _mm_sqrt_ps(_mm_cvtepi32_ps(d)));
    }
#else
    for (int p = 0; p < kCellPixels; ++p)
      cell.root[k][p] = std::sqrt(static_cast<float>(cell.squared[k][p]));
#endif
  }
}

using Nearer = std::array<std::int32_t, kCellPixels>;

// For each pixel the squared distance to the nearer colour of the pair; the
// root is monotone, so its root is the smaller of the two roots.
void nearer_squares(const CellDistances& cell, const Pair& pair, Nearer& out) {
  const std::int32_t* d1 = cell.squared[pair.first];
  const std::int32_t* d2 = cell.squared[pair.second];
  for (int p = 0; p < kCellPixels; ++p) out[static_cast<std::size_t>(p)] = std::min(d1[p], d2[p]);
}

// The total exactly as the plain search forms it.
double exact_total(const Nearer& nearer, int pixels) {
  double TOTALDISTANCE = 0.0;
  for (int p = 0; p < pixels; ++p)
    TOTALDISTANCE = static_cast<double>(TOTALDISTANCE + extended_root(nearer[static_cast<std::size_t>(p)]));
  return TOTALDISTANCE;
}

// The squared distances of the cell's pixels (channels side by side, row by
// row; 0 past the cell's pixels) to every palette colour, slot by slot, so
// that each slot's 64 distances are formed as one run of vector arithmetic.
TESSERA_WIDE_CLONES
void cell_squares(const std::int32_t (&pixel)[3][kCellPixels], int pixels, const Palette& palette,
                  CellDistances& cell) {
  for (int k = 1; k <= 16; ++k) {
    const std::int32_t r = palette[k][1], g = palette[k][2], b = palette[k][3];
    std::int32_t* out = cell.squared[k];
    for (int p = 0; p < kCellPixels; ++p) {
      const std::int32_t dr = pixel[0][p] - r, dg = pixel[1][p] - g, db = pixel[2][p] - b;
      out[p] = dr * dr + dg * dg + db * db;
    }
    for (int p = pixels; p < kCellPixels; ++p) out[p] = 0;
  }
}

Pair best_pair(const Store& s, int startx, int endx, int starty, int endy, CellDistances& cell) {
  alignas(64) std::int32_t pixel[3][kCellPixels] = {};
  cell.pixels = 0;
  for (int y = starty; y <= endy; ++y)
    for (int x = startx; x <= endx; ++x, ++cell.pixels)
      for (int c = 0; c < 3; ++c) pixel[c][cell.pixels] = s.IMAGEIN(x, y, c + 1);
  cell_squares(pixel, cell.pixels, s.OCLUSTER, cell);
  take_roots(cell);

  double approx[kPairs.size()];
  approximate_totals(cell, approx);
  const double lowest = *std::min_element(std::begin(approx), std::end(approx));

  double MINDISTANCE = 1e30;
  Pair best{-1, -1};
  // In a cell where one slot is nearest to every pixel, every pair holding it
  // has that same total. Pairs whose pixels see the same nearer distances as
  // a pair met before have the very same total, so they cannot be strictly
  // smaller and need no work.
  std::vector<Nearer>& seen = cell.seen;
  seen.clear();
  for (std::size_t q = 0; q < kPairs.size(); ++q) {
    if (approx[q] > lowest + kApproximationMargin) continue;  // cannot reach the smallest total
    Nearer nearer;
    nearer_squares(cell, kPairs[q], nearer);
    if (std::find(seen.begin(), seen.end(), nearer) != seen.end()) continue;
    seen.push_back(nearer);
    const double TOTALDISTANCE = exact_total(nearer, cell.pixels);
    if (MINDISTANCE > TOTALDISTANCE) {
      MINDISTANCE = TOTALDISTANCE;
      best = kPairs[q];
    }
  }
  return best;
}

}  // namespace

void SELECTCOLORBLOCKS(Store& s, Controls& controls) {
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.IMAGEINORG(x, y, c);

  // Pixels under the threshold take the key colour here so that they draw
  // their cell towards a pair holding it.
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      if (counts_as_transparent(s, s.IMAGEIN(x, y, 4)))
        for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.OCLUSTER[1][c];

  CellDistances cell;
  for (int N = 0; N <= 24; ++N) {
    controls.set_text(Ctl::StatusBar, "Processing Color Matrix Row: " + std::to_string(N + 1) + "...");
    for (int M = 0; M <= 39; ++M) {
      if (s.COLORBLOCKFIRSTPASS == 0 && s.OUTCOLORBLOCK[M][N][5] == 0) continue;
      const int STARTX = 8 * M, ENDX = std::min(8 * M + 7, s.OUTPUTX - 1);
      const int STARTY = 8 * N, ENDY = std::min(8 * N + 7, s.OUTPUTY - 1);
      const Pair best = best_pair(s, STARTX, ENDX, STARTY, ENDY, cell);
      auto& block = s.OUTCOLORBLOCK[M][N];
      block[1] = block[3] = best.first;
      block[2] = block[4] = best.second;
    }
  }
  s.COLORBLOCKFIRSTPASS = 0;
}

}  // namespace tessera
