// Cell colour pairs against the plain search over all 256 ordered pairs, and
// crafted cells whose pair is known.

#include <gtest/gtest.h>

#include <cmath>

#include "kernel_sets.h"
#include "palette_test_util.h"
#include "palettes/palette_methods.h"
#include "tessera/stages.h"

namespace tessera {
namespace {

using testing::make_store;
using testing::RecordingControls;
using testing::Rgb;
using testing::set_pixel;

// The search written out plainly: both roots of every pixel for every ordered
// pair, each added to the running total as it comes.
void literal_select_color_blocks(Store& s) {
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.IMAGEINORG(x, y, c);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      if (counts_as_transparent(s, s.IMAGEIN(x, y, 4)))
        for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.OCLUSTER[1][c];
  for (int N = 0; N <= 24; ++N)
    for (int M = 0; M <= 39; ++M) {
      if (s.COLORBLOCKFIRSTPASS == 0 && s.OUTCOLORBLOCK[M][N][5] == 0) continue;
      const int STARTX = 8 * M, ENDX = std::min(8 * M + 7, s.OUTPUTX - 1);
      const int STARTY = 8 * N, ENDY = std::min(8 * N + 7, s.OUTPUTY - 1);
      double MINDISTANCE = 1e30;
      int BESTCOLOR1 = -1, BESTCOLOR2 = -1;
      for (int C1 = 1; C1 <= 16; ++C1)
        for (int C2 = 1; C2 <= 16; ++C2) {
          double TOTALDISTANCE = 0;
          for (int y = STARTY; y <= ENDY; ++y)
            for (int x = STARTX; x <= ENDX; ++x) {
              double DISTANCE1 = 0, DISTANCE2 = 0;
              for (int c = 1; c <= 3; ++c) {
                DISTANCE1 += SQD(s.IMAGEIN(x, y, c), s.OCLUSTER[C1][c]);
                DISTANCE2 += SQD(s.IMAGEIN(x, y, c), s.OCLUSTER[C2][c]);
              }
              const long double r1 = std::sqrt(static_cast<long double>(DISTANCE1));
              const long double r2 = std::sqrt(static_cast<long double>(DISTANCE2));
              TOTALDISTANCE = static_cast<double>(TOTALDISTANCE + std::min(r1, r2));
            }
          if (MINDISTANCE > TOTALDISTANCE) {
            MINDISTANCE = TOTALDISTANCE;
            BESTCOLOR1 = C1;
            BESTCOLOR2 = C2;
          }
        }
      s.OUTCOLORBLOCK[M][N][1] = BESTCOLOR1;
      s.OUTCOLORBLOCK[M][N][2] = BESTCOLOR2;
    }
  s.COLORBLOCKFIRSTPASS = 0;
}

void set_palette(Store& s, const std::vector<Rgb>& colours) {
  for (int k = 1; k <= 16; ++k) {
    const Rgb& c = colours[static_cast<std::size_t>(k - 1) % colours.size()];
    s.OCLUSTER[k] = {0, c[0], c[1], c[2], 0};
  }
}

int grid(std::mt19937& rng) {
  return 17 * static_cast<int>(rng() % 16);
}

// A random grid palette, sometimes with repeated entries, and a picture whose
// pixels sit on or near palette colours (exact and near ties) or anywhere.
void random_case(Store& s, std::mt19937& rng, int kind) {
  std::vector<Rgb> palette;
  const int distinct = kind % 3 == 0 ? 4 : 16;
  for (int i = 0; i < distinct; ++i) palette.push_back(Rgb{grid(rng), grid(rng), grid(rng)});
  set_palette(s, palette);
  std::uniform_int_distribution<int> noise(-3, 3);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      Rgb c;
      if (kind % 2 == 0) {
        c = palette[rng() % palette.size()];
        if (rng() % 3 == 0)
          for (int& v : c) v = std::clamp(v + noise(rng), 0, 255);
      } else {
        c = Rgb{static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), static_cast<int>(rng() % 256)};
      }
      set_pixel(s, x, y, c, kind % 4 == 1 && rng() % 5 == 0 ? static_cast<int>(rng() % 256) : 255);
    }
  if (s.ISTRANSPARENT == 1) s.OCLUSTER[1] = {0, 255, 0, 255, 0};
  s.TRANS = static_cast<int>(rng() % 101);
}

