#include "tessera/pins.h"

#include "tessera/palette_file.h"

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

namespace {

// 'text', built piece by piece: GCC 12 warns (-Wrestrict) on "'" + std::string.
std::string quoted(std::string_view text) {
  std::string out;
  out += '\'';
  out.append(text.data(), text.size());
  out += '\'';
  return out;
}

}  // namespace

std::string read_pin_list(std::string_view text, std::vector<PinAt>& pins) {
  pins.clear();
  if (text.empty()) return {};
  while (true) {
    const std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    PinAt pin;
    if (const std::size_t colon = item.find(':'); colon != std::string_view::npos) {
      const std::string_view number = item.substr(0, colon);
      int entry = 0;
      for (char c : number) entry = c >= '0' && c <= '9' && entry < 100 ? entry * 10 + (c - '0') : 1000;
      if (number.empty() || entry < 1 || entry > 16) return quoted(item) + ": the entry before ':' is a number from 1 to 16";
      pin.entry = entry;
      item.remove_prefix(colon + 1);
    }
    const std::optional<PaletteColour> colour = parse_hex_colour(item);
    if (!colour) return quoted(item) + " is not a colour RRGGBB";
    pin.colour = {to_grid(colour->at(0)), to_grid(colour->at(1)), to_grid(colour->at(2))};
    for (const PinAt& other : pins)
      if (pin.entry != 0 && other.entry == pin.entry) return "entry " + std::to_string(pin.entry) + " is pinned twice";
    pins.push_back(pin);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return {};
}

std::string pin_list_text(const std::vector<PinAt>& pins) {
  std::string out;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const PinAt& p : pins) {
    if (!out.empty()) out += ',';
    if (p.entry != 0) out += std::to_string(p.entry) + ':';
    for (int v : p.colour) {
      out += kHex[(v >> 4) & 15];
      out += kHex[v & 15];
    }
  }
  return out;
}

std::vector<PinAt> pins_of(const Store& s) {
  std::vector<PinAt> out;
  for (int k = 1; k <= 16; ++k)
    if (is_pinned(s, k)) out.push_back({k, {s.PINCOLOUR[k][1], s.PINCOLOUR[k][2], s.PINCOLOUR[k][3]}});
  return out;
}

std::string pin_colours(Store& s, const std::vector<PinAt>& pins) {
  const auto pinned = s.PINNED;
  const Palette colours = s.PINCOLOUR;
  std::vector<PaletteColour> in_order;
  for (const PinAt& p : pins) {
    if (p.entry == 0) {
      in_order.push_back(p.colour);
    } else if (p.entry < first_free_entry(s)) {
      return "entry " + std::to_string(p.entry) + " holds the transparent colour";
    } else {
      pin_entry(s, p.entry, p.colour);
    }
  }
  if (std::string e = pin_in_order(s, in_order); !e.empty()) {
    s.PINNED = pinned;
    s.PINCOLOUR = colours;
    return e;
  }
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
