// The palette driver: the small-census shortcut, the method choice, the grid
// reduction, the swatches and the cell flags.

#include <gtest/gtest.h>

#include "palette_test_util.h"
#include "tessera/stages.h"

namespace tessera {
namespace {

using testing::fill_census;
using testing::make_store;
using testing::palette_entry;
using testing::RecordingControls;
using testing::Rgb;
using testing::set_pixel;

const Rgb kMagenta{255, 0, 255};
const char kShortcutText[] = "16 Colors or Less, Skipping K-Means, Palette Matching";

// n distinct colours, one per column stripe of a 320 x 200 picture.
std::unique_ptr<Store> stripes(int n) {
  auto s = make_store(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      const int i = x * n / 320;
      set_pixel(*s, x, y, Rgb{16 * (i % 16) + 3, 40 + 9 * i, 200 - 7 * i});
    }
  fill_census(*s);
  return s;
}

TEST(SmallCensus, SixteenColoursBecomeThePaletteSeventeenRunTheMethod) {
  for (Ctl method : {Ctl::MedianCut, Ctl::Kmeans, Ctl::Scolorq}) {
    auto s = stripes(16);
    RecordingControls ui;
    ui.select(method);
    INITIALIZECOLORS(*s, ui);
    ASSERT_EQ(s->COLCOUNT, 16);
    EXPECT_EQ(ui.status.front(), kShortcutText);
    for (int k = 1; k <= 16; ++k) {
      const CensusEntry& e = s->COLORS[static_cast<std::size_t>(k)];
      EXPECT_EQ(palette_entry(s->OCLUSTER, k), (Rgb{to_grid(e[1]), to_grid(e[2]), to_grid(e[3])})) << k;
    }

    auto t = stripes(17);
    RecordingControls ui17;
    ui17.select(method);
    INITIALIZECOLORS(*t, ui17);
    ASSERT_EQ(t->COLCOUNT, 17);
    EXPECT_NE(ui17.status.front(), kShortcutText);
  }
}

TEST(SmallCensus, SlotsAfterTheCensusAreBlack) {
  auto s = make_store(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) set_pixel(*s, x, y, x < 100 ? Rgb{255, 255, 255} : Rgb{200, 30, 77});
  fill_census(*s);
  s->CLUSTER[5] = {0, 90, 90, 90, 0};  // left over from an earlier run
  ControlValues ui;
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 1), (Rgb{204, 17, 68}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 2), (Rgb{255, 255, 255}));
  for (int k = 3; k <= 16; ++k) EXPECT_EQ(palette_entry(s->OCLUSTER, k), (Rgb{0, 0, 0})) << k;
}

// A transparent sprite: slot 1 must stay the key, so the opaque colours start
// at slot 2, including the one that is census entry 1.
TEST(SmallCensus, TransparentPictureKeepsTheKeyAndEveryOpaqueColour) {
  auto s = make_store(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      if (x < 40)
        set_pixel(*s, x, y, Rgb{0, 0, 0});  // opaque black, census entry 1
      else if (x < 80)
        set_pixel(*s, x, y, Rgb{128, 128, 0}, 0);  // hidden olive
      else
        set_pixel(*s, x, y, Rgb{255, 255, 255}, 200);  // white, alpha above the threshold
    }
  fill_census(*s);
  ASSERT_EQ(s->COLCOUNT, 3);
  RecordingControls ui;
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(ui.status.front(), kShortcutText);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 1), kMagenta);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 2), (Rgb{0, 0, 0}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 3), (Rgb{255, 255, 255}));
  for (int k = 4; k <= 16; ++k) EXPECT_EQ(palette_entry(s->OCLUSTER, k), (Rgb{0, 0, 0})) << k;
  EXPECT_EQ(ui.swatches[1], control_colour(255, 0, 255));
}

TEST(SmallCensus, SixteenOpaqueColoursBesideTransparencyRunTheMethod) {
  auto s = stripes(16);
  set_pixel(*s, 0, 0, Rgb{3, 40, 200}, 0);  // one hidden pixel of a colour that stays visible elsewhere
  fill_census(*s);
  ASSERT_EQ(s->COLCOUNT, 16);
  RecordingControls ui;
  ui.select(Ctl::MedianCut);
  INITIALIZECOLORS(*s, ui);
  EXPECT_TRUE(ui.status.empty() || ui.status.front() != kShortcutText);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 1), kMagenta);

  // With one colour hidden completely, 15 remain and the shortcut applies.
  auto t = stripes(16);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 20; ++x) set_pixel(*t, x, y, Rgb{3, 40, 200}, 10);
  fill_census(*t);
  RecordingControls ui2;
  INITIALIZECOLORS(*t, ui2);
  EXPECT_EQ(ui2.status.front(), kShortcutText);
  EXPECT_EQ(palette_entry(t->OCLUSTER, 1), kMagenta);
  for (int k = 2; k <= 16; ++k) {
    const CensusEntry& e = t->COLORS[static_cast<std::size_t>(k)];
    EXPECT_EQ(palette_entry(t->OCLUSTER, k), (Rgb{to_grid(e[1]), to_grid(e[2]), to_grid(e[3])})) << k;
  }
}

