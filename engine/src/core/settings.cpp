#include "tessera/settings.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <type_traits>

#include "tessera/number.h"

namespace tessera {

namespace {

using S = ConversionSettings;

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// 'text', as messages show a value.
std::string quoted(std::string_view text) {
  // Built piece by piece: GCC 12 takes "'" + std::string for an overlapping
  // copy and warns (-Wrestrict).
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  out.append(text.data(), text.size());
  out += '\'';
  return out;
}

// The shortest text that reads back as the same double.
std::string shortest(double v) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, end) : std::to_string(v);
}

// Reading and writing a member as a whole number, whatever its type (bool,
// int or one of the enumerations).
template <auto Member>
int get_member(const S& s) {
  return static_cast<int>(s.*Member);
}
template <auto Member>
void set_member(S& s, int value) {
  using T = std::remove_cvref_t<decltype(s.*Member)>;
  s.*Member = static_cast<T>(value);
}

template <auto Member>
SettingKey word(const char* name, char letter, const char* value_name, const char* help,
                std::vector<SettingWord> words) {
  return {name, letter, SettingKind::Word, value_name, help, 0, 0, std::move(words), &get_member<Member>,
          &set_member<Member>};
}
template <auto Member>
SettingKey flag(const char* name, const char* help) {
  return {name, 0, SettingKind::Flag, nullptr, help, 0, 0, {}, &get_member<Member>, &set_member<Member>};
}
template <auto Member>
SettingKey integer(const char* name, const char* help, int min, int max) {
  return {name, 0, SettingKind::Integer, "N", help, min, max, {}, &get_member<Member>, &set_member<Member>};
}
SettingKey text(const char* name, const char* help, std::string S::*member) {
  return {name, 0, SettingKind::Text, "TEXT", help, 0, 0, {}, nullptr, nullptr, member};
}
SettingKey name(const char* name, const char* value_name, const char* help, std::string S::*member) {
  return {name, 0, SettingKind::Name, value_name, help, 0, 0, {}, nullptr, nullptr, member, true};
}
SettingKey optional(SettingKey key) {
  key.only_when_set = true;
  return key;
}

SettingKey look(SettingKey key, const char* label = nullptr) {
  key.look = true;
  key.label = label;
  return key;
}

}  // namespace

