// The window as it first appears: every control where the layout puts it,
// with its text, tooltip, start state, group and keyboard order.
#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRect>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

struct Row {
  const char* name;
  const char* text;  // nullptr: no text of its own
  int l, t, w, h;
};

// Client-area bounds and texts of every control, as the layout gives them.
const Row kLayout[] = {
    {"ResetColor", "Reset", 684, 403, 48, 21},
    {"SaveExec", "SAVE OUTPUT FILE", 858, 627, 132, 52},
    {"Dither", "Diffusion Dither", 522, 468, 105, 22},
    {"DitherValue", "100", 520, 494, 41, 24},
    {"OpenFile", "OPEN FILE", 572, 627, 132, 52},
    {"InputImgFrame", "Picture1", 20, 55, 480, 300},
    {"OutputImgFrame", "Picture1", 522, 55, 480, 300},
    {"Label2", "Input Image", 202, 13, 148, 38},
    {"Label3", "Output Preview", 656, 13, 200, 38},
    {"Methods", "Scaling Method", 136, 418, 134, 129},
    {"UniqueColors", "Colors", 20, 362, 156, 22},
    {"Redraw", "Redraw", 684, 369, 48, 21},
    {"Label4", "% Strength", 568, 494, 61, 23},
    {"GreyScale", "Grey Scale", 148, 562, 82, 22},
    {"pattern", "Bayer Dither", 654, 468, 91, 22},
    {"BayerValue", "100", 654, 492, 37, 24},
    {"Label6", "% Strength", 698, 492, 64, 23},
    {"MaxKMeans", "50", 290, 566, 41, 24},
    {"MaxIterations", "Max Iterations", 334, 566, 79, 23},
    {"StatusBar", "", 126, 652, 407, 32},
    {"Frame2", "Diffusion Method", 508, 538, 213, 78},
    {"FloydSteinburg", "Floyd-Steinburg", 522, 564, 114, 22},
    {"Atkinson", "Atkinson", 522, 586, 114, 22},
    {"Burkes", "Burkes", 648, 562, 69, 22},
    {"Stucki", "Stucki", 648, 586, 73, 22},
    {"ScaleMethod", "Scale Method", 24, 418, 100, 144},
    {"Fill", "Fill", 40, 468, 67, 22},
    {"Stretch", "Stretch", 40, 444, 67, 22},
    {"Center", "Center", 40, 492, 67, 22},
    {"Fit", "Fit", 40, 514, 67, 22},
    {"AspFill", "Aspect Fill", 40, 534, 73, 22},
    {"MedianCut", "Median Cut", 306, 468, 86, 23},
    {"Kmeans", "K-Means++", 306, 492, 86, 23},
    {"ColorQuantizationMethod", "Quantization Method", 280, 428, 134, 98},
    {"AspectRatioCorrect", "Aspect Ratio", 24, 576, 96, 22},
    {"SaveBMP", "SAVE BMP", 716, 627, 132, 52},
    {"KMeansSettings", "K-Means++ Settings", 280, 538, 131, 61},
    {"Scolorq", "ColorQ", 306, 446, 86, 23},
    {"ProcessButton", "PROCESS", 858, 544, 132, 66},
    {"Lanczos", "Lanczos", 148, 514, 110, 21},
    {"NearestNeighbor", "Nearest Neighbor", 148, 444, 112, 21},
    {"Average", "Average", 148, 468, 110, 21},
    {"Bicubic", "Bicubic", 148, 492, 114, 22},
    {"Brightness", "Brightness", 230, 362, 88, 20},
    {"BrightUpDown", nullptr, 202, 359, 22, 23},
    {"ResetColorCorrection", "Reset", 454, 359, 45, 22},
    {"ContrastUpDown", nullptr, 330, 359, 22, 23},
    {"Contrast", "Contrast", 360, 362, 78, 20},
    {"Label1", "ALT Click Output Image to Set Transparent Color", 560, 390, 98, 54},
    {"Picture1", "Picture1", 6, 624, 110, 69},
    {"TransUpDown", nullptr, 528, 362, 22, 23},
    {"TransLabel", "Trans Threshold", 560, 362, 111, 20},
    {"Label5", "ALT Click Bright/Cont for Step Adjustment", 202, 390, 226, 18},
    {"OutputTypesBox", nullptr, 808, 492, 175, 34},
    {"OutTypeLabel", "Output Format", 808, 468, 90, 21},
};

