#include "palette_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <future>
#include <optional>
#include <system_error>
#include <type_traits>
#include <vector>

#include "tessera/colour_space.h"
#include "tessera/extended.h"
#include "tessera/pins.h"

namespace tessera {

namespace {

using look::Rgb;

// Renderings tried, and how far each moves the entries towards the least
// squares answer: the answer assumes every pixel keeps its entry, which
// the next dithering does not, so a full step overshoots and the palette
// swings between two answers.
constexpr int kPasses = 8;
constexpr int kCellPasses = 2;
constexpr double kStep = 0.5;
// Keeps an entry that few pixels show from being thrown far by them: a
// share of the mean weight an entry carries, added to each.
constexpr double kSteady = 0.01;
// The blur of the eye, in pixels of the machine's 320 x 200 screen: a BMP4
// pixel is two of them wide.
constexpr double kEyeSigma = 1.2;

// e^-t for t >= 0 by basic arithmetic alone, so that the weights have the
// same bits on every machine (libm may round its last bit differently).
double exp_minus(double t) {
  constexpr int kHalvings = 10;
  const double u = t / (1 << kHalvings);
  double term = 1, sum = 1;
  for (int n = 1; n <= 8; ++n) {
    term *= -u / n;
    sum += term;
  }
  for (int i = 0; i < kHalvings; ++i) sum *= sum;
  return sum;
}

// The weights of a Gaussian of deviation sigma, out to two deviations, summing to 1.
std::vector<double> gaussian_taps(double sigma) {
  const int reach = static_cast<int>(std::ceil(2 * sigma));
  std::vector<double> taps;
  double sum = 0;
  for (int i = -reach; i <= reach; ++i) {
    taps.push_back(exp_minus(0.5 * i * i / (sigma * sigma)));
    sum += taps.back();
  }
  for (double& t : taps) t /= sum;
  return taps;
}

// A separable blur: taps across and down, edges repeated.
struct Blur {
  std::vector<double> x, y;
  int reach_x, reach_y;
  Blur(double sigma_x, double sigma_y)
      : x(gaussian_taps(sigma_x)),
        y(gaussian_taps(sigma_y)),
        reach_x(static_cast<int>(x.size() / 2)),
        reach_y(static_cast<int>(y.size() / 2)) {}
};

// Blurs v into out; `across` is room for the pass across, kept by the
// caller so that every pass does not take fresh memory.
void blur(const std::vector<double>& v, int w, int h, const Blur& k, std::vector<double>& across,
          std::vector<double>& out) {
  across.assign(v.size(), 0.0);
  out.assign(v.size(), 0.0);
  std::vector<double> padded(static_cast<std::size_t>(w + 2 * k.reach_x));
  for (int y = 0; y < h; ++y) {
    const double* row = &v[static_cast<std::size_t>(y) * w];
    for (int x = -k.reach_x; x < w + k.reach_x; ++x)
      padded[static_cast<std::size_t>(x + k.reach_x)] = row[std::clamp(x, 0, w - 1)];
    // Tap by tap along the row, which the compiler can do several pixels
    // at once; every pixel still adds its taps in the same order.
    double* to = &across[static_cast<std::size_t>(y) * w];
    for (std::size_t i = 0; i < k.x.size(); ++i) {
      const double f = k.x[i];
      const double* from = &padded[i];
      for (int x = 0; x < w; ++x) to[x] += f * from[x];
    }
  }
  // Down the columns a row at a time, which the compiler can do several
  // columns at once.
  for (int y = 0; y < h; ++y) {
    double* to = &out[static_cast<std::size_t>(y) * w];
    for (int j = -k.reach_y; j <= k.reach_y; ++j) {
      const double f = k.y[static_cast<std::size_t>(j + k.reach_y)];
      const double* from = &across[static_cast<std::size_t>(std::clamp(y + j, 0, h - 1)) * w];
      for (int x = 0; x < w; ++x) to[x] += f * from[x];
    }
  }
}

std::vector<double> blurred(const std::vector<double>& v, int w, int h, const Blur& k) {
  std::vector<double> across, out;
  blur(v, w, h, k, across, out);
  return out;
}

// One channel of a pass: what each pixel lacks, blurred, weighted and
// blurred again (what each pixel's colour would change of the weighted
// blurred error), and the weighted blurred error itself.
struct ChannelWork {
  std::vector<double> lack, wrong, seen, across;
  double error = 0;
};

// How much the blurred pictures of entries j and k overlap, each pixel's
// share weighted by how much the eye makes of an error there: the blur's own
// correlation (a Gaussian sqrt(2) times as wide) summed over every pair of
// pixels showing them, times the root of both pixels' weights. Entry 0 marks
// a pixel left out. Pairs reaching past the picture's edges are not counted.
using Overlaps = std::array<std::array<double, 17>, 17>;

Overlaps overlaps(const std::vector<std::uint8_t>& entry, const std::vector<double>& root_weight, int w, int h,
                  const Blur& k) {
  // Each pair of pixels is visited once, from the earlier of the two, into
  // the row of the earlier one's entry; the table and its mirror then count
  // each pair for both. A run of pixels showing one entry (the most common
  // case) sums into a row of its own, in two halves taken in turn so that
  // the sums do not wait for each other, and meets the table at its end.
  Overlaps onward{};
  std::array<double, 17> own{}, half_a{}, half_b{};
  int run = 0;
  auto end_run = [&] {
    if (run == 0) return;
    for (std::size_t o = 0; o < 17; ++o) {
      onward[static_cast<std::size_t>(run)][o] += half_a[o] + half_b[o];
      half_a[o] = half_b[o] = 0;
    }
  };
  const double centre = k.x[static_cast<std::size_t>(k.reach_x)] * k.y[static_cast<std::size_t>(k.reach_y)];
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t at = static_cast<std::size_t>(y * w + x);
      const int e = entry[at];
      if (e == 0) continue;
      if (e != run) {
        end_run();
        run = e;
      }
      const double mine = root_weight[at];
      own[static_cast<std::size_t>(e)] += centre * mine * mine;
      for (int j = 0; j <= k.reach_y && y + j < h; ++j) {
        const double wy = k.y[static_cast<std::size_t>(j + k.reach_y)] * mine;
        const std::size_t row = static_cast<std::size_t>((y + j) * w);
        const int last = std::min(k.reach_x, w - 1 - x);
        int i = std::max(j == 0 ? 1 : -k.reach_x, -x);
        for (; i + 1 <= last; i += 2) {
          const std::size_t p = row + static_cast<std::size_t>(x + i);
          half_a[entry[p]] += wy * k.x[static_cast<std::size_t>(i + k.reach_x)] * root_weight[p];
          half_b[entry[p + 1]] += wy * k.x[static_cast<std::size_t>(i + 1 + k.reach_x)] * root_weight[p + 1];
        }
        if (i <= last) {
          const std::size_t p = row + static_cast<std::size_t>(x + i);
          half_a[entry[p]] += wy * k.x[static_cast<std::size_t>(i + k.reach_x)] * root_weight[p];
        }
      }
    }
  }
  end_run();
  Overlaps a{};
  for (std::size_t i = 0; i < 17; ++i) {
    for (std::size_t j = 0; j < 17; ++j) a[i][j] = onward[i][j] + onward[j][i];
    a[i][i] += own[i];
  }
  return a;
}

