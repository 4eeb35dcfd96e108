// Converting extended-precision values to integers quickly and exactly.
//
// std::floor and std::nearbyint on long double go through frndint and switch
// the x87 control word around every conversion to int, which costs more than
// the arithmetic of a whole resampling step. On the x87's 80-bit format,
// adding 1.5 * 2^63 leaves the value rounded to an integer, ties to even (the
// default rounding mode), in the low 64 bits of the significand; floor
// corrects that by one where it rounded up. Results equal std::floor and
// std::nearbyint for every value; beyond the int range they saturate, and NaN
// reads as INT_MIN.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tessera {

namespace detail {

inline constexpr bool kX87LongDouble =
    std::numeric_limits<long double>::digits == 64 && std::numeric_limits<long double>::radix == 2;

// v rounded to an integer, ties to even; |v| < 2^62.
inline long long round_even_ll(long double v) {
  if constexpr (kX87LongDouble) {
    const long double t = v + 0x1.8p63L;
    std::uint64_t significand;
    std::memcpy(&significand, &t, sizeof significand);  // little-endian: the low 8 bytes
    return static_cast<long long>(significand - 0xC000000000000000ULL);
  } else {
    return static_cast<long long>(std::nearbyint(v));
  }
}

}  // namespace detail

// floor(v) as an int.
inline int floor_int(long double v) {
  if (!(v >= static_cast<long double>(INT_MIN))) return INT_MIN;
  if (v >= static_cast<long double>(INT_MAX)) return INT_MAX;
  long long r = detail::round_even_ll(v);
  if (static_cast<long double>(r) > v) --r;
  return static_cast<int>(r);
}

// v rounded to the nearest int, ties to even.
inline int round_even_int(long double v) {
  if (!(v >= static_cast<long double>(INT_MIN))) return INT_MIN;
  if (v >= static_cast<long double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(detail::round_even_ll(v));
}

}  // namespace tessera
