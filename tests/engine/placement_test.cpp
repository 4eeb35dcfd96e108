// Placement of the picture: the scale table, the offsets and their rounding.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>

#include "engine/input_reference.h"

namespace tessera {
namespace {

struct PlacementCase {
  const char* what;
  PlaceMode mode;
  int filetype, aspect, xsize, ysize;
  double xscale, yscale;
  int offsetx, offsety;
};

class PlacementTable : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTable, ScalesAndOffsets) {
  const PlacementCase& c = GetParam();
  const Placement p = place_picture(c.mode, c.filetype, c.aspect, c.xsize, c.ysize);
  EXPECT_DOUBLE_EQ(p.XSCALE, c.xscale) << c.what;
  EXPECT_DOUBLE_EQ(p.YSCALE, c.yscale) << c.what;
  EXPECT_EQ(p.OFFSETX, c.offsetx) << c.what;
  EXPECT_EQ(p.OFFSETY, c.offsety) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PlacementTable,
    ::testing::Values(
        PlacementCase{"exact size, Fill", PlaceMode::Fill, 1, 1, 320, 200, 1, 1, 0, 0},
        PlacementCase{"exact size, Fit", PlaceMode::Fit, 1, 1, 320, 200, 1, 1, 0, 0},
        PlacementCase{"exact size, Center", PlaceMode::Center, 1, 1, 320, 200, 1, 1, 0, 0},
        PlacementCase{"exact size, Stretch", PlaceMode::Stretch, 1, 1, 320, 200, 1, 1, 0, 0},
        PlacementCase{"wide picture, Fit", PlaceMode::Fit, 1, 1, 1280, 200, 0.25, 0.25, 0, 75},
        PlacementCase{"wide picture, Fill crops the sides", PlaceMode::Fill, 1, 1, 1280, 200, 1, 1, -480, 0},
        PlacementCase{"one column too many, Fill", PlaceMode::Fill, 1, 1, 321, 200, 1, 1, -1, 0},
        PlacementCase{"one column too many, Center: -0.5 rounds to 0", PlaceMode::Center, 1, 1, 321, 200, 1, 1, 0, 0},
        PlacementCase{"three columns too many, Center: -1.5 rounds to -2", PlaceMode::Center, 1, 1, 323, 200, 1, 1, -2, 0},
        PlacementCase{"small picture, Center", PlaceMode::Center, 1, 1, 100, 50, 1, 1, 110, 75},
        PlacementCase{"Stretch ignores proportions", PlaceMode::Stretch, 1, 1, 640, 100, 0.5, 2, 0, 0},
        PlacementCase{"BMP4 corrected Fill, 200 x 400", PlaceMode::Fill, 4, 1, 200, 400, 0.8, 1.6, 0, -220},
        PlacementCase{"BMP4 corrected AspFill, 200 x 400", PlaceMode::AspectFill, 4, 1, 200, 400, 0.8, 1.6, 0, -220},
        PlacementCase{"BMP4 corrected Fit, 200 x 400", PlaceMode::Fit, 4, 1, 200, 400, 0.25, 0.5, 55, 0},
        PlacementCase{"BMP4 corrected Center", PlaceMode::Center, 4, 1, 200, 100, 0.5, 1, 30, 50},
        PlacementCase{"BMP4 uncorrected Fill places square pixels", PlaceMode::Fill, 4, 0, 320, 200, 1, 1, -80, 0},
        PlacementCase{"BMP4 uncorrected Stretch", PlaceMode::Stretch, 4, 0, 320, 200, 0.5, 1, 0, 0},
        PlacementCase{"BMP4 corrected Stretch is the same", PlaceMode::Stretch, 4, 1, 320, 200, 0.5, 1, 0, 0},
        PlacementCase{"BMP1 ignores the aspect setting", PlaceMode::Fit, 1, 0, 640, 200, 0.5, 0.5, 0, 50}),
    // The description in CamelCase: "exact size, Fill" -> ExactSizeFill.
    [](const ::testing::TestParamInfo<PlacementCase>& info) {
      std::string name;
      bool word_start = true;
      for (const char* c = info.param.what; *c != '\0'; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c))) {
          word_start = true;
          continue;
        }
        name += word_start ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
        word_start = false;
      }
      return name;
    });

