#include "tessera/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <algorithm>
#include <filesystem>

#include "tessera/surface.h"

namespace tessera {

namespace {

struct LineError {
  int line = 0;
  std::string message;
};

// A palette file is named relative to the settings file that names it, so a
// folder with both moves as a whole; the command line's own --palette is
// relative to where it runs.
void place_beside(const std::string& folder, ConversionSettings& s) {
  if (folder.empty() || s.palette.empty()) return;
  const std::filesystem::path palette(s.palette);
  if (palette.is_relative()) s.palette = (std::filesystem::path(folder) / palette).string();
}

// The palette as the file at path names it: by its name alone where it lies
// beside the file, else by its whole path.
std::string palette_named_from(const std::string& path, const std::string& palette) {
  if (palette.empty()) return palette;
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::weakly_canonical(std::filesystem::absolute(palette, ec), ec);
  const std::filesystem::path folder =
      std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec).parent_path();
  if (ec) return palette;
  return file.parent_path() == folder ? file.filename().string() : file.string();
}

LineError read_lines(std::string_view text, ConversionSettings& settings, const std::string& folder,
                    std::vector<std::string>* named) {
  ConversionSettings next = settings;
  std::vector<std::string> names;
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
    names.emplace_back(key->name);
    if (key->text == &ConversionSettings::palette) place_beside(folder, next);
    if (text.empty()) break;
  }
  // The file's own lines win over its best look, wherever they stand in it.
  if (next.best)
    apply_best(next, [&](std::string_view name) { return std::find(names.begin(), names.end(), name) != names.end(); });
  settings = next;
  if (named != nullptr) named->insert(named->end(), names.begin(), names.end());
  return {};
}

}  // namespace

std::string settings_file_text(const ConversionSettings& s) {
  std::string out = "# Tessera settings\n";
  for (const SettingKey& key : setting_keys())
    if (written_to_files(key, s)) out += std::string(key.name) + " = " + setting_value(key, s) + "\n";
  return out;
}

std::string read_settings_text(std::string_view text, ConversionSettings& settings,
                               std::vector<std::string>* named) {
  const LineError e = read_lines(text, settings, {}, named);
  return e.line == 0 ? std::string() : "line " + std::to_string(e.line) + ": " + e.message;
}

namespace {

// A settings file is a few hundred bytes; anything near this is not one,
// and reading it whole could take all memory.
constexpr off_t kMaxSettingsBytes = 1 << 20;

// The file's text, or why it is not read: only a regular file of at most
// kMaxSettingsBytes, so that a device or a FIFO named by mistake (or a link
// to one) neither blocks the caller nor feeds it without end.
std::string read_settings_bytes(const std::string& path, std::string& text) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "cannot read the file: " + std::string(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  // O_NONBLOCK: a FIFO put in the file's place since the check would hold
  // the open until something writes to it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return "cannot read the file: " + std::string(std::strerror(errno));
  std::string why;
  if (::fstat(fd, &st) != 0) {
    why = "cannot read the file: " + std::string(std::strerror(errno));
  } else if (!S_ISREG(st.st_mode)) {
    why = "not a regular file";
  } else if (st.st_size > kMaxSettingsBytes) {
    why = "too large for a settings file (more than 1 MB)";
  } else {
    // One byte more than the limit tells a file that grew since fstat.
    text.resize(static_cast<std::size_t>(kMaxSettingsBytes) + 1);
    std::size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        why = "cannot read the file: " + std::string(std::strerror(errno));
        break;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (why.empty() && got > static_cast<std::size_t>(kMaxSettingsBytes))
      why = "too large for a settings file (more than 1 MB)";
    text.resize(got);
  }
  ::close(fd);
  return why;
}

}  // namespace

std::string load_settings_file(const std::string& path, ConversionSettings& settings,
                               std::vector<std::string>* named) {
  std::string text;
  const std::string why = read_settings_bytes(path, text);
  if (!why.empty()) return path + ": " + why;
  const LineError e = read_lines(text, settings, std::filesystem::path(path).parent_path().string(), named);
  return e.line == 0 ? std::string() : path + ":" + std::to_string(e.line) + ": " + e.message;
}

std::string save_settings_file(const std::string& path, const ConversionSettings& settings) {
  ConversionSettings named = settings;
  named.palette = palette_named_from(path, settings.palette);
  const std::string text = settings_file_text(named);
  return write_file_atomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace tessera
