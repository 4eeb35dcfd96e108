// One palette for several pictures: the census of all their working images
// together (counts added), and the palette chosen over it as the palette
// selection would choose it for one picture.
#pragma once

#include <string>
#include <vector>

#include "tessera/colour.h"
#include "tessera/controls.h"
#include "tessera/store.h"

namespace tessera {

struct SharedCensus {
  std::vector<ColourCount> colours;  // every pixel, ascending by colour, counts added
  std::vector<ColourCount> opaque;   // only the pixels that do not count as transparent
  bool transparent = false;          // some picture has transparency
  int pictures = 0;
};

// Adds the working image of a store whose input stage has run.
void add_to_census(SharedCensus& census, const Store& picture);

// Chooses the palette over the census with the method the controls select
// and settings.MAXITERATIONS; pinned entries of settings (PINNED, PINCOLOUR,
// entry numbers as for the census's transparency) are kept. With any
// transparent picture entry 1 is the transparent key for all of them.
// A palette file given to settings (GIVENPALETTE) is chosen from as for one
// picture; note then gets what the selection tells (PALETTENOTE).
PaletteEntries choose_shared_palette(const SharedCensus& census, const Store& settings, Controls& controls,
                                     std::string* note = nullptr);

// Pins every entry to the given palette, so that palette selection publishes
// it unchanged (entry 1 stays the key of a transparent picture, which a
// shared palette holds there anyway).
void pin_whole_palette(Store& store, const PaletteEntries& entries);

}  // namespace tessera
