// The palette fitted to its own dithering: a method chooses colours for the
// picture's pixels, but the eye sees the dithered picture from a little way
// off, as the local means of its pixels. The fit renders the picture, asks
// which change of the free entries' colours would bring the blurred result
// closest to the blurred picture (least squares, with every pixel keeping
// its entry), moves the entries part of the way on the grid, and renders
// again; the palette that left the least blurred error is kept.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "look_mapping.h"
#include "tessera/store.h"

namespace tessera {

// Fits the free entries (neither pinned, given nor the transparent key) of
// `entries` and OCLUSTER together. `cells`: BMP1 cells choose their pairs
// with the dithering as the rendering after it will. Returns the mapping of
// the palette kept, as the rendering would map it again (for BMP1 with the
// pairs it left in OUTCOLORBLOCK), when it made one.
std::optional<look::Mapping> fit_palette(Store& store, const look::Space& space, std::vector<look::Entry>& entries,
                                         std::span<const KernelEntry> kernel, bool cells);

}  // namespace tessera
