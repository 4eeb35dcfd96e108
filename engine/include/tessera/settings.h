// The settings of a conversion: one table that names every setting once,
// with its short letter, its words, its range and its help. The command line's
// options, the settings files, the window's controls and the contact sheet
// all read it, so a new setting is one row here plus where it is used.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tessera/controls.h"

namespace tessera {

// The target file: the values are the format's own number.
enum class TargetFormat { Bmp1 = 1, Bmp4 = 4 };
// How the picture is resampled into the working image (the store's SCALE).
// The area-Lanczos ones widen the kernel when shrinking, the last in linear
// light; the window has no button for them.
enum class Resampler {
  Nearest = 0,
  Average = 1,
  Bicubic = 2,
  Lanczos = 3,
  AreaLanczos = 4,
  AreaLanczosLinear = 5
};
// Where the picture lies in the working image.
enum class PlaceMode { Fill = 0, Stretch = 1, Center = 2, Fit = 3, AspectFill = 4 };
// The palette method (the store's KMEANS).
enum class Method { MedianCut = 0, Kmeans = 1, Colorq = 2 };
// Error diffusion: None, or the kernel (the store's DITHER).
enum class Diffusion {
  None = 0,
  FloydSteinberg = 1,
  Atkinson = 2,
  Burkes = 3,
  Stucki = 4,
  // The look's wider kernels, which have no option button of their own.
  JarvisJudiceNinke = 5,
  Sierra = 6,
  TwoRowSierra = 7,
  SierraLite = 8,
};
// The colour distance of the look's choices (the store's DISTANCE).
enum class ColourDistance { Rgb = 0, Oklab = 1 };
// What error diffusion carries its error in (the store's LINEARLIGHT).
enum class DiffusionLight { Gamma = 0, Linear = 1 };
// When a BMP1 cell's pair is chosen (the store's PAIRSDITHERED).
enum class CellPairs { Before = 0, Dithered = 1 };
// A palette file with more colours than the palette has room for: the ones
// that suit the picture best, or the first in the file's order.
enum class PalettePick { Best = 0, First = 1 };
// A palette file with fewer colours than that: the free entries repeat one of
// its colours (so the picture shows only the file's), or the palette method
// chooses them for the picture around the file's colours, as around pins.
enum class PaletteFill { Repeat = 0, Picture = 1 };

// What the controls of a conversion stand at; the defaults are the window's
// start states.
struct ConversionSettings {
  TargetFormat format = TargetFormat::Bmp1;
  Resampler scale = Resampler::Nearest;
  PlaceMode place = PlaceMode::Stretch;
  bool no_aspect_correction = false;
  bool grey = false;
  int brightness = 0;
  int contrast = 0;
  Method method = Method::Colorq;
  std::string max_iterations = "50";  // read like the window's box
  int trans = 50;
  Diffusion diffusion = Diffusion::None;
  std::string diffusion_strength = "100";
  bool bayer = false;
  std::string bayer_strength = "100";
  std::string palette;  // a palette file to convert onto; "" for none
  std::string pins;     // RRGGBB[,RRGGBB...]
  PalettePick palette_pick = PalettePick::Best;
  PaletteFill palette_fill = PaletteFill::Repeat;
  // The look.
  ColourDistance distance = ColourDistance::Rgb;
  DiffusionLight light = DiffusionLight::Gamma;
  bool refine_palette = false;
  bool fit_palette = false;
  CellPairs cell_pairs = CellPairs::Before;
  bool best = false;

  friend bool operator==(const ConversionSettings&, const ConversionSettings&) = default;
};

// Text is read like the window's number boxes; Name is any text (a file, a
// list of colours), taken as it is.
enum class SettingKind { Flag, Integer, Word, Text, Name };

struct SettingWord {
  const char* word;  // as files and the command line write it
  int value;         // the enumerator's value
  // The window's option button that stands for the word; a word without one
  // (no diffusion, the formats of the list box) is told by the setting's use.
  Ctl control = Ctl::None;
  // How the window's Look menu shows the word; null: the word itself, its
  // hyphens as spaces and its first letter capitalised.
  const char* label = nullptr;
};

// One setting.
struct SettingKey {
  const char* name;        // the long option and the settings-file key
  char letter;             // the short option, 0 for none
  SettingKind kind;
  const char* value_name;  // what the help calls the value; nullptr for a flag
  const char* help;
  int min = 0, max = 0;    // Integer
  std::vector<SettingWord> words = {};
  // Flags, words and integers as a whole number (flags 0 or 1, words their
  // value); texts through text.
  int (*get)(const ConversionSettings&) = nullptr;
  void (*set)(ConversionSettings&, int) = nullptr;
  std::string ConversionSettings::*text = nullptr;
  // Written to a settings file only when it differs from its default, so
  // that files saved before the setting existed keep their bytes.
  bool only_when_set = false;
  // A setting of the look (the Look menu's, and best's to set): written only
  // when set, as above, or whenever best is on.
  bool look = false;
  // How the window's Look menu names the setting; null: as a word's label.
  const char* label = nullptr;
};

// Every setting, in the order of the help and of the files.
const std::vector<SettingKey>& setting_keys();
const SettingKey* find_setting_key(std::string_view name);
// The same for a name that must be in the table: a name missing there is a
// programming error, caught by the first call rather than by a crash later.
const SettingKey& setting_key(std::string_view name);

// "bmp1, bmp4" for a Word setting.
std::string setting_words(const SettingKey& key);
// The word of a value, nullptr when none has it.
const char* word_of(const SettingKey& key, int value);
// How a menu shows a word or a setting: its label, else the word or the name
// with its hyphens as spaces and its first letter capitalised.
std::string menu_label(const SettingWord& word);
std::string menu_label(const SettingKey& key);
// The control of a value's word, Ctl::None when it has none.
Ctl control_of(const SettingKey& key, int value);

// The grammar of values, one for every reader of them. Each returns "" or
// what is wrong with the value (without the setting's name).
// Words in any case.
std::string read_word(const std::vector<SettingWord>& words, std::string_view text, int& value);
// Whole numbers from min to max, an optional '+' before them.
std::string read_whole_number(std::string_view text, int min, int max, int& value);
// true or false in any case.
std::string read_flag(std::string_view text, bool& value);
// The text without the blanks (and a line's carriage return) around it.
std::string_view trimmed_value(std::string_view text);

// Sets one setting from its text. Returns "" or what is wrong with the value
// (without the setting's name).
std::string set_setting(const SettingKey& key, std::string_view value, ConversionSettings& settings);

// Does the value differ from the default?
bool setting_is_set(const SettingKey& key, const ConversionSettings& settings);

// Whether a settings file writes the key for these settings.
bool written_to_files(const SettingKey& key, const ConversionSettings& settings);

// The look that measures best, as settings and their words: what `best`
// stands for. Applies it to every setting for which given(name) is false,
// so that a setting given explicitly wins.
struct BestChoice {
  const char* name;
  const char* word;
};
const std::vector<BestChoice>& best_look();
void apply_best(ConversionSettings& settings, const std::function<bool(std::string_view name)>& given);

// The value as a settings file writes it.
std::string setting_value(const SettingKey& key, const ConversionSettings& settings);

// For a text setting that is not wholly a number (it still converts, as the
// window reads it): "'abc' is not a number; read as 0". "" otherwise.
std::string setting_warning(const SettingKey& key, const ConversionSettings& settings);

}  // namespace tessera