const std::vector<SettingKey>& setting_keys() {
  static const std::vector<SettingKey> keys = {
      word<&S::format>("format", 'f', "FORMAT", "target format",
                       {{"bmp1", static_cast<int>(TargetFormat::Bmp1)}, {"bmp4", static_cast<int>(TargetFormat::Bmp4)}}),
      word<&S::scale>("scale", 0, "METHOD",
                      "resampling; area-lanczos filters when shrinking, -linear in linear light",
                      {{"nearest", static_cast<int>(Resampler::Nearest), Ctl::NearestNeighbor},
                       {"average", static_cast<int>(Resampler::Average), Ctl::Average},
                       {"bicubic", static_cast<int>(Resampler::Bicubic), Ctl::Bicubic},
                       {"lanczos", static_cast<int>(Resampler::Lanczos), Ctl::Lanczos},
                       {"area-lanczos", static_cast<int>(Resampler::AreaLanczos)},
                       {"area-lanczos-linear", static_cast<int>(Resampler::AreaLanczosLinear)}}),
      word<&S::place>("place", 0, "MODE", "placement in the working image",
                      {{"fill", static_cast<int>(PlaceMode::Fill), Ctl::Fill},
                       {"stretch", static_cast<int>(PlaceMode::Stretch), Ctl::Stretch},
                       {"center", static_cast<int>(PlaceMode::Center), Ctl::Center},
                       {"fit", static_cast<int>(PlaceMode::Fit), Ctl::Fit},
                       {"aspect-fill", static_cast<int>(PlaceMode::AspectFill), Ctl::AspFill}}),
      flag<&S::no_aspect_correction>("no-aspect-correction", "no aspect-ratio correction for BMP4"),
      flag<&S::grey>("grey", "convert in grey"),
      integer<&S::brightness>("brightness", "added to every channel", -255, 255),
      integer<&S::contrast>("contrast", "contrast in percent", -100, 100),
      word<&S::method>("method", 0, "METHOD", "palette method",
                       {{"median-cut", static_cast<int>(Method::MedianCut), Ctl::MedianCut},
                        {"kmeans", static_cast<int>(Method::Kmeans), Ctl::Kmeans},
                        {"colorq", static_cast<int>(Method::Colorq), Ctl::Scolorq}}),
      text("max-iterations", "iteration limit of kmeans, read like the window's box", &S::max_iterations),
      integer<&S::trans>("trans", "transparency threshold in percent", 0, 100),
      word<&S::diffusion>("diffusion", 0, "KERNEL", "error diffusion",
                          {{"none", static_cast<int>(Diffusion::None)},
                           {"floyd-steinberg", static_cast<int>(Diffusion::FloydSteinberg), Ctl::FloydSteinburg},
                           {"atkinson", static_cast<int>(Diffusion::Atkinson), Ctl::Atkinson},
                           {"burkes", static_cast<int>(Diffusion::Burkes), Ctl::Burkes},
                           {"stucki", static_cast<int>(Diffusion::Stucki), Ctl::Stucki},
                           {"jarvis-judice-ninke", static_cast<int>(Diffusion::JarvisJudiceNinke), Ctl::None,
                            "Jarvis, Judice and Ninke"},
                           {"sierra", static_cast<int>(Diffusion::Sierra)},
                           {"two-row-sierra", static_cast<int>(Diffusion::TwoRowSierra), Ctl::None, "Two-row Sierra"},
                           {"sierra-lite", static_cast<int>(Diffusion::SierraLite), Ctl::None, "Sierra Lite"}}),
      text("diffusion-strength", "diffusion strength in percent, read like the window's box",
           &S::diffusion_strength),
      flag<&S::bayer>("bayer", "ordered (Bayer) dithering before the mapping"),
      text("bayer-strength", "Bayer strength in percent", &S::bayer_strength),
      name("palette", "FILE", "convert onto the colours of a palette or target file", &S::palette),
      optional(word<&S::palette_pick>("palette-pick", 0, "HOW", "a palette of more colours than fit: which of them",
                                      {{"best", static_cast<int>(PalettePick::Best)},
                                       {"first", static_cast<int>(PalettePick::First)}})),
      optional(word<&S::palette_fill>("palette-fill", 0, "HOW",
                                      "a palette of fewer colours: the free entries repeat one, or suit the picture",
                                      {{"repeat", static_cast<int>(PaletteFill::Repeat)},
                                       {"picture", static_cast<int>(PaletteFill::Picture)}})),
      name("pin", "[N:]RRGGBB[,...]", "keep these colours in the palette (up to 15; N: at entry N)", &S::pins),
      look(word<&S::distance>("distance", 0, "DISTANCE",
                              "colour distance of the mapping and the look's palette and pairs",
                              {{"rgb", static_cast<int>(ColourDistance::Rgb), Ctl::None, "RGB"},
                               {"oklab", static_cast<int>(ColourDistance::Oklab), Ctl::None, "OKLab"}})),
      look(word<&S::light>("diffusion-light", 0, "LIGHT", "what diffusion carries its error in",
                           {{"gamma", static_cast<int>(DiffusionLight::Gamma)},
                            {"linear", static_cast<int>(DiffusionLight::Linear)}})),
      look(flag<&S::refine_palette>(
          "refine-palette", "refine the method's palette by pixel counts on the grid, keeping dominant colours")),
      look(flag<&S::fit_palette>("fit-palette",
                                 "fit the palette to its own dithering, seen through the eye's blur")),
      look(word<&S::cell_pairs>("cell-pairs", 0, "WHEN", "BMP1: choose each cell's pair before or with its dithering",
                                {{"before", static_cast<int>(CellPairs::Before)},
                                 {"dithered", static_cast<int>(CellPairs::Dithered), Ctl::None, "With dithering"}}),
           "BMP1 pairs"),
      look(flag<&S::best>("best", "the look that measures best; options given explicitly still win")),
  };
  return keys;
}

const SettingKey* find_setting_key(std::string_view name) {
  for (const SettingKey& k : setting_keys())
    if (name == k.name) return &k;
  return nullptr;
}

const SettingKey& setting_key(std::string_view name) {
  const SettingKey* key = find_setting_key(name);
  if (key == nullptr) std::abort();
  return *key;
}

