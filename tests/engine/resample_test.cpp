// The four resampling methods: agreement with the plain per-pixel versions,
// and the cases whose results are known in advance.
#include <gtest/gtest.h>

#include <random>

#include "engine/input_reference.h"

namespace tessera {
namespace {

using testing::argb;
using testing::Rgba;
using testing::TestPicture;

const char* method_name(Resampler m) {
  static const char* names[] = {"nearest", "average", "bicubic", "Lanczos"};
  return names[static_cast<int>(m)];
}

Store resampled(TestPicture& pic, PlaceMode mode, int filetype, int aspect, Resampler method,
                Placement* out = nullptr) {
  Store s;
  s.OUTPUTX = filetype == 1 ? 320 : 160;
  s.OUTPUTY = 200;
  const Placement p = place_picture(mode, filetype, aspect, pic.width, pic.height);
  resample(s, pic.frame(), p, method);
  if (out) *out = p;
  return s;
}

TEST(Resample, AgreesWithThePlainVersionOnRandomPictures) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> side(1, 700), pick_mode(0, 4), pick_type(0, 1), coin(0, 1);
  int compared = 0;
  for (int round = 0; round < 24; ++round) {
    // Small, large, and exact-fit sizes; random placement and format.
    int w = side(rng), h = side(rng);
    if (round % 6 == 0) w = 320, h = 200;
    if (round % 6 == 1) w = 200, h = 400;
    TestPicture pic = testing::random_picture(rng, w, h, coin(rng) == 1);
    const int mode = pick_mode(rng), filetype = pick_type(rng) ? 1 : 4, aspect = coin(rng);
    for (Resampler method : testing::kEveryResampler) {
      Placement p;
      Store s = resampled(pic, static_cast<PlaceMode>(mode), filetype, aspect, method, &p);
      // Every pixel of the border and a spread of the inside: the plain
      // Lanczos is too slow to run on every pixel of every round.
      const Frame f = pic.frame();
      for (int y = 0; y < s.OUTPUTY; ++y)
        for (int x = 0; x < s.OUTPUTX; ++x) {
          const bool border = x < 2 || y < 2 || x >= s.OUTPUTX - 2 || y >= s.OUTPUTY - 2;
          if (!border && (x * 7 + y * 13) % (method == Resampler::Lanczos ? 29 : 5) != 0) continue;
          ASSERT_EQ(testing::working_pixel(s, x, y), testing::ref_pixel(method, f, p, x, y))
              << method_name(method) << " at " << x << "," << y << " of " << w << "x" << h << " mode " << mode
              << " type " << filetype << " aspect " << aspect;
          ++compared;
        }
    }
  }
  EXPECT_GT(compared, 100000);
}

TEST(Resample, PictureOfTheWorkingSizeIsCopiedByThreeMethods) {
  std::mt19937 rng(7);
  TestPicture pic = testing::random_picture(rng, 320, 200, true);
  for (PlaceMode mode : {PlaceMode::Fill, PlaceMode::Stretch, PlaceMode::Center, PlaceMode::Fit, PlaceMode::AspectFill})
    for (Resampler method : {Resampler::Nearest, Resampler::Average, Resampler::Bicubic}) {
      Store s = resampled(pic, mode, 1, 1, method);
      for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
          const std::uint32_t p = pic.at(x, y);
          ASSERT_EQ(testing::working_pixel(s, x, y),
                    (Rgba{int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255), int(p >> 24)}))
              << method_name(method) << " mode " << mode << " at " << x << "," << y;
        }
    }
}

TEST(Resample, HalvingWithAverageTakesTheFloorOfEachTwoByTwoMean) {
  std::mt19937 rng(8);
  TestPicture pic = testing::random_picture(rng, 640, 400, true);
  Store s = resampled(pic, PlaceMode::Fill, 1, 1, Resampler::Average);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x)
      for (int c = 0; c < 4; ++c) {
        const int shift = c == 3 ? 24 : 16 - 8 * c;
        int sum = 0;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) sum += (pic.at(2 * x + dx, 2 * y + dy) >> shift) & 255;
        ASSERT_EQ(s.IMAGEIN(x, y, c + 1), sum / 4) << x << "," << y << " channel " << c + 1;
      }
}

