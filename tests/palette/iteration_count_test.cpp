// The store keeps how many iterations the last palette selection's K-means++
// ran, for reports; other methods and small pictures leave it at 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "palette_test_util.h"
#include "tessera/stages.h"

namespace tessera::testing {
namespace {

int status_iterations(const RecordingControls& ui) {
  return static_cast<int>(std::count_if(ui.status.begin(), ui.status.end(),
                                        [](const std::string& t) { return t.rfind("Iteration: ", 0) == 0; }));
}

struct Selection {
  int kept = -1;
  int reported = -1;
};

Selection select_palette(Ctl method, int limit, int distinct, int file_type) {
  std::mt19937 rng(5);
  auto s = make_store(64, 40, file_type);
  random_picture(*s, rng, distinct);
  fill_census(*s);
  s->MAXITERATIONS = limit;
  s->KMEANSITERATIONS = 99;  // whatever an earlier run left
  RecordingControls ui;
  ui.select(method);
  INITIALIZECOLORS(*s, ui);
  return {s->KMEANSITERATIONS, status_iterations(ui)};
}

TEST(KmeansIterationCount, KeptAsTheStatusLineCountsThem) {
  for (int file_type : {1, 4})
    for (int limit : {1, 3, 50}) {
      const Selection r = select_palette(Ctl::Kmeans, limit, 400, file_type);
      EXPECT_GE(r.kept, 1) << limit;
      EXPECT_LE(r.kept, std::max(limit, 1)) << limit;
      EXPECT_EQ(r.kept, r.reported) << "limit " << limit << ", format " << file_type;
    }
}

TEST(KmeansIterationCount, ZeroWhenKmeansDidNotRun) {
  EXPECT_EQ(select_palette(Ctl::MedianCut, 50, 400, 4).kept, 0);
  EXPECT_EQ(select_palette(Ctl::Scolorq, 50, 400, 4).kept, 0);
  // Sixteen colours or fewer become the palette without any method.
  EXPECT_EQ(select_palette(Ctl::Kmeans, 50, 9, 4).kept, 0);
}

}  // namespace
}  // namespace tessera::testing
