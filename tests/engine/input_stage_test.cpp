// The whole input stage on picture files: the controls it reads, the method
// correction, greyscale and tone, undecodable pictures and the samples.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/input_reference.h"
#include "tessera/controls.h"

namespace tessera {
namespace {

using testing::argb;
using testing::Rgba;
using testing::TestPicture;

struct StageRun {
  std::string dir;
  Store store;
  ControlValues controls;
  explicit StageRun(const std::string& name) : dir(testing::test_dir(name)) { store.TEMPFILEPATH = dir; }
  void open(const TestPicture& pic) {
    store.OPENFILENAME = dir + "/picture.png";
    ASSERT_TRUE(pic.image().save(QString::fromStdString(store.OPENFILENAME), "PNG"));
  }
  void input() { REDISPLAYINPUT(store, controls); }
  void input_and_census() {
    REDISPLAYINPUT(store, controls);
    COUNTINPUTCOLORS(store, controls);
  }
};

TEST(InputStage, ReadsTheFormatAndPlacementControlsAfreshEachRun) {
  StageRun run("stage_controls");
  run.open(TestPicture(640, 200, argb(5, 6, 7)));
  run.input();  // start state: BMP1, Stretch
  EXPECT_EQ(run.store.OUTPUTFILETYPE, 1);
  EXPECT_EQ(run.store.OUTPUTX, 320);
  EXPECT_EQ(run.store.OUTPUTY, 200);
  EXPECT_EQ(run.store.XSIZE, 640);
  EXPECT_EQ(run.store.YSIZE, 200);
  EXPECT_EQ(run.store.XSCALE, 0.5);
  EXPECT_EQ(run.store.ISTRANSPARENT, 0);

  run.controls.select(Ctl::Fit);
  run.input();
  EXPECT_EQ(run.store.OFFSETY, 50);
  EXPECT_EQ(run.store.ISTRANSPARENT, 1);  // the borders are clear
  EXPECT_EQ(run.store.IMAGEIN(0, 49, 4), 0);
  EXPECT_EQ(run.store.IMAGEIN(0, 50, 4), 255);

  for (int index : {1, 2}) {  // "BMP4" and anything after it
    run.controls.output_index = index;
    run.input();
    EXPECT_EQ(run.store.OUTPUTFILETYPE, 4);
    EXPECT_EQ(run.store.OUTPUTX, 160);
  }
  run.controls.output_index = 0;
  run.controls.select(Ctl::Center);
  run.input();
  EXPECT_EQ(run.store.OUTPUTX, 320);
  EXPECT_EQ(run.store.OFFSETX, -160);
  EXPECT_EQ(run.store.OFFSETY, 0);
}

TEST(InputStage, AverageFallsBackToNearestForSmallPicturesAndStaysSo) {
  StageRun run("stage_average_small");
  run.open(TestPicture(100, 100, argb(50, 50, 50)));
  run.store.SCALE = static_cast<int>(Resampler::Average);
  run.input();
  EXPECT_EQ(run.store.SCALE, static_cast<int>(Resampler::Nearest));
  run.open(TestPicture(640, 400, argb(50, 50, 50)));
  run.input();
  EXPECT_EQ(run.store.SCALE, static_cast<int>(Resampler::Nearest));
  // Large enough pictures keep averaging.
  run.store.SCALE = static_cast<int>(Resampler::Average);
  run.input();
  EXPECT_EQ(run.store.SCALE, static_cast<int>(Resampler::Average));
  // Other methods are never changed.
  run.open(TestPicture(10, 10, argb(1, 1, 1)));
  for (Resampler method : {Resampler::Bicubic, Resampler::Lanczos}) {
    run.store.SCALE = static_cast<int>(method);
    run.input();
    EXPECT_EQ(run.store.SCALE, static_cast<int>(method));
  }
}

TEST(InputStage, ToneCoversTheBordersAndFillsTheCopy) {
  StageRun run("stage_tone");
  run.open(TestPicture(320, 100, argb(100, 150, 200)));
  run.controls.select(Ctl::Fit);
  run.store.BRIGHTNESS = 10;
  run.store.CONTRAST = 10;
  run.input();
  const float k = scaled_contrast(10);
  // The clear border takes the colour that 0 adjusts to; its alpha stays 0.
  EXPECT_EQ(testing::working_pixel(run.store, 0, 0),
            (Rgba{adjust_tone(0, 10, k), adjust_tone(0, 10, k), adjust_tone(0, 10, k), 0}));
  EXPECT_EQ(testing::working_pixel(run.store, 0, 100),
            (Rgba{adjust_tone(100, 10, k), adjust_tone(150, 10, k), adjust_tone(200, 10, k), 255}));
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x)
      for (int c = 1; c <= 3; ++c) ASSERT_EQ(run.store.IMAGEINORG(x, y, c), run.store.IMAGEIN(x, y, c));
}

TEST(InputStage, GreyScaleGreysThePictureBeforeResampling) {
  StageRun run("stage_grey");
  run.store.OPENFILENAME = testing::sample("rose_alpha_400x301.png");
  run.controls.checks[Ctl::GreyScale] = true;
  run.store.SCALE = static_cast<int>(Resampler::Lanczos);
  run.controls.select(Ctl::Fill);
  run.input();
  int translucent = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      ASSERT_EQ(run.store.IMAGEIN(x, y, 1), run.store.IMAGEIN(x, y, 2));
      ASSERT_EQ(run.store.IMAGEIN(x, y, 2), run.store.IMAGEIN(x, y, 3));
      translucent += run.store.IMAGEIN(x, y, 4) < 255;
    }
  EXPECT_GT(translucent, 10000);  // alpha is left alone
  // Pure colours take their grey levels.
  StageRun pure("stage_grey_pure");
  TestPicture pic(3, 1);
  pic.at(0, 0) = argb(255, 0, 0);
  pic.at(1, 0) = argb(0, 255, 0);
  pic.at(2, 0) = argb(0, 0, 255, 7);
  pure.open(pic);
  pure.controls.checks[Ctl::GreyScale] = true;
  pure.input();
  EXPECT_EQ(testing::working_pixel(pure.store, 0, 0), (Rgba{76, 76, 76, 255}));
  EXPECT_EQ(testing::working_pixel(pure.store, 150, 0), (Rgba{150, 150, 150, 255}));
  EXPECT_EQ(testing::working_pixel(pure.store, 319, 199), (Rgba{29, 29, 29, 7}));
}

