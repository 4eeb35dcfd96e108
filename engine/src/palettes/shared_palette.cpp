#include "tessera/shared_palette.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "palettes/palette_methods.h"
#include "tessera/given_palette.h"
#include "tessera/pins.h"

namespace tessera {

namespace {

// Both lists ascending by colour; the result likewise, equal colours merged.
std::vector<ColourCount> merged(const std::vector<ColourCount>& a, const std::vector<ColourCount>& b) {
  std::vector<ColourCount> out;
  out.reserve(a.size() + b.size());
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i].colour < b[j].colour)) {
      out.push_back(a[i++]);
    } else if (i == a.size() || b[j].colour < a[i].colour) {
      out.push_back(b[j++]);
    } else {
      // Counts saturate rather than wrap: only their order matters.
      const long long sum = static_cast<long long>(a[i].count) + b[j].count;
      out.push_back({a[i].colour, static_cast<std::int32_t>(std::min<long long>(sum, INT_MAX))});
      ++i;
      ++j;
    }
  }
  return out;
}

std::vector<ColourCount> count_pixels(const Store& s, bool opaque_only) {
  std::vector<std::int32_t> keys;
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      if (opaque_only && counts_as_transparent(s, s.IMAGEIN(x, y, 4))) continue;
      keys.push_back(s.IMAGEINORG(x, y, 1) * 65536 + s.IMAGEINORG(x, y, 2) * 256 + s.IMAGEINORG(x, y, 3));
    }
  std::sort(keys.begin(), keys.end());
  std::vector<ColourCount> rows;
  for (std::size_t i = 0; i < keys.size();) {
    std::size_t j = i;
    while (j < keys.size() && keys[j] == keys[i]) ++j;
    rows.push_back({keys[i], static_cast<std::int32_t>(j - i)});
    i = j;
  }
  return rows;
}

// ColorQ sums count x channel in 32 bits, which holds the pixels of about
// 130 whole pictures. Beyond that the counts are scaled down alike (rounded,
// at least 1), which keeps their proportions and the sums in range.
std::vector<ColourCount> weights_that_fit(const std::vector<ColourCount>& colours) {
  constexpr long long kMaxPixels = (1LL << 31) / 256;
  long long total = 0;
  for (const ColourCount& c : colours) total += c.count;
  if (total <= kMaxPixels) return colours;
  std::vector<ColourCount> scaled = colours;
  // Rounding up each count may add one per colour; leave room for that.
  const long double budget = static_cast<long double>(kMaxPixels - static_cast<long long>(colours.size()));
  for (ColourCount& c : scaled)
    c.count = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::nearbyint(c.count * budget / total)));
  return scaled;
}

std::array<int, 3> unpacked(std::int32_t v) { return {(v >> 16) & 255, (v >> 8) & 255, v & 255}; }

}  // namespace

void add_to_census(SharedCensus& census, const Store& picture) {
  census.colours = merged(census.colours, count_pixels(picture, false));
  census.opaque = merged(census.opaque, count_pixels(picture, picture.ISTRANSPARENT == 1));
  census.transparent = census.transparent || picture.ISTRANSPARENT == 1;
  ++census.pictures;
}

PaletteEntries choose_shared_palette(const SharedCensus& census, const Store& settings, Controls& controls,
                                     std::string* note) {
  auto s = std::make_unique<Store>();
  s->KMEANS = settings.KMEANS;
  s->MAXITERATIONS = settings.MAXITERATIONS;
  s->TRANS = settings.TRANS;
  s->ISTRANSPARENT = census.transparent ? 1 : 0;
  s->PINNED = settings.PINNED;
  s->PINCOLOUR = settings.PINCOLOUR;
  s->GIVENPALETTE = settings.GIVENPALETTE;
  s->GIVENCOLOURS = settings.GIVENCOLOURS;
  s->GIVENNAME = settings.GIVENNAME;
  s->PALETTEPICK = settings.PALETTEPICK;
  s->PALETTEFILL = settings.PALETTEFILL;
  const int first = first_free_entry(*s);
  if (first == 2)
    for (int c = 1; c <= 3; ++c) s->CLUSTER[1][c] = c == 2 ? 0 : 255;
  const GivenPalette given = hold_given_palette(*s);
  for (int k = first; k <= 16; ++k)
    if (is_pinned(*s, k))
      for (int c = 1; c <= 3; ++c) s->CLUSTER[k][c] = s->PINCOLOUR[k][c];
  const std::vector<int> slots = free_slots(*s, first);

  // Few colours in all: they are the palette, as for one picture, beside the
  // pins (colours that a pin already shows on the grid are left out).
  std::vector<std::array<int, 3>> few;
  for (const ColourCount& cc : census.transparent ? census.opaque : census.colours) {
    const std::array<int, 3> c = unpacked(cc.colour);
    bool shown = false;
    for (int k = first; k <= 16; ++k)
      if (is_pinned(*s, k) && s->PINCOLOUR[k][1] == to_grid(c[0]) && s->PINCOLOUR[k][2] == to_grid(c[1]) &&
          s->PINCOLOUR[k][3] == to_grid(c[2]))
        shown = true;
    if (!shown) few.push_back(c);
    if (few.size() > slots.size()) break;
  }

  if (slots.empty()) {
    // Everything pinned.
  } else if (census.colours.size() <= 16 && few.size() <= slots.size()) {
    for (std::size_t i = 0; i < slots.size(); ++i)
      for (int c = 1; c <= 3; ++c) s->CLUSTER[slots[i]][c] = i < few.size() ? few[i][static_cast<std::size_t>(c - 1)] : 0;
  } else {
    if (controls.checked(Ctl::Kmeans)) s->KMEANS = 1;
    if (controls.checked(Ctl::Scolorq)) s->KMEANS = 2;
    if (controls.checked(Ctl::MedianCut)) s->KMEANS = 0;
    const std::size_t n = census.colours.size();
    if (s->COLORS.size() < n + 1) s->COLORS.resize(n + 1);
    for (std::size_t i = 0; i < n; ++i) {
      const std::array<int, 3> c = unpacked(census.colours[i].colour);
      s->COLORS[i + 1] = {0, c[0], c[1], c[2]};
    }
    s->end_census(static_cast<int>(n));
    switch (s->KMEANS) {
      case 0:
        median_cut(*s, first);
        break;
      case 1:
        kmeans_plus_plus(*s, controls, first);
        break;
      case 2:
        colorq(*s, controls, first, weights_that_fit(census.colours));
        break;
      default:
        break;
    }
  }
  finish_given_palette(*s, given);
  if (note != nullptr) *note = s->PALETTENOTE;
  PaletteEntries entries{};
  for (int k = 1; k <= 16; ++k)
    for (int c = 1; c <= 3; ++c) entries[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(c - 1)] = to_grid(s->CLUSTER[k][c]);
  return entries;
}

void pin_whole_palette(Store& store, const PaletteEntries& entries) {
  for (int k = 1; k <= 16; ++k) pin_entry(store, k, entries[static_cast<std::size_t>(k - 1)]);
}

}  // namespace tessera
