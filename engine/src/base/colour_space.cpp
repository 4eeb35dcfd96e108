#include "tessera/colour_space.h"

#include <cmath>

namespace tessera {

namespace {

// sRGB's curve on 0..1, written with pow: only the 256-entry table and the
// slow paths call it, and the table is made once.
double decode_unit(double e) {
  return e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4);
}
double encode_unit(double l) {
  return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
}

}  // namespace

const std::array<double, 256>& linear_of_srgb8() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int v = 0; v < 256; ++v) t[static_cast<std::size_t>(v)] = decode_unit(v / 255.0);
    return t;
  }();
  return table;
}

double linear_from_srgb(double encoded) {
  return encoded < 0 ? -decode_unit(-encoded) : decode_unit(encoded);
}

double srgb_from_linear(double linear) {
  return linear < 0 ? -encode_unit(-linear) : encode_unit(linear);
}

double exact_cube_root(double v) {
  if (v == 0 || !std::isfinite(v)) return v;
  const bool negative = v < 0;
  const double a = negative ? -v : v;
  int exponent = 0;
  const double mantissa = std::frexp(a, &exponent);  // a = mantissa x 2^exponent, mantissa in [0.5, 1)
  // Start within a few per cent: the root of the mantissa by a line, the
  // exponent divided exactly, the remainder's factor from a table.
  static constexpr double kRemainder[3] = {1.0, 1.2599210498948732, 1.5874010519681994};
  int third = exponent / 3, rest = exponent % 3;
  if (rest < 0) {
    rest += 3;
    --third;
  }
  double x = std::ldexp((0.4 + 0.6 * mantissa) * kRemainder[rest], third);
  for (int i = 0; i < 5; ++i) x = x - (x * x * x - a) / (3 * x * x);
  return negative ? -x : x;
}

Oklab oklab_from_linear(double r, double g, double b) {
  const double l = exact_cube_root(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
  const double m = exact_cube_root(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
  const double s = exact_cube_root(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
  return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
          1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
          0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

std::array<double, 3> linear_from_oklab(const Oklab& lab) {
  const double l = lab.L + 0.3963377774 * lab.a + 0.2158037573 * lab.b;
  const double m = lab.L - 0.1055613458 * lab.a - 0.0638541728 * lab.b;
  const double s = lab.L - 0.0894841775 * lab.a - 1.2914855480 * lab.b;
  const double l3 = l * l * l, m3 = m * m * m, s3 = s * s * s;
  return {4.0767416621 * l3 - 3.3077115913 * m3 + 0.2309699292 * s3,
          -1.2684380046 * l3 + 2.6097574011 * m3 - 0.3413193965 * s3,
          -0.0041960863 * l3 - 0.7034186147 * m3 + 1.7076147010 * s3};
}

}  // namespace tessera