TEST_F(WindowTest, EveryControlHasItsBoundsAndText) {
  for (const Row& r : kLayout) {
    SCOPED_TRACE(r.name);
    fw::Control* c = f->find(r.name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->widget()->geometry(), QRect(r.l, r.t, r.w, r.h));
    if (r.text) {
      EXPECT_EQ(c->text(), r.text);
    }
  }
  const int lefts[8] = {742, 774, 808, 842, 876, 908, 940, 972};
  for (int k = 1; k <= 16; ++k) {
    SCOPED_TRACE(k);
    fw::Control* c = f->find("Color" + std::to_string(k));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(&f->swatch(k), c);
    EXPECT_EQ(c->widget()->geometry(), QRect(lefts[(k - 1) % 8], k <= 8 ? 369 : 403, 25, 25));
    EXPECT_EQ(c->back_colour(), QColor(255, 255, 255));
  }
  EXPECT_EQ(f->controls().size(), std::size(kLayout) + 16);
}

TEST_F(WindowTest, WindowCaptionSizeAndFirstIdentifier) {
  EXPECT_EQ(f->caption(), "Tessera Version 1.2");
  EXPECT_EQ(f->widget()->windowTitle(), QString("Tessera Version 1.2"));
  EXPECT_FALSE(f->widget()->windowIcon().isNull());
  // Everything fits inside the client area.
  const QRect client = f->widget()->rect();
  for (fw::Control* c : f->controls()) EXPECT_TRUE(client.contains(c->widget()->geometry())) << c->name();
  EXPECT_EQ(f->controls().front()->id(), 20000);
  EXPECT_EQ(f->controls().back()->id(), 20000 + static_cast<int>(f->controls().size()) - 1);
}

TEST_F(WindowTest, StartStatesAgreeWithTheStoreDefaults) {
  EXPECT_FALSE(f->Dither.checked());
  EXPECT_FALSE(f->pattern.checked());
  EXPECT_FALSE(f->GreyScale.checked());
  EXPECT_TRUE(f->AspectRatioCorrect.checked());
  EXPECT_EQ(f->store.ASPECT, 1);
  EXPECT_EQ(f->DitherValue.text(), "100");
  EXPECT_EQ(f->BayerValue.text(), "100");
  EXPECT_EQ(f->MaxKMeans.text(), "50");
  EXPECT_EQ(f->store.MAXITERATIONS, 50);
  // ColorQ is chosen, so the K-means++ settings start disabled, but not
  // their label.
  EXPECT_FALSE(f->MaxKMeans.enabled());
  EXPECT_FALSE(f->KMeansSettings.enabled());
  EXPECT_TRUE(f->MaxIterations.enabled());
  for (fw::OptionButton* k : {&f->FloydSteinburg, &f->Atkinson, &f->Burkes, &f->Stucki}) EXPECT_FALSE(k->enabled());
  EXPECT_FALSE(f->Picture1.enabled());
  EXPECT_FALSE(f->Picture1.image().isNull());
  EXPECT_TRUE(f->InputImgFrame.image().isNull());
  EXPECT_TRUE(f->OutputImgFrame.image().isNull());
  EXPECT_EQ(f->InputImgFrame.colour_at({240, 150}), QColor(0, 0, 0));
  EXPECT_EQ(f->OutputImgFrame.colour_at({240, 150}), QColor(0, 0, 0));
  EXPECT_EQ(f->StatusBar.text(), "");
  // Texts that sit in the middle of their height, and the centred boxes.
  for (fw::Label* l : {&f->UniqueColors, &f->Label4, &f->Label6, &f->MaxIterations})
    EXPECT_TRUE(static_cast<QLabel*>(l->widget())->alignment() & Qt::AlignVCenter) << l->name();
  for (fw::TextBox* t : {&f->DitherValue, &f->BayerValue, &f->MaxKMeans})
    EXPECT_TRUE(static_cast<QLineEdit*>(t->widget())->alignment() & Qt::AlignHCenter) << t->name();
  EXPECT_TRUE(f->MaxKMeans.accepts_tab());
  EXPECT_TRUE(f->MaxKMeans.accepts_return());
  EXPECT_TRUE(f->DitherValue.accepts_return());
  EXPECT_FALSE(f->DitherValue.accepts_tab());
}

