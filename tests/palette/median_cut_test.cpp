// Median cut against the plain procedure with its bubble sort.

#include <gtest/gtest.h>

#include <set>

#include "palette_test_util.h"
#include "palettes/palette_methods.h"
#include "tessera/stages.h"

namespace tessera {
namespace {

using testing::palette_entry;
using testing::Rgb;
using testing::set_census;

// The procedure written out plainly, bubble sort included.
void literal_median_cut(Store& s, int STARTINDEX) {
  std::vector<std::array<int, 4>> COLORINPUT(static_cast<std::size_t>(s.COLCOUNT) + 1);
  for (int k = 1; k <= s.COLCOUNT; ++k)
    for (int c = 1; c <= 3; ++c) COLORINPUT[k][c] = s.COLORS[static_cast<std::size_t>(k)][c];
  int STARTINDICES[17] = {}, ENDINDICES[17] = {};
  STARTINDICES[STARTINDEX] = 1;
  ENDINDICES[STARTINDEX] = s.COLCOUNT;
  int CURRENTCOUNT = STARTINDEX;
  while (CURRENTCOUNT < 16) {
    int MAXRANGE = -1, MAXCOMPONENT = 0, RANGEINDEX = 0;
    for (int b = STARTINDEX; b <= CURRENTCOUNT; ++b)
      for (int c = 1; c <= 3; ++c) {
        int MINVALUE = 255, MAXVALUE = 0;
        for (int i = STARTINDICES[b]; i <= ENDINDICES[b]; ++i) {
          MINVALUE = std::min(MINVALUE, COLORINPUT[i][c]);
          MAXVALUE = std::max(MAXVALUE, COLORINPUT[i][c]);
        }
        if (MAXVALUE - MINVALUE > MAXRANGE) {
          MAXRANGE = MAXVALUE - MINVALUE;
          MAXCOMPONENT = c;
          RANGEINDEX = b;
        }
      }
    int SORTED;
    do {
      SORTED = 1;
      for (int i = STARTINDICES[RANGEINDEX]; i < ENDINDICES[RANGEINDEX]; ++i)
        if (COLORINPUT[i][MAXCOMPONENT] > COLORINPUT[i + 1][MAXCOMPONENT]) {
          std::swap(COLORINPUT[i], COLORINPUT[i + 1]);
          SORTED = 0;
        }
    } while (SORTED == 0);
    const int MIDPOINT = (STARTINDICES[RANGEINDEX] + ENDINDICES[RANGEINDEX]) / 2;
    ++CURRENTCOUNT;
    STARTINDICES[CURRENTCOUNT] = MIDPOINT + 1;
    ENDINDICES[CURRENTCOUNT] = ENDINDICES[RANGEINDEX];
    ENDINDICES[RANGEINDEX] = MIDPOINT;
  }
  for (int b = STARTINDEX; b <= 16; ++b) {
    int CLUSTERSUM[4] = {}, COUNT = 0;
    for (int i = STARTINDICES[b]; i <= ENDINDICES[b]; ++i, ++COUNT)
      for (int c = 1; c <= 3; ++c) CLUSTERSUM[c] += COLORINPUT[i][c];
    if (COUNT > 0)
      for (int c = 1; c <= 3; ++c) s.CLUSTER[b][c] = CLUSTERSUM[c] / COUNT;
  }
}

// Distinct colours in census order; a narrow channel range makes equal
// values, and so the stability of the sort, matter on every cut.
std::vector<Rgb> random_census(std::mt19937& rng, int n, int levels) {
  std::uniform_int_distribution<int> level(0, levels - 1);
  std::set<Rgb> colours;
  const int step = 255 / (levels - 1 > 0 ? levels - 1 : 1);
  while (static_cast<int>(colours.size()) < n)
    colours.insert(Rgb{level(rng) * step, level(rng) * step, level(rng) * step});
  return {colours.begin(), colours.end()};
}

TEST(MedianCut, MatchesThePlainProcedureOnRandomCensuses) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 300; ++trial) {
    const int levels = trial % 3 == 0 ? 256 : 4 + trial % 13;
    const int n = std::min(17 + static_cast<int>(rng() % 1500), levels * levels * levels);
    if (n < 17) continue;
    const std::vector<Rgb> census = random_census(rng, n, levels);
    const int start = trial % 2 == 0 ? 1 : 2;
    Store fast, plain;
    set_census(fast, census);
    set_census(plain, census);
    median_cut(fast, start);
    literal_median_cut(plain, start);
    ASSERT_EQ(fast.CLUSTER, plain.CLUSTER) << "trial " << trial << ", " << n << " colours";
  }
}

TEST(MedianCut, MeansRoundDownAndTheKeySlotIsLeftAlone) {
  // 17 colours: reds 10 and 11, then 24, 40, ..., 248.
  std::vector<Rgb> census = {{10, 0, 0}, {11, 0, 0}};
  for (int i = 1; i < 16; ++i) census.push_back(Rgb{16 * i + 8, 0, 0});
  Store s;
  set_census(s, census);
  s.CLUSTER[1] = {0, 255, 0, 255, 0};
  median_cut(s, 2);
  EXPECT_EQ(palette_entry(s.CLUSTER, 1), (Rgb{255, 0, 255}));
  std::set<int> reds;
  for (int k = 2; k <= 16; ++k) reds.insert(s.CLUSTER[k][1]);
  EXPECT_EQ(reds.size(), 15u) << "no box is empty";

  Store two;
  set_census(two, {{10, 0, 0}, {11, 0, 0}});
  median_cut(two, 15);  // two slots, two rows: one row each
  EXPECT_EQ(two.CLUSTER[15][1], 10);
  EXPECT_EQ(two.CLUSTER[16][1], 11);
  Store one_box;
  set_census(one_box, {{10, 0, 0}, {11, 0, 0}, {11, 1, 0}});
  median_cut(one_box, 16);  // one slot: the mean of all rows
  EXPECT_EQ(palette_entry(one_box.CLUSTER, 16), (Rgb{10, 0, 0}));
}

TEST(MedianCut, WithoutTransparencyAllSixteenSlotsGetAMean) {
  std::mt19937 rng(5);
  Store s;
  set_census(s, random_census(rng, 400, 256));
  for (int k = 1; k <= 16; ++k) s.CLUSTER[k] = {0, 1, 2, 3, 0};
  median_cut(s, 1);
  std::set<Rgb> slots;
  for (int k = 1; k <= 16; ++k) slots.insert(palette_entry(s.CLUSTER, k));
  EXPECT_EQ(slots.size(), 16u);
  EXPECT_EQ(slots.count(Rgb{1, 2, 3}), 0u);
}

}  // namespace
}  // namespace tessera
