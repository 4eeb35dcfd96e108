#include "tessera/settings_file.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tessera/number.h"
#include "tessera/surface.h"

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
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  out.append(text.data(), text.size());
  out += '\'';
  return out;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The shortest text that reads back as the same double.
std::string shortest(double v) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, end) : std::to_string(v);
}

struct LineError {
  int line = 0;
  std::string message;
};

LineError read_lines(std::string_view text, ConversionSettings& settings) {
  ConversionSettings next = settings;
  int line = 0;
  while (!text.empty() || line == 0) {
    ++line;
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::string_view body = trimmed(raw);
    if (body.empty() || body.front() == '#') {
      if (text.empty()) break;
      continue;
    }
    const std::size_t eq = body.find('=');
    if (eq == std::string_view::npos) return {line, "expected 'option = value', found '" + std::string(body) + "'"};
    const std::string_view name = trimmed(body.substr(0, eq));
    const std::string_view value = trimmed(body.substr(eq + 1));
    const SettingKey* key = find_setting_key(name);
    if (key == nullptr) return {line, "unknown setting '" + std::string(name) + "'"};
    const std::string wrong = set_setting(*key, value, next);
    if (!wrong.empty()) return {line, std::string(key->name) + ": " + wrong};
    if (text.empty()) break;
  }
  settings = next;
  return {};
}

}  // namespace

const std::vector<SettingKey>& setting_keys() {
  static const std::vector<SettingKey> keys = {
      {"format", SettingKind::Word, nullptr, &S::format, nullptr, 0, 0, {{"bmp1", 1}, {"bmp4", 4}}},
      {"scale",
       SettingKind::Word,
       nullptr,
       &S::scale,
       nullptr,
       0,
       0,
       {{"nearest", 0}, {"average", 1}, {"bicubic", 2}, {"lanczos", 3}}},
      {"place",
       SettingKind::Word,
       nullptr,
       &S::place,
       nullptr,
       0,
       0,
       {{"fill", 0}, {"stretch", 1}, {"center", 2}, {"fit", 3}, {"aspect-fill", 4}}},
      {"no-aspect-correction", SettingKind::Flag, &S::no_aspect_correction},
      {"grey", SettingKind::Flag, &S::grey},
      {"brightness", SettingKind::Integer, nullptr, &S::brightness, nullptr, -255, 255},
      {"contrast", SettingKind::Integer, nullptr, &S::contrast, nullptr, -100, 100},
      {"method",
       SettingKind::Word,
       nullptr,
       &S::method,
       nullptr,
       0,
       0,
       {{"median-cut", 0}, {"kmeans", 1}, {"colorq", 2}}},
      {"max-iterations", SettingKind::Text, nullptr, nullptr, &S::max_iterations},
      {"trans", SettingKind::Integer, nullptr, &S::trans, nullptr, 0, 100},
      {"diffusion",
       SettingKind::Word,
       nullptr,
       &S::diffusion,
       nullptr,
       0,
       0,
       {{"none", 0}, {"floyd-steinberg", 1}, {"atkinson", 2}, {"burkes", 3}, {"stucki", 4}}},
      {"diffusion-strength", SettingKind::Text, nullptr, nullptr, &S::diffusion_strength},
      {"bayer", SettingKind::Flag, &S::bayer},
      {"bayer-strength", SettingKind::Text, nullptr, nullptr, &S::bayer_strength},
  };
  return keys;
}

const SettingKey* find_setting_key(std::string_view name) {
  for (const SettingKey& k : setting_keys())
    if (name == k.name) return &k;
  return nullptr;
}

std::string setting_words(const SettingKey& key) {
  std::string out;
  for (std::size_t i = 0; i < key.words.size(); ++i) out += (i == 0 ? "" : ", ") + std::string(key.words[i].word);
  return out;
}

std::string set_setting(const SettingKey& key, std::string_view value, ConversionSettings& s) {
  switch (key.kind) {
    case SettingKind::Flag: {
      const std::string word = lower(value);
      if (word != "true" && word != "false") return quoted(value) + " is not true or false";
      s.*key.flag = word == "true";
      return {};
    }
    case SettingKind::Text: {
      // A line of a file cannot hold a line break; a number never needs one.
      std::string text(value);
      for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
      s.*key.text = text;
      return {};
    }
    case SettingKind::Word: {
      const std::string word = lower(value);
      for (const SettingWord& w : key.words)
        if (word == w.word) {
          s.*key.number = w.value;
          return {};
        }
      return "unknown word '" + std::string(value) + "'; allowed: " + setting_words(key);
    }
    case SettingKind::Integer: {
      std::string_view digits = value;
      if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
      long long n = 0;
      const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
      const bool whole = !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
      if (!whole || n < key.min || n > key.max)
        return quoted(value) + " is not a whole number from " + std::to_string(key.min) + " to " +
               std::to_string(key.max);
      s.*key.number = static_cast<int>(n);
      return {};
    }
  }
  return {};
}

std::string setting_value(const SettingKey& key, const ConversionSettings& s) {
  switch (key.kind) {
    case SettingKind::Flag:
      return s.*key.flag ? "true" : "false";
    case SettingKind::Text:
      return std::string(trimmed(s.*key.text));
    case SettingKind::Word:
      for (const SettingWord& w : key.words)
        if (w.value == s.*key.number) return w.word;
      return std::to_string(s.*key.number);
    case SettingKind::Integer:
      return std::to_string(s.*key.number);
  }
  return {};
}

std::string setting_warning(const SettingKey& key, const ConversionSettings& s) {
  if (key.kind != SettingKind::Text) return {};
  const std::string& text = s.*key.text;
  if (is_number_text(text)) return {};
  return quoted(text) + " is not a number; read as " + shortest(number_value(text));
}

std::string settings_file_text(const ConversionSettings& s) {
  std::string out = "# Tessera settings\n";
  for (const SettingKey& key : setting_keys()) out += std::string(key.name) + " = " + setting_value(key, s) + "\n";
  return out;
}

std::string read_settings_text(std::string_view text, ConversionSettings& settings) {
  const LineError e = read_lines(text, settings);
  return e.line == 0 ? std::string() : "line " + std::to_string(e.line) + ": " + e.message;
}

std::string load_settings_file(const std::string& path, ConversionSettings& settings) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return path + ": cannot read the file: " + std::strerror(errno);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return path + ": cannot read the file";
  const LineError e = read_lines(text, settings);
  return e.line == 0 ? std::string() : path + ":" + std::to_string(e.line) + ": " + e.message;
}

std::string save_settings_file(const std::string& path, const ConversionSettings& settings) {
  const std::string text = settings_file_text(settings);
  return write_file_atomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace tessera
