#include "caption_font.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "names.h"

namespace tessera::cli {

namespace {

// One letter: a row is five bits, the leftmost pixel the highest. Rows 0 to 6
// of the cell stand on the line, 7 hangs below it, and 8 stays blank, so an
// accented capital may reach into the row above its cell (kept here as row
// -1, at index 0). Capitals and ascenders start at row 0, small letters at
// row 2, which leaves rows 0 and 1 for their accents; a capital takes its
// accent in rows -1 and 0 over itself squeezed into rows 1 to 6, and so stays
// taller than the small letter of the same shape.
constexpr int kRowAbove = 1;
using Rows = std::array<std::uint8_t, kCellHeight + kRowAbove>;

constexpr std::size_t at_row(int row) { return static_cast<std::size_t>(row + kRowAbove); }

struct Drawn {
  char32_t code;
  std::array<const char*, kCellHeight> rows;  // rows left out are blank
};

// clang-format off
const Drawn kLetters[] = {
    {U'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {U'B', {"#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "}},
    {U'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {U'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
    {U'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {U'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
    {U'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
    {U'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {U'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {U'J', {"  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
    {U'K', {"#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"}},
    {U'L', {"#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"}},
    {U'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {U'N', {"#   #", "#   #", "##  #", "# # #", "#  ##", "#   #", "#   #"}},
    {U'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {U'P', {"#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "}},
    {U'Q', {" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"}},
    {U'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
    {U'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {U'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {U'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {U'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {U'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "}},
    {U'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
    {U'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {U'Z', {"#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"}},
    {U'a', {"     ", "     ", " ### ", "    #", " ####", "#   #", " ####"}},
    {U'b', {"#    ", "#    ", "# ## ", "##  #", "#   #", "#   #", "#### "}},
    {U'c', {"     ", "     ", " ### ", "#    ", "#    ", "#   #", " ### "}},
    {U'd', {"    #", "    #", " ## #", "#  ##", "#   #", "#   #", " ####"}},
    {U'e', {"     ", "     ", " ### ", "#   #", "#####", "#    ", " ### "}},
    {U'f', {"  ## ", " #  #", " #   ", "###  ", " #   ", " #   ", " #   "}},
    {U'g', {"     ", "     ", " ####", "#   #", "#   #", " ####", "    #", " ### "}},
    {U'h', {"#    ", "#    ", "# ## ", "##  #", "#   #", "#   #", "#   #"}},
    {U'i', {"  #  ", "     ", " ##  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {U'j', {"   # ", "     ", "  ## ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
    {U'k', {"#    ", "#    ", "#  # ", "# #  ", "##   ", "# #  ", "#  # "}},
    {U'l', {" ##  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {U'm', {"     ", "     ", "## # ", "# # #", "# # #", "#   #", "#   #"}},
    {U'n', {"     ", "     ", "# ## ", "##  #", "#   #", "#   #", "#   #"}},
    {U'o', {"     ", "     ", " ### ", "#   #", "#   #", "#   #", " ### "}},
    {U'p', {"     ", "     ", "#### ", "#   #", "#   #", "#### ", "#    ", "#    "}},
    {U'q', {"     ", "     ", " ## #", "#  ##", "#   #", " ####", "    #", "    #"}},
    {U'r', {"     ", "     ", "# ## ", "##  #", "#    ", "#    ", "#    "}},
    {U's', {"     ", "     ", " ####", "#    ", " ### ", "    #", "#### "}},
    {U't', {" #   ", " #   ", "###  ", " #   ", " #   ", " #  #", "  ## "}},
    {U'u', {"     ", "     ", "#   #", "#   #", "#   #", "#  ##", " ## #"}},
    {U'v', {"     ", "     ", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {U'w', {"     ", "     ", "#   #", "#   #", "# # #", "# # #", " # # "}},
    {U'x', {"     ", "     ", "#   #", " # # ", "  #  ", " # # ", "#   #"}},
    {U'y', {"     ", "     ", "#   #", "#   #", "#   #", " ####", "    #", " ### "}},
    {U'z', {"     ", "     ", "#####", "   # ", "  #  ", " #   ", "#####"}},
    {U'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {U'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {U'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {U'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {U'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {U'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {U'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {U'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {U'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {U'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {U' ', {"     "}},
    {U'!', {"  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "     ", "  #  "}},
    {U'"', {" # # ", " # # "}},
    {U'#', {" # # ", " # # ", "#####", " # # ", "#####", " # # ", " # # "}},
    {U'$', {"  #  ", " ####", "# #  ", " ### ", "  # #", "#### ", "  #  "}},
    {U'%', {"##   ", "##  #", "   # ", "  #  ", " #   ", "#  ##", "   ##"}},
    {U'&', {" ##  ", "#  # ", "# #  ", " #   ", "# # #", "#  # ", " ## #"}},
    {U'\'', {"  #  ", "  #  ", " #   "}},
    {U'(', {"   # ", "  #  ", " #   ", " #   ", " #   ", "  #  ", "   # "}},
    {U')', {" #   ", "  #  ", "   # ", "   # ", "   # ", "  #  ", " #   "}},
    {U'*', {"     ", "  #  ", "# # #", " ### ", "# # #", "  #  "}},
    {U'+', {"     ", "  #  ", "  #  ", "#####", "  #  ", "  #  "}},
    {U',', {"     ", "     ", "     ", "     ", " ##  ", "  #  ", " #   "}},
    {U'-', {"     ", "     ", "     ", "#####"}},
    {U'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
    {U'/', {"     ", "    #", "   # ", "  #  ", " #   ", "#    "}},
    {U':', {"     ", " ##  ", " ##  ", "     ", " ##  ", " ##  "}},
    {U';', {"     ", " ##  ", " ##  ", "     ", " ##  ", "  #  ", " #   "}},
    {U'<', {"   # ", "  #  ", " #   ", "#    ", " #   ", "  #  ", "   # "}},
    {U'=', {"     ", "     ", "#####", "     ", "#####"}},
    {U'>', {" #   ", "  #  ", "   # ", "    #", "   # ", "  #  ", " #   "}},
    {U'?', {" ### ", "#   #", "    #", "   # ", "  #  ", "     ", "  #  "}},
    {U'@', {" ### ", "#   #", "    #", " ## #", "# # #", "# # #", " ### "}},
    {U'[', {" ### ", " #   ", " #   ", " #   ", " #   ", " #   ", " ### "}},
    {U'\\', {"     ", "#    ", " #   ", "  #  ", "   # ", "    #"}},
    {U']', {" ### ", "   # ", "   # ", "   # ", "   # ", "   # ", " ### "}},
    {U'^', {"  #  ", " # # ", "#   #"}},
    {U'_', {"     ", "     ", "     ", "     ", "     ", "     ", "#####"}},
    {U'`', {" #   ", "  #  "}},
    {U'{', {"   # ", "  #  ", "  #  ", " #   ", "  #  ", "  #  ", "   # "}},
    {U'|', {"  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {U'}', {" #   ", "  #  ", "  #  ", "   # ", "  #  ", "  #  ", " #   "}},
    {U'~', {"     ", "     ", " #   ", "# # #", "   # "}},
    // Letters that are no letter with an accent.
    {U'ß', {" ### ", "#   #", "#  # ", "# #  ", "#  # ", "#   #", "# ## "}},
    {U'Æ', {" ####", "# #  ", "# #  ", "#####", "# #  ", "# #  ", "# ###"}},
    {U'æ', {"     ", "     ", "## # ", "  # #", " ####", "# #  ", " # ##"}},
    {U'Ø', {"    #", " ### ", "#  ##", "# # #", "##  #", " ### ", "#    "}},
    {U'ø', {"     ", "    #", " ### ", "#  ##", "# # #", "##  #", " ### ", "#    "}},
    {U'Œ', {" ####", "# #  ", "# #  ", "# ###", "# #  ", "# #  ", " ####"}},
    {U'œ', {"     ", "     ", " # # ", "# # #", "# ###", "# #  ", " # ##"}},
    {U'Ð', {" ### ", " #  #", " #  #", "### #", " #  #", " #  #", " ### "}},
    {U'ð', {" # # ", "  #  ", " # # ", " ####", "#   #", "#   #", " ### "}},
    {U'Þ', {"#    ", "#### ", "#   #", "#   #", "#### ", "#    ", "#    "}},
    {U'þ', {"#    ", "#    ", "#### ", "#   #", "#   #", "#### ", "#    ", "#    "}},
    {U'Ł', {"#    ", "#    ", "# #  ", "##   ", "#    ", "#    ", "#####"}},
    {U'ł', {" ##  ", "  #  ", "  ## ", " ##  ", "  #  ", "  #  ", " ### "}},
    {U'đ', {"  ###", "    #", " ## #", "#  ##", "#   #", "#   #", " ####"}},
    {U'ı', {"     ", "     ", " ##  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {U'ȷ', {"     ", "     ", "  ## ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
};
// clang-format on

// Accents above the letter take rows 0 and 1; below it, row 7.
enum class Accent { Grave, Acute, Circumflex, Tilde, Macron, Breve, Dot, Diaeresis, Ring, DoubleAcute, Caron,
                    Cedilla, CommaBelow, Ogonek };

struct AccentShape {
  Accent accent;
  char32_t combining;  // the combining character of the accent
  std::array<const char*, 2> rows;
  bool below;
};

const AccentShape kAccents[] = {
    {Accent::Grave, U'\u0300', {" #   ", "  #  "}, false},
    {Accent::Acute, U'\u0301', {"   # ", "  #  "}, false},
    {Accent::Circumflex, U'\u0302', {"  #  ", " # # "}, false},
    {Accent::Tilde, U'\u0303', {" ## #", "#  # "}, false},
    {Accent::Macron, U'\u0304', {" ### ", "     "}, false},
    {Accent::Breve, U'\u0306', {"#   #", " ### "}, false},
    {Accent::Dot, U'\u0307', {"  #  ", "     "}, false},
    {Accent::Diaeresis, U'\u0308', {" # # ", "     "}, false},
    {Accent::Ring, U'\u030A', {" ### ", " # # "}, false},
    {Accent::DoubleAcute, U'\u030B', {"  # #", " # # "}, false},
    {Accent::Caron, U'\u030C', {" # # ", "  #  "}, false},
    {Accent::Cedilla, U'\u0327', {"  ## ", "     "}, true},
    {Accent::CommaBelow, U'\u0326', {"  #  ", "     "}, true},
    {Accent::Ogonek, U'\u0328', {"   ##", "     "}, true},
};

// The accented letters, each over the plain letter at the same place.
struct Accented {
  Accent accent;
  const char* letters;
  const char* plain;
};

const Accented kAccented[] = {
    {Accent::Grave, "ÀÈÌÒÙàèìòù", "AEIOUaeiou"},
    {Accent::Acute, "ÁÉÍÓÚÝáéíóúýĆćĹŃńŔŕŚśŹź", "AEIOUYaeiouyCcLNnRrSsZz"},
    {Accent::Circumflex, "ÂÊÎÔÛâêîôûĈĉĜĝĤĴĵŜŝŴŵŶŷ", "AEIOUaeiouCcGgHJjSsWwYy"},
    {Accent::Tilde, "ÃÑÕãñõĨĩŨũ", "ANOanoIiUu"},
    {Accent::Macron, "ĀāĒēĪīŌōŪū", "AaEeIiOoUu"},
    {Accent::Breve, "ĂăĔĕĞğĬĭŎŏŬŭ", "AaEeGgIiOoUu"},
    {Accent::Dot, "ĊċĖėĠġİŻż", "CcEeGgIZz"},
    {Accent::Diaeresis, "ÄËÏÖÜäëïöüÿŸ", "AEIOUaeiouyY"},
    {Accent::Ring, "ÅåŮů", "AaUu"},
    {Accent::DoubleAcute, "ŐőŰű", "OoUu"},
    {Accent::Caron, "ČčĎĚěĽŇňŘřŠšŤŽž", "CcDEeLNnRrSsTZz"},
    {Accent::Cedilla, "ÇçĶķĻļŅņŖŗŞşŢţ", "CcKkLlNnRrSsTt"},
    {Accent::CommaBelow, "ȘșȚț", "SsTt"},
    {Accent::Ogonek, "ĄąĘęĮįŲų", "AaEeIiUu"},
};

std::vector<char32_t> code_points(std::string_view utf8) {
  std::vector<char32_t> out;
  char32_t c = 0;
  while (!utf8.empty()) {
    const std::size_t n = utf8_sequence(utf8, &c);
    out.push_back(c);
    utf8.remove_prefix(n == 0 ? 1 : n);
  }
  return out;
}

std::uint8_t row_bits(const char* row) {
  std::uint8_t bits = 0;
  for (int col = 0; col < 5 && row != nullptr && row[col] != '\0'; ++col)
    if (row[col] == '#') bits |= static_cast<std::uint8_t>(0x10u >> col);
  return bits;
}

const AccentShape& shape_of(Accent a) {
  for (const AccentShape& s : kAccents)
    if (s.accent == a) return s;
  return kAccents[0];
}

// Rows 0 to 6 of a capital squeezed into six, to make room for an accent:
// the row goes that repeats the next one (the letter keeps its shape), or,
// where none does, the last row but one.
std::vector<std::uint8_t> squeezed(const Rows& rows) {
  std::vector<std::uint8_t> body(rows.begin() + at_row(0), rows.begin() + at_row(7));
  std::size_t drop = body.size() - 2;
  for (std::size_t r = 0; r + 1 < body.size(); ++r)
    if (body[r] == body[r + 1]) {
      drop = r;
      break;
    }
  body.erase(body.begin() + static_cast<std::ptrdiff_t>(drop));
  return body;
}

// The plain letter with the accent, or nothing when the two do not fit in
// one cell: an accent below a letter that hangs below the line, or above a
// small letter with an ascender (squeezed, a d would pass for an a).
std::optional<Rows> with_accent(Rows letter, char32_t code, Accent accent) {
  const AccentShape& shape = shape_of(accent);
  if (shape.below) {
    if (letter[at_row(7)] != 0) return std::nullopt;
    letter[at_row(7)] = row_bits(shape.rows[0]);
    return letter;
  }
  int top = 0;  // the accent's first row
  if (letter[at_row(0)] != 0 || letter[at_row(1)] != 0) {
    if (code < U'A' || code > U'Z') return std::nullopt;
    const auto body = squeezed(letter);
    for (int r = 0; r < 6; ++r) letter[at_row(1 + r)] = body[static_cast<std::size_t>(r)];
    top = -1;
  }
  letter[at_row(top)] = row_bits(shape.rows[0]);
  letter[at_row(top + 1)] = row_bits(shape.rows[1]);
  return letter;
}

// The letters drawn as they are, which a combining accent may go on.
const std::map<char32_t, Rows>& plain_letters() {
  static const std::map<char32_t, Rows> table = [] {
    std::map<char32_t, Rows> t;
    for (const Drawn& d : kLetters) {
      Rows rows{};
      for (int r = 0; r < kCellHeight; ++r) rows[at_row(r)] = row_bits(d.rows[static_cast<std::size_t>(r)]);
      t[d.code] = rows;
    }
    t[U'Đ'] = t[U'Ð'];  // one shape, two letters
    return t;
  }();
  return table;
}

// The plain ones and the accented ones.
const std::map<char32_t, Rows>& letters() {
  static const std::map<char32_t, Rows> table = [] {
    std::map<char32_t, Rows> t = plain_letters();
    for (const Accented& a : kAccented) {
      const std::vector<char32_t> accented = code_points(a.letters), plain = code_points(a.plain);
      for (std::size_t k = 0; k < accented.size() && k < plain.size(); ++k) {
        // The accent takes the place of the dot of i and j.
        const char32_t base = plain[k] == U'i' ? U'ı' : plain[k] == U'j' ? U'ȷ' : plain[k];
        const bool above = !shape_of(a.accent).below;
        if (const auto rows = with_accent(t.at(above ? base : plain[k]), plain[k], a.accent)) t[accented[k]] = *rows;
      }
    }
    return t;
  }();
  return table;
}

const AccentShape* combining_accent(char32_t c) {
  for (const AccentShape& s : kAccents)
    if (s.combining == c) return &s;
  return nullptr;
}

// Characters that belong to the one before them rather than starting one.
bool is_combining(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
         (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}
bool is_variation_or_modifier(char32_t c) {
  return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) || (c >= 0x1F3FB && c <= 0x1F3FF);
}
bool is_regional_indicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }

constexpr char32_t kNotDecoded = 0xFFFFFFFF;

// One cell of text: the character it started with and its letter, or none
// for the replacement mark.
struct Cell {
  char32_t first = 0;
  std::optional<Rows> rows;
  bool accented = false;  // a combining accent was put on it already
  bool flag_open = false;  // a single regional indicator, waiting for its pair
};

std::vector<Cell> cells_of(std::string_view text) {
  const auto& table = letters();
  const auto& plain = plain_letters();
  std::vector<Cell> cells;
  bool joined = false;  // the last character was a zero width joiner
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t n = utf8_sequence(text, &c);
    text.remove_prefix(n == 0 ? 1 : n);
    if (n == 0) {  // a byte that is not UTF-8 is a character of its own
      cells.push_back({kNotDecoded, std::nullopt});
      joined = false;
      continue;
    }
    if (!cells.empty()) {
      Cell& last = cells.back();
      if (joined || is_variation_or_modifier(c) || c == 0x200D) {
        // Emoji sequences are one character; none of them has a letter.
        if (joined || c == 0x200D) last.rows.reset();
        joined = c == 0x200D;
        continue;
      }
      if (is_combining(c)) {
        const AccentShape* accent = combining_accent(c);
        std::optional<Rows> rows;
        if (accent != nullptr && last.rows && !last.accented) {
          const char32_t base = last.first == U'i' ? U'ı' : last.first == U'j' ? U'ȷ' : last.first;
          const auto letter = plain.find(accent->below ? last.first : base);
          if (letter != plain.end()) rows = with_accent(letter->second, last.first, accent->accent);
        }
        last.rows = rows;
        last.accented = true;
        continue;
      }
      if (is_regional_indicator(c) && last.flag_open) {
        last.flag_open = false;
        continue;
      }
    }
    joined = false;
    Cell cell;
    cell.first = c;
    if (const auto at = table.find(c); at != table.end()) cell.rows = at->second;
    cell.flag_open = is_regional_indicator(c);
    cells.push_back(cell);
  }
  return cells;
}

}  // namespace

void draw_text(Surface& surface, int x, int y, std::string_view text, int scale, std::uint32_t argb) {
  const Rows& mark = letters().at(U'?');
  for (const Cell& cell : cells_of(text)) {
    const Rows& rows = cell.rows ? *cell.rows : mark;
    for (int row = -kRowAbove; row < kCellHeight; ++row)
      for (int col = 0; col < 5; ++col)
        if (rows[at_row(row)] & (0x10u >> col))
          surface.fill_box(x + col * scale, y + row * scale, x + (col + 1) * scale - 1, y + (row + 1) * scale - 1,
                           argb);
    x += kCellWidth * scale;
  }
}

}  // namespace tessera::cli
