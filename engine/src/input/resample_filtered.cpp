// Resampling that filters when it shrinks: Lanczos-3 whose support widens
// with the shrink factor of each axis.
//
// The plain bicubic and Lanczos interpolate: they read a fixed handful of
// pixels around each working pixel's position, so a 4:1 shrink sees one
// picture pixel in four and fine detail aliases. Here each axis's kernel is
// stretched by max(1, picture pixels per working pixel), so every picture
// pixel under a working pixel counts; enlarging stays the plain Lanczos-3
// interpolation. The axes are filtered apart (their scales differ where BMP4
// corrects the aspect), across first, then down.
//
// What lies outside the picture follows the average filter: a working pixel
// takes the picture where its box meets it and is transparent black
// elsewhere; taps beyond the picture's edges are dropped and the rest
// renormalised. Colours and alpha are filtered independently, without
// premultiplying, as the other methods do.
//
// The sums down are long double, those across double (see the pass across);
// every working pixel adds its terms in the same order (picture columns, then
// picture rows, ascending) however the rows are split over threads, so the
// bytes are the same on every run and machine.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "input/bands.h"
#include "input/input.h"
#include "tessera/extended.h"

namespace tessera {

namespace {

using ld = long double;

constexpr int kLobes = 3;

ld lanczos3(ld x) {
  const ld ax = std::fabs(x);
  if (ax == 0) return 1;
  // At the other whole numbers the kernel is exactly 0, where sin(pi k) in
  // floating point is only near it: a picture placed at scale 1 then comes
  // out as it went in.
  if (ax >= kLobes || ax == std::floor(ax)) return 0;
  constexpr ld kPi = 3.141592653589793238462643383279502884L;
  const ld angle = kPi * ax;
  return kLobes * std::sin(angle) * std::sin(angle / kLobes) / (angle * angle);
}

// The kernel of one working column (or row): its taps are the picture pixels
// first .. first + count - 1; count is 0 outside the picture.
struct Kernel {
  int first = 0, count = 0;
  ld centre = 0;  // in picture pixels, pixel k's centre at k
  ld sum = 1;     // of the taps' kernel values, to normalise by
};

struct Axis {
  ld factor = 1;  // how far the kernel is stretched
  std::vector<Kernel> kernels;

