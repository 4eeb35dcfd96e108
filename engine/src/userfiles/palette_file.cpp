#include "tessera/palette_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tessera/surface.h"

namespace tessera {

namespace {

// No palette file of any of these formats comes near this; a larger file is
// something else, and reading it whole would only cost memory.
constexpr std::uintmax_t kMaxFileBytes = 1 << 20;

constexpr std::size_t kActTable = 768;
constexpr std::size_t kActWithCount = 772;
constexpr std::size_t kBmp1Bytes = 9032, kBmp1Palette = 9000;
constexpr std::size_t kBmp4Bytes = 16032, kBmp4Palette = 16000;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

PaletteColour on_grid(int r, int g, int b) { return {to_grid(r), to_grid(g), to_grid(b)}; }

PaletteFileRead refuse(const std::string& name, int line, std::string reason) {
  PaletteFileRead r;
  r.error = PaletteFileError{name, line, std::move(reason)};
  return r;
}

std::string too_many(std::size_t n) {
  return "holds " + std::to_string(n) + " colours; a palette file may hold at most " +
         std::to_string(kMaxPaletteFileColours);
}

// The lines of a text file, without their line ends and with a leading
// byte-order mark removed.
std::vector<std::string_view> split_lines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// 'word', for messages. (Built by appending: GCC 12 warns falsely about
// "'" + std::string(...).)
std::string quoted(std::string_view word) {
  std::string out;
  out.reserve(word.size() + 2);
  out += '\'';
  out.append(word);
  out += '\'';
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// The next whitespace-separated word of s, removed from it.
std::string_view next_word(std::string_view& s) {
  s = trim(s);
  std::size_t n = 0;
  while (n < s.size() && !std::isspace(static_cast<unsigned char>(s[n]))) ++n;
  const std::string_view w = s.substr(0, n);
  s.remove_prefix(n);
  return w;
}

// Digits only: std::from_chars takes a minus sign, so "-0" would be read as 0
// and "#-1-1-1" as a colour, where no palette writer puts a sign.
bool all_digits(std::string_view word, int base) {
  return !word.empty() && std::all_of(word.begin(), word.end(), [base](char c) {
    return base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                      : std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// A channel value written in decimal, 0..255; "" when it is one, else why not.
std::string channel_value(std::string_view word, int& value) {
  if (word.empty()) return "a colour needs three numbers (red, green, blue)";
  if ((word.front() == '-' || word.front() == '+') && all_digits(word.substr(1), 10))
    return quoted(word) + " is not a channel value from 0 to 255";
  if (!all_digits(word, 10)) return quoted(word) + " is not a number";
  int v = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
  if (ec == std::errc::result_out_of_range || (ec == std::errc() && end == word.data() + word.size() && (v < 0 || v > 255)))
    return quoted(word) + " is not a channel value from 0 to 255";
  if (ec != std::errc() || end != word.data() + word.size()) return quoted(word) + " is not a number";
  value = v;
  return {};
}

// "R G B" at the start of a line; trailing text (a colour name) is left to
// the caller. Returns "" or the reason.
std::string three_values(std::string_view& rest, PaletteColour& colour) {
  int v[3] = {0, 0, 0};
  for (int& c : v)
    if (std::string reason = channel_value(next_word(rest), c); !reason.empty()) return reason;
  colour = on_grid(v[0], v[1], v[2]);
  return {};
}

PaletteFileRead parse_gpl(std::string_view bytes, const std::string& name) {
  const std::vector<std::string_view> lines = split_lines(bytes);
  if (lines.empty() || trim(lines[0]) != "GIMP Palette") return refuse(name, 1, "not a GIMP palette (the first line must be \"GIMP Palette\")");
  PaletteFileRead r;
  int first_over = 0;  // the line of the first colour past the palette's size
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = trim(lines[i]);
    if (line.empty() || line.front() == '#') continue;
    // Header lines ("Name: ...", "Columns: ...") start with a word and a colon.
    if (std::isalpha(static_cast<unsigned char>(line.front()))) {
      const std::string_view word = line.substr(0, line.find_first_of(" \t"));
      if (word.back() == ':' && r.colours.empty()) continue;
    }
    PaletteColour colour{};
    if (std::string reason = three_values(line, colour); !reason.empty())
      return refuse(name, static_cast<int>(i) + 1, reason);
    r.colours.push_back(colour);
    if (r.colours.size() == std::size_t{kMaxPaletteFileColours} + 1) first_over = static_cast<int>(i) + 1;
  }
  if (r.colours.size() > kMaxPaletteFileColours) return refuse(name, first_over, too_many(r.colours.size()));
  r.ok = true;
  return r;
}

PaletteFileRead parse_jasc(std::string_view bytes, const std::string& name) {
  const std::vector<std::string_view> lines = split_lines(bytes);
  if (lines.empty() || trim(lines[0]) != "JASC-PAL") return refuse(name, 1, "not a JASC palette (the first line must be \"JASC-PAL\")");
  if (lines.size() < 2 || trim(lines[1]) != "0100") return refuse(name, 2, "unknown JASC palette version (expected \"0100\")");
  if (lines.size() < 3) return refuse(name, 3, "the colour count is missing");
  int count = 0;
  {
    const std::string_view word = trim(lines[2]);
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), count);
    if (!all_digits(word, 10) || ec != std::errc() || end != word.data() + word.size())
      return refuse(name, 3, quoted(word) + " is not a colour count");
  }
  if (count > kMaxPaletteFileColours) return refuse(name, 3, too_many(static_cast<std::size_t>(count)));
  PaletteFileRead r;
  std::size_t i = 3;
  for (; i < lines.size() && static_cast<int>(r.colours.size()) < count; ++i) {
    std::string_view line = trim(lines[i]);
    PaletteColour colour{};
    if (std::string reason = three_values(line, colour); !reason.empty())
      return refuse(name, static_cast<int>(i) + 1, reason);
    if (!trim(line).empty()) return refuse(name, static_cast<int>(i) + 1, "more than three numbers for one colour");
    r.colours.push_back(colour);
  }
  if (static_cast<int>(r.colours.size()) < count)
    return refuse(name, static_cast<int>(lines.size()) + 1,
                  "the file ends after " + std::to_string(r.colours.size()) + " of " + std::to_string(count) +
                      " colours");
  for (; i < lines.size(); ++i)
    if (!trim(lines[i]).empty())
      return refuse(name, static_cast<int>(i) + 1, "more colours than the count of " + std::to_string(count));
  r.ok = true;
  return r;
}

PaletteFileRead parse_act(std::string_view bytes, const std::string& name) {
  if (bytes.size() != kActTable && bytes.size() != kActWithCount)
    return refuse(name, 0,
                  "is " + std::to_string(bytes.size()) +
                      " bytes; a colour table has 768 bytes, or 772 with its colour count");
  const auto byte = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
  std::size_t count = 256;
  if (bytes.size() == kActWithCount) {
    count = static_cast<std::size_t>(byte(768) * 256 + byte(769));
    if (count == 0 || count > 256) return refuse(name, 0, "colour count " + std::to_string(count) + " is not 1 to 256");
  } else {
    // Without a count the table always has 256 entries; tools that write
    // short palettes this way pad them with black, so trailing black entries
    // are padding.
    while (count > 0 && byte(3 * count - 3) == 0 && byte(3 * count - 2) == 0 && byte(3 * count - 1) == 0) --count;
  }
  if (count > kMaxPaletteFileColours) return refuse(name, 0, too_many(count));
  PaletteFileRead r;
  for (std::size_t i = 0; i < count; ++i) r.colours.push_back(on_grid(byte(3 * i), byte(3 * i + 1), byte(3 * i + 2)));
  r.ok = true;
  return r;
}

PaletteFileRead parse_hex(std::string_view bytes, const std::string& name) {
  PaletteFileRead r;
  int first_over = 0;  // the line of the first colour past the palette's size
  const std::vector<std::string_view> lines = split_lines(bytes);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = trim(lines[i]);
    if (line.empty()) continue;
    const std::optional<PaletteColour> colour = parse_hex_colour(line);
    if (!colour) return refuse(name, static_cast<int>(i) + 1, quoted(line) + " is not a colour RRGGBB");
    r.colours.push_back(*colour);
    if (r.colours.size() == std::size_t{kMaxPaletteFileColours} + 1) first_over = static_cast<int>(i) + 1;
  }
  if (r.colours.size() > kMaxPaletteFileColours) return refuse(name, first_over, too_many(r.colours.size()));
  r.ok = true;
  return r;
}

PaletteFileRead parse_target(std::string_view bytes, const std::string& name, std::size_t size, std::size_t at,
                             const char* format) {
  if (bytes.size() != size)
    return refuse(name, 0,
                  "is " + std::to_string(bytes.size()) + " bytes; a " + format + " file has " + std::to_string(size));
  PaletteFileRead r;
  for (std::size_t n = 0; n < 16; ++n) {
    const int gb = static_cast<unsigned char>(bytes[at + 2 * n]);
    const int red = static_cast<unsigned char>(bytes[at + 2 * n + 1]) & 15;
    r.colours.push_back({17 * red, 17 * (gb >> 4), 17 * (gb & 15)});
  }
  r.ok = true;
  return r;
}

void put_text_colour(std::ostringstream& out, const PaletteColour& c, const char* separator) {
  out << c[0] << separator << c[1] << separator << c[2];
}

}  // namespace

std::string PaletteFileError::message() const {
  return line > 0 ? file + ":" + std::to_string(line) + ": " + reason : file + ": " + reason;
}

const std::vector<PaletteFormatRow>& palette_formats() {
  static const std::vector<PaletteFormatRow> rows = {
      {PaletteFormat::Gpl, ".gpl", "GIMP palette", true},
      {PaletteFormat::JascPal, ".pal", "JASC palette", true},
      {PaletteFormat::Act, ".act", "Adobe colour table", true},
      {PaletteFormat::Hex, ".hex", "Hex list", true},
      {PaletteFormat::Bmp1, ".bmp1", "BMP1 target file", false},
      {PaletteFormat::Bmp4, ".bmp4", "BMP4 target file", false},
  };
  return rows;
}

std::string palette_extensions(bool writable_only) {
  std::vector<const char*> names;
  for (const PaletteFormatRow& row : palette_formats())
    if (row.writable || !writable_only) names.push_back(row.extension);
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i)
    out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + std::string(names[i]);
  return out;
}