TEST(InputStage, UndecodablePictureIsTransparentBlackAndSaysWhy) {
  StageRun run("stage_undecodable");
  // Leave something behind from a picture that did decode.
  run.open(TestPicture(320, 200, argb(200, 100, 50)));
  run.input_and_census();
  ASSERT_EQ(run.store.LOADERROR, "");
  ASSERT_EQ(run.store.ISTRANSPARENT, 0);

  for (const char* name : {"missing.png", "picture.png"}) {
    if (std::string(name) == "picture.png") {
      std::ofstream(run.dir + "/picture.png") << "not a picture";
    }
    run.store.OPENFILENAME = run.dir + "/" + name;
    run.store.SCALE = static_cast<int>(Resampler::Average);
    const int count = run.store.TEMPFILECOUNT;
    run.input_and_census();
    EXPECT_EQ(run.store.XSIZE, 0);
    EXPECT_EQ(run.store.YSIZE, 0);
    EXPECT_EQ(run.store.SCALE, static_cast<int>(Resampler::Nearest));  // the method correction still applies
    EXPECT_EQ(run.store.ISTRANSPARENT, 1);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 320; ++x) ASSERT_EQ(testing::working_pixel(run.store, x, y), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(run.store.TEMPFILECOUNT, count + 1);  // previewed as usual
    EXPECT_EQ(run.store.COLCOUNT, 1);
    EXPECT_EQ(run.controls.labels[Ctl::UniqueColors], "0x0 with 1 Colors");
  }
  EXPECT_EQ(run.store.LOADERROR, "not a bmp, png, jpg or gif picture");
  EXPECT_EQ(run.controls.labels[Ctl::StatusBar], "Picture could not be read: not a bmp, png, jpg or gif picture");

  run.store.OPENFILENAME.clear();  // a cancelled open dialog
  run.input_and_census();
  EXPECT_EQ(run.controls.labels[Ctl::StatusBar], "Picture could not be read: no picture opened");
}