TEST_F(WindowTest, ShownFillsTheOutputListAndRunsNoStage) {
  ASSERT_EQ(f->OutputTypesBox.count(), 2);
  EXPECT_EQ(f->OutputTypesBox.item_text(0), "BMP1");
  EXPECT_EQ(f->OutputTypesBox.item_value(0), 0);
  EXPECT_EQ(f->OutputTypesBox.item_text(1), "BMP4");
  EXPECT_EQ(f->OutputTypesBox.item_value(1), 1);
  EXPECT_EQ(f->OutputTypesBox.selected_index(), 0);
  EXPECT_TRUE(previews().empty());
  EXPECT_EQ(f->store.OUTPUTX, 0);
  // Showing again does not add the items twice.
  f->widget()->hide();
  f->show();
  EXPECT_EQ(f->OutputTypesBox.count(), 2);
}

TEST_F(WindowTest, OptionGroupsHoldTheirButtonsWithOneChecked) {
  const struct {
    const char* group;
    std::vector<fw::OptionButton*> buttons;
    fw::OptionButton* checked;
  } groups[] = {
      {"SCMethod", {&f->Lanczos, &f->NearestNeighbor, &f->Average, &f->Bicubic}, &f->NearestNeighbor},
      {"OptionGroup4", {&f->Fill, &f->Stretch, &f->Center, &f->Fit, &f->AspFill}, &f->Stretch},
      {"OptionGroup5", {&f->MedianCut, &f->Kmeans, &f->Scolorq}, &f->Scolorq},
      {"OptionGroup2", {&f->FloydSteinburg, &f->Atkinson, &f->Burkes, &f->Stucki}, &f->Atkinson},
  };
  for (const auto& g : groups) {
    SCOPED_TRACE(g.group);
    for (fw::OptionButton* b : g.buttons) {
      EXPECT_EQ(b->group(), g.group) << b->name();
      EXPECT_EQ(b->first_of_group(), b == g.buttons.front()) << b->name();
      EXPECT_EQ(b->checked(), b == g.checked) << b->name();
    }
  }
  // Checking one button of a group leaves the other groups alone.
  f->Fill.click();
  EXPECT_TRUE(f->Fill.checked());
  EXPECT_FALSE(f->Stretch.checked());
  EXPECT_TRUE(f->NearestNeighbor.checked());
  EXPECT_TRUE(f->Scolorq.checked());
  EXPECT_TRUE(f->Atkinson.checked());
}

TEST_F(WindowTest, TooltipsAndBalloons) {
  const struct {
    fw::Control* c;
    const char* tip;
    bool balloon;
  } tips[] = {
      {&f->ResetColor, "Starts the Color Selection All Over. Click if you don't like output.", true},
      {&f->SaveExec, "Outputs Binary and Image Data", false},
      {&f->Dither, "Turns on Error Diffusion Using Current Palette", true},
      {&f->DitherValue,
       "Changes the Diffusion Dither Strength in Percent.  Try reducing to 50% if Image Appears Too Noisy.", true},
      {&f->InputImgFrame, "Click Here to Open Image", false},
      {&f->Methods,
       "Selects Scaling Method.  Nearest Neighbor Preserves Hard Edges.  Averaging Smooths Image and Preserves "
       "Details.",
       false},
      {&f->Redraw,
       "Redraw the image using all of the current settings.  Very useful when using the color picker, but be "
       "careful because it will reassign all pixels based on their nearest match.",
       true},
      {&f->GreyScale, "Sets Input Image to Grey Scale Values", true},
      {&f->BayerValue, "Changes the Bayer Dither Strength in Percent.", true},
      {&f->MaxKMeans, "Adjusts the number of cycles to determine best 16 colors.", true},
      {&f->Frame2, "Select Dither Algorithm", false},
      {&f->Lanczos, "", true},
      {&f->NearestNeighbor, "Sets Scaling to Nearest Neighbor.  Preserves Hard Edges and Input Colors", true},
      {&f->Average, "Sets Scaling to Averaging Method.  Preserves Details but loses Hard Edges and Creates New Colors.",
       true},
      {&f->OpenFile, "", false},
      {&f->ProcessButton, "", false},
  };
  for (const auto& t : tips) {
    EXPECT_EQ(t.c->tooltip(), t.tip) << t.c->name();
    EXPECT_EQ(t.c->balloon(), t.balloon) << t.c->name();
  }
}

