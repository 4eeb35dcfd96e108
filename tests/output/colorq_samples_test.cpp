// ColorQ and K-means++ on the sample pictures as the input stage leaves them,
// both formats, with each resampling: ColorQ stopping once settled, with the
// renewed nearest-slot search, gives exactly the palette and status of all
// fifty full rounds, and K-means++ with the renewed search those of a full
// search and a fresh count every iteration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>
#include <memory>
#include <string>

#include "tessera/controls.h"
#include "palettes/palette_methods.h"
#include "tessera/stages.h"
#include "tessera/store.h"

namespace tessera {
namespace {

struct Case {
  const char* picture;
  int format;
  int scale;
};

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  std::string name = std::string(info.param.picture) + "_bmp" + std::to_string(info.param.format) + "_scale" +
                     std::to_string(info.param.scale);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// K-means++ with a full search and fresh sums every iteration, from the same
// seeds.
void full_search_kmeans(Store& s, Controls& controls, int first_slot) {
  std::mt19937 generator(0);
  kmeans_seed(s, first_slot, generator);
  const int n = s.COLCOUNT;
  std::vector<std::int32_t> red(static_cast<std::size_t>(n)), green(red), blue(red);
  std::vector<SlotTerm> terms(static_cast<std::size_t>(n));
  for (std::size_t j = 0; j < red.size(); ++j) {
    red[j] = s.COLORS[j + 1][1], green[j] = s.COLORS[j + 1][2], blue[j] = s.COLORS[j + 1][3];
    terms[j] = {red[j], green[j], blue[j], 1};
  }
  std::vector<std::uint8_t> slot(red.size());
  const int limit = std::min(s.MAXITERATIONS, kMaxKmeansIterations);
  int ITERATION = 0;
  double CHANGE = 0.0;
  do {
    ++ITERATION;
    CHANGE = 0.0;
    nearest_slots(red.data(), green.data(), blue.data(), n, s.CLUSTER, first_slot, slot.data());
    const SlotSums sums = slot_sums(terms.data(), slot.data(), n);
    for (int k = first_slot; k <= 16; ++k) {
      if (sums.count[k] == 0) continue;
      for (int c = 1; c <= 3; ++c) {
        const int v = static_cast<int>(std::nearbyint(static_cast<long double>(sums.sum[k][c - 1]) / sums.count[k]));
        CHANGE += std::abs(v - s.CLUSTER[k][c]);
        s.CLUSTER[k][c] = v;
      }
    }
    controls.set_text(Ctl::StatusBar, "Iteration: " + std::to_string(ITERATION) +
                                          ", Epsilon: " + std::to_string(static_cast<long long>(CHANGE)));
  } while (CHANGE > 0.0001 && ITERATION < limit);
  s.KMEANSITERATIONS = ITERATION;
}

class ColorqSamples : public ::testing::TestWithParam<Case> {};

TEST_P(ColorqSamples, SettledRoundsGiveTheFullRoundsPalette) {
  const Case& p = GetParam();
  auto s = std::make_unique<Store>();
  s->OPENFILENAME = std::string(TESSERA_SAMPLES "/") + p.picture;
  s->PREVIEWS = false;
  s->SCALE = p.scale;
  ControlValues c;
  c.output_index = p.format == 1 ? 0 : 1;
  REDISPLAYINPUT(*s, c);
  COUNTINPUTCOLORS(*s, c);
  ASSERT_GT(s->COLCOUNT, 16);
  for (int first_slot : {1, 2}) {
    auto every = std::make_unique<Store>(*s);
    ControlValues settled_ui, every_ui;
    colorq(*s, settled_ui, first_slot);
    colorq(*every, every_ui, first_slot, false);
    EXPECT_EQ(s->CLUSTER, every->CLUSTER) << "first slot " << first_slot;
    EXPECT_EQ(settled_ui.labels, every_ui.labels) << "first slot " << first_slot;

    auto renewed = std::make_unique<Store>(*s);
    auto full = std::make_unique<Store>(*s);
    ControlValues renewed_ui, full_ui;
    kmeans_plus_plus(*renewed, renewed_ui, first_slot);
    full_search_kmeans(*full, full_ui, first_slot);
    EXPECT_EQ(renewed->CLUSTER, full->CLUSTER) << "first slot " << first_slot;
    EXPECT_EQ(renewed->KMEANSITERATIONS, full->KMEANSITERATIONS) << "first slot " << first_slot;
    EXPECT_GT(full->KMEANSITERATIONS, 2);
    EXPECT_EQ(renewed_ui.labels, full_ui.labels) << "first slot " << first_slot;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, ColorqSamples,
                         ::testing::Values(Case{"demo_snake_600x450.png", 1, 0}, Case{"demo_snake_600x450.png", 1, 1},
                                           Case{"demo_snake_600x450.png", 4, 2}, Case{"demo_snake_600x450.jpg", 1, 3},
                                           Case{"demo_snake_600x450.jpg", 4, 1}, Case{"rose_alpha_400x301.png", 1, 1},
                                           Case{"rose_alpha_400x301.png", 4, 0}),
                         case_name);

}  // namespace
}  // namespace tessera
