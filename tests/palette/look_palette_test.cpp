// The look's refinement of a palette: grid colours, pins kept, dominant flat
// colours shown exactly or between their two nearest grid colours, and a
// better fit than the method's palette where the method is far off.
#include <gtest/gtest.h>

#include <random>

#include "palette_test_util.h"
#include "palettes/palette_methods.h"
#include "tessera/pins.h"
#include "tessera/stages.h"

namespace tessera {
namespace {

using testing::fill_census;
using testing::make_store;
using testing::palette_entry;
using testing::RecordingControls;
using testing::Rgb;
using testing::set_pixel;

bool holds(const Store& s, const Rgb& colour) {
  for (int k = 1; k <= 16; ++k)
    if (palette_entry(s.OCLUSTER, k) == colour) return true;
  return false;
}

// A noisy photo-like picture, with a flat background of `flat` on its left
// half (half of all pixels).
std::unique_ptr<Store> picture_with_background(const Rgb& flat) {
  auto s = make_store(160, 200, 4);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> channel(0, 255);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 160; ++x)
      set_pixel(*s, x, y, x < 80 ? flat : Rgb{channel(rng), channel(rng), channel(rng)});
  fill_census(*s);
  return s;
}

std::unique_ptr<Store> chosen(std::unique_ptr<Store> s, bool refine) {
  RecordingControls ui;
  ui.select(Ctl::Scolorq);
  s->REFINE = refine ? 1 : 0;
  INITIALIZECOLORS(*s, ui);
  return s;
}

TEST(LookPalette, ShowsAFlatColourOnTheGridExactly) {
  const Rgb flat{68, 136, 204};
  auto s = chosen(picture_with_background(flat), true);
  EXPECT_TRUE(holds(*s, flat));
}

TEST(LookPalette, PutsAFlatColourOffTheGridBetweenItsTwoNearestGridColours) {
  // 60 and 100 lie 8 and 2 away from 68 and 102: red needs a step, green not.
  auto s = chosen(picture_with_background(Rgb{60, 100, 204}), true);
  EXPECT_TRUE(holds(*s, Rgb{68, 102, 204}));
  EXPECT_TRUE(holds(*s, Rgb{51, 102, 204}));
}

TEST(LookPalette, KeepsPinsAndStaysOnTheGrid) {
  auto s = picture_with_background(Rgb{68, 136, 204});
  pin_entry(*s, 5, PaletteColour{255, 0, 0});
  s = chosen(std::move(s), true);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 5), (Rgb{255, 0, 0}));
  for (int k = 1; k <= 16; ++k)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(s->OCLUSTER[k][c] % 17, 0) << k;
}

// Without diffusion each pixel shows its nearest entry; the refinement
// minimises exactly that error on the grid, so it must not lose to the
// method it starts from.
TEST(LookPalette, FitsThePixelsAtLeastAsWellAsTheMethod) {
  auto error = [](const Store& s) {
    double total = 0;
    for (int y = 0; y < s.OUTPUTY; ++y)
      for (int x = 0; x < s.OUTPUTX; ++x) {
        double best = 1e18;
        for (int k = 1; k <= 16; ++k) {
          double d = 0;
          for (int c = 1; c <= 3; ++c) d += SQD(s.IMAGEINORG(x, y, c), s.OCLUSTER[k][c]);
          best = std::min(best, d);
        }
        total += best;
      }
    return total;
  };
  auto make = [] {
    auto s = make_store(160, 200, 4);
    std::mt19937 rng(11);
    testing::random_picture(*s, rng, 300);
    fill_census(*s);
    return s;
  };
  const double plain = error(*chosen(make(), false));
  const double refined = error(*chosen(make(), true));
  EXPECT_LE(refined, plain);
}

}  // namespace
}  // namespace tessera
