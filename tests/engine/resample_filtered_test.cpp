// The area-Lanczos resamplers: what a filter that widens when shrinking must
// give on pictures whose answer is known, and the words that choose them.
#include <gtest/gtest.h>

#include <ostream>
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

struct Variant {
  const char* name;
  Resampler method;
  friend void PrintTo(const Variant& v, std::ostream* out) { *out << v.name; }
};

const Variant kVariants[] = {{"AreaLanczos", Resampler::AreaLanczos},
                             {"AreaLanczosLinear", Resampler::AreaLanczosLinear}};

std::string variant_name(const ::testing::TestParamInfo<Variant>& info) {
  return info.param.name;
}

// The picture resampled into a working image of the format's size.
Store resampled(TestPicture& pic, PlaceMode mode, int filetype, int aspect, Resampler method) {
  Store s;
  s.OUTPUTX = filetype == 1 ? 320 : 160;
  s.OUTPUTY = 200;
  resample(s, pic.frame(), place_picture(mode, filetype, aspect, pic.width, pic.height), method);
  return s;
}

// The picture resampled into a working image of any size at a placement of
// the test's own.
Store resampled(TestPicture& pic, int outputx, int outputy, const Placement& p, Resampler method) {
  Store s;
  s.OUTPUTX = outputx;
  s.OUTPUTY = outputy;
  resample(s, pic.frame(), p, method);
  return s;
}

class AreaLanczos : public ::testing::TestWithParam<Variant> {};

INSTANTIATE_TEST_SUITE_P(Variants, AreaLanczos, ::testing::ValuesIn(kVariants), variant_name);

TEST_P(AreaLanczos, FlatPictureStaysFlatWhereTheAverageTakesThePicture) {
  // The average of a flat picture is its colour where a working pixel takes
  // the picture and transparent black where it does not; a normalised filter
  // must agree pixel for pixel, partly covered edges and enlargements too.
  struct Size {
    int w, h;
  };
  for (const Size size : {Size{97, 61}, Size{320, 200}, Size{333, 250}, Size{1000, 170}, Size{150, 900}})
    for (const std::uint32_t colour : {argb(200, 17, 1), argb(12, 99, 250, 128)})
      for (PlaceMode mode : {PlaceMode::Fill, PlaceMode::Stretch, PlaceMode::Center, PlaceMode::Fit})
        for (int filetype : {1, 4}) {
          TestPicture pic(size.w, size.h, colour);
          const Store want = resampled(pic, mode, filetype, 1, Resampler::Average);
          const Store got = resampled(pic, mode, filetype, 1, GetParam().method);
          for (int y = 0; y < got.OUTPUTY; ++y)
            for (int x = 0; x < got.OUTPUTX; ++x)
              ASSERT_EQ(working_pixel(got, x, y), working_pixel(want, x, y))
                  << size.w << "x" << size.h << " mode " << mode << " type " << filetype << " at " << x << ","
                  << y;
        }
}

// A 4:1 shrink of a one-pixel checkerboard of opaque white and transparent
// black, away from the edges (where the cut kernel leans to one side).
struct Checkerboard {
  const char* name;
  Resampler method;
  double colour, colour_tolerance;  // what each colour channel comes to
  double alpha, alpha_tolerance;
  friend void PrintTo(const Checkerboard& c, std::ostream* out) { *out << c.name; }
};

class CheckerboardShrink : public ::testing::TestWithParam<Checkerboard> {};

