// Placement of the picture in the working image and the four interpolating
// resampling methods (the filtering ones are in resample_filtered.cpp).
//
// Every formula is evaluated in long double (the x87's 64-bit significand) and
// rounded only where its value is kept in a double, float or integer: results
// at the boundaries (a floor just below an integer, an offset of exactly -0.5)
// depend on it. Each method precomputes what depends only on the column or only
// on the row; every sum still adds the same terms in the same order.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tessera/extended.h"
#include "input/bands.h"
#include "input/input.h"
#include "tessera/stages.h"

namespace tessera {

namespace {

using ld = long double;

int clamp255(int v) {
  return std::min(std::max(v, 0), 255);
}

// Channel c (1 red, 2 green, 3 blue, 4 alpha) of a picture pixel.
int channel(std::uint32_t argb, int c) {
  switch (c) {
    case 1:
      return static_cast<int>((argb >> 16) & 255);
    case 2:
      return static_cast<int>((argb >> 8) & 255);
    case 3:
      return static_cast<int>(argb & 255);
    default:
      return static_cast<int>(argb >> 24);
  }
}

// Picture coordinate of working column (or row) i as the double it is kept in.
double source_coordinate(int i, int offset, double scale) {
  return static_cast<double>(static_cast<ld>(static_cast<long long>(i) - offset) / scale);
}

void put_pixel(Store& s, int x, int y, std::uint32_t argb) {
  for (int c = 1; c <= 4; ++c) s.IMAGEIN(x, y, c) = channel(argb, c);
}

void nearest(Store& s, const Frame& f, const Placement& p) {
  std::vector<int> xr(static_cast<std::size_t>(s.OUTPUTX)), yr(static_cast<std::size_t>(s.OUTPUTY));
  for (int x = 0; x < s.OUTPUTX; ++x)
    xr[x] = floor_int(static_cast<ld>(static_cast<long long>(x) - p.OFFSETX) / p.XSCALE);
  for (int y = 0; y < s.OUTPUTY; ++y)
    yr[y] = floor_int(static_cast<ld>(static_cast<long long>(y) - p.OFFSETY) / p.YSCALE);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      put_pixel(s, x, y, f.contains(xr[x], yr[y]) ? f.pixel(xr[x], yr[y]) : 0u);
}

// The source range [first, last] of one box of the average filter. The box
// takes the pixels from the one holding its start up to, not including, the
// one holding its end; a box inside a single pixel takes that pixel rather
// than nothing, which would leave a transparent black stripe.
Span box_span(int i, int offset, double scale) {
  const float start = static_cast<float>(static_cast<ld>(static_cast<long long>(i) - offset) / scale);
  const float end = static_cast<float>(static_cast<ld>(static_cast<long long>(i) + 1 - offset) / scale);
  const int first = floor_int(start);
  const int last = floor_int(end) == INT_MIN ? INT_MIN : floor_int(end) - 1;
  return {first, std::max(last, first)};
}

void average(Store& s, const Frame& f, const Placement& p) {
  std::vector<Span> xs(static_cast<std::size_t>(s.OUTPUTX)), ys(static_cast<std::size_t>(s.OUTPUTY));
  for (int x = 0; x < s.OUTPUTX; ++x) xs[x] = box_span_inside(x, p.OFFSETX, p.XSCALE, f.width);
  for (int y = 0; y < s.OUTPUTY; ++y) ys[y] = box_span_inside(y, p.OFFSETY, p.YSCALE, f.height);
  in_bands(s.OUTPUTY, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      for (int x = 0; x < s.OUTPUTX; ++x) {
        const Span sx = xs[x], sy = ys[y];
        if (sx.first > sx.last || sy.first > sy.last) {
          put_pixel(s, x, y, 0u);
          continue;
        }
        // Integer sums: the double sums of whole numbers are exact, so these
        // hold the same values.
        std::uint64_t sum[5] = {0, 0, 0, 0, 0};
        for (int iy = sy.first; iy <= sy.last; ++iy) {
          const std::uint32_t* row =
              f.pixels + static_cast<std::size_t>(iy) * static_cast<std::size_t>(f.width);
          for (int ix = sx.first; ix <= sx.last; ++ix) {
            const std::uint32_t v = row[ix];
            sum[1] += (v >> 16) & 255;
            sum[2] += (v >> 8) & 255;
            sum[3] += v & 255;
            sum[4] += v >> 24;
          }
        }
        const ld count =
            static_cast<ld>(static_cast<long long>(sx.last - sx.first + 1) * (sy.last - sy.first + 1));
        for (int c = 1; c <= 4; ++c)
          s.IMAGEIN(x, y, c) = clamp255(floor_int(static_cast<ld>(static_cast<double>(sum[c])) / count));
      }
    }
  });
}

// Catmull-Rom through four values at fraction t; the first pass takes
// integers, whose halved sums are exact.
double cubic_row(int p0, int p1, int p2, int p3, double t) {
  const ld a = static_cast<ld>(3 * (p1 - p2) - p0 + p3) / 2;
  const ld b = static_cast<ld>(2 * p2 + p0) - static_cast<ld>(5 * p1 + p3) / 2;
  const ld c = static_cast<ld>(p2 - p0) / 2;
  const ld d = p1;
  return static_cast<double>(((a * t + b) * t + c) * t + d);
}

