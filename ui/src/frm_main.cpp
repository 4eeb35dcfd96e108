#include "tessera/frm_main.h"

#include <QGuiApplication>
#include <QPalette>

#include "tessera/desktop_state.h"
#include "tessera/file_writer.h"
#include "tessera/handlers.h"
#include "tessera/menus.h"
#include "tessera/surface.h"

namespace tessera {

namespace {

// The layout was drawn for a 9 point face; 20 and 10 point for the titles
// and the status line.
constexpr const char* kFace = "Segoe UI";

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

}  // namespace

QColor from_control_colour(std::uint32_t colour) {
  return QColor(static_cast<int>(colour & 255), static_cast<int>((colour >> 8) & 255),
                static_cast<int>((colour >> 16) & 255));
}

frmMain::frmMain() : fw::Form("frmMain"), desktop(qt_desktop()) {
  swatches_ = {nullptr, &Color1,  &Color2,  &Color3,  &Color4,  &Color5,  &Color6,  &Color7, &Color8,
               &Color9, &Color10, &Color11, &Color12, &Color13, &Color14, &Color15, &Color16};
  set_default_font(fw::font(kFace, 9));
  set_caption("Tessera Version 1.2");
  // Every save runs on the event loop's thread: a FIFO that nothing reads
  // would stop the window until something did.
  set_fifo_wait(FifoWait::RefuseWithoutReader);
  set_bounds(10, 10, 1029, 733);
  set_centred(true);
  set_icon(tessera_logo(64, 64));
  set_first_id(20000);
  desktop_state_ = std::make_unique<DesktopState>();
  lay_out();
  bind_handlers();
  build_menus(*this);
}

frmMain::~frmMain() = default;

void frmMain::lay_out() {
  const QColor highlight = QGuiApplication::palette().color(QPalette::Highlight);

  ResetColor.set_text("Reset");
  ResetColor.set_bounds(684, 403, 48, 21);
  ResetColor.set_tooltip("Starts the Color Selection All Over. Click if you don't like output.", true);

  SaveExec.set_text("SAVE OUTPUT FILE");
  SaveExec.set_bounds(858, 627, 132, 52);
  SaveExec.set_tooltip("Outputs Binary and Image Data");

  Dither.set_text("Diffusion Dither");
  Dither.set_bounds(522, 468, 105, 22);
  Dither.set_tooltip("Turns on Error Diffusion Using Current Palette", true);

  DitherValue.set_text("100");
  DitherValue.set_bounds(520, 494, 41, 24);
  DitherValue.set_centred(true);
  DitherValue.set_accepts_return(true);
  DitherValue.set_tooltip(
      "Changes the Diffusion Dither Strength in Percent.  Try reducing to 50% if Image Appears Too Noisy.", true);

  OpenFile.set_text("OPEN FILE");
  OpenFile.set_bounds(572, 627, 132, 52);

  for (fw::PictureBox* box : {&InputImgFrame, &OutputImgFrame}) {
    box->set_text("Picture1");
    box->set_back_colour(kBlack);
    box->set_hot_back_colour(kBlack);
  }
  InputImgFrame.set_bounds(20, 55, 480, 300);
  InputImgFrame.set_tooltip("Click Here to Open Image");
  OutputImgFrame.set_bounds(522, 55, 480, 300);

  Label2.set_font(fw::font(kFace, 20));
  Label2.set_text("Input Image");
  Label2.set_bounds(202, 13, 148, 38);
  Label3.set_font(fw::font(kFace, 20));
  Label3.set_text("Output Preview");
  Label3.set_bounds(656, 13, 200, 38);

  Methods.set_text("Scaling Method");
  Methods.set_bounds(136, 418, 134, 129);
  Methods.set_tooltip(
      "Selects Scaling Method.  Nearest Neighbor Preserves Hard Edges.  Averaging Smooths Image and Preserves "
      "Details.");

  UniqueColors.set_text("Colors");
  UniqueColors.set_bounds(20, 362, 156, 22);
  UniqueColors.set_middle_left(true);

  Redraw.set_text("Redraw");
  Redraw.set_bounds(684, 369, 48, 21);
  Redraw.set_tooltip(
      "Redraw the image using all of the current settings.  Very useful when using the color picker, but be "
      "careful because it will reassign all pixels based on their nearest match.",
      true);

  Label4.set_text("% Strength");
  Label4.set_bounds(568, 494, 61, 23);
  Label4.set_middle_left(true);

  GreyScale.set_text("Grey Scale");
  GreyScale.set_bounds(148, 562, 82, 22);
  GreyScale.set_tooltip("Sets Input Image to Grey Scale Values", true);

  pattern.set_text("Bayer Dither");
  pattern.set_bounds(654, 468, 91, 22);

  BayerValue.set_text("100");
  BayerValue.set_bounds(654, 492, 37, 24);
  BayerValue.set_centred(true);
  BayerValue.set_tooltip("Changes the Bayer Dither Strength in Percent.", true);

  Label6.set_text("% Strength");
  Label6.set_bounds(698, 492, 64, 23);
  Label6.set_middle_left(true);

  MaxKMeans.set_text("50");
  MaxKMeans.set_bounds(290, 566, 41, 24);
  MaxKMeans.set_enabled(false);
  MaxKMeans.set_centred(true);
  MaxKMeans.set_accepts_return(true);
  MaxKMeans.set_accepts_tab(true);
  MaxKMeans.set_tooltip("Adjusts the number of cycles to determine best 16 colors.", true);

  MaxIterations.set_text("Max Iterations");
  MaxIterations.set_bounds(334, 566, 79, 23);
  MaxIterations.set_middle_left(true);

  StatusBar.set_font(fw::font(kFace, 10));
  StatusBar.set_bounds(126, 652, 407, 32);

  Frame2.set_text("Diffusion Method");
  Frame2.set_bounds(508, 538, 213, 78);
  Frame2.set_tooltip("Select Dither Algorithm");

  struct Option {
    fw::OptionButton& button;
    const char* text;
    int l, t, w, h;
    const char* group;
    bool first, checked, enabled;
  };
  const Option options[] = {
      {FloydSteinburg, "Floyd-Steinburg", 522, 564, 114, 22, "OptionGroup2", true, false, false},
      {Atkinson, "Atkinson", 522, 586, 114, 22, "OptionGroup2", false, true, false},
      {Burkes, "Burkes", 648, 562, 69, 22, "OptionGroup2", false, false, false},
      {Stucki, "Stucki", 648, 586, 73, 22, "OptionGroup2", false, false, false},
      {Fill, "Fill", 40, 468, 67, 22, "OptionGroup4", true, false, true},
      {Stretch, "Stretch", 40, 444, 67, 22, "OptionGroup4", false, true, true},
      {Center, "Center", 40, 492, 67, 22, "OptionGroup4", false, false, true},
      {Fit, "Fit", 40, 514, 67, 22, "OptionGroup4", false, false, true},
      {AspFill, "Aspect Fill", 40, 534, 73, 22, "OptionGroup4", false, false, true},
      {MedianCut, "Median Cut", 306, 468, 86, 23, "OptionGroup5", true, false, true},
      {Kmeans, "K-Means++", 306, 492, 86, 23, "OptionGroup5", false, false, true},
      {Scolorq, "ColorQ", 306, 446, 86, 23, "OptionGroup5", false, true, true},
      {Lanczos, "Lanczos", 148, 514, 110, 21, "SCMethod", true, false, true},
      {NearestNeighbor, "Nearest Neighbor", 148, 444, 112, 21, "SCMethod", false, true, true},
      {Average, "Average", 148, 468, 110, 21, "SCMethod", false, false, true},
      {Bicubic, "Bicubic", 148, 492, 114, 22, "SCMethod", false, false, true},
  };
  for (const Option& o : options) {
    o.button.set_group(o.group, o.first);
    o.button.set_text(o.text);
    o.button.set_bounds(o.l, o.t, o.w, o.h);
    if (o.checked) o.button.set_checked(true);
    o.button.set_enabled(o.enabled);
  }
  Lanczos.set_tooltip("", true);
  NearestNeighbor.set_tooltip("Sets Scaling to Nearest Neighbor.  Preserves Hard Edges and Input Colors", true);
  Average.set_tooltip(
      "Sets Scaling to Averaging Method.  Preserves Details but loses Hard Edges and Creates New Colors.", true);

  ScaleMethod.set_text("Scale Method");
  ScaleMethod.set_bounds(24, 418, 100, 144);

  ColorQuantizationMethod.set_text("Quantization Method");
  ColorQuantizationMethod.set_bounds(280, 428, 134, 98);

  AspectRatioCorrect.set_text("Aspect Ratio");
  AspectRatioCorrect.set_bounds(24, 576, 96, 22);
  AspectRatioCorrect.set_checked(true);

  SaveBMP.set_text("SAVE BMP");
  SaveBMP.set_bounds(716, 627, 132, 52);

  KMeansSettings.set_text("K-Means++ Settings");
  KMeansSettings.set_bounds(280, 538, 131, 61);
  KMeansSettings.set_enabled(false);

  const int lefts[8] = {742, 774, 808, 842, 876, 908, 940, 972};
  for (int k = 1; k <= 16; ++k) {
    fw::Label& s = swatch(k);
    s.set_bounds(lefts[(k - 1) % 8], k <= 8 ? 369 : 403, 25, 25);
    s.set_back_colour(kWhite);
  }

  ProcessButton.set_text("PROCESS");
  ProcessButton.set_bounds(858, 544, 132, 66);

  Brightness.set_text("Brightness");
  Brightness.set_bounds(230, 362, 88, 20);
  BrightUpDown.set_bounds(202, 359, 22, 23);
  ResetColorCorrection.set_text("Reset");
  ResetColorCorrection.set_bounds(454, 359, 45, 22);
  ContrastUpDown.set_bounds(330, 359, 22, 23);
  Contrast.set_text("Contrast");
  Contrast.set_bounds(360, 362, 78, 20);

  Label1.set_text("ALT Click Output Image to Set Transparent Color");
  Label1.set_bounds(560, 390, 98, 54);
  Label1.set_text_colour(highlight);

  Picture1.set_text("Picture1");
  Picture1.set_bounds(6, 624, 110, 69);
  Picture1.set_enabled(false);
  // The colour is given as 0x806D1010; read as a control colour (blue in the
  // third byte) it is the dark blue the logo sits on. The top byte carries
  // nothing a control colour can show.
  Picture1.set_back_colour(from_control_colour(0x806D1010u & 0xFFFFFFu));
  Picture1.set_hot_back_colour(from_control_colour(0x806D1010u & 0xFFFFFFu));
  Picture1.show_image(tessera_logo(110, 69));

  TransUpDown.set_bounds(528, 362, 22, 23);
  TransLabel.set_text("Trans Threshold");
  TransLabel.set_bounds(560, 362, 111, 20);

  Label5.set_text("ALT Click Bright/Cont for Step Adjustment");
  Label5.set_bounds(202, 390, 226, 18);
  Label5.set_text_colour(highlight);

  OutputTypesBox.set_bounds(808, 492, 175, 34);
  OutTypeLabel.set_text("Output Format");
  OutTypeLabel.set_bounds(808, 468, 90, 21);

  register_controls({&ResetColor,
                     &SaveExec,
                     &Dither,
                     &DitherValue,
                     &OpenFile,
                     &Redraw,
                     &GreyScale,
                     &pattern,
                     &BayerValue,
                     &MaxKMeans,
                     &FloydSteinburg,
                     &Atkinson,
                     &Burkes,
                     &Stucki,
                     &Fill,
                     &Stretch,
                     &Center,
                     &Fit,
                     &AspFill,
                     &MedianCut,
                     &Kmeans,
                     &AspectRatioCorrect,
                     &SaveBMP,
                     &Scolorq,
                     &ProcessButton,
                     &Lanczos,
                     &NearestNeighbor,
                     &Average,
                     &Bicubic,
                     &BrightUpDown,
                     &ResetColorCorrection,
                     &ContrastUpDown,
                     &TransUpDown,
                     &OutputTypesBox,
                     &InputImgFrame,
                     &OutputImgFrame,
                     &Label2,
                     &Label3,
                     &UniqueColors,
                     &Label4,
                     &Label6,
                     &MaxIterations,
                     &StatusBar,
                     &Methods,
                     &Frame2,
                     &ScaleMethod,
                     &ColorQuantizationMethod,
                     &KMeansSettings,
                     &Color1,
                     &Color2,
                     &Color3,
                     &Color4,
                     &Color5,
                     &Color6,
                     &Color7,
                     &Color8,
                     &Color9,
                     &Color10,
                     &Color11,
                     &Color12,
                     &Color13,
                     &Color14,
                     &Color15,
                     &Color16,
                     &Brightness,
                     &Contrast,
                     &Label1,
                     &Picture1,
                     &TransLabel,
                     &Label5,
                     &OutTypeLabel});
}

void frmMain::bind_handlers() {
  using fw::Event;
  const struct {
    const char* control;
    Event event;
    fw::Handler handler;
  } table[] = {
      {"ResetColor", Event::Click, FRMMAIN_RESETCOLOR_CLICK},
      {"SaveExec", Event::Click, FRMMAIN_SAVEEXEC_CLICK},
      {"Dither", Event::Click, FRMMAIN_DITHER_CLICK},
      {"DitherValue", Event::TextChanged, FRMMAIN_DITHERVALUE_TEXTCHANGED},
      {"OpenFile", Event::Click, FRMMAIN_OPENFILE_CLICK},
      {"InputImgFrame", Event::Click, FRMMAIN_INPUTIMGFRAME_CLICK},
      {"OutputImgFrame", Event::Click, FRMMAIN_OUTPUTIMGFRAME_CLICK},
      {"Redraw", Event::Click, FRMMAIN_REDRAW_CLICK},
      {"GreyScale", Event::Click, FRMMAIN_GREYSCALE_CLICK},
      {"pattern", Event::Click, FRMMAIN_PATTERN_CLICK},
      {"BayerValue", Event::TextChanged, FRMMAIN_BAYERVALUE_TEXTCHANGED},
      {"MaxKMeans", Event::TextChanged, FRMMAIN_MAXKMEANS_TEXTCHANGED},
      {"FloydSteinburg", Event::Click, FRMMAIN_FLOYDSTEINBURG_CLICK},
      {"Atkinson", Event::Click, FRMMAIN_ATKINSON_CLICK},
      {"Burkes", Event::Click, FRMMAIN_BURKES_CLICK},
      {"Stucki", Event::Click, FRMMAIN_STUCKI_CLICK},
      {"Fill", Event::Click, FRMMAIN_FILL_CLICK},
      {"Stretch", Event::Click, FRMMAIN_STRETCH_CLICK},
      {"Center", Event::Click, FRMMAIN_CENTER_CLICK},
      {"Fit", Event::Click, FRMMAIN_FIT_CLICK},
      {"AspFill", Event::Click, FRMMAIN_ASPFILL_CLICK},
      {"MedianCut", Event::Click, FRMMAIN_MEDIANCUT_CLICK},
      {"Kmeans", Event::Click, FRMMAIN_KMEANS_CLICK},
      {"AspectRatioCorrect", Event::Click, FRMMAIN_ASPECTRATIOCORRECT_CLICK},
      {"SaveBMP", Event::Click, FRMMAIN_SAVEBMP_CLICK},
      {"Scolorq", Event::Click, FRMMAIN_SCOLORQ_CLICK},
      {"Color1", Event::Click, FRMMAIN_COLOR1_CLICK},
      {"Color2", Event::Click, FRMMAIN_COLOR2_CLICK},
      {"Color3", Event::Click, FRMMAIN_COLOR3_CLICK},
      {"Color4", Event::Click, FRMMAIN_COLOR4_CLICK},
      {"Color5", Event::Click, FRMMAIN_COLOR5_CLICK},
      {"Color6", Event::Click, FRMMAIN_COLOR6_CLICK},
      {"Color7", Event::Click, FRMMAIN_COLOR7_CLICK},
      {"Color8", Event::Click, FRMMAIN_COLOR8_CLICK},
      {"Color9", Event::Click, FRMMAIN_COLOR9_CLICK},
      {"Color10", Event::Click, FRMMAIN_COLOR10_CLICK},
      {"Color11", Event::Click, FRMMAIN_COLOR11_CLICK},
      {"Color12", Event::Click, FRMMAIN_COLOR12_CLICK},
      {"Color13", Event::Click, FRMMAIN_COLOR13_CLICK},
      {"Color14", Event::Click, FRMMAIN_COLOR14_CLICK},
      {"Color15", Event::Click, FRMMAIN_COLOR15_CLICK},
      {"Color16", Event::Click, FRMMAIN_COLOR16_CLICK},
      {"ProcessButton", Event::Click, FRMMAIN_PROCESSBUTTON_CLICK},
      {"Lanczos", Event::Click, FRMMAIN_LANCZOS_CLICK},
      {"NearestNeighbor", Event::Click, FRMMAIN_NEARESTNEIGHBOR_CLICK},
      {"Average", Event::Click, FRMMAIN_AVERAGE_CLICK},
      {"Bicubic", Event::Click, FRMMAIN_BICUBIC_CLICK},
      {"BrightUpDown", Event::Click, FRMMAIN_BRIGHTUPDOWN_CLICK},
      {"ResetColorCorrection", Event::Click, FRMMAIN_RESETCOLORCORRECTION_CLICK},
      {"ContrastUpDown", Event::Click, FRMMAIN_CONTRASTUPDOWN_CLICK},
      {"TransUpDown", Event::Click, FRMMAIN_TRANSUPDOWN_CLICK},
  };
  for (const auto& row : table) bind(row.control, row.event, row.handler);
  on_shown(FRMMAIN_SHOWN);
  on_drop([this](const std::string& path) { open_picture(*this, path); });
}

// ---- Controls ----------------------------------------------------------------

fw::Control& frmMain::control(Ctl c) {
  switch (c) {
    case Ctl::OutputTypesBox: return OutputTypesBox;
    case Ctl::Fill: return Fill;
    case Ctl::Stretch: return Stretch;
    case Ctl::Center: return Center;
    case Ctl::Fit: return Fit;
    case Ctl::AspFill: return AspFill;
    case Ctl::GreyScale: return GreyScale;
    case Ctl::MedianCut: return MedianCut;
    case Ctl::Kmeans: return Kmeans;
    case Ctl::Scolorq: return Scolorq;
    case Ctl::Dither: return Dither;
    case Ctl::pattern: return pattern;
    case Ctl::FloydSteinburg: return FloydSteinburg;
    case Ctl::Atkinson: return Atkinson;
    case Ctl::Burkes: return Burkes;
    case Ctl::Stucki: return Stucki;
    case Ctl::DitherValue: return DitherValue;
    case Ctl::UniqueColors: return UniqueColors;
    case Ctl::StatusBar: return StatusBar;
    case Ctl::InputImgFrame: return InputImgFrame;
    case Ctl::OutputImgFrame: return OutputImgFrame;
    case Ctl::NearestNeighbor: return NearestNeighbor;
    case Ctl::Average: return Average;
    case Ctl::Bicubic: return Bicubic;
    case Ctl::Lanczos: return Lanczos;
    case Ctl::None: break;
  }
  return StatusBar;
}

int frmMain::selected_index(Ctl) { return OutputTypesBox.selected_index(); }

bool frmMain::checked(Ctl button) {
  fw::Control& c = control(button);
  if (auto* o = dynamic_cast<fw::OptionButton*>(&c)) return o->checked();
  if (auto* b = dynamic_cast<fw::CheckBox*>(&c)) return b->checked();
  return false;
}

std::string frmMain::text(Ctl box) { return control(box).text(); }

void frmMain::set_text(Ctl label, const std::string& text) { control(label).set_text(text); }

void frmMain::set_swatch(int k, std::uint32_t colour) {
  if (k < 1 || k > 16) return;
  swatch(k).set_back_colour(from_control_colour(colour));
  swatch(k).set_hot_back_colour(from_control_colour(colour));
}

void frmMain::show_picture(Ctl frame, const std::string& path, const Surface& surface) {
  // The file was just written from this very surface; showing the surface
  // spares reading 9 MB back. The box keeps only its own stretched copy, so
  // the surface's pixels can be borrowed for the moment.
  const QImage image(reinterpret_cast<const uchar*>(surface.pixels().data()), surface.width(), surface.height(),
                     static_cast<qsizetype>(surface.width()) * 4, QImage::Format_ARGB32);
  auto* box = dynamic_cast<fw::PictureBox*>(&control(frame));
  if (box != nullptr) box->show_image(image);
  preview_shown(*this, frame, path);
}

}  // namespace tessera
