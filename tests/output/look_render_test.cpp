// The look's rendering: legal, repeatable pictures in every mode, flat
// palette colours left flat, the light the error is carried in, and BMP1
// pairs chosen with the dithering in view.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "output_fixture.h"
#include "tessera/colour_space.h"
#include "tessera/render.h"

using namespace tessera;
using namespace tessera::testing;

namespace {

struct Look {
  const char* name;
  int format;
  int kernel;  // DITHER; 5..8 through KERNEL
  int distance, linear, pairs;
  int fit = 0;
};

const Look kLooks[] = {
    {"Bmp4OklabFloydSteinberg", 4, 1, 1, 0, 0},   {"Bmp4LinearFloydSteinberg", 4, 1, 0, 1, 0},
    {"Bmp4JarvisJudiceNinke", 4, 5, 0, 0, 0},     {"Bmp4Sierra", 4, 6, 0, 1, 0},
    {"Bmp4TwoRowSierra", 4, 7, 1, 1, 0},          {"Bmp4SierraLite", 4, 8, 0, 0, 0},
    {"Bmp4OklabWithoutDiffusion", 4, 0, 1, 0, 0}, {"Bmp1LinearFixedPairs", 1, 1, 0, 1, 0},
    {"Bmp1PairsDithered", 1, 1, 0, 0, 1},         {"Bmp1PairsDitheredLinearOklab", 1, 6, 1, 1, 1},
    {"Bmp4FittedLinear", 4, 1, 0, 1, 0, 1},       {"Bmp4FittedOklabSierra", 4, 6, 1, 0, 0, 1},
    {"Bmp1FittedLinear", 1, 1, 0, 1, 0, 1},
};

void set_look(Store& s, ControlValues& c, const Look& look) {
  s.DISTANCE = look.distance;
  s.LINEARLIGHT = look.linear;
  s.PAIRSDITHERED = look.pairs;
  s.PALETTEFIT = look.fit;
  // As palette selection leaves it: the fit starts from here every time.
  s.CHOSENCLUSTER = s.OCLUSTER;
  c.checks[Ctl::Dither] = look.kernel != 0;
  c.select(Ctl::FloydSteinburg);
  s.KERNEL = look.kernel > 4 ? look.kernel : 0;
}

// Renders the store as it stands and returns what the file is made from.
std::vector<int> render(Store& s, ControlValues& c) {
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) s.IMAGEIN(x, y, 4) = 255;
  DRAWOUTPUT(s, c);
  std::vector<int> out;
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      out.push_back(s.IMAGEOUT(x, y, 4));
      if (s.OUTPUTFILETYPE == 1) out.push_back(s.IMAGEOUT(x, y, 5));
    }
  return out;
}

class LookRendering : public ::testing::TestWithParam<Look> {
 protected:
  void SetUp() override {
    prepare(s, GetParam().format, dir.path());
    s.PREVIEWS = false;
    grid_palette(s);
    all_cells(s, 3, 12);
    set_look(s, c, GetParam());
  }
  ScratchDir dir;
  Store s;
  ControlValues c;
};

TEST_P(LookRendering, GivesLegalPicturesAndTheSameOnesAgain) {
  photo(s);
  const std::vector<int> first = render(s, c);
  EXPECT_EQ(s.DITHER, GetParam().kernel);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      const int entry = s.IMAGEOUT(x, y, 4) + 1;
      ASSERT_GE(entry, 1);
      ASSERT_LE(entry, 16);
      for (int ch = 1; ch <= 3; ++ch) ASSERT_EQ(s.IMAGEIN(x, y, ch), s.OCLUSTER[entry][ch]) << x << "," << y;
      if (s.OUTPUTFILETYPE == 1) {
        const auto& cell = s.OUTCOLORBLOCK[x / 8][y / 8];
        const int v = s.IMAGEOUT(x, y, 5);
        ASSERT_TRUE(v == 1 || v == 2);
        ASSERT_EQ(cell[v], entry) << x << "," << y;
      }
    }
  for (int k = 1; k <= 16; ++k)
    for (int ch = 1; ch <= 3; ++ch) ASSERT_EQ(s.OCLUSTER[k][ch] % 17, 0) << "entry " << k << " off the grid";
  const auto palette = s.OCLUSTER;
  EXPECT_EQ(render(s, c), first) << "a second rendering of the same store differs";
  EXPECT_EQ(s.OCLUSTER, palette) << "a second rendering fitted another palette";
}

TEST_P(LookRendering, LeavesAPaletteColourFlat) {
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) set_pixel(s, x, y, s.OCLUSTER[12][1], s.OCLUSTER[12][2], s.OCLUSTER[12][3]);
  render(s, c);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int ch = 1; ch <= 3; ++ch) ASSERT_EQ(s.IMAGEIN(x, y, ch), s.IMAGEINORG(x, y, ch)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Looks, LookRendering, ::testing::ValuesIn(kLooks),
                         [](const auto& info) { return std::string(info.param.name); });

