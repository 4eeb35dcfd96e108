#include "tessera/handlers.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>

#include "tessera/busy.h"
#include "tessera/decoder_messages.h"
#include "tessera/desktop_state.h"
#include "tessera/frm_main.h"
#include "tessera/number.h"
#include "tessera/render.h"
#include "tessera/settings.h"
#include "tessera/stages.h"
#include "tessera/target_files.h"

namespace tessera {

namespace {

// Each stage runs under the busy cursor, with the status line naming it.
void stage1(frmMain& f) {
  const StageInProgress busy(f, preparing_text(f.store.OPENFILENAME));
  REDISPLAYINPUT(f.store, f);
}
void stage2(frmMain& f) {
  const StageInProgress busy(f, kCountingText);
  COUNTINPUTCOLORS(f.store, f);
}
void stage3(frmMain& f) {
  const StageInProgress busy(f, kChoosingPaletteText);
  INITIALIZECOLORS(f.store, f);
}
void stage3b(frmMain& f) {
  const StageInProgress busy(f, kChoosingPairsText);
  SELECTCOLORBLOCKS(f.store, f);
}
void stage4(frmMain& f) {
  const StageInProgress busy(f, kDrawingText);
  DRAWOUTPUT(f.store, f);
}

int rerun_input(Control& sender) {
  rerun_input(frmMain::of(sender));
  return 0;
}

int rerun_output(Control& sender) {
  rerun_rendering(frmMain::of(sender));
  return 0;
}

// A kernel's option button wins over a kernel the Look menu chose.
int choose_kernel(Control& sender, int kernel) {
  frmMain& f = frmMain::of(sender);
  f.store.DITHER = kernel;
  f.store.KERNEL = 0;
  return rerun_output(sender);
}

// One click of an up-down control: up adds the step, down subtracts it, a
// click with no direction changes nothing; the value stays within its bounds.
int stepped(int value, int delta, int step, int low, int high) {
  if (delta > 0) value += step;
  if (delta < 0) value -= step;
  return std::clamp(value, low, high);
}

int delta_of(Control& sender) { return static_cast<fw::UpDown&>(sender).delta(); }

// A number typed as an iteration count, rounded half to even; values beyond
// an int are held at its ends rather than overflowing the conversion.
int iteration_count(const std::string& text) {
  const double v = std::nearbyint(number_value(text));
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

const char* rendered_kind(const Store& s) { return s.RENDEREDFILETYPE == 4 ? "BMP4" : "BMP1"; }

}  // namespace

void report_save(frmMain& f, const SaveResult& r, const std::string& kind) {
  if (r.skipped) return;
  if (r.unreadable) {
    f.desktop.message(unreadable_message(r.path));
  } else if (r.ok) {
    const std::string said = saved_message(r.path, kind);
    // Said in the status line too, where it stays after the box is gone.
    f.StatusBar.set_text(said);
    f.desktop.message(said);
  } else {
    f.desktop.message("Could not save " + r.path + ": " + r.error + ".");
  }
}

void rerun_input(frmMain& f) {
  stage1(f);
  stage2(f);
}

void rerun_palette(frmMain& f) {
  // The palette is chosen from the working image as it stands; only then is
  // the input read afresh for the rendering.
  stage2(f);
  stage3(f);
  stage1(f);
  stage4(f);
}

void rerun_cell_pairs(frmMain& f) {
  if (f.store.OUTPUTFILETYPE == 1) {
    f.store.COLORBLOCKFIRSTPASS = 1;
    stage3b(f);
  }
  stage4(f);
}

void rerun_rendering(frmMain& f) { stage4(f); }

void rerun_all(frmMain& f) {
  f.store.COLORBLOCKFIRSTPASS = 1;
  stage1(f);
  stage2(f);
  stage3(f);
  stage4(f);
}

int FRMMAIN_SHOWN(fw::Form& sender, const EventArgs&) {
  auto& f = static_cast<frmMain&>(sender);
  f.OutputTypesBox.add_item("BMP1", 0);
  f.OutputTypesBox.add_item("BMP4", 1);
  f.OutputTypesBox.set_selected_index(0);
  return 0;
}

// ---- opening a picture ------------------------------------------------------

std::optional<std::string> EDITOROPENDIALOG(frmMain& f) { return f.desktop.open_file(f.widget()); }

void open_picture(frmMain& f, const std::string& path) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  f.store.OPENFILENAME = ec ? path : full.string();
  {
    // Showing the file decodes it as well; the wait starts there.
    const StageInProgress busy(f, reading_text(f.store.OPENFILENAME));
    {
      // What the decoder has to say about a damaged file the input stage
      // reports in the status text.
      DecoderMessages kept_quiet;
      f.InputImgFrame.show_file(f.store.OPENFILENAME);
    }
    REDISPLAYINPUT(f.store, f);
  }
  stage2(f);
  picture_opened(f);
}

void NEWOPENFILE(frmMain& f) {
  // A cancelled dialog leaves the open picture and everything shown as it was.
  const std::optional<std::string> chosen = EDITOROPENDIALOG(f);
  if (!chosen || chosen->empty()) return;
  open_picture(f, *chosen);
}

int FRMMAIN_OPENFILE_CLICK(Control& sender, const EventArgs&) {
  NEWOPENFILE(frmMain::of(sender));
  return 0;
}

int FRMMAIN_INPUTIMGFRAME_CLICK(Control& sender, const EventArgs&) {
  NEWOPENFILE(frmMain::of(sender));
  return 0;
}

// ---- whole runs ---------------------------------------------------------------

int FRMMAIN_PROCESSBUTTON_CLICK(Control& sender, const EventArgs&) {
  rerun_all(frmMain::of(sender));
  return 0;
}

int FRMMAIN_RESETCOLOR_CLICK(Control& sender, const EventArgs&) {
  rerun_palette(frmMain::of(sender));
  return 0;
}

int FRMMAIN_REDRAW_CLICK(Control& sender, const EventArgs&) { return rerun_output(sender); }

// ---- input settings -------------------------------------------------------------

void set_resampler(frmMain& f, Resampler r) {
  f.store.SCALE = static_cast<int>(r);
  const Ctl c = control_of(setting_key("scale"), static_cast<int>(r));
  if (c == Ctl::None)
    f.uncheck_group(f.NearestNeighbor.group());
  else if (auto* button = dynamic_cast<fw::OptionButton*>(&f.control(c)))
    button->set_checked(true);
}

int choose_resampler(frmMain& f, Resampler r) {
  set_resampler(f, r);
  stage1(f);
  stage2(f);
  return 0;
}

int FRMMAIN_NEARESTNEIGHBOR_CLICK(Control& sender, const EventArgs&) {
  return choose_resampler(frmMain::of(sender), Resampler::Nearest);
}

int FRMMAIN_AVERAGE_CLICK(Control& sender, const EventArgs&) {
  return choose_resampler(frmMain::of(sender), Resampler::Average);
}

int FRMMAIN_BICUBIC_CLICK(Control& sender, const EventArgs&) {
  return choose_resampler(frmMain::of(sender), Resampler::Bicubic);
}

int FRMMAIN_LANCZOS_CLICK(Control& sender, const EventArgs&) {
  return choose_resampler(frmMain::of(sender), Resampler::Lanczos);
}

int FRMMAIN_FILL_CLICK(Control& sender, const EventArgs&) { return rerun_input(sender); }
int FRMMAIN_STRETCH_CLICK(Control& sender, const EventArgs&) { return rerun_input(sender); }
int FRMMAIN_CENTER_CLICK(Control& sender, const EventArgs&) { return rerun_input(sender); }
int FRMMAIN_FIT_CLICK(Control& sender, const EventArgs&) { return rerun_input(sender); }
int FRMMAIN_ASPFILL_CLICK(Control& sender, const EventArgs&) { return rerun_input(sender); }

int FRMMAIN_ASPECTRATIOCORRECT_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  f.store.ASPECT = f.AspectRatioCorrect.checked() ? 1 : 0;
  return rerun_input(sender);
}

