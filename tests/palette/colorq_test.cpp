// "ColorQ": the popularity order against the plain exchange loop, and the
// whole method against the plain per-pixel procedure.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <map>
#include <string>

#include "palette_test_util.h"
#include "palettes/palette_methods.h"

namespace tessera {
namespace {

using testing::palette_entry;
using testing::RecordingControls;
using testing::Rgb;
using testing::set_pixel;

// The exchange ordering exactly as written: quadratic, and the reference for
// the order among equal counts.
void literal_exchange(std::vector<ColourCount>& rows) {
  const int COLORCOUNT = static_cast<int>(rows.size());
  for (int i = 0; i <= COLORCOUNT - 2; ++i)
    for (int j = i + 1; j <= COLORCOUNT - 1; ++j)
      if (rows[static_cast<std::size_t>(i)].count < rows[static_cast<std::size_t>(j)].count)
        std::swap(rows[static_cast<std::size_t>(i)], rows[static_cast<std::size_t>(j)]);
}

// The whole method written out plainly, pixel by pixel.
void literal_colorq(Store& s, Controls& controls, int STARTINDEX) {
  std::map<int, int> COLORHISTOGRAM;
  for (int x = 0; x < s.OUTPUTX; ++x)
    for (int y = 0; y < s.OUTPUTY; ++y)
      ++COLORHISTOGRAM[s.IMAGEIN(x, y, 1) * 65536 + s.IMAGEIN(x, y, 2) * 256 + s.IMAGEIN(x, y, 3)];
  std::vector<ColourCount> SORTEDCOLORS;
  for (auto [v, count] : COLORHISTOGRAM) SORTEDCOLORS.push_back(ColourCount{v, count});
  literal_exchange(SORTEDCOLORS);
  const int COLORCOUNT = static_cast<int>(SORTEDCOLORS.size());
  const int STEPSIZE = COLORCOUNT / (17 - STARTINDEX);
  int PAL[17][4] = {};
  if (s.ISTRANSPARENT == 1) PAL[1][1] = 255, PAL[1][2] = 0, PAL[1][3] = 255;
  for (int k = STARTINDEX; k <= 16; ++k) {
    const int v = SORTEDCOLORS[static_cast<std::size_t>((k - STARTINDEX) * STEPSIZE)].colour;
    PAL[k][1] = (v >> 16) & 255, PAL[k][2] = (v >> 8) & 255, PAL[k][3] = v & 255;
  }
  std::vector<int> ASSIGNEDCOLORS(static_cast<std::size_t>(s.OUTPUTX * s.OUTPUTY));
  auto assign = [&] {
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int y = 0; y < s.OUTPUTY; ++y) {
        double MINDIST = 1e30;
        int BESTMATCH = STARTINDEX;
        for (int k = STARTINDEX; k <= 16; ++k) {
          const double SQDIST = std::pow(double(s.IMAGEIN(x, y, 1) - PAL[k][1]), 2) +
                                std::pow(double(s.IMAGEIN(x, y, 2) - PAL[k][2]), 2) +
                                std::pow(double(s.IMAGEIN(x, y, 3) - PAL[k][3]), 2);
          if (MINDIST > SQDIST) MINDIST = SQDIST, BESTMATCH = k;
        }
        ASSIGNEDCOLORS[static_cast<std::size_t>(y * s.OUTPUTX + x)] = BESTMATCH;
      }
  };
  assign();
  int COLORCOUNTPERPALETTE[17] = {};
  for (int ITERATION = 1; ITERATION <= 50; ++ITERATION) {
    double NEWPALETTE[17][4] = {};
    for (int k = 0; k <= 16; ++k) COLORCOUNTPERPALETTE[k] = 0;
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int y = 0; y < s.OUTPUTY; ++y) {
        const int k = ASSIGNEDCOLORS[static_cast<std::size_t>(y * s.OUTPUTX + x)];
        for (int c = 1; c <= 3; ++c) NEWPALETTE[k][c] += s.IMAGEIN(x, y, c);
        ++COLORCOUNTPERPALETTE[k];
      }
    for (int k = STARTINDEX; k <= 16; ++k)
      if (COLORCOUNTPERPALETTE[k] > 0)
        for (int c = 1; c <= 3; ++c)
          PAL[k][c] = static_cast<int>(
              std::nearbyint(static_cast<long double>(NEWPALETTE[k][c]) / COLORCOUNTPERPALETTE[k]));
    assign();
  }
  int TOTALUSEDCOLORS = 0;
  for (int k = STARTINDEX; k <= 16; ++k) TOTALUSEDCOLORS += COLORCOUNTPERPALETTE[k] > 0;
  controls.set_text(Ctl::StatusBar, "Total Used Colors: " + std::to_string(TOTALUSEDCOLORS));
  for (int k = 1; k <= 16; ++k)
    for (int c = 1; c <= 3; ++c) s.CLUSTER[k][c] = PAL[k][c];
}