ld cubic_column(double q0, double q1, double q2, double q3, double t) {
  const double a = static_cast<double>((3 * (static_cast<ld>(q1) - q2) - q0 + q3) / 2);
  const double b = static_cast<double>((2 * static_cast<ld>(q2) + q0) - (5 * static_cast<ld>(q1) + q3) / 2);
  const double c = static_cast<double>((static_cast<ld>(q2) - q0) / 2);
  const double d = q1;
  return ((static_cast<ld>(a) * t + b) * t + c) * t + d;
}

struct CubicTaps {
  bool inside = false;
  std::array<int, 4> at{};  // X0..X3 (or Y0..Y3)
  double frac = 0.0;        // DX (or DY)
};

CubicTaps cubic_taps(int i, int offset, double scale, int size) {
  CubicTaps t;
  const double f = source_coordinate(i, offset, scale);
  if (f < 0 || f >= size) return t;
  t.inside = true;
  const int i1 = std::min(std::max(floor_int(f), 0), size - 1);
  t.frac = static_cast<double>(f - static_cast<ld>(i1));
  t.at = {std::max(i1 - 1, 0), i1, std::min(i1 + 1, size - 1), std::min(i1 + 2, size - 1)};
  return t;
}

void bicubic(Store& s, const Frame& f, const Placement& p) {
  std::vector<CubicTaps> xs(static_cast<std::size_t>(s.OUTPUTX)), ys(static_cast<std::size_t>(s.OUTPUTY));
  for (int x = 0; x < s.OUTPUTX; ++x) xs[x] = cubic_taps(x, p.OFFSETX, p.XSCALE, f.width);
  for (int y = 0; y < s.OUTPUTY; ++y) ys[y] = cubic_taps(y, p.OFFSETY, p.YSCALE, f.height);
  in_bands(s.OUTPUTY, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      for (int x = 0; x < s.OUTPUTX; ++x) {
        const CubicTaps& tx = xs[x];
        const CubicTaps& ty = ys[y];
        if (!tx.inside || !ty.inside) {
          put_pixel(s, x, y, 0u);
          continue;
        }
        std::uint32_t px[4][4];
        for (int j = 0; j < 4; ++j)
          for (int i = 0; i < 4; ++i) px[j][i] = f.pixel(tx.at[i], ty.at[j]);
        for (int c = 1; c <= 4; ++c) {
          double q[4];
          for (int j = 0; j < 4; ++j)
            q[j] = cubic_row(channel(px[j][0], c), channel(px[j][1], c), channel(px[j][2], c),
                             channel(px[j][3], c), tx.frac);
          s.IMAGEIN(x, y, c) = clamp255(floor_int(cubic_column(q[0], q[1], q[2], q[3], ty.frac)));
        }
      }
    }
  });
}

// The Lanczos taps of one column (or row) that can add anything: of the
// source positions X1 - 3 .. X1 + 3, in that order, those inside the picture
// whose kernel value is not 0. A zero weight adds exactly nothing to either
// sum, and X1 - 3 always has one (its distance is at least 3).
struct LanczosTaps {
  int count = 0;
  std::array<int, 7> at{};
  std::array<double, 7> kernel{};
};

LanczosTaps lanczos_taps(int i, int offset, double scale, int size) {
  LanczosTaps t;
  const double f = source_coordinate(i, offset, scale);
  const int i1 = floor_int(f);
  for (int k = -3; k <= 3; ++k) {
    const long long at = static_cast<long long>(i1) + k;
    if (at < 0 || at >= size) continue;
    const double kernel = LANCZOSKERNEL(static_cast<double>(f - static_cast<ld>(at)), 3);
    if (kernel == 0) continue;
    t.at[t.count] = static_cast<int>(at);
    t.kernel[t.count] = kernel;
    ++t.count;
  }
  return t;
}

// The running sums of one working pixel.
struct LanczosSums {
  double value[5] = {0, 0, 0, 0, 0};
  double weights = 0;

  void add(std::uint32_t v, double w) {
    value[1] = static_cast<double>(value[1] + static_cast<ld>((v >> 16) & 255) * w);
    value[2] = static_cast<double>(value[2] + static_cast<ld>((v >> 8) & 255) * w);
    value[3] = static_cast<double>(value[3] + static_cast<ld>(v & 255) * w);
    value[4] = static_cast<double>(value[4] + static_cast<ld>(v >> 24) * w);
    weights = static_cast<double>(static_cast<ld>(weights) + w);
  }

  void store(Store& s, int x, int y) const {
    for (int c = 1; c <= 4; ++c) {
      // The quotient of a flat area is the level times 1 +- a few ulps; the
      // nudge keeps its floor from dropping a level (and alpha 255 to 254).
      s.IMAGEIN(x, y, c) = weights > 0 ? clamp255(floor_int(static_cast<ld>(value[c]) / weights + 1e-9)) : 0;
    }
  }
};