TEST_F(WindowTest, KeyboardOrderFollowsRegistration) {
  const std::vector<fw::Control*> focusable = {
      &f->ResetColor, &f->SaveExec,       &f->Dither,          &f->DitherValue,  &f->OpenFile,
      &f->Redraw,     &f->GreyScale,      &f->pattern,         &f->BayerValue,   &f->MaxKMeans,
      &f->FloydSteinburg, &f->Atkinson,   &f->Burkes,          &f->Stucki,       &f->Fill,
      &f->Stretch,    &f->Center,         &f->Fit,             &f->AspFill,      &f->MedianCut,
      &f->Kmeans,     &f->AspectRatioCorrect, &f->SaveBMP,     &f->Scolorq,      &f->ProcessButton,
      &f->Lanczos,    &f->NearestNeighbor, &f->Average,        &f->Bicubic,      &f->BrightUpDown,
      &f->ResetColorCorrection, &f->ContrastUpDown, &f->TransUpDown, &f->OutputTypesBox};
  std::set<QWidget*> widgets;
  for (fw::Control* c : focusable) widgets.insert(c->widget());
  // The next of these controls along the focus chain, skipping the parts
  // of composite widgets.
  auto next = [&](QWidget* w) {
    for (QWidget* n = w->nextInFocusChain(); n != w; n = n->nextInFocusChain())
      if (widgets.count(n)) return n;
    return w;
  };
  for (std::size_t i = 0; i < focusable.size(); ++i) {
    EXPECT_EQ(f->controls()[i], focusable[i]) << i;
    EXPECT_TRUE(focusable[i]->widget()->focusPolicy() & Qt::TabFocus) << focusable[i]->name();
    if (i + 1 < focusable.size()) {
      EXPECT_EQ(next(focusable[i]->widget()), focusable[i + 1]->widget())
          << focusable[i]->name() << " -> " << focusable[i + 1]->name();
    }
  }
}

TEST_F(WindowTest, FontsAndColoursOfTheTitlesAndHints) {
  // Titles are large, the status line a little larger than the rest; a
  // face that is missing falls back to one that still fits the box.
  const int body = QFontMetrics(f->OutTypeLabel.widget()->font()).height();
  EXPECT_GT(QFontMetrics(f->Label2.widget()->font()).height(), 2 * body - 4);
  EXPECT_GT(QFontMetrics(f->Label3.widget()->font()).height(), 2 * body - 4);
  EXPECT_GE(QFontMetrics(f->StatusBar.widget()->font()).height(), body);
  const QColor highlight = QGuiApplication::palette().color(QPalette::Highlight);
  EXPECT_EQ(f->Label1.widget()->palette().color(QPalette::WindowText), highlight);
  EXPECT_EQ(f->Label5.widget()->palette().color(QPalette::WindowText), highlight);
  EXPECT_EQ(f->InputImgFrame.back_colour(), QColor(0, 0, 0));
  EXPECT_EQ(f->OutputImgFrame.back_colour(), QColor(0, 0, 0));
}

// No text is cut: each fits its box in the font the box ended up with.
TEST_F(WindowTest, EveryTextFitsItsControl) {
  for (fw::Control* c : f->controls()) {
    const QString t = QString::fromStdString(c->text());
    if (t.isEmpty() || dynamic_cast<fw::PictureBox*>(c) || dynamic_cast<fw::TextBox*>(c)) continue;
    QWidget* w = c->widget();
    const QFontMetrics m(w->font());
    if (dynamic_cast<fw::Label*>(c)) {
      const QRect r = m.boundingRect(QRect(0, 0, w->width(), 100000), Qt::TextWordWrap, t);
      EXPECT_LE(r.height(), w->height()) << c->name();
      EXPECT_LE(r.width(), w->width()) << c->name();
    } else {
      EXPECT_LT(m.horizontalAdvance(t), w->width()) << c->name();
      EXPECT_LE(m.height(), w->height()) << c->name();
    }
  }
}

// Controls overlap only where the layout nests them in a frame.
TEST_F(WindowTest, ControlsDoNotOverlapOutsideTheirFrames) {
  std::vector<fw::Control*> plain;
  for (fw::Control* c : f->controls())
    if (!dynamic_cast<fw::Frame*>(c)) plain.push_back(c);
  // The layout itself stacks two pairs of option buttons a pixel or two
  // into each other; their texts sit in the middle and stay clear.
  const std::set<std::pair<std::string, std::string>> stacked = {{"Fit", "AspFill"}, {"MedianCut", "Scolorq"}};
  for (std::size_t i = 0; i < plain.size(); ++i) {
    for (std::size_t j = i + 1; j < plain.size(); ++j) {
      const QRect overlap = plain[i]->widget()->geometry() & plain[j]->widget()->geometry();
      if (overlap.isEmpty()) continue;
      const bool known = stacked.count({plain[i]->name(), plain[j]->name()}) > 0;
      EXPECT_TRUE(known && overlap.height() <= 2) << plain[i]->name() << " / " << plain[j]->name();
    }
  }
}

}  // namespace
}  // namespace tessera::testing