TEST(Reduction, TruncatesEveryChannelToItsUpperFourBits) {
  // Opaque, few colours: the census itself is reduced.
  const std::vector<std::pair<int, int>> cases = {{0x7F, 0x77}, {0x80, 0x88}, {0x0F, 0x00}, {0xF7, 0xFF},
                                                  {0x17, 0x11}, {255, 255},   {15, 0},      {16, 17}};
  auto s = make_store(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      const int v = cases[static_cast<std::size_t>(x / 40)].first;
      set_pixel(*s, x, y, Rgb{v, v, 255 - v});
    }
  fill_census(*s);
  ControlValues ui;
  INITIALIZECOLORS(*s, ui);
  for (int k = 1; k <= s->COLCOUNT; ++k) {
    const int v = s->COLORS[static_cast<std::size_t>(k)][1];
    int expected = -1;
    for (auto [in, out] : cases)
      if (in == v) expected = out;
    EXPECT_EQ(s->OCLUSTER[k][1], expected) << v;
    EXPECT_EQ(s->OCLUSTER[k][3], to_grid(255 - v)) << v;
    EXPECT_EQ(s->CLUSTER[k][1], expected) << "CLUSTER keeps the reduced colour too";
    EXPECT_EQ(ui.swatches[static_cast<std::size_t>(k)],
              control_colour(s->OCLUSTER[k][1], s->OCLUSTER[k][2], s->OCLUSTER[k][3]));
  }
}

TEST(Methods, EveryMethodKeepsSlotOneForTheKeyAndLandsOnTheGrid) {
  for (Ctl method : {Ctl::MedianCut, Ctl::Kmeans, Ctl::Scolorq}) {
    auto s = make_store(320, 200);
    std::mt19937 rng(7);
    testing::random_picture(*s, rng, 3000);
    for (int x = 0; x < 24; ++x) set_pixel(*s, x, 5, Rgb{10, 20, 30}, 0);
    fill_census(*s);
    ControlValues ui;
    ui.select(method);
    INITIALIZECOLORS(*s, ui);
    EXPECT_EQ(palette_entry(s->OCLUSTER, 1), kMagenta);
    EXPECT_EQ(palette_entry(s->CLUSTER, 1), kMagenta);
    for (int k = 1; k <= 16; ++k)
      for (int c = 1; c <= 3; ++c) EXPECT_EQ(s->OCLUSTER[k][c] % 17, 0);
    // The method's colours fill slots 2..16: random colours never come out all magenta.
    int magenta = 0;
    for (int k = 2; k <= 16; ++k) magenta += palette_entry(s->OCLUSTER, k) == kMagenta;
    EXPECT_EQ(magenta, 0);
  }
}

TEST(Methods, TheRunFollowsTheOptionButtonsNotTheStoredChoice) {
  auto s = make_store(320, 200);
  std::mt19937 rng(3);
  testing::random_picture(*s, rng, 500);
  fill_census(*s);
  RecordingControls ui;
  ui.select(Ctl::Kmeans);
  s->KMEANS = 0;
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(s->KMEANS, 1);
  EXPECT_EQ(ui.status.front().rfind("Iteration: 1, Epsilon: ", 0), 0u);

  ui.status.clear();
  ui.select(Ctl::Scolorq);
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(s->KMEANS, 2);
  EXPECT_EQ(ui.status.front().rfind("Total Used Colors: ", 0), 0u);

  ui.status.clear();
  ui.select(Ctl::MedianCut);
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(s->KMEANS, 0);
  // Median cut reports nothing itself: the first text is the cell selection's.
  EXPECT_EQ(ui.status.front(), "Processing Color Matrix Row: 1...");

  // With no option checked the stored choice stands.
  ui.status.clear();
  ui.checks[Ctl::MedianCut] = false;
  s->KMEANS = 2;
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(ui.status.front().rfind("Total Used Colors: ", 0), 0u);
}

