// The area-Lanczos resamplers: what a filter that widens when shrinking must
// give on pictures whose answer is known, and the words that choose them.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/input_reference.h"
#include "tessera/settings_file.h"

namespace tessera {
namespace {

using testing::argb;
using testing::Rgba;
using testing::TestPicture;
using testing::working_pixel;

template <typename Row>
std::string row_name(const ::testing::TestParamInfo<Row>& info) {
  return info.param.name;
}

Rgba rgba(std::uint32_t v) {
  return {int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255), int(v >> 24)};
}

// The picture resampled into a working image of outputx x outputy at the
// placement given.
Store resampled(TestPicture& pic, Resampler method, int outputx, int outputy, const Placement& p) {
  Store s;
  s.OUTPUTX = outputx;
  s.OUTPUTY = outputy;
  resample(s, pic.frame(), p, method);
  return s;
}

// The same into the format's working image, placed as the mode places it.
Store resampled(TestPicture& pic, Resampler method, PlaceMode mode, int filetype) {
  return resampled(pic, method, filetype == 1 ? 320 : 160, 200,
                   place_picture(mode, filetype, 1, pic.width, pic.height));
}

struct Variant {
  const char* name;
  Resampler method;
};

class AreaLanczos : public ::testing::TestWithParam<Variant> {};

INSTANTIATE_TEST_SUITE_P(Variants, AreaLanczos,
                         ::testing::Values(Variant{"AreaLanczos", Resampler::AreaLanczos},
                                           Variant{"AreaLanczosLinear", Resampler::AreaLanczosLinear}),
                         row_name<Variant>);

TEST_P(AreaLanczos, FlatPictureStaysFlatWhereTheAverageTakesThePicture) {
  // The average of a flat picture is its colour where a working pixel takes
  // the picture and transparent black where it does not; a normalised filter
  // must agree pixel for pixel, partly covered edges and enlargements too.
  for (const auto& [w, h] : {std::pair{97, 61}, {333, 250}, {1000, 170}, {150, 900}})
    for (const std::uint32_t colour : {argb(200, 17, 1), argb(12, 99, 250, 128)})
      for (PlaceMode mode : {PlaceMode::Fill, PlaceMode::Stretch, PlaceMode::Center, PlaceMode::Fit})
        for (int filetype : {1, 4}) {
          TestPicture pic(w, h, colour);
          const Store want = resampled(pic, Resampler::Average, mode, filetype);
          const Store got = resampled(pic, GetParam().method, mode, filetype);
          for (int y = 0; y < got.OUTPUTY; ++y)
            for (int x = 0; x < got.OUTPUTX; ++x)
              ASSERT_EQ(working_pixel(got, x, y), working_pixel(want, x, y))
                  << w << "x" << h << " mode " << mode << " type " << filetype << " at " << x << "," << y;
        }
}

TEST_P(AreaLanczos, GradientsShrinkMonotonic) {
  // Ramps across and down, shrunk by different factors on the two axes
  // (BMP4's aspect correction halves the columns once more).
  TestPicture across(1111, 777), down(777, 1111);
  for (int y = 0; y < 777; ++y)
    for (int x = 0; x < 1111; ++x) across.at(x, y) = down.at(y, x) = argb(x * 255 / 1110, 0, 0);
  for (int filetype : {1, 4})
    for (PlaceMode mode : {PlaceMode::Stretch, PlaceMode::Fill}) {
      const Store a = resampled(across, GetParam().method, mode, filetype);
      const Store d = resampled(down, GetParam().method, mode, filetype);
      for (int y = 0; y < 200; ++y)
        for (int x = 1; x < a.OUTPUTX; ++x)
          ASSERT_LE(a.IMAGEIN(x - 1, y, 1), a.IMAGEIN(x, y, 1)) << x << "," << y;
      for (int x = 0; x < d.OUTPUTX; ++x)
        for (int y = 1; y < 200; ++y) ASSERT_LE(d.IMAGEIN(x, y - 1, 1), d.IMAGEIN(x, y, 1)) << x << "," << y;
      EXPECT_LT(a.IMAGEIN(0, 100, 1), a.IMAGEIN(a.OUTPUTX - 1, 100, 1));
      EXPECT_LT(d.IMAGEIN(10, 0, 1), d.IMAGEIN(10, 199, 1));
    }
}

TEST_P(AreaLanczos, EnlargingInterpolatesThroughThePicturesPixels) {
  // A working pixel centred on a picture pixel, at scale 1 every one and at
  // 3 every third, weighs that pixel alone under an unstretched Lanczos-3:
  // it comes out unchanged, through light and back too.
  std::mt19937 rng(21);
  TestPicture pic = testing::random_picture(rng, 100, 60, true);
  for (const int scale : {1, 3}) {
    Placement p;
    p.XSCALE = p.YSCALE = scale;
    const Store s = resampled(pic, GetParam().method, 100 * scale, 60 * scale, p);
    for (int j = 0; j < 60; ++j)
      for (int i = 0; i < 100; ++i)
        ASSERT_EQ(working_pixel(s, scale * i + scale / 2, scale * j + scale / 2), rgba(pic.at(i, j)))
            << "scale " << scale << " at " << i << "," << j;
  }
}

// A 4:1 shrink of a one-pixel checkerboard of opaque white and transparent
// black, away from the edges (where the cut kernel leans to one side).
struct Checkerboard {
  const char* name;
  Resampler method;
  double colour, colour_tolerance;  // what each colour channel comes to
  double alpha, alpha_tolerance;
};

class CheckerboardShrink : public ::testing::TestWithParam<Checkerboard> {};

INSTANTIATE_TEST_SUITE_P(
    Variants, CheckerboardShrink,
    ::testing::Values(
        // The mean of 0 and 255 is 127.5: either neighbour, as the last bits
        // fall; alpha alike.
        Checkerboard{"AreaLanczosGivesTheMeanLevel", Resampler::AreaLanczos, 127.5, 0.5, 127.5, 0.5},
        // Half of white's light is level 187.516 (1.055 * 0.5^(1/2.4) - 0.055);
        // alpha is no light and takes the plain mean.
        Checkerboard{"AreaLanczosLinearGivesTheMeanLight", Resampler::AreaLanczosLinear, 188, 0, 127.5, 0.5},
        // The interpolators read one pixel in four and see only the black.
        Checkerboard{"NearestSeesOneColour", Resampler::Nearest, 0, 0, 0, 0},
        Checkerboard{"LanczosSeesOneColour", Resampler::Lanczos, 0, 0, 0, 0}),
    row_name<Checkerboard>);

TEST_P(CheckerboardShrink, Interior) {
  TestPicture pic(1280, 800);
  for (int y = 0; y < 800; ++y)
    for (int x = 0; x < 1280; ++x) pic.at(x, y) = (x + y) % 2 == 1 ? argb(255, 255, 255) : argb(0, 0, 0, 0);
  const Checkerboard& c = GetParam();
  const Store s = resampled(pic, c.method, PlaceMode::Stretch, 1);
  for (int y = 3; y < 197; ++y)
    for (int x = 3; x < 317; ++x) {
      for (int ch = 1; ch <= 3; ++ch)
        ASSERT_NEAR(s.IMAGEIN(x, y, ch), c.colour, c.colour_tolerance) << x << "," << y;
      ASSERT_NEAR(s.IMAGEIN(x, y, 4), c.alpha, c.alpha_tolerance) << x << "," << y;
    }
}

// A white pixel among eight black ones, shrunk 3:1 along one axis. The middle
// working pixel is centred on it; its kernel, stretched by 3, weighs the nine
// pixels at distances -4/3 .. 4/3 as L(d) = 3 sin(pi d) sin(pi d / 3) / (pi d)^2:
// L(0) = 1, L(1/3) = 0.810301, L(2/3) = 0.380717, L(1) = 0, L(4/3) = -0.145823,
// 3.090390 in all. White's share is 1 / 3.090390 = 0.323584: level 82.51, or
// as light, 1.055 * 0.323584^(1/2.4) - 0.055 = level 154.10. The outer
// working pixels are centred 3 pixels away, where the kernel is 0.
struct Impulse {
  const char* name;
  Resampler method;
  bool down;  // along the rows instead of the columns
  int middle;
};

class ImpulseShrink : public ::testing::TestWithParam<Impulse> {};

INSTANTIATE_TEST_SUITE_P(
    HandComputed, ImpulseShrink,
    ::testing::Values(Impulse{"AreaLanczosAcross", Resampler::AreaLanczos, false, 83},
                      Impulse{"AreaLanczosDown", Resampler::AreaLanczos, true, 83},
                      Impulse{"AreaLanczosLinearAcross", Resampler::AreaLanczosLinear, false, 154},
                      Impulse{"AreaLanczosLinearDown", Resampler::AreaLanczosLinear, true, 154}),
    row_name<Impulse>);

TEST_P(ImpulseShrink, MatchesTheWeightsWorkedOutByHand) {
  const Impulse& c = GetParam();
  TestPicture pic(c.down ? 1 : 9, c.down ? 9 : 1, argb(0, 0, 0));
  pic.pixels[4] = argb(255, 255, 255);
  Placement p;
  p.XSCALE = c.down ? 1.0 : 1.0 / 3;
  p.YSCALE = c.down ? 1.0 / 3 : 1.0;
  const Store s = resampled(pic, c.method, c.down ? 1 : 3, c.down ? 3 : 1, p);
  for (int i = 0; i < 3; ++i) {
    const int level = i == 1 ? c.middle : 0;
    EXPECT_EQ(working_pixel(s, c.down ? 0 : i, c.down ? i : 0), (Rgba{level, level, level, 255})) << i;
  }
}

struct Word {
  const char* name;
  const char* word;
  Resampler method;
};

class AreaLanczosWord : public ::testing::TestWithParam<Word> {};

INSTANTIATE_TEST_SUITE_P(Words, AreaLanczosWord,
                         ::testing::Values(Word{"AreaLanczos", "area-lanczos", Resampler::AreaLanczos},
                                           Word{"AreaLanczosLinear", "area-lanczos-linear",
                                                Resampler::AreaLanczosLinear}),
                         row_name<Word>);

TEST_P(AreaLanczosWord, RoundTripsThroughASettingsFile) {
  ConversionSettings read;
  ASSERT_EQ(set_setting(setting_key("scale"), GetParam().word, read), "");
  EXPECT_EQ(read.scale, GetParam().method);
  const std::string text = settings_file_text(read);
  EXPECT_NE(text.find(std::string("\nscale = ") + GetParam().word + "\n"), std::string::npos) << text;
  ConversionSettings back;
  ASSERT_EQ(read_settings_text(text, back), "");
  EXPECT_EQ(back, read);
}

}  // namespace
}  // namespace tessera