std::vector<ColourCount> random_rows(std::mt19937& rng, int n, int max_count) {
  std::uniform_int_distribution<int> count(1, max_count);
  std::vector<ColourCount> rows;
  for (int i = 0; i < n; ++i) rows.push_back(ColourCount{i * 37 + 5, count(rng)});
  return rows;
}

TEST(PopularityOrder, MatchesTheExchangeLoopOnRandomCounts) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 400; ++trial) {
    const int n = trial < 20 ? trial : static_cast<int>(rng() % 2500);
    const int max_counts[] = {1, 2, 3, 5, 10, 60, 1000, 64000};
    std::vector<ColourCount> rows = random_rows(rng, n, max_counts[trial % 8]);
    std::vector<ColourCount> plain = rows;
    popularity_order(rows);
    literal_exchange(plain);
    ASSERT_EQ(rows, plain) << "trial " << trial << ", " << n << " rows";
  }
}

TEST(PopularityOrder, MatchesTheExchangeLoopOnOrderedAndSkewedCounts) {
  std::mt19937 rng(32);
  for (int n : {2, 3, 17, 300, 2000}) {
    std::vector<ColourCount> ascending, descending, zigzag, skewed;
    for (int i = 0; i < n; ++i) {
      ascending.push_back(ColourCount{i, 1 + i / 3});
      descending.push_back(ColourCount{i, n - i / 2});
      zigzag.push_back(ColourCount{i, i % 2 == 0 ? i : n - i});
      // Like a photo: mostly single pixels, a few very popular colours.
      skewed.push_back(ColourCount{
          i, rng() % 10 == 0 ? 1 + static_cast<int>(rng() % 500) : 1 + static_cast<int>(rng() % 2)});
    }
    for (auto* rows : {&ascending, &descending, &zigzag, &skewed}) {
      std::vector<ColourCount> plain = *rows;
      popularity_order(*rows);
      literal_exchange(plain);
      ASSERT_EQ(*rows, plain) << n;
    }
  }
}

// Counts beyond any one picture's pixels (a palette shared by many pictures)
// and a photo's spread of counts over many rows: most colours once or twice,
// some hundreds of times, a few thousands.
TEST(PopularityOrder, MatchesTheExchangeLoopOnLargeCountsAndLongLists) {
  std::mt19937 rng(33);
  for (int trial = 0; trial < 12; ++trial) {
    const int n = trial < 6 ? 1 + static_cast<int>(rng() % 3000) : 6000 + static_cast<int>(rng() % 3000);
    std::vector<ColourCount> rows;
    for (int i = 0; i < n; ++i) {
      std::int32_t count = 0;
      if (trial < 6) {
        count = trial % 2 == 0 ? 64001 + static_cast<std::int32_t>(rng() % 5) : static_cast<std::int32_t>(rng() % 2000000000);
      } else {
        const unsigned r = rng() % 100;
        count = r < 70 ? 1 + static_cast<std::int32_t>(rng() % 2) : r < 97 ? 1 + static_cast<std::int32_t>(rng() % 300) : 1 + static_cast<std::int32_t>(rng() % 5000);
      }
      rows.push_back(ColourCount{i * 11, count});
    }
    std::vector<ColourCount> plain = rows;
    popularity_order(rows);
    literal_exchange(plain);
    ASSERT_EQ(rows, plain) << "trial " << trial << ", " << n << " rows";
  }
}

