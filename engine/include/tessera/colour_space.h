// Light and perceived colour for the look's choices: sRGB's curve, linear
// light and OKLab. OKLab's cube root is taken by plain arithmetic, whose
// every bit IEEE fixes, rather than by libm's cbrt, which is free to differ
// in the last bit between libraries.
#pragma once

#include <array>

namespace tessera {

struct Oklab {
  double L = 0, a = 0, b = 0;
};

// The linear light of each 8-bit sRGB value, 0..1.
const std::array<double, 256>& linear_of_srgb8();

// sRGB's curve for any value (0..1 nominal; the curve is mirrored below 0 and
// continued above 1, so that values pushed out of range by diffusion stay
// ordered).
double linear_from_srgb(double encoded);
double srgb_from_linear(double linear);

// OKLab of a linear-light colour (channels 0..1).
Oklab oklab_from_linear(double r, double g, double b);

// The linear-light colour of an OKLab colour (channels 0..1 when it lies in
// the sRGB gamut).
std::array<double, 3> linear_from_oklab(const Oklab& lab);

inline double squared_distance(const Oklab& p, const Oklab& q) {
  const double dl = p.L - q.L, da = p.a - q.a, db = p.b - q.b;
  return dl * dl + da * da + db * db;
}

// The real cube root by Newton steps from an exponent-based start: the same
// bits everywhere, unlike libm's.
double exact_cube_root(double v);

}  // namespace tessera
