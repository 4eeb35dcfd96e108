// Error diffusion: the four kernels as data and the one step that passes a
// pixel's error on to its neighbours.
#pragma once

#include <array>
#include <cmath>
#include <span>

#include "tessera/extended.h"
#include "tessera/kernel_set.h"
#include "tessera/render.h"
#include "tessera/store.h"

namespace tessera {

struct KernelEntry {
  int DX;  // columns to the right on even rows; mirrored on odd rows
  int DY;  // rows downwards
  double WEIGHT;
};

// Kernel of DITHER 1 (Floyd-Steinberg), 2 (Atkinson), 3 (Burkes),
// 4 (Stucki), 5 (Jarvis-Judice-Ninke), 6 (Sierra), 7 (two-row Sierra) or
// 8 (Sierra Lite), entries in the order they are applied; empty for anything
// else.
std::span<const KernelEntry> diffusion_kernel(int dither);

// value + weight x cdist x strength, in extended precision, rounded half to
// even and saturated to the channel range.
inline int diffused_value(int value, double weight, double cdist, double strength);

// Passes the error CDIST of pixel (x, y) (DITHER 1..4) on to the kernel's targets inside
// OUTPUTX x OUTPUTY, mirrored on odd rows, with the step of the given kernel
// set (which must run on this machine; every set gives the same values).
void diffuse_error(Store& store, int x, int y, const double (&CDIST)[4], int dither, double strength,
                   KernelSet kernels = best_kernel_set());

// ---- the same, for a kernel known when compiling ---------------------------
// Rendering calls these once per pixel: with the kernel a constant the loop
// over its entries unrolls, the weights become constants and the edge tests
// are needed only near the edges. The arithmetic is the same, step for step.

namespace diffusion_kernels {

inline constexpr std::array<KernelEntry, 4> kFloydSteinberg = {{
    {1, 0, 7.0 / 16},
    {1, 1, 1.0 / 16},
    {0, 1, 5.0 / 16},
    {-1, 1, 3.0 / 16},
}};

// Passes on only 6/8 of the error, which keeps highlights and shadows clean.
inline constexpr std::array<KernelEntry, 6> kAtkinson = {{
    {1, 0, 1.0 / 8},
    {2, 0, 1.0 / 8},
    {-1, 1, 1.0 / 8},
    {0, 1, 1.0 / 8},
    {1, 1, 1.0 / 8},
    {0, 2, 1.0 / 8},
}};

inline constexpr std::array<KernelEntry, 7> kBurkes = {{
    {1, 0, 1.0 / 4},
    {2, 0, 1.0 / 8},
    {-2, 1, 1.0 / 16},
    {-1, 1, 1.0 / 8},
    {0, 1, 1.0 / 4},
    {1, 1, 1.0 / 8},
    {2, 1, 1.0 / 16},
}};

inline constexpr std::array<KernelEntry, 12> kStucki = {{
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

// The wider kernels of the look (DITHER 5..8, chosen through KERNEL), which
// only its own rendering runs.
inline constexpr std::array<KernelEntry, 12> kJarvisJudiceNinke = {{
    {1, 0, 7.0 / 48},
    {2, 0, 5.0 / 48},
    {-2, 1, 3.0 / 48},
    {-1, 1, 5.0 / 48},
    {0, 1, 7.0 / 48},
    {1, 1, 5.0 / 48},
    {2, 1, 3.0 / 48},
    {-2, 2, 1.0 / 48},
    {-1, 2, 3.0 / 48},
    {0, 2, 5.0 / 48},
    {1, 2, 3.0 / 48},
    {2, 2, 1.0 / 48},
}};

inline constexpr std::array<KernelEntry, 10> kSierra = {{
    {1, 0, 5.0 / 32},
    {2, 0, 3.0 / 32},
    {-2, 1, 2.0 / 32},
    {-1, 1, 4.0 / 32},
    {0, 1, 5.0 / 32},
    {1, 1, 4.0 / 32},
    {2, 1, 2.0 / 32},
    {-1, 2, 2.0 / 32},
    {0, 2, 3.0 / 32},
    {1, 2, 2.0 / 32},
}};

inline constexpr std::array<KernelEntry, 7> kTwoRowSierra = {{
    {1, 0, 4.0 / 16},
    {2, 0, 3.0 / 16},
    {-2, 1, 1.0 / 16},
    {-1, 1, 2.0 / 16},
    {0, 1, 3.0 / 16},
    {1, 1, 2.0 / 16},
    {2, 1, 1.0 / 16},
}};

inline constexpr std::array<KernelEntry, 3> kSierraLite = {{
    {1, 0, 2.0 / 4},
    {-1, 1, 1.0 / 4},
    {0, 1, 1.0 / 4},
}};

}  // namespace diffusion_kernels


// The kernel of DITHER 1..4 as a constant table.
template <int Dither>
constexpr const auto& kernel_of() {
  static_assert(Dither >= 1 && Dither <= 4);
  if constexpr (Dither == 1) return diffusion_kernels::kFloydSteinberg;
  if constexpr (Dither == 2) return diffusion_kernels::kAtkinson;
  if constexpr (Dither == 3) return diffusion_kernels::kBurkes;
  if constexpr (Dither == 4) return diffusion_kernels::kStucki;
}

inline int diffused_value(int value, double weight, double cdist, double strength) {
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

// diffuse_error for DITHER 1..4.
template <int Dither>
inline void diffuse_error_of(Store& store, int x, int y, const double (&CDIST)[4], double strength) {
  constexpr const auto& kernel = kernel_of<Dither>();
  const bool mirrored = (y & 1) != 0;
  // No kernel reaches further than two pixels to either side or down.
  const bool inside = x >= 2 && x + 2 <= store.OUTPUTX - 1 && y + 2 <= store.OUTPUTY - 1;
  for (const KernelEntry& k : kernel) {
    const int tx = x + (mirrored ? -k.DX : k.DX);
    const int ty = y + k.DY;
    if (!inside && (tx < 0 || tx > store.OUTPUTX - 1 || ty < 0 || ty > store.OUTPUTY - 1)) continue;
    int* rgb = &store.IMAGEIN(tx, ty, 1);  // channels 1..3 lie side by side
    for (int c = 0; c < 3; ++c) rgb[c] = diffused_value(rgb[c], k.WEIGHT, CDIST[c + 1], strength);
  }
}

}  // namespace tessera
