#include "tessera/settings_file.h"

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "tessera/surface.h"

namespace tessera {

namespace {

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
    const std::string_view body = trimmed_value(raw);
    if (body.empty() || body.front() == '#') {
      if (text.empty()) break;
      continue;
    }
    const std::size_t eq = body.find('=');
    if (eq == std::string_view::npos) return {line, "expected 'option = value', found '" + std::string(body) + "'"};
    const std::string_view name = trimmed_value(body.substr(0, eq));
    const std::string_view value = trimmed_value(body.substr(eq + 1));
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