  const Kernel& operator[](int i) const { return kernels[static_cast<std::size_t>(i)]; }
  // The normalised weight of picture pixel k in working pixel i; the one
  // formula whether a weight is kept in a table or made when needed.
  ld weight(int i, int k) const {
    const Kernel& kernel = (*this)[i];
    return lanczos3((static_cast<ld>(k) - kernel.centre) / factor) / kernel.sum;
  }
};

Axis make_axis(int outputs, int offset, double scale, int size) {
  Axis a;
  a.factor = std::max<ld>(1, 1 / static_cast<ld>(scale));
  const ld radius = kLobes * a.factor;
  a.kernels.resize(static_cast<std::size_t>(outputs));
  for (int i = 0; i < outputs; ++i) {
    const Span inside = box_span_inside(i, offset, scale, size);
    if (inside.first > inside.last) continue;
    // The box in picture coordinates (pixel k covers k .. k + 1), cut to the
    // picture, as the average takes only the part inside. Centred on a box
    // that the picture covers only in part, the kernel would keep little more
    // than its negative lobes over the picture, and normalising by their
    // small sum would blow the pixel up.
    const ld start = std::max<ld>(static_cast<ld>(static_cast<long long>(i) - offset) / scale, 0);
    const ld end = std::min<ld>(static_cast<ld>(static_cast<long long>(i) + 1 - offset) / scale, size);
    Kernel& k = a.kernels[static_cast<std::size_t>(i)];
    k.centre = std::clamp((start + end) / 2 - 0.5L, -0.5L, static_cast<ld>(size) - 0.5L);
    k.first = std::max(floor_int(k.centre - radius) + 1, 0);
    k.count = std::min(floor_int(k.centre + radius), size - 1) - k.first + 1;
    // The nearest pixel is at most half a kernel unit from the centre, so the
    // sum holds the main lobe's peak and stays well above 0.
    k.sum = 0;
    for (int t = k.first; t < k.first + k.count; ++t)
      k.sum += lanczos3((static_cast<ld>(t) - k.centre) / a.factor);
  }
  return a;
}

// sRGB levels as linear light, and where the encoding of light crosses from
// each level to the next.
struct LightTables {
  std::array<ld, 256> light{};
  std::array<ld, 255> halfway{};  // halfway[v]: the light whose level is exactly v + 0.5
};

// An sRGB value from 0 to 1 as linear light (IEC 61966-2-1).
ld srgb_to_light(ld value) {
  return value <= 0.04045L ? value / 12.92L : std::pow((value + 0.055L) / 1.055L, 2.4L);
}

const LightTables& light_tables() {
  static const LightTables tables = [] {
    LightTables t;
    for (int v = 0; v < 256; ++v)
      t.light[static_cast<std::size_t>(v)] = srgb_to_light(static_cast<ld>(v) / 255);
    for (int v = 0; v < 255; ++v)
      t.halfway[static_cast<std::size_t>(v)] = srgb_to_light((static_cast<ld>(v) + 0.5L) / 255);
    return t;
  }();
  return tables;
}

// The sRGB level of linear light, rounded half to even and clamped to 0..255.
// The encoding only rises, so rounding its value is finding the light between
// two halfway points: no power per pixel, and no level that a power's last
// bit could tip.
int light_to_level(ld light, const LightTables& t) {
  const auto at = std::lower_bound(t.halfway.begin(), t.halfway.end(), light);
  int level = static_cast<int>(at - t.halfway.begin());
  if (at != t.halfway.end() && *at == light && level % 2 == 1) ++level;
  return level;
}

int to_level(ld value) {
  return std::clamp(round_even_int(value), 0, 255);
}

// Columns whose across weights a table holds at once: a few megabytes, which
// every picture of a sane width fits in one go; the columns of a wider one
// are done a group at a time.
constexpr std::size_t kTableWeights = std::size_t{1} << 20;

}  // namespace

void resample_filtered(Store& s, const Frame& f, const Placement& p, bool linear_light) {
  const Axis across = make_axis(s.OUTPUTX, p.OFFSETX, p.XSCALE, f.width);
  const Axis down = make_axis(s.OUTPUTY, p.OFFSETY, p.YSCALE, f.height);
  const LightTables& tables = light_tables();
  const auto width = static_cast<std::size_t>(s.OUTPUTX);

  // Each working pixel's four sums, added to picture row by picture row.
  std::vector<ld> sums(width * static_cast<std::size_t>(s.OUTPUTY) * 4, 0);

  for (int x0 = 0; x0 < s.OUTPUTX;) {
    // The next group of columns and their across weights.
    int x1 = x0;
    std::vector<std::size_t> start;
    std::vector<double> weights;
    int left = f.width, right = -1;  // the picture columns the group reads
    do {
      const Kernel& k = across[x1];
      start.push_back(weights.size());
      for (int t = k.first; t < k.first + k.count; ++t) weights.push_back(static_cast<double>(across.weight(x1, t)));
      if (k.count > 0) {
        left = std::min(left, k.first);
        right = std::max(right, k.first + k.count - 1);
      }
      ++x1;
    } while (x1 < s.OUTPUTX && weights.size() < kTableWeights);
    if (right < left) {
      x0 = x1;
      continue;
    }

    in_bands(s.OUTPUTY, [&](int y0, int y1) {
      // The picture rows these working rows read. The taps of a working row
      // never start above those of the row before it.
      int top = f.height, bottom = -1;
      for (int y = y0; y < y1; ++y)
        if (down[y].count > 0) {
          top = std::min(top, down[y].first);
          bottom = std::max(bottom, down[y].first + down[y].count - 1);
        }
      const auto span = static_cast<std::size_t>(right - left + 1);
      std::vector<double> values(span * 4);
      std::vector<ld> row(static_cast<std::size_t>(x1 - x0) * 4, 0);
      int next = y0;  // the first working row whose taps do not end above the picture row
      for (int r = top; r <= bottom; ++r) {
        const std::uint32_t* pixels = f.pixels +
                                      static_cast<std::size_t>(r) * static_cast<std::size_t>(f.width) +
                                      static_cast<std::size_t>(left);
        for (std::size_t k = 0; k < span; ++k) {
          const std::uint32_t v = pixels[k];
          const std::uint32_t channels[3] = {(v >> 16) & 255, (v >> 8) & 255, v & 255};
          for (std::size_t c = 0; c < 3; ++c)
            values[4 * k + c] = linear_light ? static_cast<double>(tables.light[channels[c]]) : channels[c];
          values[4 * k + 3] = v >> 24;
        }
        // Across: this picture row's value at every column of the group.
        for (int x = x0; x < x1; ++x) {
          const Kernel& k = across[x];
          if (k.count == 0) continue;
          const double* w = &weights[start[static_cast<std::size_t>(x - x0)]];
          const double* in = &values[4 * static_cast<std::size_t>(k.first - left)];
          // Sums of their own, not in the row: stores through a pointer the
          // reads might alias would hold up every step. The pass across does
          // most of the work and runs in double, which the machine does
          // several times faster; its sums are short (a few dozen taps), so
          // the rounding stays far below a level.
          double red = 0, green = 0, blue = 0, alpha = 0;
          for (int t = 0; t < k.count; ++t, in += 4) {
            red += w[t] * in[0];
            green += w[t] * in[1];
            blue += w[t] * in[2];
            alpha += w[t] * in[3];
          }
          ld* out = &row[4 * static_cast<std::size_t>(x - x0)];
          out[0] = red;
          out[1] = green;
          out[2] = blue;
          out[3] = alpha;
        }
        // Down: into every working row of the band that has this row as a tap.
        while (next < y1 && (down[next].count == 0 || down[next].first + down[next].count <= r)) ++next;
        for (int y = next; y < y1 && down[y].count > 0 && down[y].first <= r; ++y) {
          const ld w = down.weight(y, r);
          ld* out = &sums[(static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x0)) * 4];
          for (std::size_t j = 0; j < row.size(); ++j) out[j] += w * row[j];
        }
      }
    });
    x0 = x1;
  }

  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      const bool inside = across[x].count > 0 && down[y].count > 0;
      const ld* v = &sums[(static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 4];
      for (int c = 0; c < 3; ++c)
        s.IMAGEIN(x, y, c + 1) = !inside ? 0 : linear_light ? light_to_level(v[c], tables) : to_level(v[c]);
      s.IMAGEIN(x, y, 4) = inside ? to_level(v[3]) : 0;
    }
}

}  // namespace tessera
