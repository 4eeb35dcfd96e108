#include "look_mapping.h"

#include <algorithm>
#include <cmath>

namespace tessera::look {

namespace {

// sRGB values (0..255) of working values in linear light (0..255), from a
// table with straight lines between its points: mapping asks for three a
// pixel for every pair it tries, far too many for pow.
class EncodedOfLinear {
 public:
  static constexpr int kSteps = 16;  // points per unit
  EncodedOfLinear() {
    for (std::size_t i = 0; i < table_.size(); ++i)
      table_[i] = srgb_from_linear(static_cast<double>(i) / kSteps / 255) * 255;
  }
  double operator()(double w) const {  // w in 0..255
    const double at = w * kSteps;
    const std::size_t i = std::min(static_cast<std::size_t>(at), table_.size() - 2);
    const double f = at - static_cast<double>(i);
    return table_[i] + (table_[i + 1] - table_[i]) * f;
  }

 private:
  std::array<double, 255 * kSteps + 2> table_{};
};

const EncodedOfLinear& encoded_of_linear() {
  static const EncodedOfLinear table;
  return table;
}

}  // namespace

double Space::working(int channel) const {
  const int c = std::clamp(channel, 0, 255);
  return linear ? linear_of_srgb8()[static_cast<std::size_t>(c)] * 255 : c;
}

double Space::encoded(double w) const { return linear ? encoded_of_linear()(std::clamp(w, 0.0, 255.0)) : w; }

namespace {

Oklab oklab_key(const Rgb& w, bool linear) {
  if (linear) return oklab_from_linear(w[0] / 255, w[1] / 255, w[2] / 255);
  return oklab_from_linear(linear_from_srgb(w[0] / 255), linear_from_srgb(w[1] / 255), linear_from_srgb(w[2] / 255));
}

// Small enough, with OKLab apart, to be made part of the mapping's loops,
// which ask for it for every pixel of every pair they try.
__attribute__((always_inline)) inline Oklab key_of(const Space& space, const Rgb& w) {
  if (space.oklab) return oklab_key(w, space.linear);
  if (space.linear) {
    const EncodedOfLinear& table = encoded_of_linear();
    return {table(w[0]), table(w[1]), table(w[2])};
  }
  return {w[0], w[1], w[2]};
}

}  // namespace

Oklab Space::key(const Rgb& w) const { return key_of(*this, w); }

Space space_of(const Store& s) { return Space{s.LINEARLIGHT != 0, s.DISTANCE != 0}; }

void set_entry(Entry& e, const int (&rgb)[3], const Space& space) {
  e.working = space.working(rgb);
  e.key = space.key(e.working);
}

std::vector<Entry> palette_entries(const Store& s, const Space& space) {
  std::vector<Entry> out(17);
  for (int k = 1; k <= 16; ++k) {
    const int rgb[3] = {s.OCLUSTER[k][1], s.OCLUSTER[k][2], s.OCLUSTER[k][3]};
    set_entry(out[static_cast<std::size_t>(k)], rgb, space);
  }
  return out;
}

Rgb clamped(const Rgb& w) {
  return {std::clamp(w[0], 0.0, 255.0), std::clamp(w[1], 0.0, 255.0), std::clamp(w[2], 0.0, 255.0)};
}

Plane working_plane(const Store& s, const Space& space) {
  Plane plane(s.OUTPUTX, s.OUTPUTY);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      const int rgb[3] = {s.IMAGEIN(x, y, 1), s.IMAGEIN(x, y, 2), s.IMAGEIN(x, y, 3)};
      plane.at(x, y) = space.working(rgb);
    }
  return plane;
}

