// Palette selection: chooses the 16 output colours, reduces them to the target
// machine's grid, publishes them to the swatches and, for BMP1, hands over to
// the cell pair selection.

#include <array>
#include <cmath>
#include <vector>

#include "palettes/palette_methods.h"
#include "tessera/given_palette.h"
#include "tessera/pins.h"
#include "tessera/stages.h"

namespace tessera {

namespace {

constexpr int kMagenta[4] = {0, 255, 0, 255};

void restore_working_copy(Store& s) {
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.IMAGEINORG(x, y, c);
}

// Census entries that at least one pixel shows opaquely, in census order.
// Only called for small censuses (16 entries or fewer).
std::vector<int> opaque_census_entries(const Store& s) {
  std::vector<bool> seen(static_cast<std::size_t>(s.COLCOUNT) + 1, false);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      if (counts_as_transparent(s, s.IMAGEIN(x, y, 4))) continue;
      for (int k = 1; k <= s.COLCOUNT; ++k) {
        const CensusEntry& e = s.COLORS[static_cast<std::size_t>(k)];
        if (e[1] == s.IMAGEINORG(x, y, 1) && e[2] == s.IMAGEINORG(x, y, 2) && e[3] == s.IMAGEINORG(x, y, 3)) {
          seen[static_cast<std::size_t>(k)] = true;
          break;
        }
      }
    }
  std::vector<int> entries;
  for (int k = 1; k <= s.COLCOUNT; ++k)
    if (seen[static_cast<std::size_t>(k)]) entries.push_back(k);
  return entries;
}

// A census of 16 colours or fewer becomes the palette as it is. With
// transparency slot 1 must stay the key, so only the colours that some pixel
// shows opaquely take part, from slot 2 on; when those are 16 they no longer
// fit beside the key and the caller runs a method instead. Returns whether
// the palette was filled.
bool small_census_palette(Store& s) {
  if (s.COLCOUNT > 16) return false;
  if (s.ISTRANSPARENT != 1) {
    for (int k = 1; k <= 16; ++k)
      for (int c = 1; c <= 3; ++c)
        s.CLUSTER[k][c] = k <= s.COLCOUNT ? s.COLORS[static_cast<std::size_t>(k)][c] : 0;
    return true;
  }
  const std::vector<int> opaque = opaque_census_entries(s);
  if (opaque.size() > 15) return false;
  for (int k = 2; k <= 16; ++k) {
    const std::size_t n = static_cast<std::size_t>(k - 2);
    for (int c = 1; c <= 3; ++c)
      s.CLUSTER[k][c] = n < opaque.size() ? s.COLORS[static_cast<std::size_t>(opaque[n])][c] : 0;
  }
  return true;
}

// The same with pinned entries: the pins stand where they are, and the census
// colours that no pin already shows fill the other entries in census order
// (only those shown opaquely with transparency); black after them. Returns
// whether they fit.
bool small_census_beside_pins(Store& s, int first_slot) {
  if (s.COLCOUNT > 16) return false;
  std::vector<int> entries;
  if (s.ISTRANSPARENT == 1) {
    entries = opaque_census_entries(s);
  } else {
    for (int k = 1; k <= s.COLCOUNT; ++k) entries.push_back(k);
  }
  std::vector<std::array<int, 3>> colours;
  for (int e : entries) {
    const CensusEntry& c = s.COLORS[static_cast<std::size_t>(e)];
    bool shown = false;
    for (int k = first_slot; k <= 16; ++k)
      if (is_pinned(s, k) && s.PINCOLOUR[k][1] == to_grid(c[1]) && s.PINCOLOUR[k][2] == to_grid(c[2]) &&
          s.PINCOLOUR[k][3] == to_grid(c[3]))
        shown = true;
    if (!shown) colours.push_back({c[1], c[2], c[3]});
  }
  const std::vector<int> slots = free_slots(s, first_slot);
  if (colours.size() > slots.size()) return false;
  for (std::size_t i = 0; i < slots.size(); ++i)
    for (int c = 1; c <= 3; ++c)
      s.CLUSTER[slots[i]][c] = i < colours.size() ? colours[i][static_cast<std::size_t>(c - 1)] : 0;
  return true;
}

void choose_method(Store& s, Controls& controls) {
  // The run follows the option buttons as they stand, whatever their click
  // handlers last stored.
  if (controls.checked(Ctl::Kmeans)) s.KMEANS = 1;
  if (controls.checked(Ctl::Scolorq)) s.KMEANS = 2;
  if (controls.checked(Ctl::MedianCut)) s.KMEANS = 0;
}

void reduce_to_grid(Store& s) {
  for (int k = 1; k <= 16; ++k)
    for (int c = 1; c <= 3; ++c) {
      const int v = to_grid(s.CLUSTER[k][c]);
      s.OCLUSTER[k][c] = v;
      s.CLUSTER[k][c] = v;
    }
}

}  // namespace