// Carried in linear light, the error keeps the picture's mean light; carried
// in gamma-encoded values, its mean encoded value. Each light must beat the
// other at its own mean.
TEST(LookRenderingLight, EachLightKeepsItsOwnMean) {
  double off[2][2] = {};  // [linear run][measured in linear]
  for (int linear : {0, 1}) {
    ScratchDir dir;
    Store s;
    prepare(s, 4, dir.path());
    s.PREVIEWS = false;
    // Greys on the sixteen greys of the grid, so that no error is ever long.
    for (int k = 1; k <= 16; ++k) set_entry(s, k, 17 * (k - 1), 17 * (k - 1), 17 * (k - 1));
    photo(s, 3);
    for (int y = 0; y < s.OUTPUTY; ++y)
      for (int x = 0; x < s.OUTPUTX; ++x) set_grey(s, x, y, s.IMAGEINORG(x, y, 1));
    ControlValues c;
    set_look(s, c, {"", 4, 1, 0, linear, 0});
    c.texts[Ctl::DitherValue] = "100";
    render(s, c);
    for (int in_linear : {0, 1}) {
      double before = 0, after = 0;
      for (int y = 0; y < s.OUTPUTY; ++y)
        for (int x = 0; x < s.OUTPUTX; ++x)
          for (int ch = 1; ch <= 3; ++ch) {
            auto light = [&](int v) { return in_linear ? linear_of_srgb8()[v] : v / 255.0; };
            before += light(s.IMAGEINORG(x, y, ch));
            after += light(s.IMAGEIN(x, y, ch));
          }
      off[linear][in_linear] = std::abs(after - before) / (160.0 * 200 * 3);
    }
  }
  EXPECT_LT(off[1][1], off[0][1]) << "mean light";
  EXPECT_LT(off[0][0], off[1][0]) << "mean encoded value";
}

// A picture that is two palette colours, each cell holding two of them,
// comes out exactly when the pairs are chosen with the dithering; the pairs
// chosen before it are given wrong here on purpose.
TEST(LookRenderingPairs, FindTheTwoColoursOfEveryCell) {
  ScratchDir dir;
  Store s;
  prepare(s, 1, dir.path());
  s.PREVIEWS = false;
  grid_palette(s);
  all_cells(s, 1, 2);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      const int entry = (x / 8 + y / 8) % 2 == 0 ? ((x + y) % 2 == 0 ? 5 : 9) : ((x * y) % 3 == 0 ? 14 : 7);
      set_pixel(s, x, y, s.OCLUSTER[entry][1], s.OCLUSTER[entry][2], s.OCLUSTER[entry][3]);
    }
  ControlValues c;
  set_look(s, c, {"", 1, 1, 1, 0, 1});
  render(s, c);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int ch = 1; ch <= 3; ++ch) ASSERT_EQ(s.IMAGEIN(x, y, ch), s.IMAGEINORG(x, y, ch)) << x << "," << y;
}

// The fitted palette is judged here by a blur of its own (3 x 3 box in
// linear light), not the fit's Gaussian: the result must look closer, not
// only score better by the yardstick it was fitted to.
double box_blurred_error(const Store& s) {
  const int w = s.OUTPUTX, h = s.OUTPUTY;
  double sum = 0;
  for (int y = 1; y + 1 < h; ++y)
    for (int x = 1; x + 1 < w; ++x)
      for (int ch = 1; ch <= 3; ++ch) {
        double d = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            d += linear_of_srgb8()[s.IMAGEIN(x + dx, y + dy, ch)] - linear_of_srgb8()[s.IMAGEINORG(x + dx, y + dy, ch)];
        sum += d * d;
      }
  return sum;
}

// Each row's look stays on without the fit too (the fresh rendering below
// must be the look's own).
const Look kFits[] = {
    {"Bmp4GammaSierra", 4, 6, 0, 0, 0, 1},
    {"Bmp4Linear", 4, 1, 0, 1, 0, 1},
    {"Bmp1Gamma", 1, 1, 0, 0, 0, 1},
    {"Bmp1LinearOklab", 1, 1, 1, 1, 0, 1},
};

class FittedPalette : public LookRendering {};

TEST_P(FittedPalette, LooksCloserThanThePaletteItStartedFrom) {
  photo(s, 5);
  Look plain = GetParam();
  plain.fit = 0;
  set_look(s, c, plain);
  const auto chosen = s.OCLUSTER;
  render(s, c);
  const double before = box_blurred_error(s);
  set_look(s, c, GetParam());
  render(s, c);
  EXPECT_NE(s.OCLUSTER, chosen) << "nothing was fitted";
  EXPECT_LT(box_blurred_error(s), 0.9 * before);
}

// Entries the user fixed keep their colours: pins, an entry edited by
// hand, and the transparent key; the others still move.
TEST_P(FittedPalette, MovesOnlyTheFreeEntries) {
  photo(s, 7);
  s.ISTRANSPARENT = 1;
  for (int k : {4, 9}) s.PINNED[static_cast<std::size_t>(k)] = true;
  s.FITHELD[13] = true;
  set_look(s, c, GetParam());
  const auto chosen = s.OCLUSTER;
  render(s, c);
  int moved = 0;
  for (int k = 1; k <= 16; ++k) {
    if (k == 1 || k == 4 || k == 9 || k == 13)
      EXPECT_EQ(s.OCLUSTER[k], chosen[k]) << "entry " << k;
    else
      moved += s.OCLUSTER[k] != chosen[k];
  }
  EXPECT_GT(moved, 0);
}

// The rendering takes the fit's own mapping of the palette it kept, when it
// has one: that must be the picture a fresh rendering of that palette gives.
TEST_P(FittedPalette, ShowsWhatItsPaletteRenderedAfreshWould) {
  photo(s, 9);
  const std::vector<int> fitted = render(s, c);
  const auto palette = s.OCLUSTER;
  Look plain = GetParam();
  plain.fit = 0;
  plain.pairs = GetParam().format == 1;  // BMP1 cells still choose their pairs with the dithering
  set_look(s, c, plain);
  EXPECT_EQ(render(s, c), fitted);
  EXPECT_EQ(s.OCLUSTER, palette);
}

INSTANTIATE_TEST_SUITE_P(Fits, FittedPalette, ::testing::ValuesIn(kFits),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