int FRMMAIN_GREYSCALE_CLICK(Control& sender, const EventArgs&) { return rerun_input(sender); }

int ISALTPRESSED(frmMain& f) { return f.desktop.alt_pressed && f.desktop.alt_pressed() ? 1 : 0; }

int FRMMAIN_BRIGHTUPDOWN_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  const int step = 1 + 25 * ISALTPRESSED(f);
  f.store.BRIGHTNESS = stepped(f.store.BRIGHTNESS, delta_of(sender), step, -255, 255);
  f.Brightness.set_text("Brightness: " + std::to_string(f.store.BRIGHTNESS));
  return rerun_input(sender);
}

int FRMMAIN_CONTRASTUPDOWN_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  const int step = 1 + 25 * ISALTPRESSED(f);
  f.store.CONTRAST = stepped(f.store.CONTRAST, delta_of(sender), step, -100, 100);
  f.Contrast.set_text("Contrast: " + std::to_string(f.store.CONTRAST));
  return rerun_input(sender);
}

int FRMMAIN_RESETCOLORCORRECTION_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  f.store.BRIGHTNESS = 0;
  f.store.CONTRAST = 0;
  f.Contrast.set_text("Contrast: 0");
  f.Brightness.set_text("Brightness: 0");
  return rerun_input(sender);
}

