// Pinned entries through palette selection: every method keeps them where
// they stand and chooses only the other entries, a palette given whole is
// published as it is, and one palette over several pictures is the one a
// single picture would get when the pictures add nothing new.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "palette_test_util.h"
#include "palettes/palette_methods.h"
#include "tessera/pins.h"
#include "tessera/shared_palette.h"
#include "tessera/stages.h"

using namespace tessera;
using namespace tessera::testing;

namespace {

constexpr Ctl kMethods[] = {Ctl::MedianCut, Ctl::Kmeans, Ctl::Scolorq};
const char* const kMethodNames[] = {"MedianCut", "Kmeans", "ColorQ"};

// A picture with many colours; with transparency its top rows are cut out.
std::unique_ptr<Store> many_colours(int file_type, bool transparent, unsigned seed = 7) {
  auto s = make_store(file_type == 1 ? 320 : 160, 200, file_type);
  std::mt19937 rng(seed);
  random_picture(*s, rng, 400);
  if (transparent)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < s->OUTPUTX; ++x) set_pixel(*s, x, y, {1, 2, 3}, 0);
  fill_census(*s);
  return s;
}

const std::vector<PaletteColour> kPins = {{255, 0, 0}, {0, 255, 0}, {17, 34, 51}};

struct PinCase {
  int method;
  int file_type;
  bool transparent;
};

std::string pin_case_name(const ::testing::TestParamInfo<PinCase>& info) {
  return std::string(kMethodNames[info.param.method]) + (info.param.file_type == 1 ? "Bmp1" : "Bmp4") +
         (info.param.transparent ? "Transparent" : "Opaque");
}

class PinsSurvive : public ::testing::TestWithParam<PinCase> {};

}  // namespace

TEST_P(PinsSurvive, InTheLowestFreeEntriesThroughSelectionAndRendering) {
  const PinCase& p = GetParam();
  auto s = many_colours(p.file_type, p.transparent);
  RecordingControls controls;
  controls.select(kMethods[p.method]);
  ASSERT_EQ(pin_in_order(*s, kPins), "");
  INITIALIZECOLORS(*s, controls);
  const int first = p.transparent ? 2 : 1;
  if (p.transparent) {
    EXPECT_EQ(palette_entry(s->OCLUSTER, 1), (Rgb{255, 0, 255}));
  }
  for (std::size_t i = 0; i < kPins.size(); ++i)
    EXPECT_EQ(palette_entry(s->OCLUSTER, first + static_cast<int>(i)), kPins[i]) << "pin " << i;
  // The method chose the other entries: they are neither all black nor
  // copies of the pins.
  int chosen = 0;
  for (int k = first + 3; k <= 16; ++k) {
    const Rgb e = palette_entry(s->OCLUSTER, k);
    bool is_pin = false;
    for (const auto& pin : kPins) is_pin = is_pin || e == pin;
    if (!is_pin && e != Rgb{0, 0, 0}) ++chosen;
  }
  EXPECT_GE(chosen, 10);
}

INSTANTIATE_TEST_SUITE_P(Pins, PinsSurvive,
                         ::testing::Values(PinCase{0, 1, false}, PinCase{0, 4, true}, PinCase{1, 1, true},
                                           PinCase{1, 4, false}, PinCase{2, 1, false}, PinCase{2, 4, true}),
                         pin_case_name);

TEST(Pins, MedianCutCutsOnlyAsManyBoxesAsEntriesAreFree) {
  // Pins in entries 1..3 leave the boxes of a median cut that starts at
  // entry 4: the same boxes, the same means.
  auto pinned = many_colours(4, false);
  auto plain = many_colours(4, false);
  ASSERT_EQ(pin_in_order(*pinned, kPins), "");
  for (int k = 1; k <= 3; ++k)
    for (int c = 1; c <= 3; ++c) pinned->CLUSTER[k][c] = pinned->PINCOLOUR[k][c];
  median_cut(*pinned, 1);
  median_cut(*plain, 4);
  for (int k = 4; k <= 16; ++k) EXPECT_EQ(palette_entry(pinned->CLUSTER, k), palette_entry(plain->CLUSTER, k)) << k;
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(palette_entry(pinned->CLUSTER, k), kPins[static_cast<std::size_t>(k - 1)]);
}

TEST(Pins, PinsAnywhereLeaveTheirEntriesAndTheOthersAreFilledInOrder) {
  auto s = many_colours(4, false);
  pin_entry(*s, 5, {255, 255, 255});
  pin_entry(*s, 16, {0, 0, 0});
  RecordingControls controls;
  controls.select(Ctl::MedianCut);
  INITIALIZECOLORS(*s, controls);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 5), (Rgb{255, 255, 255}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 16), (Rgb{0, 0, 0}));
  EXPECT_EQ(free_slots(*s, 1).size(), 14u);
  unpin_all(*s);
  EXPECT_EQ(free_slots(*s, 1).size(), 16u);
}

