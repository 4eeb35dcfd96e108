// ColorQ's renewed nearest-slot search against a full search written out
// plainly: random colours and centres, rounds of small, large and no moves,
// rounds of the method itself (centres moved to the means of their colours),
// ties between slots, both first slots, and every kernel set.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "kernel_sets.h"
#include "palettes/nearest_renewal.h"

namespace tessera {
namespace {

struct Colours {
  std::vector<std::int32_t> red, green, blue;
  int size() const { return static_cast<int>(red.size()); }
};

// The lowest slot among those at the smallest squared distance.
std::vector<std::int32_t> plain_search(const Colours& c, const Palette& centres, int first_slot) {
  std::vector<std::int32_t> slot(c.red.size(), 0);
  for (std::size_t i = 0; i < c.red.size(); ++i) {
    long long best = LLONG_MAX;
    for (int k = first_slot; k <= 16; ++k) {
      const long long dr = c.red[i] - centres[k][1], dg = c.green[i] - centres[k][2], db = c.blue[i] - centres[k][3];
      const long long d = dr * dr + dg * dg + db * db;
      if (d < best) {
        best = d;
        slot[i] = k;
      }
    }
  }
  return slot;
}

// Values from a few levels (many colours at equal distances from several
// centres) or from all 256.
int random_value(std::mt19937& rng, int levels) {
  const int v = static_cast<int>(rng() % static_cast<unsigned>(levels));
  return levels == 256 ? v : v * 255 / (levels - 1);
}

Colours random_colours(std::mt19937& rng, int n, int levels) {
  Colours c;
  for (int i = 0; i < n; ++i) {
    c.red.push_back(random_value(rng, levels));
    c.green.push_back(random_value(rng, levels));
    c.blue.push_back(random_value(rng, levels));
  }
  return c;
}

Palette random_centres(std::mt19937& rng, int levels) {
  Palette p{};
  for (int k = 1; k <= 16; ++k)
    for (int ch = 1; ch <= 3; ++ch) p[k][ch] = random_value(rng, levels);
  return p;
}

// Checks one renewal: the slots of the full search, and the changes listed.
void expect_renewal(NearestSlots& nearest, const Colours& c, const Palette& before, const Palette& after,
                    int first_slot, const std::string& where) {
  const std::vector<std::int32_t> old_slots = nearest.slots();
  ASSERT_EQ(old_slots, plain_search(c, before, first_slot)) << where;
  const int count = nearest.renew(before, after);
  const std::vector<std::int32_t> expected = plain_search(c, after, first_slot);
  ASSERT_EQ(nearest.slots(), expected) << where;
  std::vector<std::int32_t> expected_changed, expected_was;
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (old_slots[i] != expected[i]) {
      expected_changed.push_back(static_cast<std::int32_t>(i));
      expected_was.push_back(old_slots[i]);
    }
  ASSERT_EQ(count, static_cast<int>(expected_changed.size())) << where;
  ASSERT_EQ(std::vector<std::int32_t>(nearest.changed().begin(), nearest.changed().end()), expected_changed)
      << where;
  ASSERT_EQ(std::vector<std::int32_t>(nearest.was().begin(), nearest.was().end()), expected_was) << where;
}

class NearestSlotSearch : public testing::EveryKernelSet {};

TEST_P(NearestSlotSearch, FullSearchMatchesThePlainSearch) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 300; ++trial) {
    const int levels = trial % 3 == 0 ? 3 : trial % 3 == 1 ? 9 : 256;
    const Colours c = random_colours(rng, static_cast<int>(rng() % 300), levels);
    const Palette centres = random_centres(rng, levels);
    const int first_slot = 1 + trial % 2;
    NearestSlots nearest(c.red.data(), c.green.data(), c.blue.data(), c.size(), kernels());
    nearest.search(centres, first_slot);
    ASSERT_EQ(nearest.slots(), plain_search(c, centres, first_slot)) << "trial " << trial;
  }
}

// Rounds of random moves: none, one slot, every slot, some slots; a little
// way or anywhere; slots given back their earlier colour.
TEST_P(NearestSlotSearch, RenewalGivesTheFullSearchAfterRandomMoves) {
  std::mt19937 rng(6);
  for (int trial = 0; trial < 300; ++trial) {
    const int levels = trial % 4 == 0 ? 3 : trial % 4 == 1 ? 6 : trial % 4 == 2 ? 17 : 256;
    const int first_slot = 1 + (trial / 4) % 2;
    const Colours c = random_colours(rng, static_cast<int>(rng() % 500), levels);
    std::mt19937 moves(static_cast<unsigned>(trial));
    Palette centres = random_centres(moves, levels);
    NearestSlots nearest(c.red.data(), c.green.data(), c.blue.data(), c.size(), kernels());
    nearest.search(centres, first_slot);
    const Palette first = centres;
    for (int round = 0; round < 30; ++round) {
      Palette after = centres;
      const int pattern = static_cast<int>(moves() % 5);
      const int lone = first_slot + static_cast<int>(moves() % static_cast<unsigned>(17 - first_slot));
      for (int k = first_slot; k <= 16; ++k) {
        const bool moving = pattern == 1 ? k == lone : pattern == 2 ? true : pattern == 3 ? moves() % 3 == 0 : false;
        if (!moving) continue;
        const int how = static_cast<int>(moves() % 4);
        for (int ch = 1; ch <= 3; ++ch) {
          if (how == 0) after[k][ch] = random_value(moves, levels);
          if (how == 1) after[k][ch] = std::clamp(centres[k][ch] + static_cast<int>(moves() % 7) - 3, 0, 255);
          if (how == 2) after[k][ch] = std::clamp(centres[k][ch] + static_cast<int>(moves() % 3) - 1, 0, 255);
          if (how == 3) after[k][ch] = first[k][ch];
        }
      }
      expect_renewal(nearest, c, centres, after, first_slot,
                     "trial " + std::to_string(trial) + ", round " + std::to_string(round));
      if (::testing::Test::HasFatalFailure()) return;
      centres = after;
    }
  }
}

