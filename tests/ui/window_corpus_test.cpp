// Today's window outputs, kept: the preview files every step of a few whole
// sessions writes, and the saved files, by SHA-256. Work on the window and
// the engine must leave all of them exactly as they are.
//
// To record the list anew from a trusted build (only when an output is meant
// to change):
//   TESSERA_CORPUS_WRITE=tests/ui/corpus/expected.txt ui_tests --gtest_filter='WindowCorpus*'
#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QToolButton>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

const std::filesystem::path kExpected = TESSERA_SOURCE_DIR "/tests/ui/corpus/expected.txt";

std::string sha256(const std::filesystem::path& p) {
  QFile file(QString::fromStdString(p.string()));
  if (!file.open(QIODevice::ReadOnly)) return "missing";
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
}

void click_arrow(fw::UpDown& u, int delta) {
  static_cast<QToolButton*>(delta > 0 ? u.up_arrow() : u.down_arrow())->click();
}

class WindowCorpus : public WindowTest {
 protected:
  // Runs one step and records what it wrote: the preview files, then any
  // file saved beside the picture.
  void step(const std::string& name, const std::function<void()>& act) {
    act();
    for (const auto& e : std::filesystem::directory_iterator(dir / "tmp"))
      got[name + ":" + e.path().filename().string()] = sha256(e.path());
    clear_previews();
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      const std::string ext = e.path().extension().string();
      if (ext != ".bmp1" && ext != ".bmp4" && ext != ".bmp") continue;
      got[name + ":" + e.path().filename().string()] = sha256(e.path());
      std::filesystem::remove(e.path());
    }
  }

  void check(const std::string& session) {
    ASSERT_FALSE(got.empty());
    if (const char* w = std::getenv("TESSERA_CORPUS_WRITE"); w && *w) {
      std::ofstream out(w, std::ios::app);
      for (const auto& [key, hash] : got) out << session << ' ' << key << ' ' << hash << '\n';
      return;
    }
    std::map<std::string, std::string> expected;
    std::ifstream in(kExpected);
    std::string s, key, hash;
    while (in >> s >> key >> hash)
      if (s == session) expected[key] = hash;
    ASSERT_FALSE(expected.empty()) << session << " is not in the recorded list";
    for (const auto& [k, h] : expected) {
      const auto at = got.find(k);
      if (at == got.end()) {
        ADD_FAILURE() << k << " was not written";
        continue;
      }
      EXPECT_EQ(at->second, h) << k;
    }
    for (const auto& [k, h] : got) EXPECT_TRUE(expected.count(k)) << k << " was written but is not recorded";
  }

  std::map<std::string, std::string> got;
};

TEST_F(WindowCorpus, SnakeDefaults) {
  const std::string picture = sample_copy();
  step("open", [&] { open(picture); });
  step("process", [&] { f->ProcessButton.click(); });
  step("save", [&] { f->SaveExec.click(); });
  step("savebmp", [&] { f->SaveBMP.click(); });
  check("snake_defaults");
}

TEST_F(WindowCorpus, RoseBmp4FitBicubicDiffusionBayer) {
  const std::string picture = sample_copy("rose_alpha_400x301.png");
  step("open", [&] { open(picture); });
  step("bmp4", [&] { f->OutputTypesBox.set_selected_index(1); });
  step("fit", [&] { f->Fit.click(); });
  step("bicubic", [&] { f->Bicubic.click(); });
  step("mediancut", [&] { f->MedianCut.click(); });
  step("dither", [&] { f->Dither.click(); });
  step("floyd", [&] { f->FloydSteinburg.click(); });
  step("strength", [&] { f->DitherValue.set_text("80"); });
  step("bayer", [&] { f->pattern.click(); });
  step("process", [&] { f->ProcessButton.click(); });
  step("trans", [&] { click_arrow(f->TransUpDown, -1); });
  step("save", [&] { f->SaveExec.click(); });
  step("savebmp", [&] { f->SaveBMP.click(); });
  check("rose_bmp4");
}

TEST_F(WindowCorpus, HandGifKmeansAtkinson) {
  const std::string picture = sample_copy("hand_transparent_20x22.gif");
  step("open", [&] { open(picture); });
  step("kmeans", [&] { f->Kmeans.click(); });
  step("iterations", [&] { f->MaxKMeans.set_text("5"); });
  step("dither", [&] { f->Dither.click(); });
  step("atkinson", [&] { f->Atkinson.click(); });
  step("process", [&] { f->ProcessButton.click(); });
  step("save", [&] { f->SaveExec.click(); });
  check("hand_kmeans");
}

TEST_F(WindowCorpus, SnakeJpegToneAndPlacement) {
  const std::string picture = sample_copy("demo_snake_600x450.jpg");
  step("open", [&] { open(picture); });
  step("bright", [&] { click_arrow(f->BrightUpDown, 1); });
  step("contrast", [&] { click_arrow(f->ContrastUpDown, -1); });
  step("grey", [&] { f->GreyScale.click(); });
  step("ungrey", [&] { f->GreyScale.click(); });
  step("lanczos", [&] { f->Lanczos.click(); });
  step("aspfill", [&] { f->AspFill.click(); });
  step("process", [&] { f->ProcessButton.click(); });
  step("dither", [&] { f->Dither.click(); });
  step("stucki", [&] { f->Stucki.click(); });
  step("redraw", [&] { f->Redraw.click(); });
  step("swatch", [&] {
    colour_answers.push_back(QColor(51, 153, 204));
    f->Color3.click();
  });
  step("save", [&] { f->SaveExec.click(); });
  step("reset", [&] { f->ResetColor.click(); });
  step("bmp4", [&] { f->OutputTypesBox.set_selected_index(1); });
  step("average", [&] { f->Average.click(); });
  step("center", [&] { f->Center.click(); });
  step("process4", [&] { f->ProcessButton.click(); });
  step("save4", [&] { f->SaveExec.click(); });
  step("savebmp4", [&] { f->SaveBMP.click(); });
  check("snake_jpeg_tone");
}

}  // namespace
}  // namespace tessera::testing