// 100 * alpha < 255 * TRANS everywhere: with TRANS 60, alpha 153 is exactly on
// the threshold and counts as opaque, alpha 152 as transparent.
TEST(CellFlags, ThresholdBoundaryAndFlagsThatAreNeverCleared) {
  auto s = make_store(320, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) set_pixel(*s, x, y, Rgb{x % 200, y, 50});
  set_pixel(*s, 17, 9, Rgb{1, 2, 3}, 153);    // cell (2, 1)
  set_pixel(*s, 100, 30, Rgb{1, 2, 3}, 152);  // cell (12, 3)
  s->TRANS = 60;
  fill_census(*s);
  ControlValues ui;
  ui.select(Ctl::MedianCut);
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(s->OUTCOLORBLOCK[2][1][5], 0);
  EXPECT_EQ(s->OUTCOLORBLOCK[12][3][5], 1);
  EXPECT_EQ(s->COLORBLOCKFIRSTPASS, 0) << "the cell selection ran and finished";
  // The painting of the pair search follows the same rule.
  EXPECT_EQ(palette_entry(s->OCLUSTER, 1), kMagenta);
  EXPECT_EQ((Rgb{s->IMAGEIN(100, 30, 1), s->IMAGEIN(100, 30, 2), s->IMAGEIN(100, 30, 3)}), kMagenta);
  EXPECT_EQ((Rgb{s->IMAGEIN(17, 9, 1), s->IMAGEIN(17, 9, 2), s->IMAGEIN(17, 9, 3)}), (Rgb{1, 2, 3}));

  s->TRANS = 0;
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(s->OUTCOLORBLOCK[12][3][5], 1) << "a flag stays once raised";
  int flagged = 0;
  for (int m = 0; m < 40; ++m)
    for (int n = 0; n < 25; ++n) flagged += s->OUTCOLORBLOCK[m][n][5];
  EXPECT_EQ(flagged, 1);

  s->TRANS = 100;
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(s->OUTCOLORBLOCK[2][1][5], 1) << "every alpha below 255 counts at 100";
}

TEST(CellFlags, FourBitFormatNeitherFlagsNorPairs) {
  auto s = make_store(160, 200, 4);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 160; ++x) set_pixel(*s, x, y, Rgb{x, y, 255 - x}, x < 8 ? 0 : 255);
  fill_census(*s);
  for (int c = 1; c <= 3; ++c) s->IMAGEIN(0, 0, c) = 99;  // painted by an earlier run
  s->COLORBLOCKFIRSTPASS = 0;
  RecordingControls ui;
  ui.select(Ctl::MedianCut);
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(s->OUTCOLORBLOCK[0][0][5], 0);
  EXPECT_EQ(s->OUTCOLORBLOCK[0][0][1], 0);
  EXPECT_EQ(s->COLORBLOCKFIRSTPASS, 0);
  EXPECT_TRUE(ui.status.empty());
  // The restore still undoes earlier painting.
  EXPECT_EQ(s->IMAGEIN(0, 0, 1), 0);
  EXPECT_EQ(s->IMAGEIN(0, 0, 2), 0);
  EXPECT_EQ(s->IMAGEIN(0, 0, 3), 255);
}

TEST(Driver, BeforeAnyPictureEverythingStaysQuiet) {
  auto s = make_store(0, 0);
  RecordingControls ui;
  INITIALIZECOLORS(*s, ui);
  EXPECT_EQ(ui.status.front(), kShortcutText);
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(palette_entry(s->OCLUSTER, k), (Rgb{0, 0, 0}));
  EXPECT_EQ(ui.status.back(), "Processing Color Matrix Row: 25...");
}

TEST(Driver, RestoresTheWorkingCopyFirst) {
  auto s = make_store(320, 200);
  std::mt19937 rng(11);
  testing::random_picture(*s, rng, 100);
  fill_census(*s);
  auto clean = make_store(320, 200);
  *clean = *s;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) s->IMAGEIN(x, y, 2) = 7;  // left behind by rendering
  ControlValues ui;
  ui.select(Ctl::Kmeans);
  ControlValues ui2 = ui;
  INITIALIZECOLORS(*s, ui);
  INITIALIZECOLORS(*clean, ui2);
  EXPECT_EQ(s->OCLUSTER, clean->OCLUSTER);
  EXPECT_EQ(s->OUTCOLORBLOCK, clean->OUTCOLORBLOCK);
}

}  // namespace
}  // namespace tessera
