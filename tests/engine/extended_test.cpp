// The fast conversions from long double to int against the library's own.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tessera/extended.h"

namespace tessera {
namespace {

using ld = long double;

int library_floor(ld v) { return static_cast<int>(std::floor(v)); }
int library_round(ld v) { return static_cast<int>(std::nearbyint(v)); }

std::vector<ld> boundary_values() {
  std::vector<ld> values;
  for (int n = -1000; n <= 1000; ++n) {
    const ld base = n;
    for (ld v : {base, base + 0.5L, base - 0.5L, std::nextafter(base, 1e9L), std::nextafter(base, -1e9L),
                 std::nextafter(base + 0.5L, 1e9L), std::nextafter(base + 0.5L, -1e9L), base + 1e-9L, base - 1e-9L})
      values.push_back(v);
  }
  for (ld v : {ld(INT_MAX) - 1, ld(INT_MAX) - 0.5L, ld(INT_MIN) + 0.5L, ld(INT_MIN), 0.0L, -0.0L, 1e-300L,
               -1e-300L, 123456789.5L, -123456789.5L})
    values.push_back(v);
  return values;
}

TEST(Extended, FloorAndRoundMatchTheLibraryAtBoundaries) {
  for (ld v : boundary_values()) {
    ASSERT_EQ(floor_int(v), library_floor(v)) << static_cast<double>(v);
    ASSERT_EQ(round_even_int(v), library_round(v)) << static_cast<double>(v);
  }
  EXPECT_EQ(round_even_int(2.5L), 2);
  EXPECT_EQ(round_even_int(3.5L), 4);
  EXPECT_EQ(round_even_int(-2.5L), -2);
  EXPECT_EQ(floor_int(-0.5L), -1);
}

TEST(Extended, FloorAndRoundMatchTheLibraryOnRandomValues) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> wide(-2e9, 2e9), narrow(-300, 300);
  for (int i = 0; i < 200000; ++i) {
    // Quotients like those of the resampling, in full extended precision.
    const ld v = static_cast<ld>(i % 2 ? wide(rng) : narrow(rng)) / 3.0L;
    ASSERT_EQ(floor_int(v), library_floor(v)) << static_cast<double>(v);
    ASSERT_EQ(round_even_int(v), library_round(v)) << static_cast<double>(v);
  }
}

TEST(Extended, OutOfRangeSaturates) {
  const ld inf = std::numeric_limits<ld>::infinity();
  EXPECT_EQ(floor_int(inf), INT_MAX);
  EXPECT_EQ(floor_int(-inf), INT_MIN);
  EXPECT_EQ(floor_int(1e30L), INT_MAX);
  EXPECT_EQ(floor_int(-1e30L), INT_MIN);
  EXPECT_EQ(floor_int(std::numeric_limits<ld>::quiet_NaN()), INT_MIN);
  EXPECT_EQ(round_even_int(1e30L), INT_MAX);
  EXPECT_EQ(round_even_int(-inf), INT_MIN);
}

}  // namespace
}  // namespace tessera
