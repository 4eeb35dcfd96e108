// The decoded picture kept between runs of the input stage: used while the
// file is the same, decoded afresh as soon as it is not, and never a pixel
// different from a fresh decode.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "engine/input_reference.h"
#include "engine/picture_files.h"
#include "pictures/picture_cache.h"

namespace tessera {
namespace {

namespace fs = std::filesystem;
using testing::sample;

bool same_pixels(const DecodedPicture& a, const DecodedPicture& b) {
  if (a.frame.width != b.frame.width || a.frame.height != b.frame.height) return false;
  const std::size_t n = static_cast<std::size_t>(a.frame.width) * static_cast<std::size_t>(a.frame.height);
  return std::equal(a.frame.pixels, a.frame.pixels + n, b.frame.pixels);
}

void set_modified(const std::string& path, long seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(PictureCache, AnUnchangedFileIsDecodedOnce) {
  const std::string dir = testing::test_dir("cache_unchanged");
  const std::string path = dir + "/rose.png";
  fs::copy_file(sample("rose_alpha_400x301.png"), path);
  PictureCache cache;
  const DecodedPicture first = cache.get(path);
  ASSERT_EQ(first.error, "");
  const DecodedPicture second = cache.get(path);
  EXPECT_EQ(cache.decodes(), 1);
  EXPECT_EQ(second.frame.pixels, first.frame.pixels) << "the kept pixels themselves";
  EXPECT_TRUE(same_pixels(second, decode_picture(path)));

  cache.clear();
  cache.get(path);
  EXPECT_EQ(cache.decodes(), 2);
}

TEST(PictureCache, AChangedFileIsDecodedAgain) {
  const std::string dir = testing::test_dir("cache_changed");
  const std::string path = dir + "/pic.png";
  fs::copy_file(sample("rose_alpha_400x301.png"), path);
  set_modified(path, 1'000'000'000);
  PictureCache cache;
  cache.get(path);
  ASSERT_EQ(cache.decodes(), 1);

  // Only the modification time changes.
  set_modified(path, 1'000'000'001);
  EXPECT_TRUE(same_pixels(cache.get(path), decode_picture(path)));
  EXPECT_EQ(cache.decodes(), 2);

  // Another picture of the same name, its time set back to the old one.
  fs::copy_file(sample("demo_snake_600x450.png"), path, fs::copy_options::overwrite_existing);
  set_modified(path, 1'000'000'001);
  const DecodedPicture snake = cache.get(path);
  EXPECT_EQ(cache.decodes(), 3);
  EXPECT_EQ(snake.frame.width, 600);
  EXPECT_TRUE(same_pixels(snake, decode_picture(sample("demo_snake_600x450.png"))));

  // The same bytes under another name are another file.
  const std::string copy = dir + "/copy.png";
  fs::copy_file(path, copy);
  cache.get(copy);
  EXPECT_EQ(cache.decodes(), 4);
  cache.get(copy);
  EXPECT_EQ(cache.decodes(), 4);
}

TEST(PictureCache, FailuresAreNotKept) {
  const std::string dir = testing::test_dir("cache_failures");
  const std::string path = dir + "/later.gif";
  PictureCache cache;
  EXPECT_EQ(cache.get(path).error, "file missing");
  fs::copy_file(sample("hand_transparent_20x22.gif"), path);
  EXPECT_EQ(cache.get(path).error, "");
  EXPECT_EQ(cache.get(path).frame.width, 20);
  // Gone again: the kept picture goes with it.
  fs::remove(path);
  EXPECT_EQ(cache.get(path).error, "file missing");
  EXPECT_EQ(cache.get("").error, "no picture opened");
}

// Damaged pictures are kept with their reason.
TEST(PictureCache, ADamagedPictureIsKeptWithItsReason) {
  const std::string dir = testing::test_dir("cache_damaged");
  const std::string path = dir + "/cut.bmp";
  const QByteArray bmp = testing::bmp_bytes(testing::noisy_picture(64, 40, 5), 24);
  testing::write_file(path, bmp.left(bmp.size() / 2));
  PictureCache cache;
  const DecodedPicture first = cache.get(path);
  const DecodedPicture again = cache.get(path);
  EXPECT_EQ(cache.decodes(), 1);
  EXPECT_FALSE(first.damage.empty());
  EXPECT_EQ(again.damage, first.damage);
}

// The input stage through the store: rerunning it for a new brightness,
// placement or grey does not decode again, and leaves what a fresh store
// with the same settings leaves.
TEST(PictureCache, RerunsOfTheInputStageDoNotDecodeAgain) {
  const std::string dir = testing::test_dir("cache_stage");
  auto s = std::make_unique<Store>();
  ControlValues cv;
  s->OPENFILENAME = sample("rose_alpha_400x301.png");
  s->TEMPFILEPATH = dir;
  REDISPLAYINPUT(*s, cv);
  EXPECT_EQ(s->INPUTPICTURE->decodes(), 1);

  const auto check = [&](const char* what) {
    auto fresh = std::make_unique<Store>();
    fresh->OPENFILENAME = s->OPENFILENAME;
    fresh->TEMPFILEPATH = dir;
    fresh->BRIGHTNESS = s->BRIGHTNESS;
    fresh->SCALE = s->SCALE;
    REDISPLAYINPUT(*fresh, cv);
    for (int y = 0; y < kMaxHeight; ++y)
      for (int x = 0; x < fresh->OUTPUTX; ++x)
        ASSERT_EQ(testing::working_pixel(*s, x, y), testing::working_pixel(*fresh, x, y)) << what << " " << x << "," << y;
  };
  s->BRIGHTNESS = 40;
  REDISPLAYINPUT(*s, cv);
  check("brighter");
  cv.checks[Ctl::GreyScale] = true;
  REDISPLAYINPUT(*s, cv);
  check("grey");
  // The grey step works on a copy: the kept colours are untouched.
  cv.checks[Ctl::GreyScale] = false;
  cv.select(Ctl::Fit);
  s->SCALE = static_cast<int>(Resampler::Lanczos);
  REDISPLAYINPUT(*s, cv);
  check("colour again, fitted");
  EXPECT_EQ(s->INPUTPICTURE->decodes(), 1);
}

}  // namespace
}  // namespace tessera
