// The look's refinement of a method's palette: K-means over the working
// image's colours weighted by their pixels, compared in OKLab, with every
// centre moved to the grid inside the loop (so that the assignment sees the
// colours the file will hold), and the picture's dominant flat colours kept
// exactly as the grid can show them.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "palettes/palette_methods.h"
#include "tessera/colour_space.h"
#include "tessera/pins.h"

namespace tessera {

namespace {

struct Sample {
  Oklab lab;
  double weight = 0;
  std::array<int, 3> rgb{};
};

constexpr int nearest_grid(int v) { return (v * 2 + 17) / 34 * 17; }  // 8.5 -> 17: half up, never a tie

// The space the search compares and averages in: OKLab, or the sRGB values
// themselves (0..1) for the plain distance. Oklab holds either.
struct Space {
  bool oklab = false;
  Oklab lab_of(int r, int g, int b) const;
  std::array<double, 3> srgb_of(const Oklab& p) const;
};

Oklab Space::lab_of(int r, int g, int b) const {
  if (!oklab) return {r / 255.0, g / 255.0, b / 255.0};
  const auto& lin = linear_of_srgb8();
  return oklab_from_linear(lin[static_cast<std::size_t>(r)], lin[static_cast<std::size_t>(g)],
                           lin[static_cast<std::size_t>(b)]);
}

// A point of the space as sRGB values 0..255, clamped to the gamut.
std::array<double, 3> Space::srgb_of(const Oklab& p) const {
  if (!oklab)
    return {std::clamp(p.L, 0.0, 1.0) * 255, std::clamp(p.a, 0.0, 1.0) * 255, std::clamp(p.b, 0.0, 1.0) * 255};
  const std::array<double, 3> lin = linear_from_oklab(p);
  std::array<double, 3> out{};
  for (std::size_t k = 0; k < 3; ++k)
    out[k] = std::clamp(srgb_from_linear(std::clamp(lin[k], 0.0, 1.0)), 0.0, 1.0) * 255;
  return out;
}

std::vector<Sample> samples_of(const Store& s, const Space& space) {
  std::vector<std::uint32_t> keys;
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      if (!counts_as_transparent(s, s.IMAGEIN(x, y, 4)))
        keys.push_back(static_cast<std::uint32_t>(s.IMAGEINORG(x, y, 1) * 65536 + s.IMAGEINORG(x, y, 2) * 256 +
                                                  s.IMAGEINORG(x, y, 3)));
  std::sort(keys.begin(), keys.end());
  std::vector<Sample> out;
  for (std::size_t i = 0; i < keys.size();) {
    std::size_t j = i;
    while (j < keys.size() && keys[j] == keys[i]) ++j;
    const int r = static_cast<int>(keys[i] >> 16), g = static_cast<int>((keys[i] >> 8) & 255),
              b = static_cast<int>(keys[i] & 255);
    out.push_back({space.lab_of(r, g, b), static_cast<double>(j - i), {r, g, b}});
    i = j;
  }
  return out;
}

struct Centre {
  std::array<int, 3> rgb{};  // on the grid
  Oklab lab;
  bool fixed = false;  // a pin or a dominant colour: never moves
};

void set_colour(Centre& c, int r, int g, int b, const Space& space) {
  c.rgb = {r, g, b};
  c.lab = space.lab_of(r, g, b);
}

// The grid colour nearest in OKLab to a mean: the best of the grid points
// around it, since a cluster's weighted error grows with the squared
// distance of its colour from the mean.
void move_to_grid(Centre& c, const Oklab& mean, const Space& space) {
  const std::array<double, 3> v = space.srgb_of(mean);
  int lo[3], hi[3];
  for (int k = 0; k < 3; ++k) {
    lo[k] = std::clamp(static_cast<int>(v[static_cast<std::size_t>(k)] / 17) * 17, 0, 255);
    hi[k] = std::min(lo[k] + 17, 255);
  }
  double best = -1;
  for (int i = 0; i < 8; ++i) {
    const int r = i & 1 ? hi[0] : lo[0], g = i & 2 ? hi[1] : lo[1], b = i & 4 ? hi[2] : lo[2];
    const double d = squared_distance(space.lab_of(r, g, b), mean);
    if (best < 0 || d < best) {
      best = d;
      set_colour(c, r, g, b, space);
    }
  }
}

// A share of the pixels above which one flat colour is kept as it is.
constexpr double kDominantShare = 0.03;
constexpr std::size_t kMaxDominant = 4;
// How far a channel may lie from the grid for its colour to count as on it.
constexpr int kOnGrid = 3;
constexpr int kRounds = 16;

}  // namespace

void refine_palette_for_look(Store& s, int first_slot) {
  const Space space{s.DISTANCE != 0};
  const std::vector<Sample> samples = samples_of(s, space);
  if (samples.empty()) return;
  const std::vector<int> free = free_slots(s, first_slot);
  if (free.empty()) return;

  std::vector<Centre> centres(17);
  for (int k = first_slot; k <= 16; ++k) {
    Centre& c = centres[static_cast<std::size_t>(k)];
    c.fixed = std::find(free.begin(), free.end(), k) == free.end();
    const auto& v = s.CLUSTER[k];
    if (c.fixed)
      set_colour(c, to_grid(v[1]), to_grid(v[2]), to_grid(v[3]), space);
    else
      set_colour(c, nearest_grid(v[1]), nearest_grid(v[2]), nearest_grid(v[3]), space);
  }

  // Dominant flat colours (a background, a sky of one colour) take the free
  // entries nearest them: the grid colour itself where the colour lies on the
  // grid, else the two grid colours around it, so that diffusion mixes it
  // from its closest neighbours instead of scattering far colours over it.
  // A flat colour is one exact colour on many pixels; a gradient spreads its
  // pixels over many, even where they fall on one grid colour.
  {
    auto keep = [&](const std::array<int, 3>& rgb) {
      int nearest = 0;
      double nearest_d = 0;
      const Oklab lab = space.lab_of(rgb[0], rgb[1], rgb[2]);
      for (int k = first_slot; k <= 16; ++k) {
        Centre& c = centres[static_cast<std::size_t>(k)];
        if (c.rgb == rgb) {
          c.fixed = true;
          return;
        }
        if (c.fixed) continue;
        const double d = squared_distance(lab, c.lab);
        if (nearest == 0 || d < nearest_d) {
          nearest = k;
          nearest_d = d;
        }
      }
      if (nearest == 0) return;
      set_colour(centres[static_cast<std::size_t>(nearest)], rgb[0], rgb[1], rgb[2], space);
      centres[static_cast<std::size_t>(nearest)].fixed = true;
    };
    double total = 0;
    for (const Sample& p : samples) total += p.weight;
    std::vector<const Sample*> flat;
    for (const Sample& p : samples)
      if (p.weight >= kDominantShare * total) flat.push_back(&p);
    std::stable_sort(flat.begin(), flat.end(), [](const Sample* a, const Sample* b) { return a->weight > b->weight; });
    if (flat.size() > kMaxDominant) flat.resize(kMaxDominant);
    for (const Sample* p : flat) {
      std::array<int, 3> on_grid{}, beyond{};
      bool between = false;
      for (std::size_t k = 0; k < 3; ++k) {
        on_grid[k] = nearest_grid(p->rgb[k]);
        const int off = p->rgb[k] - on_grid[k];
        beyond[k] = std::clamp(on_grid[k] + (off > kOnGrid ? 17 : off < -kOnGrid ? -17 : 0), 0, 255);
        between = between || beyond[k] != on_grid[k];
      }
      keep(on_grid);
      if (between) keep(beyond);
    }
  }

  std::vector<int> owner(samples.size(), 0);
  for (int round = 0; round < kRounds; ++round) {
    bool changed = false;
    std::array<Oklab, 17> sum{};
    std::array<double, 17> weight{};
    for (std::size_t i = 0; i < samples.size(); ++i) {
      int best = first_slot;
      double best_d = squared_distance(samples[i].lab, centres[static_cast<std::size_t>(first_slot)].lab);
      for (int k = first_slot + 1; k <= 16; ++k) {
        const double d = squared_distance(samples[i].lab, centres[static_cast<std::size_t>(k)].lab);
        if (d < best_d) {
          best_d = d;
          best = k;
        }
      }
      if (owner[i] != best) changed = true;
      owner[i] = best;
      const double w = samples[i].weight;
      Oklab& t = sum[static_cast<std::size_t>(best)];
      t.L += w * samples[i].lab.L;
      t.a += w * samples[i].lab.a;
      t.b += w * samples[i].lab.b;
      weight[static_cast<std::size_t>(best)] += w;
    }
    if (!changed && round > 0) break;
    for (int k = first_slot; k <= 16; ++k) {
      Centre& c = centres[static_cast<std::size_t>(k)];
      if (c.fixed) continue;
      const double w = weight[static_cast<std::size_t>(k)];
      if (w > 0) {
        const Oklab& t = sum[static_cast<std::size_t>(k)];
        move_to_grid(c, Oklab{t.L / w, t.a / w, t.b / w}, space);
        continue;
      }
      // An entry no colour chose goes where the error is largest.
      std::size_t worst = 0;
      double worst_e = -1;
      for (std::size_t i = 0; i < samples.size(); ++i) {
        const double e = samples[i].weight * squared_distance(samples[i].lab, centres[static_cast<std::size_t>(owner[i])].lab);
        if (e > worst_e) {
          worst_e = e;
          worst = i;
        }
      }
      move_to_grid(c, samples[worst].lab, space);
    }
  }

  for (int k : free)
    for (int c = 1; c <= 3; ++c) s.CLUSTER[k][c] = centres[static_cast<std::size_t>(k)].rgb[static_cast<std::size_t>(c - 1)];
}

}  // namespace tessera
