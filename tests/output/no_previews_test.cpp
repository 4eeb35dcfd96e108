// With PREVIEWS off (the command line) the stages draw, write and show no
// preview pictures, and every other result is what they give with previews:
// the working images, the transparency the input preview notes, the palette,
// the cell pairs, the rendered picture and the files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "tessera/controls.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/store.h"
#include "tessera/target_files.h"

namespace fs = std::filesystem;

namespace tessera {
namespace {

struct Case {
  const char* picture;
  int format;
  Ctl kernel;
  bool bayer;
};

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  std::string name = fs::path(info.param.picture).stem().string() + "_bmp" + std::to_string(info.param.format);
  name += info.param.kernel == Ctl::Dither ? "_none" : info.param.kernel == Ctl::Stucki ? "_stucki" : "_fs";
  if (info.param.bayer) name += "_bayer";
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class NoPreviews : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    for (const char* side : {"with", "without"}) fs::create_directories(dir_ / side);
  }

  // All four stages; returns the store.
  std::unique_ptr<Store> run(bool previews, ControlValues& c) {
    const Case& p = GetParam();
    auto s = std::make_unique<Store>();
    s->OPENFILENAME = std::string(TESSERA_SAMPLES "/") + p.picture;
    s->TEMPFILEPATH = (dir_ / (previews ? "with" : "without")).string();
    s->PREVIEWS = previews;
    // As the command line runs without previews: no kept copy of the
    // rendering's colours either.
    s->KEEPRENDERED = previews;
    c.output_index = p.format == 1 ? 0 : 1;
    if (p.kernel != Ctl::Dither) {
      c.checks[Ctl::Dither] = true;
      c.select(p.kernel);
    }
    c.checks[Ctl::pattern] = p.bayer;
    REDISPLAYINPUT(*s, c);
    COUNTINPUTCOLORS(*s, c);
    INITIALIZECOLORS(*s, c);
    DRAWOUTPUT(*s, c);
    return s;
  }

  test_support::ScratchDir scratch_{"tessera-nopreview"};
  const fs::path dir_ = scratch_.path();
};

TEST_P(NoPreviews, SameResultsWithoutAnyPreview) {
  ControlValues with_ui, without_ui;
  const auto with = run(true, with_ui);
  const auto without = run(false, without_ui);

  EXPECT_EQ(with_ui.pictures_shown, 2);
  EXPECT_EQ(without_ui.pictures_shown, 0);
  EXPECT_FALSE(fs::is_empty(dir_ / "with"));
  EXPECT_TRUE(fs::is_empty(dir_ / "without"));

  EXPECT_EQ(without->ISTRANSPARENT, with->ISTRANSPARENT);
  EXPECT_EQ(without->COLCOUNT, with->COLCOUNT);
  EXPECT_EQ(without->OCLUSTER, with->OCLUSTER);
  EXPECT_EQ(without->OUTCOLORBLOCK, with->OUTCOLORBLOCK);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      for (int c = 1; c <= 4; ++c)
        ASSERT_EQ(without->IMAGEIN(x, y, c), with->IMAGEIN(x, y, c)) << x << "," << y << "," << c;
      for (int c = 1; c <= 3; ++c)
        ASSERT_EQ(without->IMAGEINORG(x, y, c), with->IMAGEINORG(x, y, c)) << x << "," << y << "," << c;
      for (int c = 4; c <= 5; ++c)
        ASSERT_EQ(without->IMAGEOUT(x, y, c), with->IMAGEOUT(x, y, c)) << x << "," << y << "," << c;
    }
  EXPECT_EQ(target_file_bytes(*without), target_file_bytes(*with));
  EXPECT_EQ(export_surface(*without).pixels(), export_surface(*with).pixels());
  EXPECT_EQ(without_ui.labels, with_ui.labels);
  EXPECT_EQ(without_ui.swatches, with_ui.swatches);
}

INSTANTIATE_TEST_SUITE_P(Samples, NoPreviews,
                         ::testing::Values(Case{"rose_alpha_400x301.png", 1, Ctl::FloydSteinburg, false},
                                           Case{"rose_alpha_400x301.png", 4, Ctl::Stucki, true},
                                           Case{"hand_transparent_20x22.gif", 1, Ctl::Dither, false},
                                           Case{"hand_transparent_20x22.gif", 4, Ctl::FloydSteinburg, true},
                                           Case{"demo_snake_600x450.jpg", 1, Ctl::Stucki, false},
                                           Case{"demo_snake_600x450.png", 4, Ctl::Dither, true}),
                         case_name);

}  // namespace
}  // namespace tessera