TEST(Pins, KmeansNeverMovesAPinnedCentreButCountsItsEntries) {
  // Converged K-means: every free centre is the rounded mean of the entries
  // nearest to it, the pinned centres included in the search.
  auto s = many_colours(1, false, 11);
  s->MAXITERATIONS = 1000;
  ASSERT_EQ(pin_in_order(*s, kPins), "");
  for (int k = 1; k <= 3; ++k)
    for (int c = 1; c <= 3; ++c) s->CLUSTER[k][c] = s->PINCOLOUR[k][c];
  RecordingControls controls;
  kmeans_plus_plus(*s, controls, 1);
  ASSERT_FALSE(controls.status.empty());
  ASSERT_NE(controls.status.back().find("Epsilon: 0"), std::string::npos) << controls.status.back();
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(palette_entry(s->CLUSTER, k), kPins[static_cast<std::size_t>(k - 1)]);
  long long sum[17][3] = {}, count[17] = {};
  for (int j = 1; j <= s->COLCOUNT; ++j) {
    const CensusEntry& e = s->COLORS[static_cast<std::size_t>(j)];
    int best = 1;
    long long best_d = -1;
    for (int k = 1; k <= 16; ++k) {
      const long long d = SQD(e[1], s->CLUSTER[k][1]) + SQD(e[2], s->CLUSTER[k][2]) + SQD(e[3], s->CLUSTER[k][3]);
      if (best_d < 0 || d < best_d) {
        best_d = d;
        best = k;
      }
    }
    for (int c = 0; c < 3; ++c) sum[best][c] += e[c + 1];
    ++count[best];
  }
  EXPECT_GT(count[1] + count[2] + count[3], 0);
  for (int k = 4; k <= 16; ++k) {
    if (count[k] == 0) continue;
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(s->CLUSTER[k][c + 1], std::nearbyint(static_cast<long double>(sum[k][c]) / count[k])) << k;
  }
}

TEST(Pins, ColorQSeedsTheFreeEntriesFromColoursNoPinIs) {
  // Half the picture is one colour, which a pin holds: no free entry may be
  // seeded with it (it would stay a copy of the pin, with no pixels).
  auto s = make_store(320, 200, 4);
  std::mt19937 rng(3);
  random_picture(*s, rng, 300);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 320; ++x) set_pixel(*s, x, y, {255, 255, 255});
  fill_census(*s);
  pin_entry(*s, 1, {255, 255, 255});
  RecordingControls controls;
  controls.select(Ctl::Scolorq);
  INITIALIZECOLORS(*s, controls);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 1), (Rgb{255, 255, 255}));
  EXPECT_EQ(controls.status.front(), "Total Used Colors: 16");
}

TEST(Pins, TooManyPinsAreRefusedAndNothingIsPinned) {
  auto s = many_colours(1, true);
  const std::vector<PaletteColour> fifteen(15, PaletteColour{17, 17, 17});
  EXPECT_EQ(pin_in_order(*s, fifteen), "too many pinned colours (15); at most 14 with a transparent picture");
  EXPECT_EQ(free_slots(*s, 2).size(), 15u);
  s->ISTRANSPARENT = 0;
  EXPECT_EQ(pin_in_order(*s, fifteen), "");
  EXPECT_EQ(free_slots(*s, 1).size(), 1u);
}

TEST(Pins, AFewColoursBesideThePinsMakeThePaletteWithoutAMethod) {
  auto s = make_store(320, 200, 4);
  const Rgb colours[] = {{255, 0, 0}, {0, 0, 255}, {255, 255, 0}, {64, 64, 64}};
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) set_pixel(*s, x, y, colours[(x / 80) % 4]);
  fill_census(*s);
  ASSERT_EQ(pin_in_order(*s, {{255, 0, 0}, {0, 255, 0}}), "");
  RecordingControls controls;
  controls.select(Ctl::Kmeans);
  INITIALIZECOLORS(*s, controls);
  EXPECT_EQ(controls.status.back(), "16 Colors or Less, Skipping K-Means, Palette Matching");
  // Pins first; red is a pin already, so the census adds blue, grey, yellow.
  EXPECT_EQ(palette_entry(s->OCLUSTER, 1), (Rgb{255, 0, 0}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 2), (Rgb{0, 255, 0}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 3), (Rgb{0, 0, 255}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 4), (Rgb{68, 68, 68}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 5), (Rgb{255, 255, 0}));
  for (int k = 6; k <= 16; ++k) EXPECT_EQ(palette_entry(s->OCLUSTER, k), (Rgb{0, 0, 0}));
}

