#include "tessera/pins.h"

namespace tessera {

bool is_pinned(const Store& s, int k) {
  if (k < 1 || k > 16) return false;
  if (k == 1 && s.ISTRANSPARENT == 1) return false;
  return s.PINNED[static_cast<std::size_t>(k)];
}

std::vector<int> free_slots(const Store& s, int first_slot) {
  std::vector<int> slots;
  for (int k = first_slot; k <= 16; ++k)
    if (!is_pinned(s, k)) slots.push_back(k);
  return slots;
}

void pin_entry(Store& s, int k, const PaletteColour& colour) {
  if (k < 1 || k > 16) return;
  s.PINNED[static_cast<std::size_t>(k)] = true;
  for (int c = 1; c <= 3; ++c) s.PINCOLOUR[k][c] = to_grid(colour[static_cast<std::size_t>(c - 1)]);
}

void unpin_entry(Store& s, int k) {
  if (k < 1 || k > 16) return;
  s.PINNED[static_cast<std::size_t>(k)] = false;
}

void unpin_all(Store& s) {
  s.PINNED.fill(false);
  s.PINCOLOUR = Palette{};
}

int first_free_entry(const Store& s) { return s.ISTRANSPARENT == 1 ? 2 : 1; }

std::string pin_in_order(Store& s, const std::vector<PaletteColour>& colours) {
  const std::vector<int> slots = free_slots(s, first_free_entry(s));
  // One entry must stay for the method, else there is nothing to choose.
  if (colours.size() + 1 > slots.size())
    return "too many pinned colours (" + std::to_string(colours.size()) + "); at most " +
           std::to_string(slots.empty() ? 0 : slots.size() - 1) +
           (s.ISTRANSPARENT == 1 ? " with a transparent picture" : "");
  for (std::size_t i = 0; i < colours.size(); ++i) pin_entry(s, slots[i], colours[i]);
  return {};
}

std::string place_palette(const Store& s, const std::vector<PaletteColour>& given, PaletteEntries& entries) {
  const int first = first_free_entry(s);
  // A palette saved from a transparent picture carries the key colour in
  // entry 1; given back to a transparent picture, the key is that entry.
  std::vector<PaletteColour> colours = given;
  if (first == 2 && colours.size() == 16 && colours[0] == PaletteColour{255, 0, 255}) colours.erase(colours.begin());
  const std::size_t room = static_cast<std::size_t>(17 - first);
  if (colours.size() > room)
    return "the palette has " + std::to_string(colours.size()) + " colours; at most " + std::to_string(room) +
           (first == 2 ? " fit beside the transparent colour" : " fit");
  entries = PaletteEntries{};
  if (first == 2) entries[0] = {255, 0, 255};
  for (std::size_t i = 0; i < colours.size(); ++i)
    for (std::size_t c = 0; c < 3; ++c) entries[static_cast<std::size_t>(first - 1) + i][c] = to_grid(colours[i][c]);
  return {};
}

std::string fix_palette(Store& s, const std::vector<PaletteColour>& colours) {
  PaletteEntries entries{};
  if (std::string e = place_palette(s, colours, entries); !e.empty()) return e;
  for (int k = first_free_entry(s); k <= 16; ++k) pin_entry(s, k, entries[static_cast<std::size_t>(k - 1)]);
  return {};
}

}  // namespace tessera
