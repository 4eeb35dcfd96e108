// The colour census: the ascending list of distinct colours and its texts.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include "engine/input_reference.h"
#include "tessera/controls.h"

namespace tessera {
namespace {

using Colour = std::tuple<int, int, int>;

// A working image of the given size whose untouched copy is filled by f;
// IMAGEIN is left holding something else, as after rendering.
template <typename F>
Store working_image(int outputx, int outputy, F f) {
  Store s;
  s.OUTPUTX = outputx;
  s.OUTPUTY = outputy;
  for (int y = 0; y < outputy; ++y)
    for (int x = 0; x < outputx; ++x) {
      const Colour c = f(x, y);
      s.IMAGEINORG(x, y, 1) = std::get<0>(c);
      s.IMAGEINORG(x, y, 2) = std::get<1>(c);
      s.IMAGEINORG(x, y, 3) = std::get<2>(c);
      for (int k = 1; k <= 3; ++k) s.IMAGEIN(x, y, k) = 255 - s.IMAGEINORG(x, y, k) / 2;
      s.IMAGEIN(x, y, 4) = 255;
    }
  return s;
}

std::vector<Colour> listed(const Store& s) {
  std::vector<Colour> out;
  for (int n = 1; n <= s.COLCOUNT; ++n) out.emplace_back(s.COLORS[n][1], s.COLORS[n][2], s.COLORS[n][3]);
  return out;
}

TEST(Census, ListsEachColourOnceInAscendingOrder) {
  Store s = working_image(320, 200, [](int x, int y) {
    const int k = (x * 31 + y * 17) % 6;
    const Colour palette[6] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    return palette[k];
  });
  ControlValues cv;
  s.XSIZE = 640;
  s.YSIZE = 480;
  COUNTINPUTCOLORS(s, cv);
  EXPECT_EQ(s.COLCOUNT, 6);
  EXPECT_EQ(listed(s), (std::vector<Colour>{{0, 0, 0}, {0, 0, 255}, {0, 1, 0}, {0, 255, 0}, {1, 0, 0}, {255, 0, 0}}));
  EXPECT_EQ(cv.labels[Ctl::UniqueColors], "640x480 with 6 Colors");
  EXPECT_EQ(cv.labels[Ctl::StatusBar], "Unique Colors ... 6");
  // Channel 0 and entries past the list stay zero.
  EXPECT_EQ(s.COLORS[0], (CensusEntry{0, 0, 0, 0}));
  EXPECT_EQ(s.COLORS[7], (CensusEntry{0, 0, 0, 0}));
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(s.COLORS[n][0], 0);
}

TEST(Census, RestoresTheWorkingImageFromItsCopy) {
  Store s = working_image(320, 200, [](int x, int y) { return Colour{x % 256, y, 7}; });
  ControlValues cv;
  COUNTINPUTCOLORS(s, cv);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x)
      for (int c = 1; c <= 3; ++c) ASSERT_EQ(s.IMAGEIN(x, y, c), s.IMAGEINORG(x, y, c));
  EXPECT_EQ(s.COLCOUNT, 256 * 200);
}

TEST(Census, AgreesWithASetOnSixtyFourThousandRandomColours) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> byte(0, 255), low(0, 3);
  for (int round = 0; round < 3; ++round) {
    // Round 0: nearly all distinct; later rounds: many repeats.
    Store s = working_image(320, 200, [&](int, int) {
      if (round == 0) return Colour{byte(rng), byte(rng), byte(rng)};
      return Colour{low(rng) * 85, byte(rng) & (round == 1 ? 0xF0 : 0x80), low(rng)};
    });
    std::set<Colour> expected;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 320; ++x)
        expected.emplace(s.IMAGEINORG(x, y, 1), s.IMAGEINORG(x, y, 2), s.IMAGEINORG(x, y, 3));
    ControlValues cv;
    COUNTINPUTCOLORS(s, cv);
    ASSERT_EQ(s.COLCOUNT, static_cast<int>(expected.size()));
    EXPECT_EQ(listed(s), std::vector<Colour>(expected.begin(), expected.end()));
  }
}

