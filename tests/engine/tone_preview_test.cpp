// Greyscale, brightness and contrast, and the input preview over the
// checkerboard with its rotating files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/input_reference.h"
#include "tessera/controls.h"
#include "tessera/surface.h"

namespace tessera {
namespace {

using testing::argb;
using testing::TestPicture;

TEST(Tone, GreyLevels) {
  EXPECT_EQ(grey_value(255, 0, 0), 76);   // 76.245
  EXPECT_EQ(grey_value(0, 255, 0), 150);  // 149.685
  EXPECT_EQ(grey_value(0, 0, 255), 29);   // 29.07
  EXPECT_EQ(grey_value(255, 255, 255), 255);
  EXPECT_EQ(grey_value(0, 0, 0), 0);
  for (int v = 0; v < 256; ++v) ASSERT_EQ(grey_value(v, v, v), v);
  // Near halves the sum must be taken in long double: in double these read
  // 28.5, 7.5 and 14.5 and round to 28, 8 and 14.
  EXPECT_EQ(grey_value(0, 0, 250), 29);  // 28.5000000000000010
  EXPECT_EQ(grey_value(0, 12, 4), 7);    // 7.4999999999999996
  EXPECT_EQ(grey_value(0, 8, 86), 15);   // 14.5000000000000001
}

TEST(Tone, ContrastFactorIsKeptInSinglePrecision) {
  EXPECT_EQ(scaled_contrast(0), 1.0f);
  EXPECT_EQ(static_cast<double>(scaled_contrast(10)), 1.10000002384185791015625);
  EXPECT_EQ(scaled_contrast(-100), 0.0f);
  EXPECT_EQ(scaled_contrast(100), 2.0f);
}

TEST(Tone, BrightnessAndContrast) {
  const float none = scaled_contrast(0);
  for (int v = 0; v < 256; ++v) ASSERT_EQ(adjust_tone(v, 0, none), v);
  // The single-precision factor pushes 144.5 just over the half.
  EXPECT_EQ(adjust_tone(143, 0, scaled_contrast(10)), 145);
  // Exact halves round to even: 129.5 -> 130, 132.5 -> 132.
  EXPECT_EQ(adjust_tone(129, 0, scaled_contrast(50)), 130);
  EXPECT_EQ(adjust_tone(131, 0, scaled_contrast(50)), 132);
  for (int b : {-255, -40, 0, 77, 255})
    for (int v : {0, 1, 127, 128, 200, 255}) ASSERT_EQ(adjust_tone(v, b, scaled_contrast(-100)), 128);
  const float twice = scaled_contrast(100);
  EXPECT_EQ(adjust_tone(64, 0, twice), 0);
  EXPECT_EQ(adjust_tone(65, 0, twice), 2);
  EXPECT_EQ(adjust_tone(191, 0, twice), 254);
  EXPECT_EQ(adjust_tone(200, 0, twice), 255);
  for (int v = 0; v < 256; ++v) {
    ASSERT_EQ(adjust_tone(v, 255, none), 255);
    ASSERT_EQ(adjust_tone(v, -255, none), 0);
  }
  // Brightness is added before the contrast pivots on 128.
  EXPECT_EQ(adjust_tone(100, 28, twice), 128);
}

TEST(Tone, BlendOverTheCheckerboard) {
  for (int v : {0, 90, 255}) {
    EXPECT_EQ(blend_over_checkerboard(0, v, 255), 255);
    EXPECT_EQ(blend_over_checkerboard(0, v, 128), 128);
    EXPECT_EQ(blend_over_checkerboard(255, v, 255), v);
    EXPECT_EQ(blend_over_checkerboard(255, v, 128), v);
  }
  // Alpha 128: 128/255 of the colour, 127/255 of the background.
  EXPECT_EQ(blend_over_checkerboard(128, 0, 255), 127);
  EXPECT_EQ(blend_over_checkerboard(128, 255, 128), 192);  // 128 + 63.75
  EXPECT_EQ(blend_over_checkerboard(128, 0, 128), 64);     // 63.749...
  EXPECT_EQ(blend_over_checkerboard(1, 255, 128), 128);    // 128.498...
}

// A BMP file as written for a preview, read back top row first.
struct BmpFile {
  int width = 0, height = 0;
  std::vector<unsigned char> bytes;
  explicit BmpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.size() >= 54) {
      width = static_cast<int>(word(18));
      height = static_cast<int>(word(22));
    }
  }
  std::uint32_t word(std::size_t at) const {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
  }
  std::uint32_t pixel(int x, int y) const {
    return word(54 + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4);
  }
};

struct PreviewRun {
  std::string dir;
  Store store;
  ControlValues controls;
  explicit PreviewRun(const std::string& name) : dir(testing::test_dir(name)) { store.TEMPFILEPATH = dir; }
  void open(const TestPicture& pic) {
    store.OPENFILENAME = dir + "/picture.png";
    ASSERT_TRUE(pic.image().save(QString::fromStdString(store.OPENFILENAME), "PNG"));
  }
};

