// K-means++: the random numbers, the seeds, and the whole method against the
// plain procedure with its square roots.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <regex>
#include <set>

#include "kernel_sets.h"
#include "palette_test_util.h"
#include "palettes/palette_methods.h"

namespace tessera {
namespace {

using testing::palette_entry;
using testing::RecordingControls;
using testing::Rgb;
using testing::set_census;

double root_as_double(int squared) {
  return static_cast<double>(std::sqrt(static_cast<long double>(squared)));
}

double distance(const Store& s, int entry, int slot) {
  const CensusEntry& e = s.COLORS[static_cast<std::size_t>(entry)];
  return root_as_double(SQD(e[1], s.CLUSTER[slot][1]) + SQD(e[2], s.CLUSTER[slot][2]) +
                        SQD(e[3], s.CLUSTER[slot][3]));
}

// The procedure written out plainly: every distance a rooted double, every
// nearest-centre search over those doubles.
void literal_kmeans(Store& s, Controls& controls, int STARTINDEX) {
  std::mt19937 generator(0);
  const int RANDOMINDEX =
      static_cast<int>(std::floor(static_cast<long double>(uniform_01(generator)) * s.COLCOUNT)) + 1;
  for (int c = 1; c <= 3; ++c) s.CLUSTER[STARTINDEX][c] = s.COLORS[static_cast<std::size_t>(RANDOMINDEX)][c];
  for (int K = STARTINDEX + 1; K <= 16; ++K) {
    std::vector<double> DISTANCES(static_cast<std::size_t>(s.COLCOUNT) + 1);
    for (int J = 1; J <= s.COLCOUNT; ++J) {
      double MINDIST = 9999999;
      for (int k = STARTINDEX; k < K; ++k)
        if (distance(s, J, k) < MINDIST) MINDIST = distance(s, J, k);
      DISTANCES[J] = MINDIST;
    }
    double TOTALDIST = 0;
    for (int J = 1; J <= s.COLCOUNT; ++J)
      TOTALDIST = static_cast<double>(static_cast<long double>(TOTALDIST) + DISTANCES[J]);
    const double R = static_cast<double>(static_cast<long double>(uniform_01(generator)) * TOTALDIST);
    double CUMULATIVEDIST = 0;
    for (int J = 1; J <= s.COLCOUNT; ++J) {
      CUMULATIVEDIST = static_cast<double>(static_cast<long double>(CUMULATIVEDIST) + DISTANCES[J]);
      if (CUMULATIVEDIST >= R) {
        for (int c = 1; c <= 3; ++c) s.CLUSTER[K][c] = s.COLORS[static_cast<std::size_t>(J)][c];
        break;
      }
    }
  }
  int ITERATION = 0;
  double CHANGE;
  do {
    ++ITERATION;
    CHANGE = 0;
    double NEWCLUSTER[17][4] = {};
    int COUNT[17] = {};
    for (int J = 1; J <= s.COLCOUNT; ++J) {
      double MINDIST = 9999999;
      int MINK = 1;
      for (int k = STARTINDEX; k <= 16; ++k)
        if (distance(s, J, k) < MINDIST) {
          MINDIST = distance(s, J, k);
          MINK = k;
        }
      for (int c = 1; c <= 3; ++c) NEWCLUSTER[MINK][c] += s.COLORS[static_cast<std::size_t>(J)][c];
      ++COUNT[MINK];
    }
    for (int k = STARTINDEX; k <= 16; ++k)
      if (COUNT[k] > 0)
        for (int c = 1; c <= 3; ++c) {
          const int NEWVALUE =
              static_cast<int>(std::nearbyint(static_cast<long double>(NEWCLUSTER[k][c]) / COUNT[k]));
          CHANGE += std::abs(NEWVALUE - s.CLUSTER[k][c]);
          s.CLUSTER[k][c] = NEWVALUE;
        }
    controls.set_text(Ctl::StatusBar, "Iteration: " + std::to_string(ITERATION) +
                                          ", Epsilon: " + std::to_string(static_cast<long long>(CHANGE)));
  } while (CHANGE > 0.0001 && ITERATION < s.MAXITERATIONS);
}

std::vector<Rgb> random_census(std::mt19937& rng, int n, int levels) {
  std::uniform_int_distribution<int> level(0, levels - 1);
  const int step = 255 / (levels - 1);
  std::set<Rgb> colours;
  while (static_cast<int>(colours.size()) < n)
    colours.insert(Rgb{level(rng) * step, level(rng) * step, level(rng) * step});
  return {colours.begin(), colours.end()};
}

int iterations_reported(const RecordingControls& ui) {
  return static_cast<int>(std::count_if(ui.status.begin(), ui.status.end(),
                                        [](const std::string& t) { return t.rfind("Iteration: ", 0) == 0; }));
}

TEST(KmeansRandom, FirstDrawsOfTheFixedGenerator) {
  // The well-known first draws of MT19937 seeded with 0 under this 53-bit recipe.
  std::mt19937 generator(0);
  EXPECT_EQ(uniform_01(generator), 0.5488135039273248);
  EXPECT_EQ(uniform_01(generator), 0.7151893663724195);
  EXPECT_EQ(uniform_01(generator), 0.6027633760716439);
  EXPECT_EQ(uniform_01(generator), 0.5448831829968969);
  EXPECT_EQ(uniform_01(generator), 0.4236547993389047);
  std::mt19937 edge(0);
  for (int i = 0; i < 100000; ++i) {
    const double u = uniform_01(edge);
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

// Reds 0, 10, ..., 160. Draw 1 (0.5488...) x 17 = 9.33 picks entry 10, red 90.
// The distances to it add up to 730; draw 2 (0.7152...) x 730 = 522.1 is
// first reached at red 130 (cumulative 90, 170, ..., 450, 450, 460, 480,
// 510, 550). With seeds 90 and 130 the distances add up to 550; draw 3
// (0.6028...) x 550 = 331.5 is first reached at red 40 (90, ..., 300, 350).
double x87_sum(double a, double b) {
  return static_cast<double>(static_cast<long double>(a) + b);
}

TEST(KmeansSums, DoubleRoundedSumsAgreeWithExtendedArithmetic) {
  // 1 + 2^-53 + 2^-70 rounds to 1 + 2^-52 directly, but first to the 64-bit
  // 1 + 2^-53, exactly halfway, and from there to the even 1.
  const double tiny = std::ldexp(1.0, -53) + std::ldexp(1.0, -70);
  EXPECT_EQ(add_extended(1.0, tiny), 1.0);
  EXPECT_EQ(1.0 + tiny, std::nextafter(1.0, 2.0));
  EXPECT_EQ(add_extended(1.0, -std::ldexp(1.0, -54) - std::ldexp(1.0, -71)), 1.0);
  EXPECT_EQ(add_extended(0.0, 0.0), 0.0);

  // Sums like those of the seeding, and sums placed right at halfway points.
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> root(0.0, 442.0);
  int differ = 0;
  double total = 0.0;
  for (int i = 0; i < 2000000; ++i) {
    const double d = root(rng);
    ASSERT_EQ(add_extended(total, d), x87_sum(total, d)) << total << " + " << d;
    differ += (total + d) != x87_sum(total, d);
    total = x87_sum(total, d);
    if (total > 3e7) total = 0.0;
    const double a = std::ldexp(1.0 + static_cast<double>(rng() % 4096) / 4096, static_cast<int>(rng() % 40));
    const int shift = 52 + static_cast<int>(rng() % 14);
    const double half = std::ldexp(a, -shift) * (1.0 + std::ldexp(static_cast<double>(rng() % 64) - 32,
                                                                  -static_cast<int>(rng() % 20)));
    ASSERT_EQ(add_extended(a, half), x87_sum(a, half)) << a << " + " << half;
    ASSERT_EQ(add_extended(a, -half), x87_sum(a, -half)) << a << " - " << half;
    differ += (a + half) != x87_sum(a, half);
  }
  EXPECT_GT(differ, 0) << "the cases where the two roundings part were met";
}

TEST(KmeansSeeds, FirstSeedsOfASmallKnownCensus) {
  std::vector<Rgb> census;
  for (int i = 0; i <= 16; ++i) census.push_back(Rgb{10 * i, 0, 0});
  for (int start : {1, 2}) {
    Store s;
    set_census(s, census);
    std::mt19937 generator(0);
    kmeans_seed(s, start, generator);
    EXPECT_EQ(palette_entry(s.CLUSTER, start), (Rgb{90, 0, 0}));
    EXPECT_EQ(palette_entry(s.CLUSTER, start + 1), (Rgb{130, 0, 0}));
    EXPECT_EQ(palette_entry(s.CLUSTER, start + 2), (Rgb{40, 0, 0}));
    std::set<Rgb> seeds;
    for (int k = start; k <= 16; ++k) seeds.insert(palette_entry(s.CLUSTER, k));
    EXPECT_EQ(static_cast<int>(seeds.size()), 17 - start) << "a seed is never drawn twice";
  }
}

TEST(Kmeans, MatchesThePlainProcedureOnRandomCensuses) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 120; ++trial) {
    const int levels = trial % 2 == 0 ? 5 + trial % 7 : 256;
    const int n = std::min(17 + static_cast<int>(rng() % 500), levels * levels * levels);
    const std::vector<Rgb> census = random_census(rng, n, levels);
    const int start = trial % 3 == 0 ? 2 : 1;
    Store fast, plain;
    set_census(fast, census);
    set_census(plain, census);
    const int limits[] = {50, 1, 0, -3, 4, 200};
    fast.MAXITERATIONS = plain.MAXITERATIONS = limits[trial % 6];
    RecordingControls fast_ui, plain_ui;
    kmeans_plus_plus(fast, fast_ui, start);
    literal_kmeans(plain, plain_ui, start);
    ASSERT_EQ(fast.CLUSTER, plain.CLUSTER) << "trial " << trial;
    ASSERT_EQ(fast_ui.status, plain_ui.status) << "trial " << trial;
  }
}

class KmeansNearestSlots : public testing::EveryKernelSet {};

TEST_P(KmeansNearestSlots, EqualDistancesGoToTheLowerSlot) {
  Palette centres{};
  for (int k = 1; k <= 16; ++k) centres[k] = {0, 255, 255, 255, 0};
  centres[3] = {0, 10, 0, 0, 0};
  centres[7] = {0, 30, 0, 0, 0};
  centres[9] = {0, 10, 0, 0, 0};  // the same colour as slot 3
  const std::int32_t red[] = {20, 10, 30, 21, 19};
  const std::int32_t green[] = {0, 0, 0, 0, 0};
  const std::int32_t blue[] = {0, 0, 0, 0, 0};
  std::uint8_t slot[5];
  nearest_slots(red, green, blue, 5, centres, 2, slot, kernels());
  EXPECT_EQ(slot[0], 3);
  EXPECT_EQ(slot[1], 3);
  EXPECT_EQ(slot[2], 7);
  EXPECT_EQ(slot[3], 7);
  EXPECT_EQ(slot[4], 3);

  // Many entries in whole blocks and with blocks and tails of every size,
  // most of them at equal distances from several centres, from either first
  // slot, against a plain search.
  std::mt19937 rng(4);
  std::uniform_int_distribution<int> coarse(0, 4);
  for (int n : {1, 511, 512, 513, 3000}) {
    std::vector<std::int32_t> r(static_cast<std::size_t>(n)), g(r), b(r);
    for (int i = 0; i < n; ++i) r[i] = coarse(rng) * 60, g[i] = coarse(rng) * 60, b[i] = coarse(rng) * 60;
    Palette p{};
    for (int k = 1; k <= 16; ++k) p[k] = {0, coarse(rng) * 60, coarse(rng) * 60, coarse(rng) * 60, 0};
    const int first = 1 + n % 2;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(n));
    nearest_slots(r.data(), g.data(), b.data(), n, p, first, out.data(), kernels());
    for (int i = 0; i < n; ++i) {
      int best = first;
      for (int k = first + 1; k <= 16; ++k)
        if (SQD(r[i], p[k][1]) + SQD(g[i], p[k][2]) + SQD(b[i], p[k][3]) <
            SQD(r[i], p[best][1]) + SQD(g[i], p[best][2]) + SQD(b[i], p[best][3]))
          best = k;
      ASSERT_EQ(out[static_cast<std::size_t>(i)], best) << n << " entries, entry " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, KmeansNearestSlots, ::testing::ValuesIn(testing::kEveryKernelSet),
                         testing::kernel_set_test_name);

// Two entries one apart beside 15 far colours: one of the two is no seed and
// joins the other, and their mean is rounded half to even.
TEST(Kmeans, MeansRoundHalfToEven) {
  const std::vector<Rgb> far = {{0, 255, 0},   {0, 0, 255},   {255, 0, 0},     {255, 255, 0},
                                {255, 0, 255}, {0, 255, 255}, {255, 255, 255}, {128, 0, 255},
                                {0, 128, 255}, {128, 255, 0}, {255, 128, 128}, {128, 128, 0},
                                {0, 128, 128}, {128, 0, 128}, {128, 255, 255}};
  for (auto [low, expected] : {std::pair{2, 2}, std::pair{3, 4}}) {
    std::vector<Rgb> census = far;
    census.push_back(Rgb{low, 0, 0});
    census.push_back(Rgb{low + 1, 0, 0});
    std::sort(census.begin(), census.end());
    Store seeded;
    set_census(seeded, census);
    std::mt19937 generator(0);
    kmeans_seed(seeded, 1, generator);
    int pair_seeds = 0;
    for (int k = 1; k <= 16; ++k)
      pair_seeds += seeded.CLUSTER[k][2] == 0 && seeded.CLUSTER[k][3] == 0 && seeded.CLUSTER[k][1] < 5;
    ASSERT_EQ(pair_seeds, 1) << "the test needs exactly one of the pair as a seed";

    Store s;
    set_census(s, census);
    RecordingControls ui;
    kmeans_plus_plus(s, ui, 1);
    std::set<Rgb> centres;
    for (int k = 1; k <= 16; ++k) centres.insert(palette_entry(s.CLUSTER, k));
    EXPECT_EQ(centres.count(Rgb{expected, 0, 0}), 1u) << low;
    EXPECT_EQ(centres.count(Rgb{expected == low ? low + 1 : low, 0, 0}), 0u) << low;
    EXPECT_TRUE(ui.status.back().ends_with(", Epsilon: 0")) << ui.status.back();
  }
}

TEST(Kmeans, IterationLimits) {
  std::mt19937 rng(12);
  const std::vector<Rgb> census = random_census(rng, 3000, 256);
  const std::regex format("Iteration: [0-9]+, Epsilon: [0-9]+");
  for (int limit : {1, 0, -7}) {
    Store s;
    set_census(s, census);
    s.MAXITERATIONS = limit;
    RecordingControls ui;
    kmeans_plus_plus(s, ui, 1);
    EXPECT_EQ(iterations_reported(ui), 1) << limit;
    EXPECT_TRUE(std::regex_match(ui.status.front(), format)) << ui.status.front();
  }
  // A limit below the iterations this census needs is met exactly.
  for (int limit : {2, 3, 7}) {
    Store s;
    set_census(s, census);
    s.MAXITERATIONS = limit;
    RecordingControls ui;
    kmeans_plus_plus(s, ui, 1);
    EXPECT_EQ(iterations_reported(ui), limit);
    EXPECT_FALSE(ui.status.back().ends_with(", Epsilon: 0")) << "still moving when stopped";
  }
  // A huge limit ends where the centres stop moving, and never past the cap.
  Store s;
  set_census(s, census);
  s.MAXITERATIONS = INT_MAX;
  RecordingControls ui;
  kmeans_plus_plus(s, ui, 1);
  EXPECT_LE(iterations_reported(ui), kMaxKmeansIterations);
  EXPECT_TRUE(iterations_reported(ui) == kMaxKmeansIterations || ui.status.back().ends_with(", Epsilon: 0"));
  for (const auto& t : ui.status) ASSERT_TRUE(std::regex_match(t, format)) << t;
}

TEST(Kmeans, SameCensusSamePaletteWhateverCameBefore) {
  std::mt19937 rng(8);
  const std::vector<Rgb> census = random_census(rng, 2000, 256);
  Store a, b;
  set_census(a, census);
  set_census(b, census);
  for (int k = 1; k <= 16; ++k) b.CLUSTER[k] = {0, 7 * k, 255 - k, 3, 0};  // another method's palette
  b.CLUSTER[1] = {0, 255, 0, 255, 0};
  RecordingControls ua, ub;
  kmeans_plus_plus(a, ua, 2);
  kmeans_plus_plus(b, ub, 2);
  kmeans_plus_plus(b, ub, 2);
  for (int k = 2; k <= 16; ++k) EXPECT_EQ(palette_entry(a.CLUSTER, k), palette_entry(b.CLUSTER, k)) << k;
  EXPECT_EQ(palette_entry(b.CLUSTER, 1), (Rgb{255, 0, 255})) << "slot 1 is not touched with the key";
}

}  // namespace
}  // namespace tessera
