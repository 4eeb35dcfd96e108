// A palette given as a file (--palette, the window's import): its colours
// become the palette of every later selection, however many the file holds.
//
// A file that fits the free entries goes in as it is, in its order. A file
// with fewer colours leaves entries over: they repeat its first colour, so
// the picture shows no colour the file does not hold, or (PaletteFill::Picture)
// the palette method chooses them for the picture around the file's colours,
// as around pins. A file with more colours than fit gives the free entries the
// colours that suit the picture best (PalettePick::Best: the method's own
// choice, each entry then taking the nearest of the file's colours that no
// other entry took) or its first colours (PalettePick::First), each colour
// counted once however often the file repeats it. Pinned entries keep their
// colours throughout.
#pragma once

#include <string>
#include <vector>

#include "tessera/colour.h"
#include "tessera/store.h"

namespace tessera {

// Every later palette selection of the store uses these colours (reduced to
// the grid here); name is the file as named (its file name goes in the note).
void give_palette(Store& store, const std::vector<PaletteColour>& colours, const std::string& name);

// Ends it: the entries it held are free again and the palette is chosen as
// without a file.
void drop_given_palette(Store& store);

// What is left to choose once the colours that go in whole are pinned.
struct GivenPalette {
  bool choose = false;                  // the free entries take the nearest of candidates
  std::vector<PaletteColour> candidates;
};

// Palette selection's part, before its method runs: frees what the last
// selection held and pins the colours that go in as they are (after the pins
// and the transparent key, which it needs in place).
GivenPalette hold_given_palette(Store& store);

// After the method filled CLUSTER: the free entries take the candidates
// nearest their colours, no candidate twice, and are pinned; PALETTENOTE is
// written.
void finish_given_palette(Store& store, const GivenPalette& given);

}  // namespace tessera