TEST(InputPreview, DrawsTheWorkingImageEnlargedOverTheCheckerboard) {
  // 320 x 200 picture, copied one to one: opaque red, half-transparent green
  // and clear blue areas.
  TestPicture pic(320, 200, argb(255, 0, 0));
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 10; ++x) pic.at(x, y) = argb(0, 0, 255, 0);
  for (int y = 100; y < 200; ++y)
    for (int x = 300; x < 320; ++x) pic.at(x, y) = argb(0, 255, 0, 128);
  PreviewRun run("preview_checkerboard");
  run.open(pic);
  REDISPLAYINPUT(run.store, run.controls);
  EXPECT_EQ(run.store.ISTRANSPARENT, 1);

  const std::string path = run.dir + "/test0.bmp";
  EXPECT_EQ(run.controls.shown[Ctl::InputImgFrame], path);
  const BmpFile bmp(path);
  ASSERT_EQ(bmp.width, 1920);
  ASSERT_EQ(bmp.height, 1200);
  ASSERT_EQ(bmp.bytes.size(), 54u + 1920u * 1200u * 4u);
  // Clear pixels show the checkerboard: cells 10 wide, 20 high, white first.
  EXPECT_EQ(bmp.pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(bmp.pixel(9, 19), 0xFFFFFFFFu);
  EXPECT_EQ(bmp.pixel(10, 0), 0xFF808080u);
  EXPECT_EQ(bmp.pixel(0, 20), 0xFF808080u);
  EXPECT_EQ(bmp.pixel(10, 20), 0xFFFFFFFFu);
  EXPECT_EQ(bmp.pixel(59, 0), 0xFF808080u);  // last preview column of working column 9
  // Opaque pixels show their colour, the whole 6 x 6 block.
  EXPECT_EQ(bmp.pixel(60, 0), 0xFFFF0000u);
  EXPECT_EQ(bmp.pixel(1799, 599), 0xFFFF0000u);
  // Half-transparent green over white (cell 180 + 60 = even) and grey.
  EXPECT_EQ(bmp.pixel(1800, 600), 0xFF7FFF7Fu);  // (127, 255, 127)
  EXPECT_EQ(bmp.pixel(1810, 600), 0xFF40C040u);  // (64, 192, 64)
  EXPECT_EQ(bmp.pixel(1919, 1199), 0xFF7FFF7Fu);  // 191 + 59 is even: white
}

TEST(InputPreview, FourBitPreviewIsHalfAsWide) {
  PreviewRun run("preview_bmp4");
  run.open(TestPicture(160, 200, argb(1, 2, 3)));
  run.controls.output_index = 1;
  REDISPLAYINPUT(run.store, run.controls);
  const BmpFile bmp(run.dir + "/test0.bmp");
  EXPECT_EQ(bmp.width, 960);
  EXPECT_EQ(bmp.height, 1200);
  EXPECT_EQ(bmp.pixel(959, 1199), 0xFF010203u);
  EXPECT_EQ(run.store.ISTRANSPARENT, 0);
}

TEST(InputPreview, FilesRotateOverFiveNumbersSharedWithOtherPreviews) {
  PreviewRun run("preview_rotation");
  run.open(TestPicture(32, 20, argb(9, 9, 9)));
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) {
    REDISPLAYINPUT(run.store, run.controls);
    names.push_back(std::filesystem::path(run.controls.shown[Ctl::InputImgFrame]).filename().string());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"test0.bmp", "test1.bmp", "test2.bmp", "test3.bmp", "test4.bmp",
                                             "test0.bmp"}));
  EXPECT_EQ(run.store.TEMPFILECOUNT, 1);
  EXPECT_EQ(run.controls.pictures_shown, 6);
  // An output preview in between takes the next number.
  finish_preview(run.store);
  REDISPLAYINPUT(run.store, run.controls);
  EXPECT_EQ(std::filesystem::path(run.controls.shown[Ctl::InputImgFrame]).filename(), "test2.bmp");
  // No temporary files are left behind.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(run.dir)) files += e.path().extension() == ".bmp";
  EXPECT_EQ(files, 5);
}

TEST(InputPreview, PreviewFileHoldsExactlyTheBmpBytes) {
  // Previews are written in batches of rows; the file must still be the
  // surface's BMP, whatever the number of rows.
  const std::string dir = testing::test_dir("preview_bytes");
  Store s;
  s.TEMPFILEPATH = dir;
  for (int height : {1, 31, 32, 33, 70, 255, 256, 257, 513, 1200}) {
    Surface surface(7, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < 7; ++x) surface.set_pixel(x, y, 0xFF000000u | static_cast<std::uint32_t>(y * 7919 + x * 104729));
    const std::string path = write_preview(s, "test", surface);
    finish_preview(s);
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::uint8_t> expected = bmp_bytes(surface);
    ASSERT_EQ(file.size(), expected.size()) << height;
    EXPECT_TRUE(std::equal(file.begin(), file.end(), expected.begin())) << height;
  }
}

TEST(InputPreview, PlantedLinkIsReplacedNotFollowed) {
  PreviewRun run("preview_link");
  run.open(TestPicture(32, 20, argb(9, 9, 9)));
  const std::string victim = run.dir + "/victim.txt";
  { std::ofstream(victim) << "keep me"; }
  std::filesystem::create_symlink(victim, run.dir + "/test0.bmp");
  REDISPLAYINPUT(run.store, run.controls);
  EXPECT_FALSE(std::filesystem::is_symlink(run.dir + "/test0.bmp"));
  std::ifstream in(victim);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
  EXPECT_EQ(BmpFile(run.dir + "/test0.bmp").width, 1920);
}

}  // namespace
}  // namespace tessera
