// Pinned palette entries: colours the user fixed, which palette selection
// keeps where they are and chooses only the other entries around.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tessera/colour.h"
#include "tessera/store.h"

namespace tessera {

// Is entry k (1..16) pinned for the picture as it stands?  Entry 1 is not
// while it holds the transparent key.
bool is_pinned(const Store& store, int k);

// The entries first_slot..16 that are not pinned, ascending.
std::vector<int> free_slots(const Store& store, int first_slot);

void pin_entry(Store& store, int k, const PaletteColour& colour);
void unpin_entry(Store& store, int k);
void unpin_all(Store& store);

// The first entry a method may fill: 2 when entry 1 is the transparent key.
int first_free_entry(const Store& store);

// Pins the colours, in the order given, to the lowest entries from
// first_free_entry on (the input stage must have run, so that transparency
// is known). Returns "" or why they do not fit; nothing is pinned then.
std::string pin_in_order(Store& store, const std::vector<PaletteColour>& colours);

// A pinned colour as settings write it: "RRGGBB" takes the next free entry,
// "N:RRGGBB" entry N, where the window pinned it.
struct PinAt {
  int entry = 0;  // 1..16; 0 for the next free one
  PaletteColour colour{};
  friend bool operator==(const PinAt&, const PinAt&) = default;
};

// Reads a comma-separated list of them (empty text: none). Returns "" or
// what is wrong with it.
std::string read_pin_list(std::string_view text, std::vector<PinAt>& pins);
// The list's text, as read_pin_list reads it.
std::string pin_list_text(const std::vector<PinAt>& pins);
// The store's pinned entries as such a list, each at its entry.
std::vector<PinAt> pins_of(const Store& store);
// Pins those with an entry there, then the others in order as pin_in_order
// does. Returns "" or why they do not fit; nothing is pinned then.
std::string pin_colours(Store& store, const std::vector<PinAt>& pins);

// A palette given whole: the colours take entries first_free_entry.. in order
// and every further entry is pinned black, so no method runs at all. Returns
// "" or why the colours do not fit (15 with a transparent picture, else 16;
// 16 whose first is the key colour magenta count as the key and 15).
std::string fix_palette(Store& store, const std::vector<PaletteColour>& colours);

// Where the colours of a palette file go for this picture, as fix_palette
// places them: from entry 1, or from entry 2 beside the transparent key.
// Returns "" or why they do not fit.
std::string place_palette(const Store& store, const std::vector<PaletteColour>& colours, PaletteEntries& entries);

}  // namespace tessera