namespace {

// The candidate nearest the key, and its squared distance; a tie keeps the
// earlier one.
__attribute__((always_inline)) inline int nearest(const Oklab& key, const std::vector<Entry>& entries,
                                                  std::span<const int> candidates, double& best_d) {
  int best = candidates[0];
  best_d = squared_distance(key, entries[static_cast<std::size_t>(best)].key);
  for (std::size_t i = 1; i < candidates.size(); ++i) {
    const double d = squared_distance(key, entries[static_cast<std::size_t>(candidates[i])].key);
    if (d < best_d) {
      best_d = d;
      best = candidates[i];
    }
  }
  return best;
}

// The longest error a pixel passes on, in working units (0..255 a channel).
constexpr double kLongestError = 96;

// What becomes of one pixel.
struct Mapped {
  int entry = 0;
  Rgb error{};
  double cost = 0;  // squared distance of the working colour to the entry's
};

Mapped map_one(const Rgb& value, const Space& space, const std::vector<Entry>& entries,
               std::span<const int> candidates) {
  const Rgb w = clamped(value);
  const Oklab key = key_of(space, w);
  Mapped m;
  m.entry = nearest(key, entries, candidates, m.cost);
  const Entry& e = entries[static_cast<std::size_t>(m.entry)];
  // The error of the clamped value: what diffusion pushed past the ends of
  // the range is let go rather than carried on into a streak.
  for (int c = 0; c < 3; ++c)
    m.error[static_cast<std::size_t>(c)] = w[static_cast<std::size_t>(c)] - e.working[static_cast<std::size_t>(c)];
  // A pixel with no colour near it (a small saturated detail) would spray
  // far colours over its neighbours if all of its error went on; a larger
  // error goes on at this length only.
  // The root only where the square says it may be needed: most errors are
  // short, and the root is slow.
  const double square = m.error[0] * m.error[0] + m.error[1] * m.error[1] + m.error[2] * m.error[2];
  if (square > kLongestError * kLongestError) {
    const double length = std::sqrt(square);
    if (length > kLongestError)
      for (double& v : m.error) v *= kLongestError / length;
  }
  return m;
}

// Hands the error on to the kernel's targets that `put` accepts.
template <class Put>
void spread(std::span<const KernelEntry> kernel, int x, int y, const Rgb& error, double strength, Put&& put) {
  const bool mirrored = (y & 1) != 0;
  for (const KernelEntry& k : kernel) {
    const int tx = x + (mirrored ? -k.DX : k.DX);
    const double f = k.WEIGHT * strength;
    put(tx, y + k.DY, Rgb{error[0] * f, error[1] * f, error[2] * f});
  }
}

}  // namespace

Mapping map_rows(const Store& s, const Space& space, const std::vector<Entry>& entries,
                 std::span<const KernelEntry> kernel, bool cell_pairs) {
  return map_rows(s, working_plane(s, space), space, entries, kernel, cell_pairs);
}

Mapping map_rows(const Store& s, Plane plane, const Space& space, const std::vector<Entry>& entries,
                 std::span<const KernelEntry> kernel, bool cell_pairs) {
  Mapping out{std::vector<std::uint8_t>(static_cast<std::size_t>(s.OUTPUTX) * s.OUTPUTY),
              std::vector<std::uint8_t>(static_cast<std::size_t>(s.OUTPUTX) * s.OUTPUTY)};
  std::vector<int> all;
  for (int k = s.ISTRANSPARENT == 1 ? 2 : 1; k <= 16; ++k) all.push_back(k);
  for (int y = 0; y < s.OUTPUTY; ++y) {
    const bool forward = (y & 1) == 0;
    for (int i = 0; i < s.OUTPUTX; ++i) {
      const int x = forward ? i : s.OUTPUTX - 1 - i;
      int pair[2] = {0, 0};
      if (cell_pairs) {
        pair[0] = s.OUTCOLORBLOCK[x / 8][y / 8][1];
        pair[1] = s.OUTCOLORBLOCK[x / 8][y / 8][2];
      }
      const Mapped m = map_one(plane.at(x, y), space, entries,
                               cell_pairs ? std::span<const int>(pair, 2) : std::span<const int>(all));
      const std::size_t at = static_cast<std::size_t>(y) * s.OUTPUTX + x;
      out.entry[at] = static_cast<std::uint8_t>(m.entry);
      out.vector[at] = cell_pairs && m.entry != pair[0] ? 2 : 1;
      spread(kernel, x, y, m.error, s.DITHERSTRENGTH, [&](int tx, int ty, const Rgb& e) {
        if (!plane.inside(tx, ty)) return;
        Rgb& t = plane.at(tx, ty);
        for (int c = 0; c < 3; ++c) t[static_cast<std::size_t>(c)] += e[static_cast<std::size_t>(c)];
      });
    }
  }
  return out;
}