TEST(Census, EveryPixelDistinctFillsTheWholeList) {
  Store s = working_image(320, 200, [](int x, int y) {
    const int n = y * 320 + x;  // 0..63999
    return Colour{n >> 16, (n >> 8) & 255, n & 255};
  });
  ControlValues cv;
  COUNTINPUTCOLORS(s, cv);
  ASSERT_EQ(s.COLCOUNT, 64000);
  EXPECT_EQ(s.COLORS[64000], (CensusEntry{0, 0, 249, 255}));  // 63999 = 0x00F9FF
  EXPECT_EQ(cv.labels[Ctl::StatusBar], "Unique Colors ... 64000");
}

TEST(Census, IgnoresAlpha) {
  Store s = working_image(320, 200, [](int, int) { return Colour{10, 20, 30}; });
  for (int x = 0; x < 320; ++x) s.IMAGEIN(x, 5, 4) = x % 256;
  ControlValues cv;
  COUNTINPUTCOLORS(s, cv);
  EXPECT_EQ(s.COLCOUNT, 1);
  EXPECT_EQ(cv.labels[Ctl::UniqueColors], "0x0 with 1 Colors");
}

TEST(Census, CountsOnlyTheWorkingRectangle) {
  // A BMP4 working image is 160 wide; whatever lies beyond is not counted.
  Store s = working_image(320, 200, [](int x, int) { return x < 160 ? Colour{1, 1, 1} : Colour{x % 256, 0, 9}; });
  s.OUTPUTX = 160;
  ControlValues cv;
  COUNTINPUTCOLORS(s, cv);
  EXPECT_EQ(s.COLCOUNT, 1);
}

TEST(Census, BeforeAnyInputStageCountsNothing) {
  Store s;
  ControlValues cv;
  COUNTINPUTCOLORS(s, cv);
  EXPECT_EQ(s.COLCOUNT, 0);
  EXPECT_EQ(cv.labels[Ctl::UniqueColors], "0x0 with 0 Colors");
  EXPECT_EQ(cv.labels[Ctl::StatusBar], "Unique Colors ... 0");
}

TEST(Census, AShorterListClearsTheOldEntries) {
  Store s = working_image(320, 200, [](int x, int y) { return Colour{x % 256, y, 0}; });
  ControlValues cv;
  COUNTINPUTCOLORS(s, cv);
  ASSERT_GT(s.COLCOUNT, 1000);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) s.IMAGEINORG(x, y, 1) = s.IMAGEINORG(x, y, 2) = 0;
  COUNTINPUTCOLORS(s, cv);
  EXPECT_EQ(s.COLCOUNT, 1);
  for (int n = 2; n <= 64000; ++n) ASSERT_EQ(s.COLORS[n], (CensusEntry{0, 0, 0, 0})) << n;
}

TEST(Census, TellsWhyThePictureCouldNotBeRead) {
  Store s;
  s.OPENFILENAME = "/nonexistent/picture.png";
  ControlValues cv;
  s.TEMPFILEPATH = testing::test_dir("census_unreadable");
  REDISPLAYINPUT(s, cv);
  COUNTINPUTCOLORS(s, cv);
  EXPECT_EQ(cv.labels[Ctl::UniqueColors], "0x0 with 1 Colors");
  EXPECT_EQ(cv.labels[Ctl::StatusBar], "Picture could not be read: file missing");
  // The next picture that reads clears the message.
  s.OPENFILENAME = testing::sample("hand_transparent_20x22.gif");
  REDISPLAYINPUT(s, cv);
  COUNTINPUTCOLORS(s, cv);
  EXPECT_EQ(cv.labels[Ctl::StatusBar].rfind("Unique Colors ... ", 0), 0u);
  EXPECT_EQ(cv.labels[Ctl::UniqueColors].rfind("20x22 with ", 0), 0u);
}

}  // namespace
}  // namespace tessera
