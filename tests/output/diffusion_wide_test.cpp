// The diffusion step with three channels side by side against the plain step:
// every kernel, both row directions, edges, values near the channel limits,
// errors that land exactly on halves, and strengths from tiny to runaway
// (where the shortcut must give way to the extended-precision step).
#include "tessera/diffusion_wide.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "tessera/diffusion.h"
#include "tessera/render.h"

#if defined(TESSERA_WIDE_DIFFUSION)

using namespace tessera;

namespace {

template <int Dither>
void compare_steps(std::mt19937& rng, Store& plain, Store& wide, int trials) {
  const double strengths[] = {diffusion_strength("100"), diffusion_strength("37.5"), diffusion_strength("110"),
                              diffusion_strength("1"),   diffusion_strength("-80"),  diffusion_strength("5000"),
                              1e300,                     std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
  std::uniform_int_distribution<int> any_value(kChannelFloor, kChannelCeiling), byte(0, 255), edge(0, 3);
  for (int t = 0; t < trials; ++t) {
    const int x = static_cast<int>(rng() % static_cast<unsigned>(plain.OUTPUTX));
    const int y = static_cast<int>(rng() % static_cast<unsigned>(plain.OUTPUTY));
    // Targets around the pixel: bytes, values anywhere in the range, or at
    // and next to the limits.
    for (int ty = y; ty <= std::min(y + 2, plain.OUTPUTY - 1); ++ty)
      for (int tx = std::max(x - 2, 0); tx <= std::min(x + 2, plain.OUTPUTX - 1); ++tx)
        for (int c = 1; c <= 4; ++c) {
          const int kind = static_cast<int>(rng() % 4);
          const int limits[] = {kChannelFloor, kChannelFloor + 1, kChannelCeiling - 1, kChannelCeiling};
          const int v = c == 4 ? byte(rng) : kind == 0 ? byte(rng) : kind == 1 ? any_value(rng) : limits[edge(rng)];
          plain.IMAGEIN(tx, ty, c) = wide.IMAGEIN(tx, ty, c) = v;
        }
    double CDIST[4] = {0, 0, 0, 0};
    for (int c = 1; c <= 3; ++c) {
      // Whole errors (as rendering gives them) and, now and then, halves.
      CDIST[c] = static_cast<double>(static_cast<int>(rng() % 8191) - 4095);
      if (rng() % 8 == 0) CDIST[c] = 8.0 * static_cast<int>(rng() % 64);  // x 1/16 .. x 1/8 gives halves
    }
    const double strength = strengths[rng() % (sizeof strengths / sizeof strengths[0])];
    diffuse_error_of<Dither>(plain, x, y, CDIST, strength);
    diffuse_error_wide<Dither>(wide, x, y, CDIST, strength);
    for (int ty = y; ty <= std::min(y + 2, plain.OUTPUTY - 1); ++ty)
      for (int tx = std::max(x - 2, 0); tx <= std::min(x + 2, plain.OUTPUTX - 1); ++tx)
        for (int c = 1; c <= 4; ++c)
          ASSERT_EQ(wide.IMAGEIN(tx, ty, c), plain.IMAGEIN(tx, ty, c))
              << "kernel " << Dither << " at " << x << "," << y << " target " << tx << "," << ty << " channel " << c
              << " strength " << strength;
  }
}

TEST(WideDiffusion, GivesThePlainStepOnEveryKernel) {
  if (!wide_diffusion_available()) GTEST_SKIP() << "no AVX2 here";
  std::mt19937 rng(12);
  for (auto [w, h] : {std::pair{320, 200}, std::pair{7, 5}, std::pair{1, 1}, std::pair{3, 200}}) {
    auto plain = std::make_unique<Store>();
    plain->OUTPUTX = w;
    plain->OUTPUTY = h;
    auto wide = std::make_unique<Store>(*plain);
    compare_steps<1>(rng, *plain, *wide, 20000);
    compare_steps<2>(rng, *plain, *wide, 20000);
    compare_steps<3>(rng, *plain, *wide, 20000);
    compare_steps<4>(rng, *plain, *wide, 20000);
  }
}

// Every weight against every whole error at common strengths, from values
// where the step lands on or near a half.
TEST(WideDiffusion, DecidesTiesAsThePlainStep) {
  if (!wide_diffusion_available()) GTEST_SKIP() << "no AVX2 here";
  auto plain = std::make_unique<Store>();
  plain->OUTPUTX = 8;
  plain->OUTPUTY = 4;
  auto wide = std::make_unique<Store>(*plain);
  for (const char* text : {"100", "50", "75", "110", "33"})
    for (int cdist = -400; cdist <= 400; ++cdist)
      for (int value : {0, 100, 255}) {
        for (int y = 0; y < 4; ++y)
          for (int x = 0; x < 8; ++x)
            for (int c = 1; c <= 3; ++c) plain->IMAGEIN(x, y, c) = wide->IMAGEIN(x, y, c) = value;
        const double CDIST[4] = {0, static_cast<double>(cdist), static_cast<double>(-cdist), static_cast<double>(cdist / 2)};
        const double strength = diffusion_strength(text);
        diffuse_error_of<1>(*plain, 3, 1, CDIST, strength);
        diffuse_error_wide<1>(*wide, 3, 1, CDIST, strength);
        diffuse_error_of<2>(*plain, 4, 0, CDIST, strength);
        diffuse_error_wide<2>(*wide, 4, 0, CDIST, strength);
        diffuse_error_of<3>(*plain, 3, 1, CDIST, strength);
        diffuse_error_wide<3>(*wide, 3, 1, CDIST, strength);
        diffuse_error_of<4>(*plain, 4, 0, CDIST, strength);
        diffuse_error_wide<4>(*wide, 4, 0, CDIST, strength);
        for (int y = 0; y < 4; ++y)
          for (int x = 0; x < 8; ++x)
            for (int c = 1; c <= 4; ++c)
              ASSERT_EQ(wide->IMAGEIN(x, y, c), plain->IMAGEIN(x, y, c)) << text << " " << cdist << " " << value;
      }
}

}  // namespace

#endif
