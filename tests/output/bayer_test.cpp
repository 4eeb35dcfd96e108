// The ordered pre-pass: the threshold table, its documented examples and its
// place in a rendering run.
#include "tessera/bayer.h"

#include <gtest/gtest.h>

#include "output_fixture.h"
#include "tessera/render.h"

using namespace tessera;
using namespace tessera::testing;

TEST(BayerTable, IndicesOverFifteenInSinglePrecision) {
  const int b[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  for (int xm = 0; xm < 4; ++xm)
    for (int ym = 0; ym < 4; ++ym) EXPECT_EQ(BAYERMATRIX(xm, ym), static_cast<float>(b[xm][ym]) / 15.0f);

  // The table is kept in single precision, which decides boundaries: at b = 5
  // and strength 125 % the offset is 25 plus a little in single precision but
  // 25 minus a little in double, so 7 becomes 32 here and would become 0.
  EXPECT_EQ(ordered_value(7, 3, 3, 24 * bayer_strength("125")), 32);
}

TEST(BayerTable, DocumentedValuesAtFullAndZeroStrength) {
  const double full = 24 * bayer_strength("100");
  EXPECT_EQ(ordered_value(255, 0, 0, full), 256);  // b = 0, offset 12
  EXPECT_EQ(ordered_value(255, 3, 0, full), 288);  // b = 15, offset 36
  EXPECT_EQ(ordered_value(0, 0, 0, full), 0);
  EXPECT_EQ(ordered_value(0, 3, 0, full), 32);
  EXPECT_EQ(ordered_value(20, 0, 0, full), 32) << "exactly 32 / 32";
  EXPECT_EQ(ordered_value(19, 0, 0, full), 0);
  // Offsets step by 1.6: b = 1 gives 13.6.
  EXPECT_EQ(ordered_value(19, 2, 2, full), 32);
  EXPECT_EQ(ordered_value(18, 2, 2, full), 0);

  for (int v = 0; v <= 255; ++v) ASSERT_EQ(ordered_value(v, 1, 2, 0.0), v / 32 * 32) << v;

  const double negative = 24 * bayer_strength("-50");  // offsets subtract
  EXPECT_EQ(ordered_value(20, 0, 0, negative), 0);
  EXPECT_EQ(ordered_value(5, 3, 0, negative), -32) << "below zero enters the mapping as it is";
}

TEST(BayerTable, EnormousStrengthsSaturate) {
  const double huge = 24 * bayer_strength("1e308");  // infinite as a double
  EXPECT_EQ(ordered_value(0, 0, 0, huge), kChannelCeiling);
  EXPECT_EQ(ordered_value(255, 0, 0, 24 * bayer_strength("-1e308")), kChannelFloor);
  EXPECT_EQ(ordered_value(100, 0, 0, 24 * bayer_strength("1000")), 192) << "(100 + 120) / 32 = 6.875";
}

TEST(BayerPrepass, RepeatsEveryFourPixelsAndGivesAllChannelsOneOffset) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  for (int k = 1; k <= 16; ++k) set_entry(s, k, 17 * (k - 1), 17 * (k - 1), 17 * (k - 1));
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 160; ++x) {
      s.IMAGEIN(x, y, 1) = 100;
      s.IMAGEIN(x, y, 2) = 20;
      s.IMAGEIN(x, y, 3) = 250;
      s.IMAGEIN(x, y, 4) = 255;
    }
  s.IMAGEIN(6, 9, 4) = 0;
  ordered_prepass(s);
  for (int y : {0, 1, 5, 199})
    for (int x : {0, 2, 7, 159}) {
      const double threshold = 24.0;
      EXPECT_EQ(s.IMAGEIN(x, y, 1), ordered_value(100, x % 4, y % 4, threshold));
      EXPECT_EQ(s.IMAGEIN(x, y, 2), ordered_value(20, x % 4, y % 4, threshold));
      EXPECT_EQ(s.IMAGEIN(x, y, 3), ordered_value(250, x % 4, y % 4, threshold));
      EXPECT_EQ(s.IMAGEIN(x, y, 1), s.IMAGEIN(x % 4 + 4, y % 4 + 4, 1));
    }
  EXPECT_EQ(s.IMAGEIN(6, 9, 4), 0) << "alpha is left alone";
  EXPECT_EQ(s.IMAGEIN(160, 0, 1), 0) << "nothing beyond the 160 columns of BMP4";
}

TEST(BayerPrepass, RunsOnlyWhenPatternIsCheckedAndFeedsTheMapping) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  s.OUTPUTX = 4;
  s.OUTPUTY = 1;
  for (int k = 1; k <= 16; ++k) set_entry(s, k, 0, 0, 0);
  set_entry(s, 2, 64, 64, 64);
  for (int x = 0; x < 4; ++x) set_grey(s, x, 0, 40);
  s.MANUALTRANSPARENT = 1;  // keep the palette order fixed
  ControlValues c;
  DRAWOUTPUT(s, c);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(s.IMAGEOUT(x, 0, 4), 1) << "40 is nearer to 64 than to 0";

  c.checks[Ctl::pattern] = true;
  DRAWOUTPUT(s, c);
  // b = 0, 12, 3, 15 along row 0: 40 + 12 -> 32, 40 + 31.2 -> 64, 40 + 16.8 -> 32, 40 + 36 -> 64;
  // 32 lies as near to 0 as to 64, so the lower entry takes it.
  EXPECT_EQ(s.IMAGEOUT(0, 0, 4), 0);
  EXPECT_EQ(s.IMAGEOUT(1, 0, 4), 1);
  EXPECT_EQ(s.IMAGEOUT(2, 0, 4), 0);
  EXPECT_EQ(s.IMAGEOUT(3, 0, 4), 1);
}
