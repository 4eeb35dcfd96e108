// The store's helpers, text-box numbers, surfaces, BMP bytes and preview files.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "tessera/controls.h"
#include "tessera/number.h"
#include "tessera/store.h"
#include "tessera/surface.h"

namespace fs = std::filesystem;
using namespace tessera;

namespace {

std::vector<std::uint8_t> read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path fresh_dir(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("tessera_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

}  // namespace

TEST(Store, HelpersAndStartValues) {
  EXPECT_EQ(SQD(0, 255), 65025);
  EXPECT_EQ(SQD(7, 7), 0);
  EXPECT_EQ(SQD(-3, 4), 49);
  const int in[] = {0, 15, 16, 31, 127, 128, 240, 255};
  const int grid[] = {0, 0, 17, 17, 119, 136, 255, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(to_grid(in[i]), grid[i]) << in[i];
  EXPECT_EQ(control_colour(0x12, 0x34, 0x56), 0x563412u);

  Store s;
  EXPECT_EQ(s.TRANS, 50);
  EXPECT_EQ(s.DITHER, 2);
  EXPECT_EQ(s.OUTPUTFILETYPE, 1);
  EXPECT_EQ(s.MAXITERATIONS, 50);
  EXPECT_EQ(s.IMGSCALE, 6);
  EXPECT_EQ(s.OUTPUTX, 0);
  EXPECT_EQ(s.COLORS.size(), 64001u);
  // The whole store stays small enough for many conversions at once.
  EXPECT_LT(sizeof(Store) + 2 * 320 * 200 * 5 * 4 + 320 * 200 * 6 * 4 + 64001 * 16, 16u << 20);
}

TEST(Store, TransparencyThresholdIsOneExactComparison) {
  Store s;
  s.ISTRANSPARENT = 1;
  s.TRANS = 60;  // 60 % of 255 is exactly 153: alpha 153 is not below it
  EXPECT_FALSE(counts_as_transparent(s, 153));
  EXPECT_TRUE(counts_as_transparent(s, 152));
  s.TRANS = 0;
  EXPECT_FALSE(counts_as_transparent(s, 0));
  s.TRANS = 100;
  EXPECT_TRUE(counts_as_transparent(s, 254));
  EXPECT_FALSE(counts_as_transparent(s, 255));
  s.ISTRANSPARENT = 0;
  EXPECT_FALSE(counts_as_transparent(s, 0));
}

TEST(NumberValue, ReadsLikeTheTextBoxes) {
  EXPECT_EQ(number_value("50%"), 50.0);
  EXPECT_EQ(number_value("abc"), 0.0);
  EXPECT_EQ(number_value(""), 0.0);
  EXPECT_EQ(number_value("   12.5x"), 12.5);
  EXPECT_EQ(number_value("1d2"), 100.0);
  EXPECT_EQ(number_value("1E-2"), 0.01);
  EXPECT_EQ(number_value("1e"), 1.0);  // an exponent without digits is not part of the number
  EXPECT_EQ(number_value("-20"), -20.0);
  EXPECT_EQ(number_value("+.5"), 0.5);
  EXPECT_EQ(number_value("."), 0.0);
  EXPECT_EQ(number_value("&H20"), 32.0);
  EXPECT_EQ(number_value("&h1f"), 31.0);
  EXPECT_EQ(number_value("&O17"), 15.0);
  EXPECT_EQ(number_value("&B101"), 5.0);
  EXPECT_EQ(number_value("&17"), 15.0);  // "&" before anything else: octal digits
  EXPECT_EQ(number_value("&"), 0.0);
}

TEST(NumberValue, NeverInfiniteOrNan) {
  EXPECT_EQ(number_value("1e308"), 1e308);
  EXPECT_EQ(number_value("1d400"), DBL_MAX);
  EXPECT_EQ(number_value("-1e400"), -DBL_MAX);
  EXPECT_EQ(number_value("inf"), 0.0);
  EXPECT_EQ(number_value("-inf"), 0.0);
  EXPECT_EQ(number_value("nan"), 0.0);
  EXPECT_EQ(number_value("0x10"), 0.0);  // hexadecimal floats are not numbers here
  EXPECT_EQ(number_value("&H" + std::string(300, 'F')), DBL_MAX);
  EXPECT_TRUE(std::isfinite(number_value("&HFFFFFFFFFFFFFFFFFFFF")));
  EXPECT_GT(number_value("&HFFFFFFFFFFFFFFFFFFFF"), 1e24);
}

TEST(Surface, FillBoxClipsAtTheEdges) {
  Surface s(4, 3);
  EXPECT_EQ(s.pixel(3, 2), 0xFF000000u);
  s.fill_box(2, 1, 10, 10, 0xFF112233u);
  EXPECT_EQ(s.pixel(1, 1), 0xFF000000u);
  EXPECT_EQ(s.pixel(2, 1), 0xFF112233u);
  EXPECT_EQ(s.pixel(3, 2), 0xFF112233u);
  EXPECT_EQ(s.pixel(3, 0), 0xFF000000u);
  s.fill_box(-5, -5, 0, 0, 0xFFFFFFFFu);
  EXPECT_EQ(s.pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(s.pixel(1, 0), 0xFF000000u);
}

TEST(Surface, BmpLayoutOfATwoByOnePicture) {
  Surface s(2, 1);
  s.set_pixel(0, 0, 0xFFFF0000u);  // red
  s.set_pixel(1, 0, 0xFF0000FFu);  // blue
  const auto b = bmp_bytes(s);
  ASSERT_EQ(b.size(), 62u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(b[2], 62);
  EXPECT_EQ(b[10], 54);
  EXPECT_EQ(b[14], 40);
  EXPECT_EQ(b[18], 2);
  EXPECT_EQ(b[22], 1);
  EXPECT_EQ(b[26], 1);
  EXPECT_EQ(b[28], 32);
  EXPECT_EQ(b[34], 8);
  EXPECT_EQ(b[38] | (b[39] << 8), 2834);
  EXPECT_EQ(b[42] | (b[43] << 8), 2834);
  const std::vector<std::uint8_t> pixels(b.begin() + 54, b.end());
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF}));
}

TEST(Surface, BmpStoresTheBottomRowFirst) {
  Surface s(1, 2);
  s.set_pixel(0, 0, 0xFF010203u);
  s.set_pixel(0, 1, 0xFF040506u);
  const auto b = bmp_bytes(s);
  EXPECT_EQ(b[54], 0x06);
  EXPECT_EQ(b[58], 0x03);
}

TEST(Files, PreviewWriteReplacesAPlantedLinkInsteadOfFollowingIt) {
  const fs::path dir = fresh_dir("atomic");
  const fs::path victim = dir / "victim.txt";
  { std::ofstream(victim) << "keep me"; }
  fs::create_symlink(victim, dir / "test0.bmp");
  EXPECT_EQ(write_file((dir / "test0.bmp").string(), {1, 2, 3}, FileRole::Preview), "");
  EXPECT_FALSE(fs::is_symlink(dir / "test0.bmp"));
  EXPECT_EQ(read_all(dir / "test0.bmp"), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(read_all(victim).size(), 7u);
  // Nothing but the two files is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}

TEST(Files, FailedWriteKeepsTheOldFileAndSaysWhy) {
  const fs::path dir = fresh_dir("failed");
  const std::string missing = (dir / "no_such_dir" / "x.bmp1").string();
  EXPECT_NE(write_file_atomically(missing, {1}), "");
  fs::remove_all(dir);
}

TEST(Files, PreviewNamesRotateOverFiveNumbers) {
  const fs::path dir = fresh_dir("rotate");
  Store s;
  s.TEMPFILEPATH = dir.string();
  Surface surface(2, 2);
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) {
    names.push_back(fs::path(write_preview(s, i % 2 ? "outimage" : "test", surface)).filename());
    finish_preview(s);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"test0.bmp", "outimage1.bmp", "test2.bmp", "outimage3.bmp",
                                             "test4.bmp", "outimage0.bmp"}));
  EXPECT_EQ(read_all(dir / "test2.bmp").size(), 54u + 16u);
  fs::remove_all(dir);
}

TEST(Controls, ValuesStartLikeTheWindowAndKeepOneOptionPerGroup) {
  ControlValues c;
  EXPECT_EQ(c.selected_index(Ctl::OutputTypesBox), 0);
  EXPECT_TRUE(c.checked(Ctl::Stretch));
  EXPECT_TRUE(c.checked(Ctl::Scolorq));
  EXPECT_TRUE(c.checked(Ctl::Atkinson));
  EXPECT_FALSE(c.checked(Ctl::Dither));
  EXPECT_EQ(c.text(Ctl::DitherValue), "100");
  c.select(Ctl::Fit);
  EXPECT_TRUE(c.checked(Ctl::Fit));
  EXPECT_FALSE(c.checked(Ctl::Stretch));
  EXPECT_TRUE(c.checked(Ctl::Scolorq));
  c.select(Ctl::MedianCut);
  EXPECT_FALSE(c.checked(Ctl::Scolorq));
  EXPECT_EQ(c.swatches[16], 0xFFFFFFu);
}
