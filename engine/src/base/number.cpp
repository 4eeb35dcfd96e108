#include "tessera/number.h"

#include <cctype>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace tessera {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

double finite(double v) {
  if (std::isnan(v)) return 0.0;
  if (std::isinf(v)) return v > 0 ? DBL_MAX : -DBL_MAX;
  return v;
}

double radix_integer(std::string_view s, std::size_t i, int radix) {
  long double v = 0;
  for (; i < s.size(); ++i) {
    const int d = digit_value(s[i]);
    if (d >= radix) break;
    v = v * radix + d;
  }
  return finite(static_cast<double>(v));
}

double c_strtod(const std::string& s) {
  static const locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
  return strtod_l(s.c_str(), nullptr, c_locale);
}

}  // namespace

double number_value(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '&') {
    ++i;
    if (i < text.size()) {
      const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
      if (k == 'H') return radix_integer(text, i + 1, 16);
      if (k == 'O') return radix_integer(text, i + 1, 8);
      if (k == 'B') return radix_integer(text, i + 1, 2);
    }
    return radix_integer(text, i, 8);
  }

  // Take only what the grammar allows, so that "inf", "nan" and hexadecimal
  // floats read as 0 like any other text.
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  std::size_t digits = 0;
  while (i < text.size() && is_digit(text[i])) number += text[i++], ++digits;
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    while (i < text.size() && is_digit(text[i])) number += text[i++], ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    bool any = false;
    while (j < text.size() && is_digit(text[j])) exponent += text[j++], any = true;
    if (any) number += exponent;
  }
  return finite(c_strtod(number));
}

int rounded_number_value(std::string_view text) {
  const double v = std::nearbyint(number_value(text));
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

bool is_number_text(std::string_view text) {
  std::size_t i = 0;
  const auto blank = [&](std::size_t k) { return k < text.size() && (text[k] == ' ' || text[k] == '\t'); };
  while (blank(i)) ++i;
  std::size_t digits = 0;
  if (i < text.size() && text[i] == '&') {
    ++i;
    int radix = 8;
    if (i < text.size()) {
      const char k = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
      if (k == 'H' || k == 'O' || k == 'B') {
        radix = k == 'H' ? 16 : k == 'O' ? 8 : 2;
        ++i;
      }
    }
    while (i < text.size() && digit_value(text[i]) < radix) ++i, ++digits;
  } else {
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && is_digit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
      ++i;
      while (i < text.size() && is_digit(text[i])) ++i, ++digits;
    }
    if (digits > 0 && i < text.size() &&
        (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
      std::size_t j = i + 1;
      if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
      std::size_t exponent = 0;
      while (j < text.size() && is_digit(text[j])) ++j, ++exponent;
      if (exponent > 0) i = j;
    }
  }
  if (digits == 0) return false;
  while (blank(i)) ++i;
  return i == text.size();
}

}  // namespace tessera
