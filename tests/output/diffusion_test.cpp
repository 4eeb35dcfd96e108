// The diffusion kernels as tables, their mirroring on odd rows, the edges and
// the saturation that keeps runaway strengths finite.
#include "tessera/diffusion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

#include "output_fixture.h"
#include "tessera/render.h"

using namespace tessera;
using namespace tessera::testing;

namespace {

struct Fraction {
  int dx, dy, num, den;
};

const std::map<int, std::vector<Fraction>> kExpected = {
    {1, {{1, 0, 7, 16}, {1, 1, 1, 16}, {0, 1, 5, 16}, {-1, 1, 3, 16}}},
    {2, {{1, 0, 1, 8}, {2, 0, 1, 8}, {-1, 1, 1, 8}, {0, 1, 1, 8}, {1, 1, 1, 8}, {0, 2, 1, 8}}},
    {3,
     {{1, 0, 1, 4}, {2, 0, 1, 8}, {-2, 1, 1, 16}, {-1, 1, 1, 8}, {0, 1, 1, 4}, {1, 1, 1, 8}, {2, 1, 1, 16}}},
    {4,
     {{1, 0, 4, 21},
      {2, 0, 2, 21},
      {-2, 1, 1, 21},
      {-1, 1, 2, 21},
      {0, 1, 4, 21},
      {1, 1, 2, 21},
      {2, 1, 1, 21},
      {-2, 2, 1, 42},
      {-1, 2, 1, 21},
      {0, 2, 2, 21},
      {1, 2, 1, 21},
      {2, 2, 1, 42}}},
    {5,
     {{1, 0, 7, 48},
      {2, 0, 5, 48},
      {-2, 1, 3, 48},
      {-1, 1, 5, 48},
      {0, 1, 7, 48},
      {1, 1, 5, 48},
      {2, 1, 3, 48},
      {-2, 2, 1, 48},
      {-1, 2, 3, 48},
      {0, 2, 5, 48},
      {1, 2, 3, 48},
      {2, 2, 1, 48}}},
    {6,
     {{1, 0, 5, 32},
      {2, 0, 3, 32},
      {-2, 1, 2, 32},
      {-1, 1, 4, 32},
      {0, 1, 5, 32},
      {1, 1, 4, 32},
      {2, 1, 2, 32},
      {-1, 2, 2, 32},
      {0, 2, 3, 32},
      {1, 2, 2, 32}}},
    {7, {{1, 0, 4, 16}, {2, 0, 3, 16}, {-2, 1, 1, 16}, {-1, 1, 2, 16}, {0, 1, 3, 16}, {1, 1, 2, 16}, {2, 1, 1, 16}}},
    {8, {{1, 0, 2, 4}, {-1, 1, 1, 4}, {0, 1, 1, 4}}},
};

Store small_store(int w, int h) {
  Store s;
  s.OUTPUTX = w;
  s.OUTPUTY = h;
  return s;
}

// Pixels that differ from zero, keyed by position.
std::map<std::pair<int, int>, int> touched(const Store& s, int ch) {
  std::map<std::pair<int, int>, int> out;
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      if (s.IMAGEIN(x, y, ch) != 0) out[{x, y}] = s.IMAGEIN(x, y, ch);
  return out;
}

}  // namespace

TEST(DiffusionKernels, EntriesInTableOrderWithTheNearestDoubleWeights) {
  for (const auto& [dither, fractions] : kExpected) {
    const auto kernel = diffusion_kernel(dither);
    ASSERT_EQ(kernel.size(), fractions.size()) << dither;
    long double total = 0;
    for (std::size_t i = 0; i < kernel.size(); ++i) {
      EXPECT_EQ(kernel[i].DX, fractions[i].dx) << dither << " #" << i;
      EXPECT_EQ(kernel[i].DY, fractions[i].dy) << dither << " #" << i;
      EXPECT_EQ(kernel[i].WEIGHT, static_cast<double>(fractions[i].num) / fractions[i].den)
          << dither << " #" << i;
      total += kernel[i].WEIGHT;
    }
    EXPECT_NEAR(static_cast<double>(total), dither == 2 ? 0.75 : 1.0, 1e-15) << dither;
  }
  EXPECT_TRUE(diffusion_kernel(0).empty());
  EXPECT_TRUE(diffusion_kernel(9).empty());
}

