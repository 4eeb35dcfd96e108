#include "tessera/window_settings.h"

#include <QSignalBlocker>
#include <QWidget>
#include <string>

#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/given_palette.h"
#include "tessera/look_menu.h"
#include "tessera/number.h"
#include "tessera/palette_file.h"
#include "tessera/palette_menu.h"
#include "tessera/pins.h"

namespace tessera {

namespace {

// The word of a setting whose option button is checked; `otherwise` when
// none is (a group the window leaves unchecked).
template <typename T>
T checked_word(frmMain& f, const char* setting, T otherwise) {
  for (const SettingWord& w : setting_key(setting).words)
    if (w.control != Ctl::None && f.checked(w.control)) return static_cast<T>(w.value);
  return otherwise;
}

// A setting whose value the store holds without an option button (a word of
// the Look menu): the store's value; else the checked button's word.
template <typename T>
T stored_or_checked_word(frmMain& f, const char* setting, int stored, T otherwise) {
  const SettingKey& key = setting_key(setting);
  if (stored != 0 && word_of(key, stored) != nullptr && control_of(key, stored) == Ctl::None)
    return static_cast<T>(stored);
  return checked_word(f, setting, otherwise);
}

// Whether the settings still hold the best look in every setting of the look
// that it names. A file leaves out a setting of the look at its default, and
// `best` would bring the best word back for it; so the window calls its look
// the best only while it is.
bool look_is_best(const ConversionSettings& s) {
  for (const BestChoice& choice : best_look()) {
    const SettingKey& key = setting_key(choice.name);
    if (key.look && setting_value(key, s) != choice.word) return false;
  }
  return true;
}

// Checks the option button that stands for the value's word.
template <typename T>
void check_word(frmMain& f, const char* setting, T value) {
  const Ctl c = control_of(setting_key(setting), static_cast<int>(value));
  if (c == Ctl::None) return;
  if (auto* button = dynamic_cast<fw::OptionButton*>(&f.control(c))) button->set_checked(true);
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
  s.format = f.OutputTypesBox.selected_index() == 0 ? TargetFormat::Bmp1 : TargetFormat::Bmp4;
  s.scale = stored_or_checked_word(f, "scale", f.store.SCALE, static_cast<Resampler>(f.store.SCALE));
  s.place = checked_word(f, "place", PlaceMode::Stretch);
  s.no_aspect_correction = !f.AspectRatioCorrect.checked();
  s.grey = f.GreyScale.checked();
  s.brightness = f.store.BRIGHTNESS;
  s.contrast = f.store.CONTRAST;
  s.method = checked_word(f, "method", static_cast<Method>(f.store.KMEANS));
  s.max_iterations = f.MaxKMeans.text();
  s.trans = f.store.TRANS;
  // A kernel of the Look menu rides on the Dither box, as rendering reads it.
  s.diffusion = f.Dither.checked() ? stored_or_checked_word(f, "diffusion", f.store.KERNEL, Diffusion::Atkinson)
                                   : Diffusion::None;
  s.diffusion_strength = f.DitherValue.text();
  s.bayer = f.pattern.checked();
  s.bayer_strength = f.BayerValue.text();
  s.distance = static_cast<ColourDistance>(f.store.DISTANCE);
  s.light = static_cast<DiffusionLight>(f.store.LINEARLIGHT);
  s.refine_palette = f.store.REFINE != 0;
  s.fit_palette = f.store.PALETTEFIT != 0;
  s.cell_pairs = static_cast<CellPairs>(f.store.PAIRSDITHERED);
  s.best = best_chosen(f);
  // The imported palette, or the pins, each at the entry the window gave it
  // (an imported palette's entries are pinned by the import, not the user).
  if (f.store.GIVENPALETTE)
    s.palette = f.store.GIVENNAME;
  else
    s.pins = pin_list_text(pins_of(f.store));
  s.palette_pick = static_cast<PalettePick>(f.store.PALETTEPICK);
  s.palette_fill = static_cast<PaletteFill>(f.store.PALETTEFILL);
  return s;
}

void apply_window_settings(frmMain& f, const ConversionSettings& s) {
  if (f.OutputTypesBox.count() > 1) f.OutputTypesBox.set_selected_index(s.format == TargetFormat::Bmp1 ? 0 : 1);

  set_resampler(f, s.scale);
  check_word(f, "place", s.place);
  f.AspectRatioCorrect.set_checked(!s.no_aspect_correction);
  f.store.ASPECT = s.no_aspect_correction ? 0 : 1;
  f.GreyScale.set_checked(s.grey);

  f.store.BRIGHTNESS = s.brightness;
  f.Brightness.set_text("Brightness: " + std::to_string(s.brightness));
  f.store.CONTRAST = s.contrast;
  f.Contrast.set_text("Contrast: " + std::to_string(s.contrast));
  f.store.TRANS = s.trans;
  f.TransLabel.set_text("Trans Threshold: " + std::to_string(s.trans));

  check_word(f, "method", s.method);
  STATECHANGESCALING(f);
  f.store.KMEANS = static_cast<int>(s.method);
  set_quietly(f.MaxKMeans, s.max_iterations);
  f.store.MAXITERATIONS = rounded_number_value(s.max_iterations);

  // No diffusion keeps the kernel that was chosen, as unchecking the box does.
  const bool diffusion = s.diffusion != Diffusion::None;
  f.Dither.set_checked(diffusion);
  for (fw::OptionButton* kernel : {&f.Atkinson, &f.Stucki, &f.FloydSteinburg, &f.Burkes})
    kernel->set_enabled(diffusion);
  if (diffusion) {
    check_word(f, "diffusion", s.diffusion);
    f.store.DITHER = static_cast<int>(s.diffusion);
    // A kernel without a button of its own rides on the Dither box, as on
    // the command line; a button's kernel takes over from it.
    const bool own_button = control_of(setting_key("diffusion"), f.store.DITHER) != Ctl::None;
    f.store.KERNEL = own_button ? 0 : f.store.DITHER;
  }
  set_quietly(f.DitherValue, s.diffusion_strength);
  f.store.DITHERSTRENGTH = number_value(s.diffusion_strength) / 100.0;

  f.pattern.set_checked(s.bayer);
  set_quietly(f.BayerValue, s.bayer_strength);
  f.store.BAYERSTRENGTH = number_value(s.bayer_strength) / 100.0;

  f.store.DISTANCE = static_cast<int>(s.distance);
  f.store.LINEARLIGHT = static_cast<int>(s.light);
  f.store.REFINE = s.refine_palette ? 1 : 0;
  f.store.PALETTEFIT = s.fit_palette ? 1 : 0;
  f.store.PAIRSDITHERED = static_cast<int>(s.cell_pairs);
  show_look(f, s.best && look_is_best(s));

  set_palette_choice(f, s.palette_pick, s.palette_fill);
  if (s.palette.empty()) {
    drop_given_palette(f.store);
  } else if (!f.store.GIVENPALETTE || s.palette != f.store.GIVENNAME) {
    give_palette_file(f, s.palette);
  }
  std::vector<PinAt> pins;
  if (s.palette.empty() && read_pin_list(s.pins, pins).empty() && pins != pins_of(f.store)) {
    unpin_all(f.store);
    if (const std::string e = pin_colours(f.store, pins); !e.empty()) f.StatusBar.set_text("Pins not kept: " + e);
    show_pin_marks(f);
  }
}

void LOADSETTINGS(frmMain& f) {
  if (!f.desktop.open_settings) return;
  const std::optional<std::string> path = f.desktop.open_settings(f.window());
  if (!path || path->empty()) return;
  ConversionSettings s = window_settings(f);
  // A file holds the look only away from its defaults: what it leaves out
  // is the default, not what the window shows now.
  const ConversionSettings defaults;
  for (const SettingKey& key : setting_keys())
    if (key.look) key.set(s, key.get(defaults));
  std::string wrong = load_settings_file(*path, s);
  // The palette file the settings name must give a palette, as it must for
  // tessera-convert --settings.
  std::vector<PinAt> pins;
  if (wrong.empty()) {
    wrong = read_pin_list(s.pins, pins);
    if (!wrong.empty()) wrong = "pin: " + wrong;
  }
  if (wrong.empty() && !s.palette.empty()) {
    const PaletteFileRead read = read_palette_file(s.palette);
    if (!read.ok) wrong = read.error.message();
    else if (read.colours.empty()) wrong = s.palette + ": holds no colours";
  }
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
