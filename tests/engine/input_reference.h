// Plain, line-by-line versions of the resampling methods, one working pixel
// at a time with nothing precomputed, and helpers that make picture files.
// The stage's optimised loops must agree with these exactly.
#pragma once

#include <QImage>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include <ostream>

#include "input/input.h"
#include "pictures/decode.h"
#include "tessera/stages.h"

namespace tessera {
// Test messages name a resampler or a placement by its number.
inline std::ostream& operator<<(std::ostream& out, Resampler r) { return out << static_cast<int>(r); }
inline std::ostream& operator<<(std::ostream& out, PlaceMode m) { return out << static_cast<int>(m); }
}  // namespace tessera

namespace tessera::testing {

inline constexpr Resampler kEveryResampler[] = {Resampler::Nearest, Resampler::Average, Resampler::Bicubic,
                                                Resampler::Lanczos};

using ld = long double;
using Rgba = std::array<int, 4>;  // red, green, blue, alpha

inline int ref_channel(const Frame& f, int x, int y, int c) {
  const std::uint32_t p = f.pixel(x, y);
  switch (c) {
    case 1: return (p >> 16) & 255;
    case 2: return (p >> 8) & 255;
    case 3: return p & 255;
    default: return p >> 24;
  }
}

inline int ref_clamp(ld v) {
  const ld f = std::floor(v);
  return f < 0 ? 0 : f > 255 ? 255 : static_cast<int>(f);
}

inline Rgba ref_nearest(const Frame& f, const Placement& p, int x, int y) {
  const ld xr = std::floor(static_cast<ld>(x - p.OFFSETX) / p.XSCALE);
  const ld yr = std::floor(static_cast<ld>(y - p.OFFSETY) / p.YSCALE);
  if (xr < 0 || xr >= f.width || yr < 0 || yr >= f.height) return {0, 0, 0, 0};
  Rgba out;
  for (int c = 1; c <= 4; ++c) out[c - 1] = ref_channel(f, static_cast<int>(xr), static_cast<int>(yr), c);
  return out;
}

inline Rgba ref_average(const Frame& f, const Placement& p, int x, int y) {
  const float xstart = static_cast<float>(static_cast<ld>(x - p.OFFSETX) / p.XSCALE);
  const float ystart = static_cast<float>(static_cast<ld>(y - p.OFFSETY) / p.YSCALE);
  const float xend = static_cast<float>(static_cast<ld>(x + 1 - p.OFFSETX) / p.XSCALE);
  const float yend = static_cast<float>(static_cast<ld>(y + 1 - p.OFFSETY) / p.YSCALE);
  const int xintstart = static_cast<int>(std::floor(xstart)), yintstart = static_cast<int>(std::floor(ystart));
  int xintend = static_cast<int>(std::floor(xend)) - 1, yintend = static_cast<int>(std::floor(yend)) - 1;
  xintend = std::max(xintend, xintstart);
  yintend = std::max(yintend, yintstart);
  double sum[5] = {0, 0, 0, 0, 0};
  int count = 0;
  for (int iy = yintstart; iy <= yintend; ++iy)
    for (int ix = xintstart; ix <= xintend; ++ix) {
      if (!f.contains(ix, iy)) continue;
      for (int c = 1; c <= 4; ++c) sum[c] = static_cast<double>(sum[c] + static_cast<ld>(ref_channel(f, ix, iy, c)));
      ++count;
    }
  if (count == 0) return {0, 0, 0, 0};
  Rgba out;
  for (int c = 1; c <= 4; ++c) out[c - 1] = ref_clamp(static_cast<ld>(sum[c]) / count);
  return out;
}

inline Rgba ref_bicubic(const Frame& f, const Placement& p, int x, int y) {
  const double xf = static_cast<double>(static_cast<ld>(x - p.OFFSETX) / p.XSCALE);
  const double yf = static_cast<double>(static_cast<ld>(y - p.OFFSETY) / p.YSCALE);
  if (xf < 0 || xf >= f.width || yf < 0 || yf >= f.height) return {0, 0, 0, 0};
  Rgba out;
  for (int c = 1; c <= 4; ++c) {
    const int x1 = std::min(std::max(static_cast<int>(std::floor(xf)), 0), f.width - 1);
    const int y1 = std::min(std::max(static_cast<int>(std::floor(yf)), 0), f.height - 1);
    const double dx = xf - x1, dy = yf - y1;
    const int xs[4] = {std::max(x1 - 1, 0), x1, std::min(x1 + 1, f.width - 1), std::min(x1 + 2, f.width - 1)};
    const int ys[4] = {std::max(y1 - 1, 0), y1, std::min(y1 + 1, f.height - 1), std::min(y1 + 2, f.height - 1)};
    double q[4];
    for (int r = 0; r < 4; ++r) {
      const int p0 = ref_channel(f, xs[0], ys[r], c), p1 = ref_channel(f, xs[1], ys[r], c);
      const int p2 = ref_channel(f, xs[2], ys[r], c), p3 = ref_channel(f, xs[3], ys[r], c);
      const double a = static_cast<double>(static_cast<ld>(3 * (p1 - p2) - p0 + p3) / 2);
      const double b = static_cast<double>((2 * p2 + p0) - static_cast<ld>(5 * p1 + p3) / 2);
      const double cc = static_cast<double>(static_cast<ld>(p2 - p0) / 2);
      const double d = p1;
      q[r] = static_cast<double>(((static_cast<ld>(a) * dx + b) * dx + cc) * dx + d);
    }
    const double a = static_cast<double>((3 * (static_cast<ld>(q[1]) - q[2]) - q[0] + q[3]) / 2);
    const double b = static_cast<double>((2 * static_cast<ld>(q[2]) + q[0]) - (5 * static_cast<ld>(q[1]) + q[3]) / 2);
    const double cc = static_cast<double>((static_cast<ld>(q[2]) - q[0]) / 2);
    const double d = q[1];
    out[c - 1] = ref_clamp(((static_cast<ld>(a) * dy + b) * dy + cc) * dy + d);
  }
  return out;
}

inline Rgba ref_lanczos(const Frame& f, const Placement& p, int x, int y) {
  Rgba out;
  for (int c = 1; c <= 4; ++c) {
    const double xf = static_cast<double>(static_cast<ld>(x - p.OFFSETX) / p.XSCALE);
    const double yf = static_cast<double>(static_cast<ld>(y - p.OFFSETY) / p.YSCALE);
    const int x1 = static_cast<int>(std::floor(xf)), y1 = static_cast<int>(std::floor(yf));
    double sumweights = 0, pixelvalue = 0;
    for (int i = -3; i <= 3; ++i)
      for (int j = -3; j <= 3; ++j) {
        const int xs = x1 + i, ys = y1 + j;
        if (!f.contains(xs, ys)) continue;
        const double distx = xf - xs, disty = yf - ys;
        const double weight =
            static_cast<double>(static_cast<ld>(LANCZOSKERNEL(distx, 3)) * LANCZOSKERNEL(disty, 3));
        pixelvalue = static_cast<double>(pixelvalue + static_cast<ld>(ref_channel(f, xs, ys, c)) * weight);
        sumweights = static_cast<double>(sumweights + static_cast<ld>(weight));
      }
    out[c - 1] = sumweights > 0 ? ref_clamp(static_cast<ld>(pixelvalue) / sumweights + 1e-9) : 0;
  }
  return out;
}

inline Rgba ref_pixel(Resampler method, const Frame& f, const Placement& p, int x, int y) {
  switch (method) {
    case Resampler::Average: return ref_average(f, p, x, y);
    case Resampler::Bicubic: return ref_bicubic(f, p, x, y);
    case Resampler::Lanczos: return ref_lanczos(f, p, x, y);
    default: return ref_nearest(f, p, x, y);
  }
}

inline Rgba working_pixel(const Store& s, int x, int y) {
  return {s.IMAGEIN(x, y, 1), s.IMAGEIN(x, y, 2), s.IMAGEIN(x, y, 3), s.IMAGEIN(x, y, 4)};
}

inline std::uint32_t argb(int r, int g, int b, int a = 255) {
  return (static_cast<std::uint32_t>(a) << 24) | (static_cast<std::uint32_t>(r) << 16) |
         (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

// A picture held in memory, usable as a Frame.
struct TestPicture {
  int width, height;
  std::vector<std::uint32_t> pixels;
  TestPicture(int w, int h, std::uint32_t fill = 0) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
  std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  Frame frame() { return Frame{width, height, pixels.data()}; }
  QImage image() const {
    QImage im(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
      std::copy_n(pixels.data() + static_cast<std::size_t>(y) * width, width,
                  reinterpret_cast<std::uint32_t*>(im.scanLine(y)));
    return im;
  }
};

inline TestPicture random_picture(std::mt19937& rng, int w, int h, bool with_alpha) {
  TestPicture pic(w, h);
  std::uniform_int_distribution<int> byte(0, 255);
  for (auto& p : pic.pixels) p = argb(byte(rng), byte(rng), byte(rng), with_alpha ? byte(rng) : 255);
  return pic;
}

// A fresh directory under the build tree for one test's files.
inline std::string test_dir(const std::string& name) {
  const auto dir = std::filesystem::path(TESSERA_BINARY_DIR) / "test-files" / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

inline std::string sample(const std::string& name) { return std::string(TESSERA_SAMPLES) + "/" + name; }

}  // namespace tessera::testing