INSTANTIATE_TEST_SUITE_P(
    Variants, CheckerboardShrink,
    ::testing::Values(
        // The mean of 0 and 255 is 127.5: either neighbour, as the last bits
        // fall; alpha alike.
        Checkerboard{"AreaLanczosGivesTheMeanLevel", Resampler::AreaLanczos, 127.5, 0.5, 127.5, 0.5},
        // Half of white's light is level 187.516 (1.055 * 0.5^(1/2.4) - 0.055);
        // alpha is no light and still takes the plain mean.
        Checkerboard{"AreaLanczosLinearGivesTheMeanLight", Resampler::AreaLanczosLinear, 188, 0, 127.5, 0.5},
        // The interpolators read one pixel in four and see only the black.
        Checkerboard{"NearestSeesOneColour", Resampler::Nearest, 0, 0, 0, 0},
        Checkerboard{"LanczosSeesOneColour", Resampler::Lanczos, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<Checkerboard>& info) { return std::string(info.param.name); });

TEST_P(CheckerboardShrink, Interior) {
  TestPicture pic(1280, 800);
  for (int y = 0; y < 800; ++y)
    for (int x = 0; x < 1280; ++x) pic.at(x, y) = (x + y) % 2 == 1 ? argb(255, 255, 255) : argb(0, 0, 0, 0);
  const Checkerboard& c = GetParam();
  const Store s = resampled(pic, PlaceMode::Stretch, 1, 1, c.method);
  for (int y = 3; y < 197; ++y)
    for (int x = 3; x < 317; ++x) {
      for (int ch = 1; ch <= 3; ++ch)
        ASSERT_NEAR(s.IMAGEIN(x, y, ch), c.colour, c.colour_tolerance) << x << "," << y;
      ASSERT_NEAR(s.IMAGEIN(x, y, 4), c.alpha, c.alpha_tolerance) << x << "," << y;
    }
}

TEST_P(AreaLanczos, GradientsShrinkMonotonic) {
  // Ramps across and down, shrunk at different factors on the two axes (BMP4
  // with its aspect correction halves the columns once more).
  TestPicture across(1111, 777), down(777, 1111);
  for (int y = 0; y < 777; ++y)
    for (int x = 0; x < 1111; ++x) {
      const int level = x * 255 / 1110;
      across.at(x, y) = argb(level, level, level);
      down.at(y, x) = argb(level, level, level);
    }
  for (int filetype : {1, 4})
    for (PlaceMode mode : {PlaceMode::Stretch, PlaceMode::Fill}) {
      const Store a = resampled(across, mode, filetype, 1, GetParam().method);
      const Store d = resampled(down, mode, filetype, 1, GetParam().method);
      for (int y = 0; y < 200; ++y)
        for (int x = 1; x < a.OUTPUTX; ++x)
          ASSERT_LE(a.IMAGEIN(x - 1, y, 1), a.IMAGEIN(x, y, 1)) << x << "," << y;
      for (int x = 0; x < d.OUTPUTX; ++x)
        for (int y = 1; y < 200; ++y) ASSERT_LE(d.IMAGEIN(x, y - 1, 1), d.IMAGEIN(x, y, 1)) << x << "," << y;
      EXPECT_LT(a.IMAGEIN(0, 100, 1), a.IMAGEIN(a.OUTPUTX - 1, 100, 1));
      EXPECT_LT(d.IMAGEIN(10, 0, 1), d.IMAGEIN(10, 199, 1));
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
  friend void PrintTo(const Impulse& c, std::ostream* out) { *out << c.name; }
};

class ImpulseShrink : public ::testing::TestWithParam<Impulse> {};

INSTANTIATE_TEST_SUITE_P(
    HandComputed, ImpulseShrink,
    ::testing::Values(Impulse{"AreaLanczosAcross", Resampler::AreaLanczos, false, 83},
                      Impulse{"AreaLanczosDown", Resampler::AreaLanczos, true, 83},
                      Impulse{"AreaLanczosLinearAcross", Resampler::AreaLanczosLinear, false, 154},
                      Impulse{"AreaLanczosLinearDown", Resampler::AreaLanczosLinear, true, 154}),
    [](const ::testing::TestParamInfo<Impulse>& info) { return std::string(info.param.name); });

TEST_P(ImpulseShrink, MatchesTheWeightsWorkedOutByHand) {
  const Impulse& c = GetParam();
  TestPicture pic(c.down ? 1 : 9, c.down ? 9 : 1, argb(0, 0, 0));
  pic.pixels[4] = argb(255, 255, 255);
  Placement p;
  p.XSCALE = c.down ? 1.0 : 1.0 / 3;
  p.YSCALE = c.down ? 1.0 / 3 : 1.0;
  const Store s = resampled(pic, c.down ? 1 : 3, c.down ? 3 : 1, p, c.method);
  for (int i = 0; i < 3; ++i) {
    const Rgba got = working_pixel(s, c.down ? 0 : i, c.down ? i : 0);
    const int level = i == 1 ? c.middle : 0;
    EXPECT_EQ(got, (Rgba{level, level, level, 255})) << "working pixel " << i;
  }
}

TEST_P(AreaLanczos, EnlargingInterpolatesThroughThePicturesPixels) {
  // At 3:1 every third working pixel is centred on a picture pixel, where an
  // unstretched Lanczos-3 weighs that pixel alone: it comes out unchanged,
  // colours as light included, while the pixels between take new values.
  std::mt19937 rng(21);
  TestPicture pic = testing::random_picture(rng, 100, 60, true);
  Placement p;
  p.XSCALE = p.YSCALE = 3.0;
  const Store s = resampled(pic, 300, 180, p, GetParam().method);
  int between_differs = 0;
  for (int j = 0; j < 60; ++j)
    for (int i = 0; i < 100; ++i) {
      const std::uint32_t v = pic.at(i, j);
      const Rgba want{int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255), int(v >> 24)};
      ASSERT_EQ(working_pixel(s, 3 * i + 1, 3 * j + 1), want) << i << "," << j;
      between_differs += working_pixel(s, 3 * i, 3 * j + 1) != want;
    }
  EXPECT_GT(between_differs, 5000);
}

TEST_P(AreaLanczos, PictureOfTheWorkingSizeIsCopied) {
  std::mt19937 rng(22);
  TestPicture pic = testing::random_picture(rng, 320, 200, true);
  const Store s = resampled(pic, PlaceMode::Stretch, 1, 1, GetParam().method);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      const std::uint32_t v = pic.at(x, y);
      ASSERT_EQ(working_pixel(s, x, y),
                (Rgba{int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255), int(v >> 24)}))
          << x << "," << y;
    }
}