namespace {

// ---- BMP1: each cell's pair chosen by dithering the cell with it ----------

constexpr int kCell = 8;
constexpr int kReach = 2;  // no kernel reaches further sideways or down
constexpr int kWindowW = kCell + 2 * kReach, kWindowH = kCell + kReach;
// Pairs tried in full for a cell, after a quick ranking of all of them.
constexpr std::size_t kTriedPairs = 24;
// The weight of a cell's local means against its pixels' own distances
// (working units squared; a mean off by one level weighs as much as sixteen
// pixels off by one).
constexpr double kMeanWeight = 16;

// A cell and the neighbours its kernel reaches, as working values.
struct Window {
  std::array<Rgb, kWindowW * kWindowH> v{};
  Rgb& at(int dx, int dy) { return v[static_cast<std::size_t>(dy * kWindowW + dx + kReach)]; }
  const Rgb& at(int dx, int dy) const { return v[static_cast<std::size_t>(dy * kWindowW + dx + kReach)]; }
};

struct CellRun {
  double cost = 0;
  std::array<int, kCell * kCell> entry{};
  std::array<Rgb, kCell * kCell> wrong{};  // what each pixel should show less what it shows
  Window after;
};

constexpr double kNoLimit = 1e300;

// Dithers one cell with a pair inside its window (or until its cost passes
// `limit`); the error that leaves the
// window's reach (into cells already done) is dropped.
void dither_cell(const Window& start, int x0, int y0, const int (&pair)[2], const Space& space,
                 const std::vector<Entry>& entries, std::span<const KernelEntry> kernel, double strength,
                 int width, int height, double limit, CellRun& run) {
  run.cost = 0;
  run.after = start;
  const int rows = std::min(kCell, height - y0), cols = std::min(kCell, width - x0);
  for (int dy = 0; dy < rows; ++dy) {
    const int y = y0 + dy;
    const bool forward = (y & 1) == 0;
    for (int i = 0; i < cols; ++i) {
      const int dx = forward ? i : cols - 1 - i;
      const Mapped m = map_one(run.after.at(dx, dy), space, entries, std::span<const int>(pair, 2));
      run.cost += m.cost;
      // Every term of the cost is positive: once past the best pair's, this
      // pair cannot win, and the rest of the cell is not worth dithering.
      if (run.cost > limit) return;
      run.entry[static_cast<std::size_t>(dy * kCell + dx)] = m.entry;
      const Rgb wanted = clamped(start.at(dx, dy));
      const Rgb& shown = entries[static_cast<std::size_t>(m.entry)].working;
      for (std::size_t c = 0; c < 3; ++c) run.wrong[static_cast<std::size_t>(dy * kCell + dx)][c] = wanted[c] - shown[c];
      spread(kernel, x0 + dx, y, m.error, strength, [&](int tx, int ty, const Rgb& e) {
        const int wx = tx - x0, wy = ty - y0;
        if (wx < -kReach || wx >= kCell + kReach || wy >= kWindowH || tx >= width || ty >= height || tx < 0) return;
        // Pixels of this cell already mapped, and those left of it on its
        // own rows, are done.
        if (wy < kCell && wx < 0) return;
        Rgb& t = run.after.at(wx, wy);
        for (int c = 0; c < 3; ++c) t[static_cast<std::size_t>(c)] += e[static_cast<std::size_t>(c)];
      });
    }
  }
  // The eye sees dithering as the mean of a few pixels: what the pair leaves
  // wrong in each 3 x 3 mean counts beside each pixel's own distance.
  double means = 0;
  for (int dy = 0; dy < rows; ++dy)
    for (int dx = 0; dx < cols; ++dx) {
      Rgb sum{};
      for (int j = std::max(0, dy - 1); j <= std::min(rows - 1, dy + 1); ++j)
        for (int i = std::max(0, dx - 1); i <= std::min(cols - 1, dx + 1); ++i)
          for (std::size_t c = 0; c < 3; ++c) sum[c] += run.wrong[static_cast<std::size_t>(j * kCell + i)][c];
      means += (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / 81;
    }
  run.cost += kMeanWeight * means;
}

// Quick rank of the pairs (a, b) for a cell, b from a to 16: every pixel's
// distance to the nearer of the two, without dithering. All b at once, so
// that their sums (each added pixel by pixel, in order) do not wait for
// each other.
std::array<double, 17> plain_costs(const std::vector<std::array<double, 17>>& distances, int a) {
  std::array<double, 17> totals{};
  for (const auto& d : distances) {
    const double to_a = d[static_cast<std::size_t>(a)];
    for (std::size_t b = static_cast<std::size_t>(a); b < 17; ++b) totals[b] += std::min(to_a, d[b]);
  }
  return totals;
}

// The mean key of the cell is what dithering between the pair must reach:
// its distance to the segment between them, counted for every pixel.
double reach_cost(const Oklab& mean, const Entry& a, const Entry& b, int pixels) {
  const double dl = b.key.L - a.key.L, da = b.key.a - a.key.a, db = b.key.b - a.key.b;
  const double len = dl * dl + da * da + db * db;
  double t = 0;
  if (len > 0) t = std::clamp(((mean.L - a.key.L) * dl + (mean.a - a.key.a) * da + (mean.b - a.key.b) * db) / len, 0.0, 1.0);
  const Oklab p{a.key.L + t * dl, a.key.a + t * da, a.key.b + t * db};
  return pixels * squared_distance(mean, p);
}

// Whether a cell holds a pixel that takes the key colour now. The cells'
// flags cannot tell: they stay raised from every earlier picture, placement
// and threshold the window converted, so that the threshold's handler knows
// which cells to revisit.
bool holds_key(const Store& s, int x0, int y0) {
  for (int y = y0; y < y0 + kCell && y < s.OUTPUTY; ++y)
    for (int x = x0; x < x0 + kCell && x < s.OUTPUTX; ++x)
      if (counts_as_transparent(s, s.IMAGEIN(x, y, 4))) return true;
  return false;
}

}  // namespace

Mapping map_cells(Store& s, const Space& space, const std::vector<Entry>& entries,
                  std::span<const KernelEntry> kernel) {
  Plane plane = working_plane(s, space);
  Mapping out{std::vector<std::uint8_t>(static_cast<std::size_t>(s.OUTPUTX) * s.OUTPUTY),
              std::vector<std::uint8_t>(static_cast<std::size_t>(s.OUTPUTX) * s.OUTPUTY)};
  const int first = s.ISTRANSPARENT == 1 ? 2 : 1;
  std::array<CellRun, 2> runs;
  for (int y0 = 0; y0 < s.OUTPUTY; y0 += kCell)
    for (int x0 = 0; x0 < s.OUTPUTX; x0 += kCell) {
      const int cx = x0 / kCell, cy = y0 / kCell;
      Window start;
      for (int dy = 0; dy < kWindowH; ++dy)
        for (int dx = -kReach; dx < kCell + kReach; ++dx)
          if (plane.inside(x0 + dx, y0 + dy)) start.at(dx, dy) = plane.at(x0 + dx, y0 + dy);

      // A cell that holds the key colour keeps the pair chosen for it; any
      // other cell's choice depends on the palette and the picture alone, so
      // that rendering again gives the same picture.
      std::vector<std::array<int, 2>> tried;
      if (holds_key(s, x0, y0)) {
        tried.push_back({s.OUTCOLORBLOCK[cx][cy][1], s.OUTCOLORBLOCK[cx][cy][2]});
      } else {
        std::vector<Oklab> keys;
        Oklab mean;
        for (int dy = 0; dy < kCell && y0 + dy < s.OUTPUTY; ++dy)
          for (int dx = 0; dx < kCell && x0 + dx < s.OUTPUTX; ++dx) {
            keys.push_back(space.key(clamped(start.at(dx, dy))));
            mean.L += keys.back().L;
            mean.a += keys.back().a;
            mean.b += keys.back().b;
          }
        const double n = static_cast<double>(keys.size());
        mean = {mean.L / n, mean.a / n, mean.b / n};
        std::vector<std::array<double, 17>> distances(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
          for (int k = first; k <= 16; ++k)
            distances[i][static_cast<std::size_t>(k)] = squared_distance(keys[i], entries[static_cast<std::size_t>(k)].key);
        struct Ranked {
          double cost;
          int a, b;
        };
        std::vector<Ranked> ranked;
        for (int a = first; a <= 16; ++a) {
          const std::array<double, 17> plain = plain_costs(distances, a);
          for (int b = a; b <= 16; ++b) {
            const Entry& ea = entries[static_cast<std::size_t>(a)];
            const Entry& eb = entries[static_cast<std::size_t>(b)];
            ranked.push_back({plain[static_cast<std::size_t>(b)] + reach_cost(mean, ea, eb, static_cast<int>(keys.size())), a, b});
          }
        }
        const std::size_t keep = std::min(kTriedPairs, ranked.size());
        std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(keep), ranked.end(),
                          [](const Ranked& p, const Ranked& q) {
                            return p.cost < q.cost || (p.cost == q.cost && (p.a < q.a || (p.a == q.a && p.b < q.b)));
                          });
        for (std::size_t i = 0; i < keep; ++i) tried.push_back({ranked[i].a, ranked[i].b});
      }

      // Two runs' room: the best so far is kept, the next pair is tried into
      // the other, and they trade places by pointer, not by copy.
      CellRun* best_run = &runs[0];
      CellRun* trial = &runs[1];
      std::array<int, 2> chosen = tried[0];
      for (std::size_t i = 0; i < tried.size(); ++i) {
        const int pair[2] = {tried[i][0], tried[i][1]};
        CellRun& into = i == 0 ? *best_run : *trial;
        dither_cell(start, x0, y0, pair, space, entries, kernel, s.DITHERSTRENGTH, s.OUTPUTX, s.OUTPUTY,
                    i == 0 ? kNoLimit : best_run->cost, into);
        if (i > 0 && trial->cost < best_run->cost) {
          std::swap(best_run, trial);
          chosen = tried[i];
        }
      }
      const CellRun& best = *best_run;
      s.OUTCOLORBLOCK[cx][cy][1] = chosen[0];
      s.OUTCOLORBLOCK[cx][cy][2] = chosen[1];
      for (int dy = 0; dy < kWindowH; ++dy)
        for (int dx = -kReach; dx < kCell + kReach; ++dx)
          if (plane.inside(x0 + dx, y0 + dy)) plane.at(x0 + dx, y0 + dy) = best.after.at(dx, dy);
      for (int dy = 0; dy < kCell && y0 + dy < s.OUTPUTY; ++dy)
        for (int dx = 0; dx < kCell && x0 + dx < s.OUTPUTX; ++dx) {
          const int entry = best.entry[static_cast<std::size_t>(dy * kCell + dx)];
          const std::size_t at = static_cast<std::size_t>(y0 + dy) * s.OUTPUTX + x0 + dx;
          out.entry[at] = static_cast<std::uint8_t>(entry);
          out.vector[at] = entry == chosen[0] ? 1 : 2;
        }
    }
  return out;
}

}  // namespace tessera::look

