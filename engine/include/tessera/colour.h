// Colours as the engine hands them between its parts and to the programs.
#pragma once

#include <array>
#include <cstdint>

namespace tessera {

// One colour, 8-bit channels.
using PaletteColour = std::array<int, 3>;

// The 16 entries of a palette, entry 1 first.
using PaletteEntries = std::array<PaletteColour, 16>;

// One distinct colour of the working image (packed 0xRRGGBB) and its pixels.
struct ColourCount {
  std::int32_t colour = 0;
  std::int32_t count = 0;
  friend bool operator==(const ColourCount&, const ColourCount&) = default;
};

}  // namespace tessera
