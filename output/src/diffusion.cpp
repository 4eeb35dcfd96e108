#include "tessera/diffusion.h"

#include <array>
#include <cmath>

#include "tessera/extended.h"
#include "tessera/render.h"

namespace tessera {

namespace {

constexpr std::array<KernelEntry, 4> kFloydSteinberg = {{
    {1, 0, 7.0 / 16},
    {1, 1, 1.0 / 16},
    {0, 1, 5.0 / 16},
    {-1, 1, 3.0 / 16},
}};

// Passes on only 6/8 of the error, which keeps highlights and shadows clean.
constexpr std::array<KernelEntry, 6> kAtkinson = {{
    {1, 0, 1.0 / 8},
    {2, 0, 1.0 / 8},
    {-1, 1, 1.0 / 8},
    {0, 1, 1.0 / 8},
    {1, 1, 1.0 / 8},
    {0, 2, 1.0 / 8},
}};

constexpr std::array<KernelEntry, 7> kBurkes = {{
    {1, 0, 1.0 / 4},
    {2, 0, 1.0 / 8},
    {-2, 1, 1.0 / 16},
    {-1, 1, 1.0 / 8},
    {0, 1, 1.0 / 4},
    {1, 1, 1.0 / 8},
    {2, 1, 1.0 / 16},
}};

constexpr std::array<KernelEntry, 12> kStucki = {{
    {1, 0, 8.0 / 42},
    {2, 0, 4.0 / 42},
    {-2, 1, 2.0 / 42},
    {-1, 1, 4.0 / 42},
    {0, 1, 8.0 / 42},
    {1, 1, 4.0 / 42},
    {2, 1, 2.0 / 42},
    {-2, 2, 1.0 / 42},
    {-1, 2, 2.0 / 42},
    {0, 2, 4.0 / 42},
    {1, 2, 2.0 / 42},
    {2, 2, 1.0 / 42},
}};

}  // namespace

std::span<const KernelEntry> diffusion_kernel(int dither) {
  switch (dither) {
    case 1:
      return kFloydSteinberg;
    case 2:
      return kAtkinson;
    case 3:
      return kBurkes;
    case 4:
      return kStucki;
    default:
      return {};
  }
}

int diffused_value(int value, double weight, double cdist, double strength) {
  // Extended precision decides the ties: Atkinson's 0.125 x 80 x 0.95 is just
  // below 9.5 and must round down, which double arithmetic would not. Double
  // arithmetic is several times faster, though, and lands within 1e-11 of the
  // extended result for every value that stays in the channel range, so it
  // answers whenever it is clearly away from a half and from the limits.
  const double fast = static_cast<double>(value) + weight * cdist * strength;
  if (fast > kChannelFloor + 1 && fast < kChannelCeiling - 1) {
    constexpr double kShift = 0x1.8p52;  // adding it rounds to an integer, ties to even
    const double rounded = (fast + kShift) - kShift;
    const double off_half = std::fabs(std::fabs(fast - rounded) - 0.5);
    if (off_half > 1e-9) return static_cast<int>(rounded);
  }
  const long double v = static_cast<long double>(value) +
                        static_cast<long double>(weight) * cdist * static_cast<long double>(strength);
  // Unbounded strengths would let the values grow until distances overflow.
  if (!(v >= kChannelFloor)) return kChannelFloor;  // also NaN
  if (v > kChannelCeiling) return kChannelCeiling;
  return round_even_int(v);
}

void diffuse_error(Store& store, int x, int y, const double (&CDIST)[4], int dither, double strength) {
  const bool mirrored = (y & 1) != 0;
  for (const KernelEntry& k : diffusion_kernel(dither)) {
    const int tx = x + (mirrored ? -k.DX : k.DX);
    const int ty = y + k.DY;
    if (tx < 0 || tx > store.OUTPUTX - 1 || ty < 0 || ty > store.OUTPUTY - 1) continue;
    int* rgb = &store.IMAGEIN(tx, ty, 1);  // channels 1..3 lie side by side
    for (int c = 0; c < 3; ++c) rgb[c] = diffused_value(rgb[c], k.WEIGHT, CDIST[c + 1], strength);
  }
}

}  // namespace tessera
