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

#include "base/kernel_forms.h"
#include "palettes/cell_pairs.h"
#include "palettes/palette_methods.h"
#include "tessera/stages.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessera {

namespace cell_pairs {

namespace {

// The cheap totals are formed in single precision. Each root is within
// 2.7e-5 of the true one (a root below 442, rounded once: 64 of them, 0.002);
// each lane adds eight of them with partial sums below 4096 (half a unit in
// the last place: 2.5e-4, eight lanes of eight additions: 0.016), and the
// seven additions of the lanes, below 32768, round by 0.002 each (0.014).
// A cheap total is thus within 0.035 of the true sum, and an exact total
// within 1e-8. A pair whose cheap total lies more than twice that above the
// lowest cheap total has an exact total above the smallest one.
constexpr double kApproximationMargin = 0.1;

#include "palettes/cell_pairs_loops.inc"

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

// The vectorised loops of one kernel set.
struct Loops {
  void (*squares)(const std::int32_t (&)[3][kCellPixels], int, const Palette&, CellDistances&);
  void (*totals)(const CellDistances&, double*);
};

Loops loops_of(KernelSet kernels) {
#if defined(TESSERA_AVX2_FORMS)
  if (kernels == KernelSet::Avx2) return {avx2::cell_squares, avx2::approximate_totals};
#endif
  (void)kernels;
  return {cell_squares, approximate_totals};
}

Pair best_pair(const Store& s, int startx, int endx, int starty, int endy, const Loops& loops, CellDistances& cell) {
  alignas(64) std::int32_t pixel[3][kCellPixels] = {};
  cell.pixels = 0;
  for (int y = starty; y <= endy; ++y)
    for (int x = startx; x <= endx; ++x, ++cell.pixels)
      for (int c = 0; c < 3; ++c) pixel[c][cell.pixels] = s.IMAGEIN(x, y, c + 1);
  loops.squares(pixel, cell.pixels, s.OCLUSTER, cell);
  take_roots(cell);

  double approx[kPairs.size()];
  loops.totals(cell, approx);
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

}  // namespace cell_pairs

void SELECTCOLORBLOCKS(Store& s, Controls& controls) { SELECTCOLORBLOCKS(s, controls, best_kernel_set()); }

void SELECTCOLORBLOCKS(Store& s, Controls& controls, KernelSet kernels) {
  using namespace cell_pairs;
  const Loops loops = loops_of(kernels);
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
      const Pair best = best_pair(s, STARTX, ENDX, STARTY, ENDY, loops, cell);
      auto& block = s.OUTCOLORBLOCK[M][N];
      block[1] = block[3] = best.first;
      block[2] = block[4] = best.second;
    }
  }
  s.COLORBLOCKFIRSTPASS = 0;
}

}  // namespace tessera
