// A store that is reset between pictures gives each picture exactly what a
// freshly made store gives it, whatever was converted in it before: the
// command line converts a batch that way, one store per thread.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tessera/controls.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/store.h"
#include "tessera/target_files.h"

namespace tessera {
namespace {

struct Job {
  std::string picture;
  int format;   // 1 or 4
  Ctl method;   // MedianCut, Kmeans, Scolorq
  Ctl kernel;   // a kernel, or Dither for none
  bool bayer;
  bool grey;
  int scale;    // SCALE
  Ctl place;
  int trans;
};

struct Result {
  std::vector<std::uint8_t> target;
  std::vector<std::uint32_t> export_pixels;
  std::vector<std::uint32_t> look_pixels;
  std::string status, colours;
  std::array<std::uint32_t, 17> swatches{};
  int istransparent = 0;
};

// The stages as the command line runs them, in the given store.
Result convert(Store& s, const Job& job) {
  ControlValues c;
  c.output_index = job.format == 1 ? 0 : 1;
  c.select(job.method);
  if (job.kernel != Ctl::Dither) {
    c.checks[Ctl::Dither] = true;
    c.select(job.kernel);
  }
  c.checks[Ctl::pattern] = job.bayer;
  c.checks[Ctl::GreyScale] = job.grey;
  c.select(job.place);
  s.SCALE = job.scale;
  s.TRANS = job.trans;
  s.OPENFILENAME = std::string(TESSERA_SAMPLES "/") + job.picture;
  s.TEMPFILEPATH = "/dev/null";
  s.PREVIEWS = false;
  REDISPLAYINPUT(s, c);
  COUNTINPUTCOLORS(s, c);
  s.COLORBLOCKFIRSTPASS = 1;
  INITIALIZECOLORS(s, c);
  DRAWOUTPUT(s, c);
  Result r;
  r.target = target_file_bytes(s);
  r.export_pixels = export_surface(s).pixels();
  r.look_pixels = look_surface(s).pixels();
  r.status = c.labels[Ctl::StatusBar];
  r.colours = c.labels[Ctl::UniqueColors];
  r.swatches = c.swatches;
  r.istransparent = s.ISTRANSPARENT;
  return r;
}

void expect_same(const Result& reused, const Result& fresh, const std::string& what) {
  EXPECT_EQ(reused.target, fresh.target) << what;
  EXPECT_EQ(reused.export_pixels, fresh.export_pixels) << what;
  EXPECT_EQ(reused.look_pixels, fresh.look_pixels) << what;
  EXPECT_EQ(reused.status, fresh.status) << what;
  EXPECT_EQ(reused.colours, fresh.colours) << what;
  EXPECT_EQ(reused.swatches, fresh.swatches) << what;
  EXPECT_EQ(reused.istransparent, fresh.istransparent) << what;
}

// Transparent and opaque pictures, small and large censuses, both formats:
// each leaves state behind (the transparent key, cell flags, the census, a
// method fallen back to nearest resampling) that the next must not see.
const std::vector<Job> kJobs = {
    {"rose_alpha_400x301.png", 1, Ctl::Scolorq, Ctl::FloydSteinburg, false, false, 1, Ctl::Stretch, 50},
    {"demo_snake_600x450.jpg", 1, Ctl::MedianCut, Ctl::Stucki, true, false, 2, Ctl::Fit, 50},
    {"hand_transparent_20x22.gif", 1, Ctl::Kmeans, Ctl::Atkinson, false, false, 1, Ctl::Center, 80},
    {"demo_snake_600x450.png", 4, Ctl::Scolorq, Ctl::Burkes, false, true, 3, Ctl::AspFill, 50},
    {"rose_alpha_400x301.png", 4, Ctl::Kmeans, Ctl::Dither, true, false, 0, Ctl::Fill, 20},
    {"hand_transparent_20x22.gif", 4, Ctl::MedianCut, Ctl::FloydSteinburg, false, false, 1, Ctl::Stretch, 50},
};

TEST(StoreReset, EachPictureComesOutAsFromAFreshStoreInAnyOrder) {
  std::vector<Result> fresh;
  for (const Job& job : kJobs) {
    auto s = std::make_unique<Store>();
    fresh.push_back(convert(*s, job));
  }
  // Forwards, backwards and interleaved, all in one store.
  const std::vector<std::vector<std::size_t>> orders = {
      {0, 1, 2, 3, 4, 5}, {5, 4, 3, 2, 1, 0}, {2, 0, 4, 1, 5, 3, 2, 0}};
  auto s = std::make_unique<Store>();
  for (const auto& order : orders) {
    for (std::size_t n = 0; n < order.size(); ++n) {
      const std::size_t i = order[n];
      s->reset();
      expect_same(convert(*s, kJobs[i]), fresh[i], "job " + std::to_string(i) + " at step " + std::to_string(n));
    }
  }
}

TEST(StoreReset, RestoresTheStartSettingsAndClearsTheImages) {
  auto s = std::make_unique<Store>();
  const Store fresh_settings;
  s->SCALE = 3;
  s->DITHER = 4;
  s->KMEANS = 0;
  s->ISTRANSPARENT = 1;
  s->COLCOUNT = 9;
  s->OPENFILENAME = "x.png";
  s->PREVIEWS = false;
  s->IMAGEIN(5, 6, 4) = 17;
  s->IMAGEINORG(319, 199, 3) = 200;
  s->IMAGEOUT(0, 0, 5) = 2;
  s->COLORS[7] = CensusEntry{0, 1, 2, 3};
  s->OCLUSTER[3][2] = 34;
  s->OUTCOLORBLOCK[40][25][5] = 1;
  s->RENDEREDIMAGE(10, 20, 2) = 99;
  s->RENDEREDFILENAME = "y.png";
  s->reset();
  EXPECT_EQ(s->SCALE, fresh_settings.SCALE);
  EXPECT_EQ(s->DITHER, fresh_settings.DITHER);
  EXPECT_EQ(s->KMEANS, fresh_settings.KMEANS);
  EXPECT_EQ(s->ISTRANSPARENT, 0);
  EXPECT_EQ(s->COLCOUNT, 0);
  EXPECT_EQ(s->OPENFILENAME, "");
  EXPECT_TRUE(s->PREVIEWS);
  EXPECT_EQ(s->IMAGEIN(5, 6, 4), 0);
  EXPECT_EQ(s->IMAGEINORG(319, 199, 3), 0);
  EXPECT_EQ(s->IMAGEOUT(0, 0, 5), 0);
  EXPECT_EQ(s->RENDEREDIMAGE(10, 20, 2), 0);
  EXPECT_EQ(s->RENDEREDFILENAME, "");
  EXPECT_EQ(s->COLORS.size(), fresh_settings.COLORS.size());
  EXPECT_EQ(s->COLORS[7], CensusEntry{});
  EXPECT_EQ(s->OCLUSTER, fresh_settings.OCLUSTER);
  EXPECT_EQ(s->OUTCOLORBLOCK, fresh_settings.OUTCOLORBLOCK);
}

}  // namespace
}  // namespace tessera