TEST(DiffusionKernels, OddRowsMirrorTheColumnOffsets) {
  for (const auto& [dither, fractions] : kExpected) {
    if (dither > 4) continue;  // the look's kernels run in its own rendering only
    for (int row : {2, 1}) {
      Store s = small_store(9, 6);
      const double CDIST[4] = {0, 84, -84, 0};
      diffuse_error(s, 4, row, CDIST, dither, 1.0);
      std::map<std::pair<int, int>, int> expected;
      for (const Fraction& f : fractions) {
        const int dx = row % 2 == 1 ? -f.dx : f.dx;
        expected[{4 + dx, row + f.dy}] = static_cast<int>(std::nearbyint(84.0L * f.num / f.den));
      }
      EXPECT_EQ(touched(s, 1), expected) << "kernel " << dither << " row " << row;
      for (auto& [pos, v] : expected) v = -v;
      EXPECT_EQ(touched(s, 2), expected) << "kernel " << dither << " row " << row;
      EXPECT_TRUE(touched(s, 3).empty());
    }
  }
}

TEST(DiffusionKernels, TargetsOutsideThePictureAreSkippedWithoutWrapping) {
  Store s = small_store(5, 3);
  const double CDIST[4] = {0, 16, 16, 16};
  diffuse_error(s, 4, 0, CDIST, 1, 1.0);  // last column of an even row
  std::map<std::pair<int, int>, int> expected = {{{3, 1}, 3}, {{4, 1}, 5}};
  EXPECT_EQ(touched(s, 1), expected) << "nothing may wrap to the start of the next row";

  Store t = small_store(5, 3);
  diffuse_error(t, 0, 1, CDIST, 1, 1.0);  // first column of an odd row: mirrored to the left edge
  expected = {{{1, 2}, 3}, {{0, 2}, 5}};
  EXPECT_EQ(touched(t, 1), expected);

  Store u = small_store(5, 4);
  diffuse_error(u, 1, 3, CDIST, 4, 1.0);  // last row, odd: only one pixel to the left remains
  expected = {{{0, 3}, 3}};
  EXPECT_EQ(touched(u, 1), expected);
}

TEST(DiffusionSteps, ExtendedPrecisionHalfToEvenAndSaturation) {
  const double strength = diffusion_strength("100");
  EXPECT_EQ(diffused_value(100, 0.125, 80, strength), 109);
  EXPECT_EQ(diffused_value(100, 0.125, -80, strength), 91);
  EXPECT_EQ(diffused_value(0, 0.5, 5, 1.0), 2) << "2.5 rounds to even";
  EXPECT_EQ(diffused_value(0, 0.5, 7, 1.0), 4) << "3.5 rounds to even";
  EXPECT_EQ(diffused_value(0, 0.5, -5, 1.0), -2);
  EXPECT_EQ(diffused_value(300, 1.0, 100, 1.0), 400) << "no clamping to 0..255";
  EXPECT_EQ(diffused_value(-50, 1.0, -100, 1.0), -150);
  EXPECT_EQ(diffused_value(4300, 1.0, 100, 1.0), kChannelCeiling);
  EXPECT_EQ(diffused_value(-4000, 1.0, -200, 1.0), kChannelFloor);
  EXPECT_EQ(diffused_value(0, 7.0 / 16, 8447, 1.7976931348623157e308), kChannelCeiling);
  EXPECT_EQ(diffused_value(0, 7.0 / 16, 8447, -1.7976931348623157e308), kChannelFloor);
  EXPECT_EQ(diffused_value(10, 7.0 / 16, 0, 1.7976931348623157e308), 10);
}