// Runs `work` on a thread of its own, or at get() where no thread can be had.
template <class Work>
std::future<std::invoke_result_t<Work>> later(Work work) {
  try {
    return std::async(std::launch::async, work);
  } catch (const std::system_error&) {
    return std::async(std::launch::deferred, work);
  }
}

// How much the eye makes of an error in linear light where the blurred
// picture has luminance y (0..1): the slope of CIE lightness, squared. Dark
// parts of a picture matter as much to the eye as light ones, though their
// errors are small numbers.
double weight_at(double y) {
  constexpr double kEdge = 216.0 / 24389;  // where lightness turns straight
  const double slope = y > kEdge ? 116.0 / 3 / exact_cube_root(y * y) : 24389.0 / 27;
  return slope * slope;
}

// Solves a x = b for a symmetric positive definite a (Cholesky).
std::vector<double> solved(std::vector<std::vector<double>> a, std::vector<double> b) {
  const std::size_t n = b.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < i; ++k) a[i][i] -= a[i][k] * a[i][k];
    if (!(a[i][i] > 0)) return std::vector<double>(n, 0);
    a[i][i] = std::sqrt(a[i][i]);
    for (std::size_t j = i + 1; j < n; ++j) {
      for (std::size_t k = 0; k < i; ++k) a[j][i] -= a[j][k] * a[i][k];
      a[j][i] /= a[i][i];
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < i; ++k) b[i] -= a[i][k] * b[k];
    b[i] /= a[i][i];
  }
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t k = i + 1; k < n; ++k) b[i] -= a[k][i] * b[k];
    b[i] /= a[i][i];
  }
  return b;
}

}  // namespace