std::string_view trimmed_value(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string setting_words(const SettingKey& key) {
  std::string out;
  for (std::size_t i = 0; i < key.words.size(); ++i) out += (i == 0 ? "" : ", ") + std::string(key.words[i].word);
  return out;
}

const char* word_of(const SettingKey& key, int value) {
  for (const SettingWord& w : key.words)
    if (w.value == value) return w.word;
  return nullptr;
}

namespace {

std::string label_or_spelt(const char* label, const char* spelling) {
  if (label != nullptr) return label;
  std::string out(spelling);
  for (char& c : out)
    if (c == '-') c = ' ';
  if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
  return out;
}

}  // namespace

std::string menu_label(const SettingWord& word) { return label_or_spelt(word.label, word.word); }
std::string menu_label(const SettingKey& key) { return label_or_spelt(key.label, key.name); }

Ctl control_of(const SettingKey& key, int value) {
  for (const SettingWord& w : key.words)
    if (w.value == value) return w.control;
  return Ctl::None;
}

std::string read_word(const std::vector<SettingWord>& words, std::string_view text, int& value) {
  const std::string word = lower(text);
  for (const SettingWord& w : words)
    if (word == w.word) {
      value = w.value;
      return {};
    }
  std::string allowed;
  for (std::size_t i = 0; i < words.size(); ++i) allowed += (i == 0 ? "" : ", ") + std::string(words[i].word);
  return "unknown word '" + std::string(text) + "'; allowed: " + allowed;
}

std::string read_whole_number(std::string_view text, int min, int max, int& value) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  long long n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  const bool whole = !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
  if (!whole || n < min || n > max)
    return quoted(text) + " is not a whole number from " + std::to_string(min) + " to " + std::to_string(max);
  value = static_cast<int>(n);
  return {};
}

std::string read_flag(std::string_view text, bool& value) {
  const std::string word = lower(text);
  if (word != "true" && word != "false") return quoted(text) + " is not true or false";
  value = word == "true";
  return {};
}

std::string set_setting(const SettingKey& key, std::string_view value, ConversionSettings& s) {
  switch (key.kind) {
    case SettingKind::Flag: {
      bool on = false;
      std::string wrong = read_flag(value, on);
      if (wrong.empty()) key.set(s, on ? 1 : 0);
      return wrong;
    }
    case SettingKind::Text:
    case SettingKind::Name: {
      // A line of a file cannot hold a line break; a number never needs one.
      std::string text(value);
      for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
      s.*key.text = text;
      return {};
    }
    case SettingKind::Word:
    case SettingKind::Integer: {
      int n = 0;
      std::string wrong = key.kind == SettingKind::Word ? read_word(key.words, value, n)
                                                        : read_whole_number(value, key.min, key.max, n);
      if (wrong.empty()) key.set(s, n);
      return wrong;
    }
  }
  return {};
}

bool written_to_files(const SettingKey& key, const ConversionSettings& s) {
  // With best on, a look setting left out would read back as best's choice,
  // so every one is written where it stands.
  if (key.look) return s.best || setting_is_set(key, s);
  return !key.only_when_set || setting_is_set(key, s);
}

const std::vector<BestChoice>& best_look() {
  static const std::vector<BestChoice> choices = {
      {"scale", "area-lanczos"},
      {"method", "colorq"},
      {"diffusion", "floyd-steinberg"},
      {"diffusion-light", "linear"},
      {"cell-pairs", "dithered"},
      {"fit-palette", "true"},
  };
  return choices;
}

void apply_best(ConversionSettings& s, const std::function<bool(std::string_view name)>& given) {
  for (const BestChoice& choice : best_look())
    if (!given(choice.name)) set_setting(setting_key(choice.name), choice.word, s);
}

std::string setting_value(const SettingKey& key, const ConversionSettings& s) {
  switch (key.kind) {
    case SettingKind::Flag:
      return key.get(s) != 0 ? "true" : "false";
    case SettingKind::Text:
    case SettingKind::Name:
      return std::string(trimmed_value(s.*key.text));
    case SettingKind::Word:
      if (const char* w = word_of(key, key.get(s))) return w;
      return std::to_string(key.get(s));
    case SettingKind::Integer:
      return std::to_string(key.get(s));
  }
  return {};
}

bool setting_is_set(const SettingKey& key, const ConversionSettings& s) {
  static const ConversionSettings defaults;
  return setting_value(key, s) != setting_value(key, defaults);
}

std::string setting_warning(const SettingKey& key, const ConversionSettings& s) {
  if (key.kind != SettingKind::Text) return {};
  const std::string& text = s.*key.text;
  if (is_number_text(text)) return {};
  return quoted(text) + " is not a number; read as " + shortest(number_value(text));
}

}  // namespace tessera