// Strengths far beyond 100 % used to grow the channel values until distances
// overflowed and pixels were left without any colour.
TEST(DiffusionSteps, AnyStrengthTextRendersEveryPixelWithAPaletteColour) {
  ScratchDir dir;
  for (const char* text : {"1e308", "-1e308", "1d400", "&HFFFFFFFFFFFFFFFFFFFF", "inf", "nan", "50%", "abc",
                           "", "1d2", "&H20", "1000", "-300"}) {
    for (Ctl kernel : {Ctl::FloydSteinburg, Ctl::Stucki}) {
      Store s;
      prepare(s, 4, dir.path());
      grid_palette(s);
      photo(s, 2);
      s.BAYERSTRENGTH = bayer_strength(text);
      ControlValues c;
      c.checks[Ctl::Dither] = true;
      c.checks[Ctl::pattern] = true;
      c.select(kernel);
      c.texts[Ctl::DitherValue] = text;
      DRAWOUTPUT(s, c);
      bool all_mapped = true;
      for (int y = 0; y < 200 && all_mapped; ++y)
        for (int x = 0; x < 160 && all_mapped; ++x) {
          const int index = s.IMAGEOUT(x, y, 4);
          all_mapped = index >= 0 && index <= 15 && s.IMAGEIN(x, y, 1) == s.OCLUSTER[index + 1][1];
        }
      EXPECT_TRUE(all_mapped) << '"' << text << "\" kernel " << static_cast<int>(kernel);
    }
  }
}

// The step rounds without nearbyint for speed; it must agree with it.
TEST(DiffusionSteps, RoundingAgreesWithThePlainExtendedPrecisionStep) {
  for (int v = kChannelFloor; v < kChannelCeiling; ++v) {
    const long double exact = v + 0.5L;
    ASSERT_EQ(diffused_value(v, 0.5, 1, 1.0), static_cast<int>(std::nearbyint(exact))) << v;
    ASSERT_EQ(diffused_value(v, 0.5, -1, 1.0), static_cast<int>(std::nearbyint(v - 0.5L))) << v;
  }
  std::uint64_t state = 88172645463325252ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  const double strengths[] = {diffusion_strength("100"), diffusion_strength("37.5"),
                              diffusion_strength("110"), diffusion_strength("1"), diffusion_strength("-80")};
  for (int i = 0; i < 300000; ++i) {
    const auto kernel = diffusion_kernel(1 + static_cast<int>(next() % 4));
    const double weight = kernel[next() % kernel.size()].WEIGHT;
    const int value = static_cast<int>(next() % 8448) - 4096;
    const double cdist = static_cast<double>(static_cast<int>(next() % 16895) - 8447);
    const double strength = strengths[next() % 5];
    const long double plain =
        static_cast<long double>(value) + static_cast<long double>(weight) * cdist * strength;
    const int expected = plain < kChannelFloor     ? kChannelFloor
                         : plain > kChannelCeiling ? kChannelCeiling
                                                   : static_cast<int>(std::nearbyint(plain));
    ASSERT_EQ(diffused_value(value, weight, cdist, strength), expected)
        << value << " " << weight << " " << cdist;
  }
}

// The step answers from double arithmetic when that is clearly away from a
// half; every weight against every whole error at common strengths must still
// give the extended-precision result, including the cases where double
// arithmetic alone would round the other way.
TEST(DiffusionSteps, DoubleShortcutNeverDecidesATie) {
  int double_would_differ = 0;
  for (int dither = 1; dither <= 4; ++dither)
    for (const KernelEntry& k : diffusion_kernel(dither))
      for (const char* text : {"100", "50", "75", "110", "33"})
        for (int cdist = -400; cdist <= 400; ++cdist)
          for (int value : {0, 100, 255}) {
            const double strength = diffusion_strength(text);
            const long double plain =
                static_cast<long double>(value) + static_cast<long double>(k.WEIGHT) * cdist * strength;
            const int expected = static_cast<int>(std::nearbyint(plain));
            const double in_double = value + k.WEIGHT * cdist * strength;
            if (static_cast<int>(std::nearbyint(in_double)) != expected) ++double_would_differ;
            ASSERT_EQ(diffused_value(value, k.WEIGHT, cdist, strength), expected)
                << value << " + " << k.WEIGHT << " x " << cdist << " x " << text;
          }
  EXPECT_GT(double_would_differ, 0);
}