void expect_same_pairs(const Store& a, const Store& b, int trial) {
  for (int m = 0; m < 40; ++m)
    for (int n = 0; n < 25; ++n) {
      ASSERT_EQ(a.OUTCOLORBLOCK[m][n][1], b.OUTCOLORBLOCK[m][n][1])
          << "trial " << trial << " cell " << m << "," << n;
      ASSERT_EQ(a.OUTCOLORBLOCK[m][n][2], b.OUTCOLORBLOCK[m][n][2])
          << "trial " << trial << " cell " << m << "," << n;
    }
}

class CellPairs : public testing::EveryKernelSet {};

TEST_P(CellPairs, MatchesThePlainSearchOnSmallRandomPictures) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 48; ++trial) {
    auto fast = make_store(8 + static_cast<int>(rng() % 57), 8 + static_cast<int>(rng() % 17));
    random_case(*fast, rng, trial);
    auto plain = make_store(fast->OUTPUTX, fast->OUTPUTY);
    *plain = *fast;
    RecordingControls ui;
    SELECTCOLORBLOCKS(*fast, ui, kernels());
    literal_select_color_blocks(*plain);
    expect_same_pairs(*fast, *plain, trial);
    ASSERT_EQ(fast->IMAGEIN(0, 0, 1), plain->IMAGEIN(0, 0, 1));
  }
}

TEST_P(CellPairs, MatchesThePlainSearchOnWholePictures) {
  std::mt19937 rng(4321);
  for (int trial = 0; trial < 4; ++trial) {
    auto fast = make_store(320, 200);
    random_case(*fast, rng, trial);
    auto plain = make_store(320, 200);
    *plain = *fast;
    RecordingControls ui;
    SELECTCOLORBLOCKS(*fast, ui, kernels());
    literal_select_color_blocks(*plain);
    expect_same_pairs(*fast, *plain, trial);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, CellPairs, ::testing::ValuesIn(testing::kEveryKernelSet),
                         testing::kernel_set_test_name);

class CraftedCells : public ::testing::Test {
 protected:
  void SetUp() override {
    s = make_store(320, 200);
    std::vector<Rgb> palette;
    for (int k = 1; k <= 16; ++k)
      palette.push_back(Rgb{17 * (k - 1), 255 - 17 * (k - 1), 17 * ((k * 5) % 16)});
    set_palette(*s, palette);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 320; ++x) set_pixel(*s, x, y, slot(16));
  }
  Rgb slot(int k) const { return testing::palette_entry(s->OCLUSTER, k); }
  void fill_cell(int m, int n, auto colour_at) {
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) set_pixel(*s, 8 * m + x, 8 * n + y, colour_at(x, y));
  }
  std::pair<int, int> pair(int m, int n) const {
    return {s->OUTCOLORBLOCK[m][n][1], s->OUTCOLORBLOCK[m][n][2]};
  }
  std::unique_ptr<Store> s;
};

TEST_F(CraftedCells, OneColourCellsPairWithSlotOne) {
  fill_cell(3, 4, [&](int, int) { return slot(5); });
  fill_cell(4, 4, [&](int, int) { return slot(1); });
  s->OCLUSTER[9] = s->OCLUSTER[12];  // two slots with one colour: the lower one is taken
  fill_cell(5, 4, [&](int, int) { return slot(12); });
  RecordingControls ui;
  SELECTCOLORBLOCKS(*s, ui);
  EXPECT_EQ(pair(3, 4), std::make_pair(1, 5));
  EXPECT_EQ(pair(4, 4), std::make_pair(1, 1));
  EXPECT_EQ(pair(5, 4), std::make_pair(1, 9));
  EXPECT_EQ(pair(0, 0), std::make_pair(1, 16));
  EXPECT_EQ(s->OUTCOLORBLOCK[3][4][3], 1);
  EXPECT_EQ(s->OUTCOLORBLOCK[3][4][4], 5);
}

