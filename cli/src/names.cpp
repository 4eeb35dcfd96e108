#include "names.h"

#include <cstdint>

namespace tessera::cli {

std::size_t utf8_sequence(std::string_view s, char32_t* code) {
  if (s.empty()) return 0;
  const auto byte = [&s](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t c = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07u, least = 0x10000;
  } else {
    return 0;  // a continuation byte, or a lead that only overlong or too large forms use
  }
  if (s.size() < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0u) != 0x80u) return 0;
    c = c << 6 | (byte(k) & 0x3Fu);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *code = c;
  return length;
}

namespace {

// What a terminal would act on or not show: C0 and C1 controls, DEL, and the
// two separators that end a line as a newline does.
bool needs_escape(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// One byte as the shell's $'...' writes it.
void escape_byte(std::string& out, std::uint8_t b) {
  out += '\\';
  switch (b) {
    case '\a': out += 'a'; return;
    case '\b': out += 'b'; return;
    case '\t': out += 't'; return;
    case '\n': out += 'n'; return;
    case '\v': out += 'v'; return;
    case '\f': out += 'f'; return;
    case '\r': out += 'r'; return;
    default:
      out += static_cast<char>('0' + (b >> 6));
      out += static_cast<char>('0' + ((b >> 3) & 7));
      out += static_cast<char>('0' + (b & 7));
  }
}

}  // namespace

bool is_utf8(std::string_view bytes) {
  char32_t code = 0;
  while (!bytes.empty()) {
    const std::size_t n = utf8_sequence(bytes, &code);
    if (n == 0) return false;
    bytes.remove_prefix(n);
  }
  return true;
}

std::string shown_name(std::string_view name) {
  bool plain = true;
  char32_t code = 0;
  for (std::string_view rest = name; plain && !rest.empty();) {
    const std::size_t n = utf8_sequence(rest, &code);
    plain = n != 0 && !needs_escape(code);
    rest.remove_prefix(n);
  }
  if (plain) return std::string(name);

  // In single quotes everything is literal but the quote itself, written
  // '\''; what needs escaping goes into a $'...' of its own, and quoting
  // starts again after it: 'a'$'\n''b'.
  std::string out = "'";
  bool escaping = false;
  for (std::string_view rest = name; !rest.empty();) {
    std::size_t n = utf8_sequence(rest, &code);
    const bool escape = n == 0 || needs_escape(code);
    if (n == 0) n = 1;  // a byte that is not UTF-8 is escaped on its own
    if (escape) {
      if (!escaping) out += "'$'";
      escaping = true;
      for (std::size_t k = 0; k < n; ++k) escape_byte(out, static_cast<std::uint8_t>(rest[k]));
    } else if (rest[0] == '\'') {
      out += "'\\''";
      escaping = false;
    } else {
      if (escaping) out += "''";
      escaping = false;
      out.append(rest.substr(0, n));
    }
    rest.remove_prefix(n);
  }
  return out + "'";
}

std::string base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k)
      group = group << 8 | (k < n ? static_cast<std::uint8_t>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

}  // namespace tessera::cli
