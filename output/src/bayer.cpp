#include "tessera/bayer.h"

#include <algorithm>
#include <cmath>

#include "tessera/render.h"

namespace tessera {

namespace {

constexpr int kBayerIndex[4][4] = {
    // indexed [x mod 4][y mod 4]
    {0, 8, 2, 10},
    {12, 4, 14, 6},
    {3, 11, 1, 9},
    {15, 7, 13, 5},
};

constexpr int kStep = 32;

}  // namespace

float BAYERMATRIX(int xm, int ym) {
  return static_cast<float>(kBayerIndex[xm & 3][ym & 3]) / 15.0f;
}

int ordered_value(int value, int xm, int ym, double threshold) {
  // Offset and quotient are never stored, so they stay in extended precision
  // until the floor; with an enormous threshold the sum is infinite and the
  // saturation below catches it.
  const long double offset = (static_cast<long double>(BAYERMATRIX(xm, ym)) + 0.5L) * threshold;
  const long double v = (static_cast<long double>(value) + offset) / kStep;
  const long double stepped = std::floor(v) * kStep;
  if (!(stepped >= kChannelFloor)) return kChannelFloor;  // also NaN
  if (stepped > kChannelCeiling) return kChannelCeiling;
  return static_cast<int>(stepped);
}

void ordered_prepass(Store& store) {
  const double threshold = 24 * store.BAYERSTRENGTH;
  for (int y = 0; y < store.OUTPUTY; ++y)
    for (int x = 0; x < store.OUTPUTX; ++x)
      for (int c = 1; c <= 3; ++c)
        store.IMAGEIN(x, y, c) = ordered_value(store.IMAGEIN(x, y, c), x & 3, y & 3, threshold);
}

}  // namespace tessera