void INITIALIZECOLORS(Store& s, Controls& controls) {
  restore_working_copy(s);
  for (int k = 1; k <= 16; ++k) s.CLUSTER[k][4] = 0;
  if (s.ISTRANSPARENT == 1)
    for (int c = 1; c <= 3; ++c) s.CLUSTER[1][c] = s.OCLUSTER[1][c] = kMagenta[c];
  const int STARTINDEX = s.ISTRANSPARENT == 1 ? 2 : 1;
  s.KMEANSITERATIONS = 0;
  const GivenPalette given = hold_given_palette(s);

  // Pinned entries hold their colours before any method looks at the palette.
  bool pins = false;
  for (int k = STARTINDEX; k <= 16; ++k)
    if (is_pinned(s, k)) {
      pins = true;
      for (int c = 1; c <= 3; ++c) s.CLUSTER[k][c] = s.PINCOLOUR[k][c];
    }

  if (pins && free_slots(s, STARTINDEX).empty()) {
    // The whole palette is given; there is nothing to choose.
  } else if (pins ? small_census_beside_pins(s, STARTINDEX) : small_census_palette(s)) {
    controls.set_text(Ctl::StatusBar, "16 Colors or Less, Skipping K-Means, Palette Matching");
  } else {
    choose_method(s, controls);
    switch (s.KMEANS) {
      case 0:
        median_cut(s, STARTINDEX);
        break;
      case 1:
        kmeans_plus_plus(s, controls, STARTINDEX);
        break;
      case 2:
        colorq(s, controls, STARTINDEX);
        break;
      default:
        break;
    }
    if (s.REFINE != 0) refine_palette_for_look(s, STARTINDEX);
  }
  finish_given_palette(s, given);
  reduce_to_grid(s);

  for (int k = 1; k <= 16; ++k)
    controls.set_swatch(k, control_colour(s.OCLUSTER[k][1], s.OCLUSTER[k][2], s.OCLUSTER[k][3]));
  s.CHOSENCLUSTER = s.OCLUSTER;
  s.FITHELD = {};

  if (s.OUTPUTFILETYPE != 1) {
    if (!s.PALETTENOTE.empty()) controls.set_text(Ctl::StatusBar, s.PALETTENOTE);
    return;
  }
  // Flags are only ever raised: a later threshold change revisits exactly the
  // cells that held transparent pixels under any earlier threshold.
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      if (counts_as_transparent(s, s.IMAGEIN(x, y, 4))) s.OUTCOLORBLOCK[x / 8][y / 8][5] = 1;
  // Pairs chosen with the dithering replace every cell's but those holding
  // the key colour, which alone need the plain choice first.
  s.COLORBLOCKFIRSTPASS = s.PAIRSDITHERED != 0 ? 0 : 1;
  SELECTCOLORBLOCKS(s, controls);
  if (!s.PALETTENOTE.empty()) controls.set_text(Ctl::StatusBar, s.PALETTENOTE);
}

}  // namespace tessera