std::optional<look::Mapping> fit_palette(Store& s, const look::Space& space, std::vector<look::Entry>& entries,
                                         std::span<const KernelEntry> kernel, bool cells) {
  const int w = s.OUTPUTX, h = s.OUTPUTY;
  std::vector<int> free;
  for (int k = s.ISTRANSPARENT == 1 ? 2 : 1; k <= 16; ++k)
    if (!is_pinned(s, k) && !s.FITHELD[static_cast<std::size_t>(k)]) free.push_back(k);
  if (w <= 0 || h <= 0 || free.empty()) return std::nullopt;
  const std::size_t n = free.size();
  const double across = s.OUTPUTFILETYPE == 1 ? kEyeSigma : kEyeSigma / 2;
  const Blur eye(across, kEyeSigma), correlation(across * std::sqrt(2.0), kEyeSigma * std::sqrt(2.0));

  const look::Plane target = look::working_plane(s, space);
  look::Plane wanted = target;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) wanted.at(x, y) = look::clamped(target.at(x, y));
  std::vector<bool> shown(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) shown[static_cast<std::size_t>(y * w + x)] = !counts_as_transparent(s, s.IMAGEIN(x, y, 4));
  // In linear light an error counts by the lightness around it; sRGB values
  // are near enough to lightness already.
  std::vector<double> weight(shown.size(), 1.0);
  if (space.linear) {
    std::vector<double> luminance(shown.size());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Rgb& t = wanted.at(x, y);
        luminance[static_cast<std::size_t>(y * w + x)] = (0.2126 * t[0] + 0.7152 * t[1] + 0.0722 * t[2]) / 255;
      }
    luminance = blurred(luminance, w, h, eye);
    double mean = 0;
    for (std::size_t i = 0; i < weight.size(); ++i) mean += weight[i] = weight_at(luminance[i]);
    mean /= static_cast<double>(weight.size());
    for (double& v : weight) v /= mean;
  }
  std::vector<double> root_weight(weight.size());
  for (std::size_t i = 0; i < weight.size(); ++i) root_weight[i] = std::sqrt(weight[i]);

  // Where the free entries are headed, off the grid; each rendering shows
  // them at the grid colours nearest.
  std::vector<Rgb> aim(17);
  for (int k = 1; k <= 16; ++k) aim[static_cast<std::size_t>(k)] = entries[static_cast<std::size_t>(k)].working;
  std::array<int, 17> slot_of{};  // 1 + the entry's place in `free`, 0 if fixed
  for (std::size_t i = 0; i < n; ++i) slot_of[static_cast<std::size_t>(free[i])] = static_cast<int>(i) + 1;
  std::array<std::array<int, 3>, 17> colour{};
  for (int k = 1; k <= 16; ++k)
    for (int c = 0; c < 3; ++c) colour[static_cast<std::size_t>(k)][static_cast<std::size_t>(c)] = s.OCLUSTER[k][c + 1];
  std::vector<look::Entry> best = entries;
  std::array<std::array<int, 3>, 17> best_colour = colour;
  double best_error = -1;
  std::optional<look::Mapping> best_mapping;
  CellTable best_pairs = s.OUTCOLORBLOCK;
  std::array<ChannelWork, 3> works;
  for (int pass = 0; pass <= kPasses; ++pass) {
    // BMP1's cells choosing their pairs cost a rendering several times
    // over: the first passes let every pixel take any entry, which brings
    // the palette most of the way, and the last ones render as the file will.
    const bool as_filed = !cells || pass > kPasses - kCellPasses;
    const look::Mapping filed = cells && as_filed ? look::map_cells(s, space, entries, kernel)
                                                  : look::map_rows(s, target, space, entries, kernel, false);
    look::Mapping mapped = filed;
    for (std::size_t i = 0; i < shown.size(); ++i)
      if (!shown[i]) mapped.entry[i] = 0;
    // What each pixel lacks, a channel at a time. The second thread sums
    // the overlaps, which depend on the mapping alone, and one channel,
    // while this one does the other two: the same sums either way.
    auto channel = [&](std::size_t c) {
      ChannelWork& work = works[c];
      work.wrong.assign(shown.size(), 0.0);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t at = static_cast<std::size_t>(y * w + x);
          if (mapped.entry[at] != 0) work.wrong[at] = wanted.at(x, y)[c] - entries[mapped.entry[at]].working[c];
        }
      blur(work.wrong, w, h, eye, work.across, work.seen);
      work.error = 0;
      for (std::size_t i = 0; i < work.seen.size(); ++i) {
        work.error += weight[i] * work.seen[i] * work.seen[i];
        work.seen[i] *= weight[i];
      }
      blur(work.seen, w, h, eye, work.across, work.lack);
    };
    std::future<Overlaps> helper = later([&, pass] {
      Overlaps a{};
      if (pass < kPasses) a = overlaps(mapped.entry, root_weight, w, h, correlation);
      channel(2);
      return a;
    });
    channel(0);
    channel(1);
    const Overlaps a = helper.get();
    const double error = works[0].error + works[1].error + works[2].error;
    // BMP1's passes with every pixel free err less than those with the cells
    // held to their pairs, and so mostly win; measured on both corpora,
    // comparing only the held passes does no better.
    if (best_error < 0 || error < best_error) {
      best_error = error;
      best = entries;
      best_colour = colour;
      best_mapping.reset();
      if (as_filed) {
        best_mapping = filed;
        best_pairs = s.OUTCOLORBLOCK;
      }
    }
    if (pass == kPasses) break;

    double mean_weight = 0;
    for (int k : free) mean_weight += a[static_cast<std::size_t>(k)][static_cast<std::size_t>(k)];
    mean_weight /= static_cast<double>(n);
    if (!(mean_weight > 0)) break;
    std::vector<std::vector<double>> system(n, std::vector<double>(n));
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        system[i][j] = a[static_cast<std::size_t>(free[i])][static_cast<std::size_t>(free[j])] +
                       (i == j ? kSteady * mean_weight : 0);
    std::array<std::vector<double>, 3> move;
    for (std::size_t c = 0; c < 3; ++c) {
      std::vector<double> b(n, 0.0);
      for (std::size_t at = 0; at < shown.size(); ++at) {
        const int slot = slot_of[mapped.entry[at]];
        if (slot != 0) b[static_cast<std::size_t>(slot - 1)] += works[c].lack[at];
      }
      move[c] = solved(system, b);
    }
    for (std::size_t i = 0; i < n; ++i) {
      Rgb& to = aim[static_cast<std::size_t>(free[i])];
      int rgb[3];
      for (std::size_t c = 0; c < 3; ++c) {
        to[c] = std::clamp(to[c] + kStep * move[c][i], 0.0, 255.0);
        rgb[c] = std::clamp(round_even_int(space.encoded(to[c]) / 17) * 17, 0, 255);
        colour[static_cast<std::size_t>(free[i])][c] = rgb[c];
      }
      look::set_entry(entries[static_cast<std::size_t>(free[i])], rgb, space);
    }
  }
  entries = best;
  for (int k : free)
    for (int c = 0; c < 3; ++c) s.OCLUSTER[k][c + 1] = best_colour[static_cast<std::size_t>(k)][static_cast<std::size_t>(c)];
  if (best_mapping && cells) s.OUTCOLORBLOCK = best_pairs;
  return best_mapping;
}

}  // namespace tessera