TEST(Placement, ExactFitsAreNotCroppedByRoundingNoise) {
  // 200 x 0.8 is 160.0000000000000089 in long double: the floored offset of an
  // exact fit must still be 0, not -1.
  const Placement p = place_picture(PlaceMode::Fill, 4, 1, 200, 400);
  ASSERT_EQ(p.XSCALE, 0.8);
  EXPECT_GT(200.0L * p.XSCALE, 160.0L);
  EXPECT_EQ(p.OFFSETX, 0);
  // Square pictures: Fill fits the width exactly, Fit the height; those
  // offsets must be 0 in both formats.
  for (int n = 100; n <= 3000; ++n)
    for (int filetype : {1, 4}) {
      ASSERT_EQ(place_picture(PlaceMode::Fill, filetype, 1, n, n).OFFSETX, 0) << n;
      ASSERT_EQ(place_picture(PlaceMode::Fit, filetype, 1, n, n).OFFSETY, 0) << n;
      ASSERT_EQ(place_picture(PlaceMode::AspectFill, filetype, 1, n, n).OFFSETX, 0) << n;
    }
}

TEST(Placement, FillAndFitCoverAndShowTheWholePicture) {
  for (int xsize : {1, 7, 99, 320, 333, 641, 1024, 4000})
    for (int ysize : {1, 5, 200, 201, 768, 3000})
      for (int filetype : {1, 4})
        for (int aspect : {0, 1}) {
          const int outputx = filetype == 1 ? 320 : 160;
          const Placement fill = place_picture(PlaceMode::Fill, filetype, aspect, xsize, ysize);
          // Every working pixel starts inside the placed picture.
          EXPECT_LE(fill.OFFSETX, 0);
          EXPECT_LE(fill.OFFSETY, 0);
          EXPECT_GT(fill.OFFSETX + static_cast<long double>(xsize) * fill.XSCALE, outputx - 1);
          EXPECT_GT(fill.OFFSETY + static_cast<long double>(ysize) * fill.YSCALE, 200 - 1);
          const Placement fit = place_picture(PlaceMode::Fit, filetype, aspect, xsize, ysize);
          // ... and Fit keeps all of it inside.
          EXPECT_GE(fit.OFFSETX, 0);
          EXPECT_GE(fit.OFFSETY, 0);
          EXPECT_LE(fit.OFFSETX + static_cast<long double>(xsize) * fit.XSCALE, outputx + 1e-6);
          EXPECT_LE(fit.OFFSETY + static_cast<long double>(ysize) * fit.YSCALE, 200 + 1e-6);
        }
}

TEST(Placement, ExtendedPrecisionDecidesWhichColumnIsRead) {
  // Working column 4 of the BMP4 corrected Fill of a 200 x 400 picture reads
  // source column floor(4 / 0.8) = 4; in double arithmetic 4 / 0.8 is 5.
  const Placement p = place_picture(PlaceMode::Fill, 4, 1, 200, 400);
  EXPECT_EQ(4.0 / p.XSCALE, 5.0);
  testing::TestPicture pic(200, 400);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 200; ++x) pic.at(x, y) = testing::argb(x, 0, 0);
  Store s;
  s.OUTPUTX = 160;
  s.OUTPUTY = 200;
  resample(s, pic.frame(), p, Resampler::Nearest);
  EXPECT_EQ(s.IMAGEIN(4, 0, 1), 4);
  EXPECT_EQ(s.IMAGEIN(8, 0, 1), 9);  // 8 / 0.8 = 9.999... also floors to 9
}

}  // namespace
}  // namespace tessera