TEST_F(CraftedCells, TwoColourCellsTakeBothInSlotOrder) {
  fill_cell(7, 2, [&](int x, int y) { return (x + y) % 2 == 0 ? slot(11) : slot(4); });
  fill_cell(8, 2, [&](int x, int) { return x < 2 ? slot(6) : slot(14); });
  // Near, not on, the palette colours.
  fill_cell(9, 2, [&](int x, int) {
    Rgb c = x < 4 ? slot(2) : slot(15);
    c[1] = std::clamp(c[1] + (x % 2 == 0 ? 3 : -3), 0, 255);
    return c;
  });
  RecordingControls ui;
  SELECTCOLORBLOCKS(*s, ui);
  EXPECT_EQ(pair(7, 2), std::make_pair(4, 11));
  EXPECT_EQ(pair(8, 2), std::make_pair(6, 14));
  EXPECT_EQ(pair(9, 2), std::make_pair(2, 15));
}

TEST_F(CraftedCells, TransparentPixelsDrawTheirCellTowardsTheKey) {
  s->OCLUSTER[1] = {0, 255, 0, 255, 0};
  fill_cell(10, 10, [&](int, int) { return slot(7); });
  for (int x = 0; x < 8; ++x) set_pixel(*s, 80 + x, 80, Rgb{0, 0, 0}, 20);
  ASSERT_EQ(s->ISTRANSPARENT, 1);
  RecordingControls ui;
  SELECTCOLORBLOCKS(*s, ui);
  EXPECT_EQ(pair(10, 10), std::make_pair(1, 7));
  EXPECT_EQ(s->IMAGEIN(80, 80, 1), 255) << "painted with the key for the search";
  EXPECT_EQ(s->IMAGEIN(80, 80, 2), 0);

  // Without transparency nothing is painted, whatever the alpha channel says.
  s->ISTRANSPARENT = 0;
  s->TRANS = 100;
  RecordingControls ui2;
  SELECTCOLORBLOCKS(*s, ui2);
  EXPECT_EQ(s->IMAGEIN(80, 80, 1), 0);
  EXPECT_EQ(s->IMAGEIN(80, 80, 3), 0);
}

TEST_F(CraftedCells, ThresholdRunRevisitsOnlyFlaggedCells) {
  RecordingControls ui;
  SELECTCOLORBLOCKS(*s, ui);
  ASSERT_EQ(s->COLORBLOCKFIRSTPASS, 0);
  ASSERT_EQ(ui.status.size(), 25u);
  for (int n = 0; n < 25; ++n)
    EXPECT_EQ(ui.status[static_cast<std::size_t>(n)],
              "Processing Color Matrix Row: " + std::to_string(n + 1) + "...");

  fill_cell(1, 1, [&](int, int) { return slot(3); });
  fill_cell(2, 1, [&](int, int) { return slot(3); });
  s->OUTCOLORBLOCK[2][1][5] = 1;
  SELECTCOLORBLOCKS(*s, ui);
  EXPECT_EQ(pair(1, 1), std::make_pair(1, 16)) << "unflagged: keeps its pair";
  EXPECT_EQ(pair(2, 1), std::make_pair(1, 3));

  s->COLORBLOCKFIRSTPASS = 1;
  SELECTCOLORBLOCKS(*s, ui);
  EXPECT_EQ(pair(1, 1), std::make_pair(1, 3));
}

}  // namespace
}  // namespace tessera