std::optional<PaletteFormat> palette_format_of(const std::string& path) {
  const std::string ext = lower(std::filesystem::path(path).extension().string());
  for (const PaletteFormatRow& row : palette_formats())
    if (ext == row.extension) return row.format;
  return std::nullopt;
}

bool palette_format_writable(PaletteFormat f) {
  for (const PaletteFormatRow& row : palette_formats())
    if (row.format == f) return row.writable;
  return false;
}

std::vector<PaletteColour> distinct_colours(const std::vector<PaletteColour>& colours) {
  std::vector<PaletteColour> out;
  std::vector<bool> seen(4096, false);
  for (const PaletteColour& c : colours) {
    const std::size_t key = static_cast<std::size_t>((c[0] / 17) * 256 + (c[1] / 17) * 16 + c[2] / 17);
    if (seen[key]) continue;
    seen[key] = true;
    out.push_back(c);
  }
  return out;
}

std::optional<PaletteColour> parse_hex_colour(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6 || !all_digits(text, 16)) return std::nullopt;
  int v[3] = {0, 0, 0};
  for (int c = 0; c < 3; ++c) {
    const char* first = text.data() + 2 * c;
    const auto [end, ec] = std::from_chars(first, first + 2, v[c], 16);
    if (ec != std::errc() || end != first + 2) return std::nullopt;
  }
  return on_grid(v[0], v[1], v[2]);
}

