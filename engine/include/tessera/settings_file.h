// The settings of a conversion as one value, and the settings files
// (".tessera") that hold them: plain text, one "option = value" a line, the
// option names being those of tessera-convert's long options.
//
// The window and the command line both read and write these files through
// the functions here, so a file saved by one gives the same bytes on the other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessera {

// What the controls of a conversion stand at; the defaults are the window's
// start states.
struct ConversionSettings {
  int format = 1;  // 1 = BMP1, 4 = BMP4
  int scale = 0;   // SCALE: 0 nearest, 1 average, 2 bicubic, 3 Lanczos
  int place = 1;   // 0 fill, 1 stretch, 2 center, 3 fit, 4 aspect-fill
  bool no_aspect_correction = false;
  bool grey = false;
  int brightness = 0;
  int contrast = 0;
  int method = 2;  // KMEANS: 0 median cut, 1 K-means++, 2 ColorQ
  std::string max_iterations = "50";  // read like the window's box
  int trans = 50;
  int diffusion = 0;  // 0 none, else DITHER: 1 Floyd-Steinberg, 2 Atkinson, 3 Burkes, 4 Stucki
  std::string diffusion_strength = "100";
  bool bayer = false;
  std::string bayer_strength = "100";

  friend bool operator==(const ConversionSettings&, const ConversionSettings&) = default;
};

enum class SettingKind { Flag, Integer, Word, Text };

struct SettingWord {
  const char* word;
  int value;
};

// One setting: its name (the long option), what its value is, where it lives.
struct SettingKey {
  const char* name;
  SettingKind kind;
  bool ConversionSettings::*flag = nullptr;
  int ConversionSettings::*number = nullptr;
  std::string ConversionSettings::*text = nullptr;
  int min = 0, max = 0;  // Integer
  std::vector<SettingWord> words = {};
};

// Every setting, in the order files are written.
const std::vector<SettingKey>& setting_keys();
const SettingKey* find_setting_key(std::string_view name);

// "bmp1, bmp4" for a Word setting.
std::string setting_words(const SettingKey& key);

// Sets one setting from its text: words and true/false in any case, whole
// numbers within the key's range, texts as they are. Returns "" or what is
// wrong with the value (without the setting's name).
std::string set_setting(const SettingKey& key, std::string_view value, ConversionSettings& settings);

// The value as a settings file writes it.
std::string setting_value(const SettingKey& key, const ConversionSettings& settings);

// For a text setting that is not wholly a number (it still converts, as the
// window reads it): "'abc' is not a number; read as 0". "" otherwise.
std::string setting_warning(const SettingKey& key, const ConversionSettings& settings);

// The file's text: a heading comment, then every setting in the fixed order.
std::string settings_file_text(const ConversionSettings& settings);

// Applies the lines of a file's text over the settings given. Blank lines and
// lines whose first non-blank is '#' are skipped; a later line for the same
// setting wins. Returns "" or "line N: ..." for the first line that is wrong;
// the settings are then left as they were.
std::string read_settings_text(std::string_view text, ConversionSettings& settings);

// The same for a file: "" or "<path>: ..." (including "<path>:N: ..." for a
// wrong line).
std::string load_settings_file(const std::string& path, ConversionSettings& settings);
// Writes the file through a temporary file renamed over the path; "" or why not.
std::string save_settings_file(const std::string& path, const ConversionSettings& settings);

}  // namespace tessera