TEST_P(AreaLanczos, TheSameOnEveryRun) {
  // The rows are split over threads; each working pixel still adds its terms
  // in one order.
  std::mt19937 rng(23);
  TestPicture pic = testing::random_picture(rng, 1234, 987, true);
  const Store first = resampled(pic, PlaceMode::Fit, 4, 1, GetParam().method);
  for (int run = 0; run < 3; ++run) {
    const Store again = resampled(pic, PlaceMode::Fit, 4, 1, GetParam().method);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 160; ++x) ASSERT_EQ(working_pixel(again, x, y), working_pixel(first, x, y));
  }
}

struct Word {
  const char* word;
  Resampler method;
  friend void PrintTo(const Word& w, std::ostream* out) { *out << w.word; }
};

class AreaLanczosWord : public ::testing::TestWithParam<Word> {};

INSTANTIATE_TEST_SUITE_P(Words, AreaLanczosWord,
                         ::testing::Values(Word{"area-lanczos", Resampler::AreaLanczos},
                                           Word{"area-lanczos-linear", Resampler::AreaLanczosLinear}),
                         [](const ::testing::TestParamInfo<Word>& info) {
                           std::string name = info.param.word;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

TEST_P(AreaLanczosWord, RoundTripsThroughASettingsFile) {
  ConversionSettings read;
  ASSERT_EQ(set_setting(setting_key("scale"), GetParam().word, read), "");
  EXPECT_EQ(read.scale, GetParam().method);

  const std::string text = settings_file_text(read);
  EXPECT_NE(text.find(std::string("\nscale = ") + GetParam().word + "\n"), std::string::npos) << text;
  ConversionSettings back;
  ASSERT_EQ(read_settings_text(text, back), "");
  EXPECT_EQ(back, read);
  EXPECT_EQ(control_of(setting_key("scale"), static_cast<int>(GetParam().method)), Ctl::None)
      << "the window has no button for it";
}

}  // namespace
}  // namespace tessera