PaletteFileRead parse_palette(PaletteFormat format, std::string_view bytes, const std::string& name) {
  switch (format) {
    case PaletteFormat::Gpl:
      return parse_gpl(bytes, name);
    case PaletteFormat::JascPal:
      return parse_jasc(bytes, name);
    case PaletteFormat::Act:
      return parse_act(bytes, name);
    case PaletteFormat::Hex:
      return parse_hex(bytes, name);
    case PaletteFormat::Bmp1:
      return parse_target(bytes, name, kBmp1Bytes, kBmp1Palette, "BMP1");
    case PaletteFormat::Bmp4:
      return parse_target(bytes, name, kBmp4Bytes, kBmp4Palette, "BMP4");
  }
  return refuse(name, 0, "unknown palette format");
}

PaletteFileRead read_palette_file(const std::string& path) {
  const std::optional<PaletteFormat> format = palette_format_of(path);
  if (!format) return refuse(path, 0, "unknown palette format (use " + palette_extensions(false) + ")");
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return refuse(path, 0, "is a folder");
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return refuse(path, 0, "cannot be read: " + ec.message());
  if (size > kMaxFileBytes) return refuse(path, 0, "is too large for a palette file");
  std::ifstream in(path, std::ios::binary);
  if (!in) return refuse(path, 0, "cannot be opened");
  // Read no more than the limit even when the file grows meanwhile.
  std::string bytes(static_cast<std::size_t>(kMaxFileBytes) + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return refuse(path, 0, "cannot be read");
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (bytes.size() > kMaxFileBytes) return refuse(path, 0, "is too large for a palette file");
  return parse_palette(*format, bytes, path);
}

PaletteEntries sixteen_entries(const std::vector<PaletteColour>& colours) {
  PaletteEntries entries{};
  for (std::size_t i = 0; i < entries.size() && i < colours.size(); ++i) entries[i] = colours[i];
  return entries;
}

PaletteEntries palette_entries(const Palette& palette) {
  PaletteEntries entries{};
  for (std::size_t k = 0; k < entries.size(); ++k)
    for (std::size_t c = 0; c < 3; ++c) entries[k][c] = palette[k + 1][c + 1] & 255;
  return entries;
}

std::vector<std::uint8_t> palette_file_bytes(PaletteFormat format, const PaletteEntries& entries,
                                             const std::string& name) {
  std::ostringstream out;
  switch (format) {
    case PaletteFormat::Gpl: {
      out << "GIMP Palette\nName: " << name << "\nColumns: 16\n#\n";
      for (std::size_t k = 0; k < entries.size(); ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "%3d %3d %3d\tIndex %zu\n", entries[k][0], entries[k][1], entries[k][2], k);
        out << line;
      }
      break;
    }
    case PaletteFormat::JascPal:
      // Paint Shop Pro's files end their lines with CR LF.
      out << "JASC-PAL\r\n0100\r\n16\r\n";
      for (const PaletteColour& c : entries) {
        put_text_colour(out, c, " ");
        out << "\r\n";
      }
      break;
    case PaletteFormat::Act: {
      std::vector<std::uint8_t> bytes(kActWithCount, 0);
      for (std::size_t k = 0; k < entries.size(); ++k)
        for (std::size_t c = 0; c < 3; ++c) bytes[3 * k + c] = static_cast<std::uint8_t>(entries[k][c]);
      bytes[768] = 0;
      bytes[769] = 16;
      bytes[770] = 0xFF;  // no transparent entry
      bytes[771] = 0xFF;
      return bytes;
    }
    case PaletteFormat::Hex:
      for (const PaletteColour& c : entries) {
        char line[8];
        std::snprintf(line, sizeof line, "%02x%02x%02x", c[0] & 255, c[1] & 255, c[2] & 255);
        out << line << '\n';
      }
      break;
    case PaletteFormat::Bmp1:
    case PaletteFormat::Bmp4:
      return {};
  }
  const std::string text = out.str();
  return {text.begin(), text.end()};
}

std::string write_palette_file(const std::string& path, const PaletteEntries& entries) {
  const std::optional<PaletteFormat> format = palette_format_of(path);
  if (!format) return path + ": unknown palette format (use " + palette_extensions(true) + ")";
  if (!palette_format_writable(*format))
    return path + ": a target file is written by converting a picture, not as a palette file";
  // The name goes into a line of its own in the GIMP format.
  std::string stem = std::filesystem::path(path).stem().string();
  for (char& ch : stem)
    if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
  const std::string reason = write_file_atomically(path, palette_file_bytes(*format, entries, stem.empty() ? "Tessera" : stem));
  return reason.empty() ? std::string() : path + ": " + reason;
}

}  // namespace tessera