// Sizes around the 64-row blocks and 4096-row groups of the search, each with
// one spread of counts; the order must be the exchange loop's to the row.
enum class Spread { AllEqual, AllDistinct, ManyOnes, Ascending, Descending, LargeAndNegative };

struct OrderCase {
  int rows;
  Spread spread;
};

std::string spread_name(Spread spread) {
  switch (spread) {
    case Spread::AllEqual: return "AllEqual";
    case Spread::AllDistinct: return "AllDistinct";
    case Spread::ManyOnes: return "ManyOnes";
    case Spread::Ascending: return "Ascending";
    case Spread::Descending: return "Descending";
    case Spread::LargeAndNegative: return "LargeAndNegative";
  }
  return "Unknown";
}

std::vector<ColourCount> spread_rows(const OrderCase& c, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<ColourCount> rows;
  std::vector<std::int32_t> distinct(static_cast<std::size_t>(c.rows));
  for (int i = 0; i < c.rows; ++i) distinct[static_cast<std::size_t>(i)] = 1 + i;
  std::shuffle(distinct.begin(), distinct.end(), rng);
  for (int i = 0; i < c.rows; ++i) {
    std::int32_t count = 0;
    switch (c.spread) {
      case Spread::AllEqual: count = 7; break;
      case Spread::AllDistinct: count = distinct[static_cast<std::size_t>(i)]; break;
      case Spread::ManyOnes: {
        // A photo's census: three in four colours once, a few hundreds or
        // thousands of times (beyond the tallied range now and then).
        const unsigned r = rng() % 100;
        count = r < 75 ? 1 : r < 95 ? 2 + static_cast<std::int32_t>(rng() % 20)
                           : r < 99 ? 1 + static_cast<std::int32_t>(rng() % 900)
                                    : 1 + static_cast<std::int32_t>(rng() % 9000);
        break;
      }
      case Spread::Ascending: count = 1 + i / 4; break;
      case Spread::Descending: count = c.rows - i / 3; break;
      case Spread::LargeAndNegative: {
        // Not a census, but the order is defined for any counts.
        const unsigned r = rng() % 4;
        count = r == 0 ? -static_cast<std::int32_t>(rng() % 50)
                : r == 1 ? 4000 + static_cast<std::int32_t>(rng() % 200)
                : r == 2 ? static_cast<std::int32_t>(rng() % 2000000000)
                         : static_cast<std::int32_t>(rng() % 3);
        break;
      }
    }
    rows.push_back(ColourCount{i * 97 + 3, count});
  }
  return rows;
}

class PopularityOrderSpread : public ::testing::TestWithParam<OrderCase> {};

TEST_P(PopularityOrderSpread, MatchesTheExchangeLoop) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    std::vector<ColourCount> rows = spread_rows(GetParam(), seed);
    std::vector<ColourCount> plain = rows;
    popularity_order(rows);
    literal_exchange(plain);
    ASSERT_EQ(rows, plain) << "seed " << seed;
  }
}