TEST(Resample, FitLeavesTheBordersTransparentBlack) {
  TestPicture pic(1280, 200, argb(10, 20, 30));
  Placement p;
  Store s = resampled(pic, PlaceMode::Fit, 1, 1, Resampler::Nearest, &p);
  EXPECT_EQ(p.OFFSETY, 75);
  for (int x = 0; x < 320; x += 3) {
    EXPECT_EQ(testing::working_pixel(s, x, 74), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(testing::working_pixel(s, x, 75), (Rgba{10, 20, 30, 255}));
    EXPECT_EQ(testing::working_pixel(s, x, 124), (Rgba{10, 20, 30, 255}));
    EXPECT_EQ(testing::working_pixel(s, x, 125), (Rgba{0, 0, 0, 0}));
  }
}

TEST(Resample, AverageBoxInsideOneSourceRowTakesThatRow) {
  // BMP4, corrected, Fill, 200 x 400: YSCALE 1.6, so some boxes fall inside a
  // single source row. They take that row instead of leaving a transparent
  // black stripe.
  TestPicture pic(200, 400);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 200; ++x) pic.at(x, y) = argb(y % 256, x, 77);
  Placement p;
  Store s = resampled(pic, PlaceMode::Fill, 4, 1, Resampler::Average, &p);
  ASSERT_EQ(p.YSCALE, 1.6);
  int single_row_boxes = 0;
  for (int y = 0; y < 200; ++y) {
    const float start = static_cast<float>(static_cast<long double>(y - p.OFFSETY) / p.YSCALE);
    const float end = static_cast<float>(static_cast<long double>(y + 1 - p.OFFSETY) / p.YSCALE);
    const int first = static_cast<int>(std::floor(start));
    const bool single_row = static_cast<int>(std::floor(end)) - 1 < first;
    single_row_boxes += single_row;
    for (int x = 0; x < 160; ++x) {
      ASSERT_EQ(s.IMAGEIN(x, y, 4), 255) << x << "," << y;
      if (single_row) {
        ASSERT_EQ(s.IMAGEIN(x, y, 1), first % 256) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(single_row_boxes, 75);
}

TEST(Resample, LanczosKeepsOpaqueFlatPicturesOpaqueAndFlat) {
  // A constant channel divided by its weights is the constant times 1 +- a few
  // ulps; the floor must not drop a level.
  for (int w : {97, 320, 333, 640, 1024}) {
    TestPicture pic(w, w * 3 / 4, argb(200, 17, 1));
    for (PlaceMode mode : {PlaceMode::Fill, PlaceMode::Stretch, PlaceMode::AspectFill})
      for (int filetype : {1, 4}) {
        Store s = resampled(pic, mode, filetype, 1, Resampler::Lanczos);
        for (int y = 0; y < s.OUTPUTY; ++y)
          for (int x = 0; x < s.OUTPUTX; ++x)
            ASSERT_EQ(testing::working_pixel(s, x, y), (Rgba{200, 17, 1, 255}))
                << w << " mode " << mode << " type " << filetype << " at " << x << "," << y;
      }
  }
}

TEST(Resample, LanczosReachesThreeSourcePixelsBeyondThePicture) {
  // No bounds test: a working pixel just outside the placed picture still
  // takes a weighted value, only farther ones are 0.
  // A 100 x 100 picture fitted at scale 2 starts at working column 60; column
  // 59 lies half a source pixel left of it, column 55 two and a half.
  TestPicture pic(100, 100, argb(50, 60, 70));
  Placement p;
  Store s = resampled(pic, PlaceMode::Fit, 1, 1, Resampler::Lanczos, &p);
  ASSERT_EQ(p.XSCALE, 2.0);
  ASSERT_EQ(p.OFFSETX, 60);
  EXPECT_EQ(testing::working_pixel(s, 59, 101), (Rgba{50, 60, 70, 255}));
  EXPECT_EQ(testing::working_pixel(s, 55, 101), (Rgba{50, 60, 70, 255}));
  EXPECT_EQ(testing::working_pixel(s, 54, 101), (Rgba{0, 0, 0, 0}));  // three away: weight 0
  EXPECT_EQ(testing::working_pixel(s, 53, 101), (Rgba{0, 0, 0, 0}));
  // Nearest and bicubic stop at the picture's edge.
  for (Resampler method : {Resampler::Nearest, Resampler::Bicubic}) {
    Store t = resampled(pic, PlaceMode::Fit, 1, 1, method);
    EXPECT_EQ(testing::working_pixel(t, 59, 101), (Rgba{0, 0, 0, 0})) << method_name(method);
    EXPECT_EQ(testing::working_pixel(t, 60, 101), (Rgba{50, 60, 70, 255})) << method_name(method);
  }
}

TEST(Resample, LanczosKernel) {
  EXPECT_EQ(LANCZOSKERNEL(0.0, 3), 1.0);
  EXPECT_EQ(LANCZOSKERNEL(3.0, 3), 0.0);
  EXPECT_EQ(LANCZOSKERNEL(-3.0, 3), 0.0);
  EXPECT_EQ(LANCZOSKERNEL(7.5, 3), 0.0);
  EXPECT_NEAR(LANCZOSKERNEL(0.5, 3), 3 * std::sin(M_PI / 2) * std::sin(M_PI / 6) / (0.25 * M_PI * M_PI), 1e-15);
  EXPECT_NEAR(LANCZOSKERNEL(1.0, 3), 0.0, 1e-15);
  EXPECT_LT(LANCZOSKERNEL(1.5, 3), 0.0);  // the negative lobe
  for (double d : {0.1, 0.5, 1.25, 2.0, 2.999})
    EXPECT_EQ(LANCZOSKERNEL(d, 3), LANCZOSKERNEL(-d, 3)) << d;
}

TEST(Resample, ColoursAreResampledIndependentlyOfAlpha) {
  // A fully transparent picture stays fully transparent, and its colours are
  // not premultiplied away.
  TestPicture pic(333, 222, argb(90, 180, 240, 0));
  for (Resampler method : testing::kEveryResampler) {
    Store s = resampled(pic, PlaceMode::Fill, 1, 1, method);
    for (int y = 0; y < 200; y += 7)
      for (int x = 0; x < 320; x += 7)
        ASSERT_EQ(testing::working_pixel(s, x, y), (Rgba{90, 180, 240, 0})) << method_name(method);
  }
}

TEST(Resample, AspectFillIsFill) {
  std::mt19937 rng(9);
  TestPicture pic = testing::random_picture(rng, 413, 257, true);
  for (int filetype : {1, 4})
    for (Resampler method : testing::kEveryResampler) {
      Store a = resampled(pic, PlaceMode::Fill, filetype, 1, method);
      Store b = resampled(pic, PlaceMode::AspectFill, filetype, 1, method);
      for (int y = 0; y < 200; ++y)
        for (int x = 0; x < a.OUTPUTX; ++x) ASSERT_EQ(testing::working_pixel(a, x, y), testing::working_pixel(b, x, y));
    }
}

}  // namespace
}  // namespace tessera
