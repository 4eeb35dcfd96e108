// sRGB's curve, OKLab and the cube root the look compares colours with.
#include "tessera/colour_space.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tessera;

namespace {

struct Reference {
  const char* name;
  int r, g, b;
  double L, a, b_;
};

// OKLab of sRGB colours as its author publishes them (to 4 places).
const Reference kReferences[] = {
    {"White", 255, 255, 255, 1.0000, 0.0000, 0.0000},
    {"Red", 255, 0, 0, 0.6280, 0.2249, 0.1258},
    {"Green", 0, 255, 0, 0.8664, -0.2339, 0.1795},
    {"Blue", 0, 0, 255, 0.4520, -0.0325, -0.3115},
    {"Black", 0, 0, 0, 0.0000, 0.0000, 0.0000},
};

class OklabOf : public ::testing::TestWithParam<Reference> {};

TEST_P(OklabOf, MatchesThePublishedValues) {
  const Reference& c = GetParam();
  const auto& lin = linear_of_srgb8();
  const Oklab lab = oklab_from_linear(lin[c.r], lin[c.g], lin[c.b]);
  EXPECT_NEAR(lab.L, c.L, 1e-4);
  EXPECT_NEAR(lab.a, c.a, 1e-4);
  EXPECT_NEAR(lab.b, c.b_, 1e-4);
  const auto back = linear_from_oklab(lab);
  EXPECT_NEAR(back[0], lin[c.r], 1e-6);
  EXPECT_NEAR(back[1], lin[c.g], 1e-6);
  EXPECT_NEAR(back[2], lin[c.b], 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Colours, OklabOf, ::testing::ValuesIn(kReferences),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ColourSpace, TheCurveRoundTripsAndStaysOrderedOutsideTheRange) {
  for (int v = 0; v < 256; ++v) {
    const double lin = linear_of_srgb8()[v];
    EXPECT_EQ(lin, linear_from_srgb(v / 255.0)) << v;
    EXPECT_NEAR(srgb_from_linear(lin) * 255, v, 1e-9) << v;
  }
  EXPECT_NEAR(linear_of_srgb8()[128], 0.2158605, 1e-7);
  // Diffusion pushes values past both ends; the curve must keep them apart.
  EXPECT_LT(linear_from_srgb(-0.1), linear_from_srgb(0.0));
  EXPECT_GT(linear_from_srgb(1.1), linear_from_srgb(1.0));
  EXPECT_EQ(srgb_from_linear(-0.25), -srgb_from_linear(0.25));
}

TEST(ColourSpace, CubeRootIsWithinAnUlpOfLibmAndExactOnCubes) {
  for (double v : {1e-300, 1e-12, 0.001, 0.2158605, 0.5, 1.0, 2.0, 3.0, 27.0, 1e12, 1e300}) {
    for (double sign : {1.0, -1.0}) {
      const double x = sign * v;
      EXPECT_NEAR(exact_cube_root(x), std::cbrt(x), std::fabs(std::cbrt(x)) * 4e-16) << x;
    }
  }
  for (int n = 1; n <= 100; ++n) EXPECT_EQ(exact_cube_root(static_cast<double>(n) * n * n), n) << n;
  EXPECT_EQ(exact_cube_root(0.0), 0.0);
}

}  // namespace