std::vector<OrderCase> order_cases() {
  std::vector<OrderCase> cases;
  for (int n : {0, 1, 2, 3, 63, 64, 65, 4095, 4096, 4097, 10000})
    for (Spread spread : {Spread::AllEqual, Spread::AllDistinct, Spread::ManyOnes, Spread::Ascending,
                          Spread::Descending, Spread::LargeAndNegative}) {
      // All-distinct and ascending counts make chains as long as the list:
      // quadratic for the new order as for the plain loop, so kept shorter.
      const bool long_chains = spread == Spread::AllDistinct || spread == Spread::Ascending;
      if (long_chains && n > 4097) continue;
      cases.push_back(OrderCase{n, spread});
    }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Censuses, PopularityOrderSpread, ::testing::ValuesIn(order_cases()),
                         [](const ::testing::TestParamInfo<OrderCase>& info) {
                           return std::to_string(info.param.rows) + "Rows" + spread_name(info.param.spread);
                         });

TEST(PopularityOrder, EqualCountsDoNotKeepTheirColourOrder) {
  // Counts 1, 2, 2, 1, 3. Pass 0 takes 20 then 50 to the front (rotating 10
  // to place 1 and 20 to place 4), pass 1 swaps 30 forward, pass 2 swaps 20
  // forward: 50, 30, 20, 40, 10, where a stable sort gives 50, 20, 30, 10, 40.
  std::vector<ColourCount> rows = {{10, 1}, {20, 2}, {30, 2}, {40, 1}, {50, 3}};
  popularity_order(rows);
  const std::vector<ColourCount> expected = {{50, 3}, {30, 2}, {20, 2}, {40, 1}, {10, 1}};
  EXPECT_EQ(rows, expected);
}

TEST(ColourFrequencies, CountsEveryPixelInColourOrder) {
  auto s = testing::make_store(33, 7);
  std::mt19937 rng(2);
  testing::random_picture(*s, rng, 40);
  std::map<int, int> counts;
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 33; ++x)
      ++counts[s->IMAGEIN(x, y, 1) << 16 | s->IMAGEIN(x, y, 2) << 8 | s->IMAGEIN(x, y, 3)];
  std::vector<ColourCount> expected;
  for (auto [c, n] : counts) expected.push_back(ColourCount{c, n});
  EXPECT_EQ(colour_frequencies(*s), expected);
}

TEST(Colorq, MatchesThePlainProcedureOnRandomPictures) {
  std::mt19937 rng(77);
  for (int trial = 0; trial < 60; ++trial) {
    const int w = 8 + static_cast<int>(rng() % 60), h = 8 + static_cast<int>(rng() % 40);
    const int pools[] = {3, 17, 18, 40, 90, 400, 5000};
    auto s = testing::make_store(w, h);
    testing::random_picture(*s, rng, pools[trial % 7]);
    if (trial % 2 == 1) {
      s->ISTRANSPARENT = 1;
      s->CLUSTER[1] = {0, 255, 0, 255, 0};
    }
    const int start = s->ISTRANSPARENT == 1 ? 2 : 1;
    auto plain = testing::make_store(w, h);
    *plain = *s;
    RecordingControls fast_ui, plain_ui;
    colorq(*s, fast_ui, start);
    literal_colorq(*plain, plain_ui, start);
    ASSERT_EQ(s->CLUSTER, plain->CLUSTER) << "trial " << trial;
    ASSERT_EQ(fast_ui.status, plain_ui.status) << "trial " << trial;
  }
}

