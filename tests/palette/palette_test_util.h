// Working images built straight in the store, for the palette tests.
#pragma once

#include <array>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tessera/controls.h"
#include "tessera/store.h"

namespace tessera::testing {

using Rgb = std::array<int, 3>;

// The store is large; tests keep it on the heap.
inline std::unique_ptr<Store> make_store(int width, int height, int file_type = 1) {
  auto s = std::make_unique<Store>();
  s->OUTPUTX = width;
  s->OUTPUTY = height;
  s->OUTPUTFILETYPE = file_type;
  return s;
}

inline void set_pixel(Store& s, int x, int y, Rgb rgb, int alpha = 255) {
  for (int c = 1; c <= 3; ++c) {
    s.IMAGEIN(x, y, c) = rgb[static_cast<std::size_t>(c - 1)];
    s.IMAGEINORG(x, y, c) = rgb[static_cast<std::size_t>(c - 1)];
  }
  s.IMAGEIN(x, y, 4) = alpha;
  if (alpha < 255) s.ISTRANSPARENT = 1;
}

// The distinct colours of the working image in ascending (red, green, blue)
// order, as the census leaves them.
inline void fill_census(Store& s) {
  std::set<Rgb> colours;
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      colours.insert(Rgb{s.IMAGEINORG(x, y, 1), s.IMAGEINORG(x, y, 2), s.IMAGEINORG(x, y, 3)});
  for (auto& e : s.COLORS) e = CensusEntry{};
  s.COLCOUNT = 0;
  for (const Rgb& c : colours) {
    ++s.COLCOUNT;
    s.COLORS[static_cast<std::size_t>(s.COLCOUNT)] = CensusEntry{0, c[0], c[1], c[2]};
  }
}

// A census given directly (it must be ascending and distinct for the methods
// to see what the census stage would give them).
inline void set_census(Store& s, const std::vector<Rgb>& colours) {
  s.COLCOUNT = static_cast<int>(colours.size());
  for (std::size_t k = 0; k < colours.size(); ++k)
    s.COLORS[k + 1] = CensusEntry{0, colours[k][0], colours[k][1], colours[k][2]};
}

inline Rgb palette_entry(const Palette& p, int k) {
  return Rgb{p[static_cast<std::size_t>(k)][1], p[static_cast<std::size_t>(k)][2],
             p[static_cast<std::size_t>(k)][3]};
}

// Keeps every status text, not just the last.
class RecordingControls : public ControlValues {
 public:
  std::vector<std::string> status;
  void set_text(Ctl label, const std::string& text) override {
    if (label == Ctl::StatusBar) status.push_back(text);
    ControlValues::set_text(label, text);
  }
};

// Fills the whole working image with random colours drawn from a small set
// (so that colours repeat) or from the whole cube.
inline void random_picture(Store& s, std::mt19937& rng, int distinct_hint) {
  std::vector<Rgb> pool;
  std::uniform_int_distribution<int> channel(0, 255);
  for (int i = 0; i < distinct_hint; ++i) pool.push_back(Rgb{channel(rng), channel(rng), channel(rng)});
  std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) set_pixel(s, x, y, pool[pick(rng)]);
}

}  // namespace tessera::testing
