#include "tessera/window_settings.h"

#include <QSignalBlocker>
#include <QWidget>
#include <string>

#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/number.h"

namespace tessera {

namespace {

// The option buttons of each group, in the order of the settings' values.
std::array<fw::OptionButton*, 4> scale_buttons(frmMain& f) {
  return {&f.NearestNeighbor, &f.Average, &f.Bicubic, &f.Lanczos};
}
std::array<fw::OptionButton*, 5> place_buttons(frmMain& f) {
  return {&f.Fill, &f.Stretch, &f.Center, &f.Fit, &f.AspFill};
}
std::array<fw::OptionButton*, 3> method_buttons(frmMain& f) { return {&f.MedianCut, &f.Kmeans, &f.Scolorq}; }
// Index k is DITHER k; entry 0 stands for no diffusion.
std::array<fw::OptionButton*, 5> kernel_buttons(frmMain& f) {
  return {nullptr, &f.FloydSteinburg, &f.Atkinson, &f.Burkes, &f.Stucki};
}

template <std::size_t N>
int checked_index(const std::array<fw::OptionButton*, N>& buttons, int otherwise) {
  for (std::size_t i = 0; i < N; ++i)
    if (buttons[i] != nullptr && buttons[i]->checked()) return static_cast<int>(i);
  return otherwise;
}

// A text box set without its text-changed handler: the strengths' handlers
// render at once, and loading settings runs no stage.
void set_quietly(fw::TextBox& box, const std::string& text) {
  const QSignalBlocker block(box.widget());
  box.set_text(text);
}

}  // namespace

ConversionSettings window_settings(frmMain& f) {
  ConversionSettings s;
  s.format = f.OutputTypesBox.selected_index() == 0 ? 1 : 4;
  s.scale = checked_index(scale_buttons(f), f.store.SCALE);
  s.place = checked_index(place_buttons(f), 1);
  s.no_aspect_correction = !f.AspectRatioCorrect.checked();
  s.grey = f.GreyScale.checked();
  s.brightness = f.store.BRIGHTNESS;
  s.contrast = f.store.CONTRAST;
  s.method = checked_index(method_buttons(f), f.store.KMEANS);
  s.max_iterations = f.MaxKMeans.text();
  s.trans = f.store.TRANS;
  s.diffusion = f.Dither.checked() ? checked_index(kernel_buttons(f), 2) : 0;
  s.diffusion_strength = f.DitherValue.text();
  s.bayer = f.pattern.checked();
  s.bayer_strength = f.BayerValue.text();
  return s;
}

void apply_window_settings(frmMain& f, const ConversionSettings& s) {
  if (f.OutputTypesBox.count() > 1) f.OutputTypesBox.set_selected_index(s.format == 1 ? 0 : 1);

  scale_buttons(f)[static_cast<std::size_t>(s.scale)]->set_checked(true);
  f.store.SCALE = s.scale;
  place_buttons(f)[static_cast<std::size_t>(s.place)]->set_checked(true);
  f.AspectRatioCorrect.set_checked(!s.no_aspect_correction);
  f.store.ASPECT = s.no_aspect_correction ? 0 : 1;
  f.GreyScale.set_checked(s.grey);

  f.store.BRIGHTNESS = s.brightness;
  f.Brightness.set_text("Brightness: " + std::to_string(s.brightness));
  f.store.CONTRAST = s.contrast;
  f.Contrast.set_text("Contrast: " + std::to_string(s.contrast));
  f.store.TRANS = s.trans;
  f.TransLabel.set_text("Trans Threshold: " + std::to_string(s.trans));

  method_buttons(f)[static_cast<std::size_t>(s.method)]->set_checked(true);
  STATECHANGESCALING(f);
  f.store.KMEANS = s.method;
  set_quietly(f.MaxKMeans, s.max_iterations);
  f.store.MAXITERATIONS = rounded_number_value(s.max_iterations);

  // No diffusion keeps the kernel that was chosen, as unchecking the box does.
  f.Dither.set_checked(s.diffusion != 0);
  for (fw::OptionButton* kernel : {&f.Atkinson, &f.Stucki, &f.FloydSteinburg, &f.Burkes})
    kernel->set_enabled(s.diffusion != 0);
  if (s.diffusion != 0) {
    kernel_buttons(f)[static_cast<std::size_t>(s.diffusion)]->set_checked(true);
    f.store.DITHER = s.diffusion;
  }
  set_quietly(f.DitherValue, s.diffusion_strength);
  f.store.DITHERSTRENGTH = number_value(s.diffusion_strength) / 100.0;

  f.pattern.set_checked(s.bayer);
  set_quietly(f.BayerValue, s.bayer_strength);
  f.store.BAYERSTRENGTH = number_value(s.bayer_strength) / 100.0;
}

void LOADSETTINGS(frmMain& f) {
  if (!f.desktop.open_settings) return;
  const std::optional<std::string> path = f.desktop.open_settings(f.window());
  if (!path || path->empty()) return;
  ConversionSettings s = window_settings(f);
  const std::string wrong = load_settings_file(*path, s);
  if (!wrong.empty()) {
    f.desktop.message("Could not load the settings: " + wrong + ".");
    return;
  }
  apply_window_settings(f, s);
}

void SAVESETTINGS(frmMain& f) {
  if (!f.desktop.save_settings) return;
  const std::optional<std::string> path = f.desktop.save_settings(f.window());
  if (!path || path->empty()) return;
  const std::string wrong = save_settings_file(*path, window_settings(f));
  if (!wrong.empty()) {
    f.desktop.message("Could not save " + *path + ": " + wrong + ".");
    return;
  }
  f.desktop.message("Saved the settings to " + *path + ".");
}

}  // namespace tessera