// Rounds as the method runs them: each centre moves to the rounded mean of
// its colours (an empty slot keeps its centre), so that the moves shrink
// round by round and most colours keep their slot.
TEST_P(NearestSlotSearch, RenewalGivesTheFullSearchThroughTheMethodsRounds) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 60; ++trial) {
    const int levels = trial % 3 == 0 ? 8 : 256;
    const int first_slot = 1 + trial % 2;
    Colours c;
    // Clusters of colours around a few points, like the regions of a photo.
    const int clusters = 2 + static_cast<int>(rng() % 12);
    for (int q = 0; q < clusters; ++q) {
      const int r0 = random_value(rng, 256), g0 = random_value(rng, 256), b0 = random_value(rng, 256);
      const int spread = 4 + static_cast<int>(rng() % 60);
      for (int i = 0, n = 20 + static_cast<int>(rng() % 300); i < n; ++i) {
        auto near = [&](int v) {
          const int x = std::clamp(v + static_cast<int>(rng() % static_cast<unsigned>(2 * spread + 1)) - spread, 0, 255);
          return levels == 256 ? x : x / 32 * 32;
        };
        c.red.push_back(near(r0));
        c.green.push_back(near(g0));
        c.blue.push_back(near(b0));
      }
    }
    Palette seeds{};
    for (int k = first_slot; k <= 16; ++k) {
      const std::size_t at = rng() % c.red.size();
      seeds[k] = {0, c.red[at], c.green[at], c.blue[at], 0};
    }
    Palette centres = seeds;
    NearestSlots nearest(c.red.data(), c.green.data(), c.blue.data(), c.size(), kernels());
    nearest.search(centres, first_slot);
    for (int round = 0; round < 50; ++round) {
      long long sum[17][3] = {}, count[17] = {};
      for (std::size_t i = 0; i < c.red.size(); ++i) {
        const int k = nearest.slots()[i];
        sum[k][0] += c.red[i], sum[k][1] += c.green[i], sum[k][2] += c.blue[i];
        ++count[k];
      }
      Palette after = centres;
      for (int k = first_slot; k <= 16; ++k)
        if (count[k] > 0)
          for (int ch = 1; ch <= 3; ++ch)
            after[k][ch] = static_cast<int>((2 * sum[k][ch - 1] + count[k]) / (2 * count[k]));
      expect_renewal(nearest, c, centres, after, first_slot,
                     "trial " + std::to_string(trial) + ", round " + std::to_string(round));
      if (::testing::Test::HasFatalFailure()) return;
      centres = after;
    }
  }
}

// A colour exactly between its own slot's centre and another slot's that
// moves up to the same distance goes to the lower of the two slots; as many
// copies of it as take the vector loops and the plain loop after them.
TEST_P(NearestSlotSearch, TiesGoToTheLowerSlot) {
  Palette before{};
  for (int k = 1; k <= 16; ++k) before[k] = {0, 200, 200, 200, 0};
  before[5] = {0, 10, 0, 0, 0};
  const int n = 21;
  const Colours c{std::vector<std::int32_t>(n, 0), std::vector<std::int32_t>(n, 0), std::vector<std::int32_t>(n, 0)};
  for (int other : {2, 9}) {
    Palette after = before;
    after[other] = {0, 0, 10, 0, 0};  // also 10 away from the colour
    NearestSlots nearest(c.red.data(), c.green.data(), c.blue.data(), n, kernels());
    nearest.search(before, 1);
    ASSERT_EQ(nearest.slots(), std::vector<std::int32_t>(n, 5));
    const int count = nearest.renew(before, after);
    EXPECT_EQ(nearest.slots(), std::vector<std::int32_t>(n, other < 5 ? other : 5)) << other;
    EXPECT_EQ(count, other < 5 ? n : 0) << other;
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, NearestSlotSearch, ::testing::ValuesIn(testing::kEveryKernelSet),
                         testing::kernel_set_test_name);

}  // namespace
}  // namespace tessera
