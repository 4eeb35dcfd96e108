// How long a click on "PROCESS" takes until the new preview is on screen,
// for each palette method. Not run by default (timings are for the notes,
// not for pass or fail): --gtest_also_run_disabled_tests.
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

#include "tessera/render.h"
#include "tessera/stages.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

TEST_F(WindowTest, DISABLED_ProcessToPreviewTimes) {
  open(kDemo);
  const struct {
    const char* name;
    fw::OptionButton* option;
  } methods[] = {{"median cut", &f->MedianCut}, {"K-means++", &f->Kmeans}, {"ColorQ", &f->Scolorq}};
  for (const auto& m : methods) {
    m.option->click();
    std::vector<double> ms;
    for (int run = 0; run < 7; ++run) {
      const int count = f->store.TEMPFILECOUNT;
      QElapsedTimer t;
      t.start();
      f->ProcessButton.click();
      f->OutputImgFrame.widget()->repaint();  // on screen, not merely scheduled
      ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
      ASSERT_NE(f->store.TEMPFILECOUNT, count);  // a new preview was written and shown
    }
    // The same four stages without the window, for the window's share.
    ControlValues values;
    values.select(m.option == &f->MedianCut ? Ctl::MedianCut : m.option == &f->Kmeans ? Ctl::Kmeans : Ctl::Scolorq);
    Store s;
    s.OPENFILENAME = f->store.OPENFILENAME;
    s.TEMPFILEPATH = f->store.TEMPFILEPATH;
    std::vector<double> bare;
    for (int run = 0; run < 7; ++run) {
      QElapsedTimer t;
      t.start();
      REDISPLAYINPUT(s, values);
      COUNTINPUTCOLORS(s, values);
      INITIALIZECOLORS(s, values);
      DRAWOUTPUT(s, values);
      bare.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(bare.begin(), bare.end());
    std::printf("PROCESS to preview, %-10s median %6.1f ms (min %6.1f, max %6.1f); stages alone %6.1f ms\n", m.name,
                ms[ms.size() / 2], ms.front(), ms.back(), bare[bare.size() / 2]);
  }
}

}  // namespace
}  // namespace tessera::testing