// ---- output settings ----------------------------------------------------------

int FRMMAIN_TRANSUPDOWN_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  f.store.TRANS = stepped(f.store.TRANS, delta_of(sender), 1, 0, 100);
  f.TransLabel.set_text("Trans Threshold: " + std::to_string(f.store.TRANS));
  // The threshold decides which cells hold transparent pixels, so BMP1's
  // cell pairs are chosen again before rendering.
  if (f.store.OUTPUTFILETYPE == 1) stage3b(f);
  stage4(f);
  return 0;
}

int FRMMAIN_DITHER_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  const bool on = f.Dither.checked();
  for (fw::OptionButton* kernel : {&f.Atkinson, &f.Stucki, &f.FloydSteinburg, &f.Burkes}) kernel->set_enabled(on);
  stage4(f);
  return 0;
}

int FRMMAIN_FLOYDSTEINBURG_CLICK(Control& sender, const EventArgs&) { return choose_kernel(sender, 1); }

int FRMMAIN_ATKINSON_CLICK(Control& sender, const EventArgs&) { return choose_kernel(sender, 2); }

int FRMMAIN_BURKES_CLICK(Control& sender, const EventArgs&) { return choose_kernel(sender, 3); }

int FRMMAIN_STUCKI_CLICK(Control& sender, const EventArgs&) { return choose_kernel(sender, 4); }

int FRMMAIN_PATTERN_CLICK(Control& sender, const EventArgs&) { return rerun_output(sender); }

int FRMMAIN_DITHERVALUE_TEXTCHANGED(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  f.store.DITHERSTRENGTH = number_value(f.DitherValue.text()) / 100.0;
  return rerun_output(sender);
}

int FRMMAIN_BAYERVALUE_TEXTCHANGED(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  f.store.BAYERSTRENGTH = number_value(f.BayerValue.text()) / 100.0;
  return rerun_output(sender);
}

// ---- palette method --------------------------------------------------------------

int FRMMAIN_MAXKMEANS_TEXTCHANGED(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  f.store.MAXITERATIONS = iteration_count(f.MaxKMeans.text());
  return 0;
}

void STATECHANGESCALING(frmMain& f) {
  const bool kmeans = !(f.MedianCut.checked() || f.Scolorq.checked());
  f.MaxKMeans.set_enabled(kmeans);
  f.MaxIterations.set_enabled(kmeans);
  f.KMeansSettings.set_enabled(kmeans);
}

int FRMMAIN_MEDIANCUT_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  STATECHANGESCALING(f);
  if (f.MedianCut.checked()) f.store.KMEANS = 0;
  return 0;
}

int FRMMAIN_KMEANS_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  STATECHANGESCALING(f);
  if (f.Kmeans.checked()) f.store.KMEANS = 1;
  return 0;
}

int FRMMAIN_SCOLORQ_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  STATECHANGESCALING(f);
  if (f.Scolorq.checked()) f.store.KMEANS = 2;
  return 0;
}

// ---- saving -------------------------------------------------------------------------

int FRMMAIN_SAVEEXEC_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  report_save(f, save_target_file(f.store), rendered_kind(f.store));
  return 0;
}

int FRMMAIN_SAVEBMP_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  report_save(f, save_bmp_export(f.store), "BMP");
  return 0;
}

}  // namespace tessera