TEST(InputStage, OpaquePhotosStayOpaqueWhenTheyCoverTheWorkingImage) {
  // Fill and Aspect Fill cover every working pixel, so nothing of an opaque
  // photo may come out transparent: not by a crop one pixel too far, not by a
  // Lanczos floor one level too low.
  for (const char* name : {"demo_snake_600x450.png", "demo_snake_600x450.jpg"}) {
    StageRun run("stage_opaque");
    run.store.OPENFILENAME = testing::sample(name);
    for (Ctl mode : {Ctl::Fill, Ctl::AspFill})
      for (int index : {0, 1})
        for (int aspect : {0, 1})
          for (Resampler method : testing::kEveryResampler) {
            run.controls.select(mode);
            run.controls.output_index = index;
            run.store.ASPECT = aspect;
            run.store.SCALE = static_cast<int>(method);
            run.input();
            ASSERT_EQ(run.store.ISTRANSPARENT, 0)
                << name << " format " << index << " aspect " << aspect << " method " << method;
          }
  }
}

TEST(InputStage, SnakeThroughEveryMethodMatchesThePlainVersion) {
  StageRun run("stage_snake");
  run.store.OPENFILENAME = testing::sample("demo_snake_600x450.png");
  run.controls.select(Ctl::Fill);
  run.controls.output_index = 1;
  DecodedPicture picture = decode_picture(run.store.OPENFILENAME);
  ASSERT_EQ(picture.error, "");
  for (Resampler method : testing::kEveryResampler) {
    run.store.SCALE = static_cast<int>(method);
    run.input_and_census();
    const Placement p{run.store.XSCALE, run.store.YSCALE, run.store.OFFSETX, run.store.OFFSETY};
    for (int y = 0; y < 200; y += 3)
      for (int x = 0; x < 160; x += 3)
        ASSERT_EQ(testing::working_pixel(run.store, x, y), testing::ref_pixel(method, picture.frame, p, x, y))
            << method << " at " << x << "," << y;
    EXPECT_EQ(run.controls.labels[Ctl::UniqueColors].rfind("600x450 with ", 0), 0u);
    EXPECT_GT(run.store.COLCOUNT, 10000);
  }
}

TEST(InputStage, FlatAndBorderedPicturesCensus) {
  StageRun run("stage_flat");
  run.open(TestPicture(64, 40, argb(255, 255, 255)));
  run.controls.select(Ctl::Fill);
  run.input_and_census();
  EXPECT_EQ(run.store.COLCOUNT, 1);
  EXPECT_EQ(run.controls.labels[Ctl::UniqueColors], "64x40 with 1 Colors");
  run.open(TestPicture(64, 64, argb(255, 255, 255)));
  run.controls.select(Ctl::Fit);
  run.input_and_census();
  EXPECT_EQ(run.store.ISTRANSPARENT, 1);
  ASSERT_EQ(run.store.COLCOUNT, 2);
  EXPECT_EQ(run.store.COLORS[1], (CensusEntry{0, 0, 0, 0}));
  EXPECT_EQ(run.store.COLORS[2], (CensusEntry{0, 255, 255, 255}));
}

}  // namespace
}  // namespace tessera