TEST(FixedPalette, IsPublishedAsGivenAndTheCellsChooseOverIt) {
  for (bool transparent : {false, true}) {
    auto s = many_colours(1, transparent);
    std::vector<PaletteColour> colours;
    for (int i = 0; i < (transparent ? 15 : 16); ++i) colours.push_back({17 * i, 255 - 17 * i, 17 * (i % 3)});
    ASSERT_EQ(fix_palette(*s, colours), "");
    RecordingControls controls;
    INITIALIZECOLORS(*s, controls);
    const int first = transparent ? 2 : 1;
    if (transparent) {
      EXPECT_EQ(palette_entry(s->OCLUSTER, 1), (Rgb{255, 0, 255}));
    }
    for (std::size_t i = 0; i < colours.size(); ++i)
      EXPECT_EQ(palette_entry(s->OCLUSTER, first + static_cast<int>(i)), colours[i]);
    // No method ran: only the cell pair search reported.
    for (const std::string& text : controls.status) EXPECT_EQ(text.rfind("Processing Color Matrix Row: ", 0), 0u) << text;
    EXPECT_GE(s->OUTCOLORBLOCK[0][0][1], 1);
  }
}

TEST(FixedPalette, TooManyColoursBesideTheKeyAreRefusedButAKeyFirstIsTheKey) {
  auto s = many_colours(4, true);
  std::vector<PaletteColour> colours(16, PaletteColour{34, 34, 34});
  EXPECT_EQ(fix_palette(*s, colours), "the palette has 16 colours; at most 15 fit beside the transparent colour");
  colours[0] = {255, 0, 255};
  colours[1] = {255, 255, 255};
  EXPECT_EQ(fix_palette(*s, colours), "");
  RecordingControls controls;
  INITIALIZECOLORS(*s, controls);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 2), (Rgb{255, 255, 255}));
  EXPECT_EQ(palette_entry(s->OCLUSTER, 16), (Rgb{34, 34, 34}));
  const std::vector<PaletteColour> few = {{255, 255, 255}};
  unpin_all(*s);
  EXPECT_EQ(fix_palette(*s, few), "");
  INITIALIZECOLORS(*s, controls);
  EXPECT_EQ(palette_entry(s->OCLUSTER, 2), (Rgb{255, 255, 255}));
  for (int k = 3; k <= 16; ++k) EXPECT_EQ(palette_entry(s->OCLUSTER, k), (Rgb{0, 0, 0}));
}

namespace {

class SharedOverOne : public ::testing::TestWithParam<std::tuple<int, bool>> {};

}  // namespace

TEST_P(SharedOverOne, IsThePaletteOfThatPictureAndOfItTwice) {
  const auto [method, transparent] = GetParam();
  auto s = many_colours(4, transparent, 5);
  s->MAXITERATIONS = 50;
  RecordingControls controls;
  controls.select(kMethods[method]);
  ASSERT_EQ(pin_in_order(*s, {{0, 0, 0}}), "");
  INITIALIZECOLORS(*s, controls);

  SharedCensus once, twice;
  add_to_census(once, *s);
  add_to_census(twice, *s);
  add_to_census(twice, *s);
  EXPECT_EQ(once.colours.size(), static_cast<std::size_t>(s->COLCOUNT));
  EXPECT_EQ(twice.colours.size(), once.colours.size());
  EXPECT_EQ(twice.colours[0].count, 2 * once.colours[0].count);
  for (const SharedCensus* census : {&once, &twice}) {
    const PaletteEntries shared = choose_shared_palette(*census, *s, controls);
    for (int k = 1; k <= 16; ++k)
      EXPECT_EQ(shared[static_cast<std::size_t>(k - 1)], palette_entry(s->OCLUSTER, k)) << "entry " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(SharedPalette, SharedOverOne,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(kMethodNames[std::get<0>(info.param)]) +
                                  (std::get<1>(info.param) ? "Transparent" : "Opaque");
                         });

TEST(SharedPalette, CoversTheColoursOfEveryPicture) {
  // Two flat pictures of four colours each: together they have eight, which
  // all make it into the shared palette.
  auto a = make_store(160, 200, 4), b = make_store(160, 200, 4);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 160; ++x) {
      set_pixel(*a, x, y, {17 * (x / 40), 0, 0});
      set_pixel(*b, x, y, {0, 0, 85 + 17 * (x / 40)});
    }
  SharedCensus census;
  add_to_census(census, *a);
  add_to_census(census, *b);
  EXPECT_EQ(census.colours.size(), 8u);
  RecordingControls controls;
  const PaletteEntries shared = choose_shared_palette(census, *a, controls);
  // In ascending colour order, black after them.
  EXPECT_EQ(shared[0], (PaletteColour{0, 0, 0}));
  EXPECT_EQ(shared[1], (PaletteColour{0, 0, 85}));
  EXPECT_EQ(shared[4], (PaletteColour{0, 0, 136}));
  EXPECT_EQ(shared[5], (PaletteColour{17, 0, 0}));
  EXPECT_EQ(shared[7], (PaletteColour{51, 0, 0}));
  EXPECT_EQ(shared[8], (PaletteColour{0, 0, 0}));
  pin_whole_palette(*b, shared);
  fill_census(*b);
  INITIALIZECOLORS(*b, controls);
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(palette_entry(b->OCLUSTER, k), shared[static_cast<std::size_t>(k - 1)]);
}

