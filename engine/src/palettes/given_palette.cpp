#include "tessera/given_palette.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "tessera/palette_file.h"
#include "tessera/pins.h"
#include "tessera/settings.h"

namespace tessera {

namespace {

constexpr PaletteColour kKey = {255, 0, 255};

void hold(Store& s, int k, const PaletteColour& colour) {
  pin_entry(s, k, colour);
  s.GIVENPINNED[static_cast<std::size_t>(k)] = true;
  for (int c = 1; c <= 3; ++c) s.CLUSTER[k][c] = s.PINCOLOUR[k][c];
}

void release(Store& s) {
  for (int k = 1; k <= 16; ++k)
    if (s.GIVENPINNED[static_cast<std::size_t>(k)]) {
      s.GIVENPINNED[static_cast<std::size_t>(k)] = false;
      unpin_entry(s, k);
    }
}

PaletteColour entry_colour(const Store& s, int k) { return {s.CLUSTER[k][1], s.CLUSTER[k][2], s.CLUSTER[k][3]}; }

// The colours that the palette file gives for this picture: a palette saved
// from a transparent picture carries the key in entry 1, and given back to a
// transparent picture the key is that entry.
std::vector<PaletteColour> file_colours(const Store& s) {
  std::vector<PaletteColour> colours(s.GIVENCOLOURS.begin(), s.GIVENCOLOURS.end());
  if (first_free_entry(s) == 2 && colours.size() == 16 && colours[0] == kKey) colours.erase(colours.begin());
  return colours;
}

}  // namespace

void give_palette(Store& s, const std::vector<PaletteColour>& colours, const std::string& name) {
  s.GIVENPALETTE = true;
  s.GIVENCOLOURS.clear();
  for (const PaletteColour& c : colours) s.GIVENCOLOURS.push_back({to_grid(c[0]), to_grid(c[1]), to_grid(c[2])});
  s.GIVENNAME = name;
}

void drop_given_palette(Store& s) {
  release(s);
  s.GIVENPALETTE = false;
  s.GIVENCOLOURS.clear();
  s.GIVENNAME.clear();
  s.PALETTENOTE.clear();
}

GivenPalette hold_given_palette(Store& s) {
  release(s);
  s.PALETTENOTE.clear();
  GivenPalette given;
  if (!s.GIVENPALETTE) return given;
  const std::vector<int> slots = free_slots(s, first_free_entry(s));
  std::vector<PaletteColour> colours = file_colours(s);
  if (colours.size() > slots.size()) {
    // Too many: each colour once, and none that a pin shows already.
    std::vector<PaletteColour> fresh;
    for (const PaletteColour& c : distinct_colours(colours)) {
      bool shown = false;
      for (int k = first_free_entry(s); k <= 16; ++k) shown = shown || (is_pinned(s, k) && entry_colour(s, k) == c);
      if (!shown) fresh.push_back(c);
    }
    colours = std::move(fresh);
  }
  if (colours.size() > slots.size()) {
    if (s.PALETTEPICK == static_cast<int>(PalettePick::First)) {
      colours.resize(slots.size());
    } else {
      given.choose = true;
      given.candidates = std::move(colours);
      return given;
    }
  }
  for (std::size_t i = 0; i < colours.size(); ++i) hold(s, slots[i], colours[i]);
  if (s.PALETTEFILL == static_cast<int>(PaletteFill::Repeat) && !s.GIVENCOLOURS.empty()) {
    const PaletteColour repeated = colours.empty() ? s.GIVENCOLOURS.front() : colours.front();
    for (std::size_t i = colours.size(); i < slots.size(); ++i) hold(s, slots[i], repeated);
  }
  return given;
}

void finish_given_palette(Store& s, const GivenPalette& given) {
  if (!s.GIVENPALETTE) return;
  const int first = first_free_entry(s);
  const std::vector<int> chosen_before = free_slots(s, first);
  if (given.choose) {
    // Every pair of a free entry and a candidate, nearest first; ties go to
    // the lower entry, then to the candidate earlier in the file.
    std::vector<std::tuple<int, int, int>> pairs;
    for (int k : chosen_before)
      for (std::size_t i = 0; i < given.candidates.size(); ++i) {
        const PaletteColour& c = given.candidates[i];
        pairs.emplace_back(SQD(s.CLUSTER[k][1], c[0]) + SQD(s.CLUSTER[k][2], c[1]) + SQD(s.CLUSTER[k][3], c[2]), k,
                           static_cast<int>(i));
      }
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> taken(given.candidates.size(), false);
    for (const auto& [d, k, i] : pairs)
      if (!is_pinned(s, k) && !taken[static_cast<std::size_t>(i)]) {
        taken[static_cast<std::size_t>(i)] = true;
        hold(s, k, given.candidates[static_cast<std::size_t>(i)]);
      }
  }

  // The note: how many colours the file had and how many went in, unless
  // the file filled the free entries exactly, as every palette did before
  // files of any size were taken.
  const std::vector<PaletteColour> colours = file_colours(s);
  const std::vector<PaletteColour> distinct = distinct_colours(s.GIVENCOLOURS);
  int used = 0, for_picture = 0, entries = 0;
  std::vector<PaletteColour> seen;
  for (int k = first; k <= 16; ++k) {
    if (s.PINNED[static_cast<std::size_t>(k)] && !s.GIVENPINNED[static_cast<std::size_t>(k)]) continue;
    ++entries;
    if (!s.GIVENPINNED[static_cast<std::size_t>(k)]) {
      ++for_picture;
      continue;
    }
    const PaletteColour c = entry_colour(s, k);
    if (std::find(seen.begin(), seen.end(), c) == seen.end()) {
      seen.push_back(c);
      ++used;
    }
  }
  const bool exact = chosen_before.empty() && entries == static_cast<int>(colours.size()) &&
                     entries == 17 - first;
  if (exact) return;
  std::string note = "palette " + std::filesystem::path(s.GIVENNAME).filename().string() + ": " + std::to_string(s.GIVENCOLOURS.size()) +
                     (s.GIVENCOLOURS.size() == 1 ? " colour" : " colours");
  if (distinct.size() != s.GIVENCOLOURS.size()) note += " (" + std::to_string(distinct.size()) + " on the grid)";
  note += ", " + std::to_string(used) + " used";
  if (for_picture > 0) note += ", " + std::to_string(for_picture) + " chosen for the picture";
  s.PALETTENOTE = note;
}

}  // namespace tessera