double lanczos_weight(double kx, double ky) {
  return static_cast<double>(static_cast<ld>(kx) * ky);
}

void lanczos(Store& s, const Frame& f, const Placement& p) {
  std::vector<LanczosTaps> xs(static_cast<std::size_t>(s.OUTPUTX)), ys(static_cast<std::size_t>(s.OUTPUTY));
  for (int x = 0; x < s.OUTPUTX; ++x) xs[x] = lanczos_taps(x, p.OFFSETX, p.XSCALE, f.width);
  for (int y = 0; y < s.OUTPUTY; ++y) ys[y] = lanczos_taps(y, p.OFFSETY, p.YSCALE, f.height);
  // Each sum adds its terms in the order I (columns) outer, J (rows) inner;
  // the four channels share their weights.
  in_bands(s.OUTPUTY, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const LanczosTaps& ty = ys[y];
      for (int x = 0; x < s.OUTPUTX; ++x) {
        const LanczosTaps& tx = xs[x];
        LanczosSums sums;
        for (int i = 0; i < tx.count; ++i)
          for (int j = 0; j < ty.count; ++j)
            sums.add(f.pixel(tx.at[i], ty.at[j]), lanczos_weight(tx.kernel[i], ty.kernel[j]));
        sums.store(s, x, y);
      }
    }
  });
}

}  // namespace

Span box_span_inside(int i, int offset, double scale, int size) {
  // Only the part of each range inside the picture adds anything.
  const Span sp = box_span(i, offset, scale);
  return {std::max(sp.first, 0), std::min(sp.last, size - 1)};
}

double LANCZOSKERNEL(double distance, int a) {
  constexpr double kPi = 3.141592653589793;
  constexpr double kPiSquared = 9.869604401089358;
  if (distance == 0) return 1.0;
  if (std::fabs(distance) >= a) return 0.0;
  const ld angle = static_cast<ld>(kPi) * distance;
  return static_cast<double>(static_cast<ld>(a) * std::sin(angle) * std::sin(angle / a) /
                             (static_cast<ld>(distance) * distance * kPiSquared));
}

Placement place_picture(PlaceMode mode, int outputfiletype, int aspect, int xsize, int ysize) {
  const int outputx = outputfiletype == 1 ? kMaxWidth : kMaxWidth / 2;
  const int outputy = kMaxHeight;
  const bool corrected = aspect == 1 && outputfiletype == 4;
  const ld a = static_cast<ld>(outputx) / xsize, b = static_cast<ld>(outputy) / ysize;
  const ld a1 = static_cast<ld>(kMaxWidth) / xsize, b1 = static_cast<ld>(kMaxHeight) / ysize;

  Placement p;
  auto set_scales = [&](ld corrected_scale, ld plain_scale) {
    if (corrected) {
      p.XSCALE = static_cast<double>(corrected_scale / 2);
      p.YSCALE = static_cast<double>(corrected_scale);
    } else {
      p.XSCALE = p.YSCALE = static_cast<double>(plain_scale);
    }
  };
  // The offset of an exact fit comes out a hair below a multiple of one half
  // (200 x 0.8 is 160.0000000000000089); the nudge keeps it from flooring one
  // pixel too far.
  auto floored = [&](int output, int size, double scale) {
    return floor_int((output - static_cast<ld>(size) * scale) / 2 + 1e-9);
  };
  switch (mode) {
    case PlaceMode::Fill:
    case PlaceMode::AspectFill:
    case PlaceMode::Fit: {
      const bool fill = mode != PlaceMode::Fit;
      set_scales(fill ? std::max(a1, b1) : std::min(a1, b1), fill ? std::max(a, b) : std::min(a, b));
      p.OFFSETX = floored(outputx, xsize, p.XSCALE);
      p.OFFSETY = floored(outputy, ysize, p.YSCALE);
      break;
    }
    case PlaceMode::Center: {
      p.XSCALE = corrected ? 0.5 : 1.0;
      p.YSCALE = 1.0;
      p.OFFSETX = round_even_int((outputx - static_cast<ld>(xsize) * p.XSCALE) / 2);
      p.OFFSETY = round_even_int((outputy - static_cast<ld>(ysize) * p.YSCALE) / 2);
      break;
    }
    case PlaceMode::Stretch:
      p.XSCALE = static_cast<double>(a);
      p.YSCALE = static_cast<double>(b);
      break;
  }
  return p;
}

void resample(Store& s, const Frame& frame, const Placement& p, Resampler method) {
  switch (method) {
    case Resampler::Average:
      average(s, frame, p);
      break;
    case Resampler::Bicubic:
      bicubic(s, frame, p);
      break;
    case Resampler::Lanczos:
      lanczos(s, frame, p);
      break;
    case Resampler::AreaLanczos:
      resample_filtered(s, frame, p, false);
      break;
    case Resampler::AreaLanczosLinear:
      resample_filtered(s, frame, p, true);
      break;
    default:
      nearest(s, frame, p);
      break;
  }
}

}  // namespace tessera
