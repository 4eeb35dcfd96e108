// Which stages each control reruns, the stepping of the up-down controls,
// the text boxes' numbers and the enabling rules.
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <climits>

#include "tessera/controls.h"
#include "tessera/stages.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

// What a handler ran, seen from outside: the preview files it wrote (in
// order), the census label, the palette it replaced and the cell pair
// search's report in the status line.
struct Ran {
  std::vector<std::string> previews;  // "test" / "outimage" in write order
  bool census = false;
  bool palette = false;
  bool pairs = false;

  std::string stages() const {
    std::string out;
    auto add = [&](const std::string& s) { out += out.empty() ? s : "," + s; };
    bool input = false, render = false;
    for (const auto& p : previews) {
      input = input || p == "test";
      render = render || p == "outimage";
    }
    if (input) add("1");
    if (census) add("2");
    if (palette) add("3");
    if (pairs) add("3b");
    if (render) add("4");
    return out;
  }
};

class HandlerTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    open(sample_copy());
    f->ProcessButton.click();
  }

  // Marks the store and labels so that any stage that runs leaves a trace.
  void mark() {
    clear_previews();
    f->store.TEMPFILECOUNT = 0;
    f->UniqueColors.set_text("-");
    for (int k = 1; k <= 16; ++k) f->store.OCLUSTER[k] = {0, 1, 1, 1, 0};
    f->StatusBar.set_text("-");
  }

  Ran collect() {
    Ran r;
    for (int n = 0; n < f->store.TEMPFILECOUNT; ++n) {
      if (std::filesystem::exists(dir / "tmp" / ("test" + std::to_string(n) + ".bmp"))) r.previews.push_back("test");
      if (std::filesystem::exists(dir / "tmp" / ("outimage" + std::to_string(n) + ".bmp")))
        r.previews.push_back("outimage");
    }
    r.census = f->UniqueColors.text() != "-";
    r.palette = f->store.OCLUSTER[1][1] != 1;
    // The cell pair search reports its rows as it goes.
    r.pairs = f->StatusBar.text().rfind("Processing Color Matrix Row", 0) == 0;
    return r;
  }

  template <class Action>
  Ran run(Action action) {
    mark();
    action();
    return collect();
  }

  static void click_arrow(fw::UpDown& u, int delta) {
    static_cast<QToolButton*>(delta > 0 ? u.up_arrow() : u.down_arrow())->click();
  }
};

