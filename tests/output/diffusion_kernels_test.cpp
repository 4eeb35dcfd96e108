// The diffusion step of every kernel set against the step written out
// plainly in extended precision: every kernel, both row directions, edges,
// values near the channel limits, errors that land exactly on halves, and
// strengths from tiny to runaway (where the double shortcut must give way).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include "kernel_sets.h"
#include "tessera/diffusion.h"
#include "tessera/render.h"

namespace tessera {
namespace {

// value + weight x error x strength in extended precision, saturated to the
// channel range (NaN to the floor) and rounded half to even.
int plain_value(int value, double weight, double cdist, double strength) {
  const long double v =
      static_cast<long double>(value) + static_cast<long double>(weight) * cdist * static_cast<long double>(strength);
  if (!(v >= kChannelFloor)) return kChannelFloor;
  if (v > kChannelCeiling) return kChannelCeiling;
  return static_cast<int>(std::nearbyint(v));
}

void plain_step(Store& s, int x, int y, const double (&CDIST)[4], int dither, double strength) {
  for (const KernelEntry& k : diffusion_kernel(dither)) {
    const int tx = x + (y % 2 == 1 ? -k.DX : k.DX), ty = y + k.DY;
    if (tx < 0 || tx >= s.OUTPUTX || ty >= s.OUTPUTY) continue;
    for (int c = 1; c <= 3; ++c) s.IMAGEIN(tx, ty, c) = plain_value(s.IMAGEIN(tx, ty, c), k.WEIGHT, CDIST[c], strength);
  }
}

class DiffusionStep : public testing::EveryKernelSet {
 protected:
  // The first place around (x, y) that a step may reach where the two
  // stores differ (every channel, and the alpha beside them); empty if none.
  std::string first_difference(int x, int y) const {
    for (int ty = y; ty <= std::min(y + 2, plain->OUTPUTY - 1); ++ty)
      for (int tx = std::max(x - 2, 0); tx <= std::min(x + 2, plain->OUTPUTX - 1); ++tx)
        for (int c = 1; c <= 4; ++c)
          if (stepped->IMAGEIN(tx, ty, c) != plain->IMAGEIN(tx, ty, c))
            return "target " + std::to_string(tx) + "," + std::to_string(ty) + " channel " + std::to_string(c) +
                   ": " + std::to_string(stepped->IMAGEIN(tx, ty, c)) + " instead of " +
                   std::to_string(plain->IMAGEIN(tx, ty, c));
    return "";
  }

  void make_stores(int width, int height) {
    plain = std::make_unique<Store>();
    plain->OUTPUTX = width;
    plain->OUTPUTY = height;
    stepped = std::make_unique<Store>(*plain);
  }

  std::unique_ptr<Store> plain, stepped;
};

TEST_P(DiffusionStep, GivesThePlainStepOnEveryKernel) {
  const double strengths[] = {diffusion_strength("100"), diffusion_strength("37.5"), diffusion_strength("110"),
                              diffusion_strength("1"),   diffusion_strength("-80"),  diffusion_strength("5000"),
                              1e300,                     std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
  std::mt19937 rng(12);
  std::uniform_int_distribution<int> any_value(kChannelFloor, kChannelCeiling), byte(0, 255), edge(0, 3);
  const int limits[] = {kChannelFloor, kChannelFloor + 1, kChannelCeiling - 1, kChannelCeiling};
  for (auto [w, h] : {std::pair{320, 200}, std::pair{7, 5}, std::pair{1, 1}, std::pair{3, 200}}) {
    make_stores(w, h);
    for (int dither = 1; dither <= 4; ++dither)
      for (int t = 0; t < 20000; ++t) {
        const int x = static_cast<int>(rng() % static_cast<unsigned>(w));
        const int y = static_cast<int>(rng() % static_cast<unsigned>(h));
        // Targets around the pixel: bytes, values anywhere in the range, or
        // at and next to the limits; alpha any byte.
        for (int ty = y; ty <= std::min(y + 2, h - 1); ++ty)
          for (int tx = std::max(x - 2, 0); tx <= std::min(x + 2, w - 1); ++tx)
            for (int c = 1; c <= 4; ++c) {
              const int kind = static_cast<int>(rng() % 4);
              const int v = c == 4 ? byte(rng) : kind == 0 ? byte(rng) : kind == 1 ? any_value(rng) : limits[edge(rng)];
              plain->IMAGEIN(tx, ty, c) = stepped->IMAGEIN(tx, ty, c) = v;
            }
        double CDIST[4] = {0, 0, 0, 0};
        for (int c = 1; c <= 3; ++c) {
          // Whole errors (as rendering gives them) and, now and then, ones
          // that the weights turn into halves.
          CDIST[c] = static_cast<double>(static_cast<int>(rng() % 8191) - 4095);
          if (rng() % 8 == 0) CDIST[c] = 8.0 * static_cast<int>(rng() % 64);
        }
        const double strength = strengths[rng() % std::size(strengths)];
        plain_step(*plain, x, y, CDIST, dither, strength);
        diffuse_error(*stepped, x, y, CDIST, dither, strength, kernels());
        ASSERT_EQ(first_difference(x, y), "")
            << "kernel " << dither << ", pixel " << x << "," << y << ", strength " << strength;
      }
  }
}

// Every weight against every whole error at common strengths, from values
// where the step lands on or near a half.
TEST_P(DiffusionStep, DecidesTiesAsThePlainStep) {
  make_stores(8, 4);
  for (const char* text : {"100", "50", "75", "110", "33"})
    for (int cdist = -400; cdist <= 400; ++cdist)
      for (int value : {0, 100, 255})
        for (int dither = 1; dither <= 4; ++dither) {
          for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
              for (int c = 1; c <= 3; ++c) plain->IMAGEIN(x, y, c) = stepped->IMAGEIN(x, y, c) = value;
          const double CDIST[4] = {0, static_cast<double>(cdist), static_cast<double>(-cdist),
                                   static_cast<double>(cdist / 2)};
          const double strength = diffusion_strength(text);
          // An odd row inside the picture and an even one at its top.
          for (auto [x, y] : {std::pair{3, 1}, std::pair{4, 0}}) {
            plain_step(*plain, x, y, CDIST, dither, strength);
            diffuse_error(*stepped, x, y, CDIST, dither, strength, kernels());
            ASSERT_EQ(first_difference(x, y), "")
                << text << " %, error " << cdist << ", value " << value << ", kernel " << dither;
          }
        }
}

INSTANTIATE_TEST_SUITE_P(Kernels, DiffusionStep, ::testing::ValuesIn(testing::kEveryKernelSet),
                         testing::kernel_set_test_name);

}  // namespace
}  // namespace tessera