TEST(SharedPalette, ColorQOverVeryManyPixelsWeighsThemInProportion) {
  // 40 colours of a million pixels each would overflow the 32-bit weighted
  // sums; scaled alike, they weigh as 40 colours of one pixel each.
  SharedCensus huge, single;
  for (int i = 0; i < 40; ++i) {
    const std::int32_t colour = (i * 6) << 16 | (255 - i * 5) << 8 | (i * 37) % 256;
    huge.colours.push_back({colour, 1000000});
    single.colours.push_back({colour, 1});
  }
  huge.opaque = huge.colours;
  single.opaque = single.colours;
  huge.pictures = single.pictures = 1;
  auto settings = make_store(320, 200, 1);
  RecordingControls controls;
  controls.select(Ctl::Scolorq);
  const PaletteEntries a = choose_shared_palette(huge, *settings, controls);
  const PaletteEntries b = choose_shared_palette(single, *settings, controls);
  EXPECT_EQ(a, b);
  EXPECT_NE(a[15], (PaletteColour{0, 0, 0}));
}

struct PinListCase {
  const char* name;
  const char* text;
  std::vector<PinAt> pins;  // empty with an error
  const char* error;        // "" when the text reads
};

class PinLists : public ::testing::TestWithParam<PinListCase> {};

TEST_P(PinLists, ReadAsWrittenOrNamedWrong) {
  const PinListCase& c = GetParam();
  std::vector<PinAt> pins;
  EXPECT_EQ(read_pin_list(c.text, pins), c.error);
  if (std::string(c.error).empty()) {
    EXPECT_EQ(pins, c.pins);
    std::vector<PinAt> again;
    ASSERT_EQ(read_pin_list(pin_list_text(pins), again), "");
    EXPECT_EQ(again, pins) << pin_list_text(pins);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PinLists,
    ::testing::Values(PinListCase{"InOrder", "ff0000,00ff00", {{0, {255, 0, 0}}, {0, {0, 255, 0}}}, ""},
                      PinListCase{"AtEntries", "5:FF0000,16:123456", {{5, {255, 0, 0}}, {16, {17, 51, 85}}}, ""},
                      PinListCase{"Mixed", "3:000000,ffffff", {{3, {0, 0, 0}}, {0, {255, 255, 255}}}, ""},
                      PinListCase{"EntryZero", "0:ff0000", {}, "'0:ff0000': the entry before ':' is a number from 1 to 16"},
                      PinListCase{"EntryPastTheEnd", "17:ff0000", {}, "'17:ff0000': the entry before ':' is a number from 1 to 16"},
                      PinListCase{"NoEntry", ":ff0000", {}, "':ff0000': the entry before ':' is a number from 1 to 16"},
                      PinListCase{"EntryTwice", "4:ff0000,4:00ff00", {}, "entry 4 is pinned twice"},
                      PinListCase{"NotAColour", "4:ff00zz", {}, "'ff00zz' is not a colour RRGGBB"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pins, NumberedPinsTakeTheirEntriesAndTheRestTheLowestFree) {
  auto s = make_store(16, 16);
  std::vector<PinAt> pins;
  ASSERT_EQ(read_pin_list("1:ff0000,00ff00,5:0000ff", pins), "");
  ASSERT_EQ(pin_colours(*s, pins), "");
  EXPECT_EQ(pins_of(*s), (std::vector<PinAt>{{1, {255, 0, 0}}, {2, {0, 255, 0}}, {5, {0, 0, 255}}}));

  // Beside a transparent picture entry 1 is the key: nothing is pinned then.
  auto t = make_store(16, 16);
  t->ISTRANSPARENT = 1;
  EXPECT_EQ(pin_colours(*t, pins), "entry 1 holds the transparent colour");
  EXPECT_TRUE(pins_of(*t).empty());
}
