// The look's rendering: the mapping and diffusion that the look's settings
// (a perceptual distance, linear light, the wider kernels, BMP1 pairs chosen
// with their dithering) ask for. The classic rendering stays as it is for
// every conversion that asks for none of them.
#pragma once

#include <optional>

#include "look_mapping.h"
#include "tessera/store.h"
#include "tessera/surface.h"

namespace tessera {

// Whether the store's settings ask for the look's rendering.
bool wants_look_rendering(const Store& store);

// Fits the free entries of OCLUSTER to the picture's dithering with the
// look's settings (palette_fit.h); returns the mapping of the palette kept
// when the fit made one.
std::optional<look::Mapping> fit_palette_to_dithering(Store& store);

// Maps every pixel as map_pixels does (IMAGEIN, IMAGEOUT, the preview), with
// the look's distance, light and kernel (DITHER 0..8); for BMP1 with
// PAIRSDITHERED or PALETTEFIT it also chooses each cell's pair (OUTCOLORBLOCK).
// `known`: that mapping, made already for this palette and store.
void map_pixels_look(Store& store, Surface* preview, std::optional<look::Mapping> known = std::nullopt);

}  // namespace tessera