TEST_F(HandlerTest, EachControlRerunsItsStages) {
  f->Dither.click();  // the kernels can only be clicked while diffusion is on
  const struct {
    const char* what;
    std::function<void()> act;
    const char* stages;
  } rows[] = {
      {"PROCESS", [&] { f->ProcessButton.click(); }, "1,2,3,3b,4"},
      {"colour reset", [&] { f->ResetColor.click(); }, "1,2,3,3b,4"},
      {"Redraw", [&] { f->Redraw.click(); }, "4"},
      {"Average", [&] { f->Average.click(); }, "1,2"},
      {"Bicubic", [&] { f->Bicubic.click(); }, "1,2"},
      {"Lanczos", [&] { f->Lanczos.click(); }, "1,2"},
      {"NearestNeighbor", [&] { f->NearestNeighbor.click(); }, "1,2"},
      {"Fill", [&] { f->Fill.click(); }, "1,2"},
      {"Center", [&] { f->Center.click(); }, "1,2"},
      {"Fit", [&] { f->Fit.click(); }, "1,2"},
      {"AspFill", [&] { f->AspFill.click(); }, "1,2"},
      {"Stretch", [&] { f->Stretch.click(); }, "1,2"},
      {"AspectRatioCorrect", [&] { f->AspectRatioCorrect.click(); }, "1,2"},
      {"GreyScale", [&] { f->GreyScale.click(); }, "1,2"},
      {"BrightUpDown", [&] { click_arrow(f->BrightUpDown, 1); }, "1,2"},
      {"ContrastUpDown", [&] { click_arrow(f->ContrastUpDown, -1); }, "1,2"},
      {"tone reset", [&] { f->ResetColorCorrection.click(); }, "1,2"},
      {"TransUpDown with BMP1", [&] { click_arrow(f->TransUpDown, 1); }, "3b,4"},
      {"Dither", [&] { f->Dither.click(); }, "4"},
      {"Dither again", [&] { f->Dither.click(); }, "4"},
      {"FloydSteinburg", [&] { f->FloydSteinburg.click(); }, "4"},
      {"Burkes", [&] { f->Burkes.click(); }, "4"},
      {"Stucki", [&] { f->Stucki.click(); }, "4"},
      {"Atkinson", [&] { f->Atkinson.click(); }, "4"},
      {"pattern", [&] { f->pattern.click(); }, "4"},
      {"DitherValue", [&] { f->DitherValue.set_text("80"); }, "4"},
      {"BayerValue", [&] { f->BayerValue.set_text("60"); }, "4"},
      {"MaxKMeans", [&] { f->MaxKMeans.set_text("20"); }, ""},
      {"Kmeans", [&] { f->Kmeans.click(); }, ""},
      {"MedianCut", [&] { f->MedianCut.click(); }, ""},
      {"Scolorq", [&] { f->Scolorq.click(); }, ""},
      {"OutputTypesBox", [&] { f->OutputTypesBox.set_selected_index(1); }, ""},
      {"a label", [&] { f->Label2.click(); }, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(run(row.act).stages(), row.stages) << row.what;
}

TEST_F(HandlerTest, StageOneRunsBeforeRenderingWherebothRun) {
  EXPECT_EQ(run([&] { f->ProcessButton.click(); }).previews, (std::vector<std::string>{"test", "outimage"}));
  EXPECT_EQ(run([&] { f->ResetColor.click(); }).previews, (std::vector<std::string>{"test", "outimage"}));
}

TEST_F(HandlerTest, TransThresholdWithBmp4RendersWithoutCellPairs) {
  f->OutputTypesBox.set_selected_index(1);
  f->ProcessButton.click();
  ASSERT_EQ(f->store.OUTPUTFILETYPE, 4);
  EXPECT_EQ(run([&] { click_arrow(f->TransUpDown, 1); }).stages(), "4");
}

// The colour reset chooses the palette from the working image as the last
// input run left it, and reads the input again only for the rendering.
TEST_F(HandlerTest, ColourResetChoosesThePaletteBeforeReadingTheInputAgain) {
  ControlValues values;  // the window's start state
  Store before;
  before.OPENFILENAME = f->store.OPENFILENAME;
  before.TEMPFILEPATH = f->store.TEMPFILEPATH;
  REDISPLAYINPUT(before, values);
  COUNTINPUTCOLORS(before, values);
  INITIALIZECOLORS(before, values);

  // Brighter from now on, but the working image is still the old one.
  f->store.BRIGHTNESS = 120;
  f->ResetColor.click();
  for (int k = 1; k <= 16; ++k)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(f->store.OCLUSTER[k][c], before.OCLUSTER[k][c]) << k << "," << c;
  // ... and the image that was rendered is the brighter one.
  EXPECT_GT(f->store.IMAGEINORG(0, 0, 1), before.IMAGEINORG(0, 0, 1));
}

TEST_F(HandlerTest, ScalingOptionsSetTheMethodAndAspectFollowsItsBox) {
  f->Bicubic.click();
  EXPECT_EQ(f->store.SCALE, 2);
  f->Lanczos.click();
  EXPECT_EQ(f->store.SCALE, 3);
  f->NearestNeighbor.click();
  EXPECT_EQ(f->store.SCALE, 0);
  f->AspectRatioCorrect.click();
  EXPECT_EQ(f->store.ASPECT, 0);
  f->AspectRatioCorrect.click();
  EXPECT_EQ(f->store.ASPECT, 1);
}

TEST_F(HandlerTest, BrightnessAndContrastStepByOneOrByTwentySixWithAlt) {
  EXPECT_EQ(f->Brightness.text(), "Brightness");
  EXPECT_EQ(f->Contrast.text(), "Contrast");
  click_arrow(f->BrightUpDown, 1);
  EXPECT_EQ(f->store.BRIGHTNESS, 1);
  EXPECT_EQ(f->Brightness.text(), "Brightness: 1");
  EXPECT_EQ(f->Contrast.text(), "Contrast");
  alt = true;
  alt_reads = 0;
  click_arrow(f->BrightUpDown, -1);
  EXPECT_EQ(f->store.BRIGHTNESS, -25);
  EXPECT_EQ(f->Brightness.text(), "Brightness: -25");
  EXPECT_EQ(alt_reads, 1);  // read once per click
  click_arrow(f->ContrastUpDown, -1);
  EXPECT_EQ(f->store.CONTRAST, -26);
  EXPECT_EQ(f->Contrast.text(), "Contrast: -26");

  // Clamped after the step.
  f->store.BRIGHTNESS = 250;
  click_arrow(f->BrightUpDown, 1);
  EXPECT_EQ(f->store.BRIGHTNESS, 255);
  f->store.BRIGHTNESS = -240;
  click_arrow(f->BrightUpDown, -1);
  EXPECT_EQ(f->store.BRIGHTNESS, -255);
  EXPECT_EQ(f->Brightness.text(), "Brightness: -255");
  alt = false;
  f->store.CONTRAST = 99;
  click_arrow(f->ContrastUpDown, 1);
  EXPECT_EQ(f->store.CONTRAST, 100);
  // At the bound the value stays, and the input is still read again.
  EXPECT_EQ(run([&] { click_arrow(f->ContrastUpDown, 1); }).stages(), "1,2");
  EXPECT_EQ(f->store.CONTRAST, 100);
  EXPECT_EQ(f->Contrast.text(), "Contrast: 100");
}

TEST_F(HandlerTest, AClickWithoutDirectionChangesNothingButStillReruns) {
  f->store.BRIGHTNESS = 7;
  EXPECT_EQ(run([&] { f->BrightUpDown.click(0); }).stages(), "1,2");
  EXPECT_EQ(f->store.BRIGHTNESS, 7);
  EXPECT_EQ(f->Brightness.text(), "Brightness: 7");
  EXPECT_EQ(f->BrightUpDown.delta(), 0);
  click_arrow(f->BrightUpDown, 1);
  EXPECT_EQ(f->BrightUpDown.delta(), 1);
}

TEST_F(HandlerTest, TransThresholdStepsByOneIgnoringAlt) {
  alt = true;
  alt_reads = 0;
  click_arrow(f->TransUpDown, 1);
  EXPECT_EQ(f->store.TRANS, 51);
  EXPECT_EQ(f->TransLabel.text(), "Trans Threshold: 51");
  EXPECT_EQ(alt_reads, 0);
  f->store.TRANS = 0;
  EXPECT_EQ(run([&] { click_arrow(f->TransUpDown, -1); }).stages(), "3b,4");
  EXPECT_EQ(f->store.TRANS, 0);
  EXPECT_EQ(f->TransLabel.text(), "Trans Threshold: 0");
  f->store.TRANS = 100;
  click_arrow(f->TransUpDown, 1);
  EXPECT_EQ(f->store.TRANS, 100);
}

TEST_F(HandlerTest, ToneResetWritesBothLabelsNumerically) {
  f->store.BRIGHTNESS = 40;
  f->store.CONTRAST = -30;
  f->ResetColorCorrection.click();
  EXPECT_EQ(f->store.BRIGHTNESS, 0);
  EXPECT_EQ(f->store.CONTRAST, 0);
  EXPECT_EQ(f->Brightness.text(), "Brightness: 0");
  EXPECT_EQ(f->Contrast.text(), "Contrast: 0");
}

TEST_F(HandlerTest, TextBoxesReadNumbersByTheBoxRule) {
  // Without diffusion the rendering leaves the typed strength alone.
  const struct {
    const char* text;
    double strength;
  } rows[] = {{"50%", 0.5}, {"abc", 0.0}, {"", 0.0}, {"  1d2", 1.0}, {"&H20", 0.32}, {"250", 2.5}, {"-20", -0.2},
              {"1E1", 0.1}, {"&o17", 0.15}, {"&b101", 0.05}};
  for (const auto& r : rows) {
    f->DitherValue.set_text(r.text);
    EXPECT_DOUBLE_EQ(f->store.DITHERSTRENGTH, r.strength) << r.text;
    f->BayerValue.set_text(r.text);
    EXPECT_DOUBLE_EQ(f->store.BAYERSTRENGTH, r.strength) << r.text;
  }
  const struct {
    const char* text;
    int iterations;
  } counts[] = {{"12.5", 12}, {"13.5", 14}, {"0", 0}, {"x", 0}, {"7e1", 70}, {"1e308", INT_MAX}, {"-1d300", INT_MIN}};
  for (const auto& c : counts) {
    f->MaxKMeans.set_text(c.text);
    EXPECT_EQ(f->store.MAXITERATIONS, c.iterations) << c.text;
  }
}

TEST_F(HandlerTest, EveryKeystrokeInTheStrengthRendersAgain) {
  auto* box = static_cast<QLineEdit*>(f->DitherValue.widget());
  const Ran r = run([&] {
    box->clear();
    box->insert("5");
    box->insert("0");
  });
  EXPECT_EQ(r.previews, (std::vector<std::string>{"outimage", "outimage", "outimage"}));
  EXPECT_DOUBLE_EQ(f->store.DITHERSTRENGTH, 0.5);
}

TEST_F(HandlerTest, DiffusionBoxEnablesTheKernelsAndKeepsTheirChoice) {
  std::vector<fw::OptionButton*> kernels = {&f->FloydSteinburg, &f->Atkinson, &f->Burkes, &f->Stucki};
  f->Stucki.click();  // disabled: no effect
  EXPECT_TRUE(f->Atkinson.checked());
  f->Dither.click();
  for (auto* k : kernels) EXPECT_TRUE(k->enabled()) << k->name();
  f->Burkes.click();
  EXPECT_EQ(f->store.DITHER, 3);
  f->Dither.click();
  for (auto* k : kernels) EXPECT_FALSE(k->enabled()) << k->name();
  EXPECT_TRUE(f->Burkes.checked());
  EXPECT_EQ(f->store.DITHER, 0);  // rendered without diffusion
  f->Dither.click();
  EXPECT_EQ(f->store.DITHER, 3);
}

TEST_F(HandlerTest, QuantizationOptionsSwitchTheKMeansSettings) {
  const std::vector<fw::Control*> settings = {&f->MaxKMeans, &f->MaxIterations, &f->KMeansSettings};
  f->Kmeans.click();
  EXPECT_EQ(f->store.KMEANS, 1);
  for (auto* c : settings) EXPECT_TRUE(c->enabled()) << c->name();
  f->MedianCut.click();
  EXPECT_EQ(f->store.KMEANS, 0);
  for (auto* c : settings) EXPECT_FALSE(c->enabled()) << c->name();
  f->Kmeans.click();
  f->Scolorq.click();
  EXPECT_EQ(f->store.KMEANS, 2);
  for (auto* c : settings) EXPECT_FALSE(c->enabled()) << c->name();
}

TEST_F(HandlerTest, OutputFormatTakesEffectAtTheNextInputRun) {
  f->OutputTypesBox.set_selected_index(1);
  EXPECT_EQ(f->store.OUTPUTFILETYPE, 1);
  EXPECT_EQ(f->store.OUTPUTX, 320);
  f->GreyScale.click();
  EXPECT_EQ(f->store.OUTPUTFILETYPE, 4);
  EXPECT_EQ(f->store.OUTPUTX, 160);
}

TEST_F(WindowTest, StagesRunOnNothingBeforeAPictureIsOpen) {
  f->ProcessButton.click();
  f->BrightUpDown.click(1);
  f->Redraw.click();
  EXPECT_TRUE(f->store.OPENFILENAME.empty());
  EXPECT_EQ(f->store.COLCOUNT, 1);  // a black working image
  f->SaveExec.click();
  f->SaveBMP.click();
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace tessera::testing