// Stopping once a round leaves every colour in its slot must give exactly
// the palette and the status text of all fifty rounds: on pictures that
// settle at once (few colours), late (smooth gradients with noise, like
// photos) or never within the rounds, with and without the key slot.
TEST(Colorq, StoppingWhenSettledGivesTheSameAsEveryRound) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 240; ++trial) {
    const int w = 16 + static_cast<int>(rng() % 200), h = 16 + static_cast<int>(rng() % 120);
    auto s = testing::make_store(w, h);
    switch (trial % 4) {
      case 0: {
        const int pools[] = {2, 17, 30, 200, 3000};
        testing::random_picture(*s, rng, pools[(trial / 4) % 5]);
        break;
      }
      default: {
        // A gradient in a random direction with noise of a random amplitude.
        std::uniform_real_distribution<double> coef(-3.0, 3.0);
        const int amplitude = static_cast<int>(rng() % 40);
        std::uniform_int_distribution<int> noise(-amplitude, amplitude);
        double a[3][3];
        for (auto& row : a)
          for (double& v : row) v = coef(rng);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            Rgb c;
            for (int k = 0; k < 3; ++k)
              c[static_cast<std::size_t>(k)] =
                  std::clamp(static_cast<int>(128 + a[k][0] * (x - w / 2) + a[k][1] * (y - h / 2) +
                                              a[k][2] * (x - y)) + noise(rng),
                             0, 255);
            set_pixel(*s, x, y, c);
          }
      }
    }
    if (trial % 3 == 1) {
      s->ISTRANSPARENT = 1;
      s->CLUSTER[1] = {0, 255, 0, 255, 0};
    }
    const int start = s->ISTRANSPARENT == 1 ? 2 : 1;
    auto every_round = testing::make_store(w, h);
    *every_round = *s;
    RecordingControls settled_ui, every_ui;
    colorq(*s, settled_ui, start);
    colorq(*every_round, every_ui, start, false);
    ASSERT_EQ(s->CLUSTER, every_round->CLUSTER) << "trial " << trial;
    ASSERT_EQ(settled_ui.status, every_ui.status) << "trial " << trial;
  }
}

// 16 colours of 12 pixels and one of 8: the 16 are the seeds and the 17th
// joins its nearest, (110, 100, 100), whose slot settles on the pixel-weighted
// mean (12 x 110 + 8 x 100) / 20 = 106.
TEST(Colorq, TheLeastPopularColourIsNoSeedAndWeighsByItsPixels) {
  auto s = testing::make_store(20, 10);
  std::vector<Rgb> popular;
  for (int i = 0; i < 15; ++i) popular.push_back(Rgb{(i % 4) * 80, (i / 4) * 80, 250});
  popular.push_back(Rgb{110, 100, 100});
  for (int p = 0; p < 200; ++p) {
    const Rgb colour = p < 192 ? popular[static_cast<std::size_t>(p / 12)] : Rgb{100, 100, 100};
    set_pixel(*s, p % 20, p / 20, colour);
  }
  RecordingControls ui;
  colorq(*s, ui, 1);
  std::vector<Rgb> palette;
  for (int k = 1; k <= 16; ++k) palette.push_back(palette_entry(s->CLUSTER, k));
  for (int i = 0; i < 15; ++i)
    EXPECT_NE(std::find(palette.begin(), palette.end(), popular[static_cast<std::size_t>(i)]), palette.end())
        << i;
  EXPECT_NE(std::find(palette.begin(), palette.end(), Rgb{106, 100, 100}), palette.end());
  EXPECT_EQ(ui.status.back(), "Total Used Colors: 16");
}

// Fewer colours than slots: every seed is the most popular colour, red. The
// first refinement gives slot 1 every pixel, (120, 0, 80); then the red pixels
// go to slot 2, the lowest of the slots still red, and slot 1 keeps the blue
// ones. Slots 3..16 never get a pixel, keep their seed and are not counted.
TEST(Colorq, SeedsThatGetNoPixelsKeepTheirColourAndAreNotCounted) {
  auto s = testing::make_store(10, 10);
  for (int p = 0; p < 100; ++p) set_pixel(*s, p % 10, p / 10, p < 60 ? Rgb{200, 0, 0} : Rgb{0, 0, 200});
  RecordingControls ui;
  colorq(*s, ui, 1);
  EXPECT_EQ(palette_entry(s->CLUSTER, 1), (Rgb{0, 0, 200}));
  for (int k = 2; k <= 16; ++k) EXPECT_EQ(palette_entry(s->CLUSTER, k), (Rgb{200, 0, 0})) << k;
  EXPECT_EQ(ui.status.back(), "Total Used Colors: 2");
}

}  // namespace
}  // namespace tessera
