// Stage 4: map the working image onto the palette.
#pragma once

#include <string_view>

#include "tessera/controls.h"
#include "tessera/kernel_set.h"
#include "tessera/store.h"

namespace tessera {

// Map every pixel onto the palette (BMP4) or its cell's pair (BMP1), with the
// ordered pre-pass and error diffusion as the controls say; record IMAGEOUT,
// what the rendering was made from (RENDEREDFILETYPE, RENDEREDFILENAME,
// RENDEREDLOADERROR) and its colours (RENDEREDIMAGE), and write the output
// preview ("outimage" files). Every kernel set gives the same bytes; one
// other than the machine's best is for the tests, and must run here.
void DRAWOUTPUT(Store& store, Controls& controls, KernelSet kernels = best_kernel_set());

// Strength factor of the ordered pre-pass from the text of BayerValue
// (number / 100). The window's text handler and the command line both set
// BAYERSTRENGTH through this, so that the two render the same bytes.
double bayer_strength(std::string_view text);

// Strength factor of error diffusion from the text of DitherValue
// (number / 100 x 0.95); DRAWOUTPUT reads the box itself through this.
double diffusion_strength(std::string_view text);

// Every channel value that the pre-pass or a diffusion step writes stays in
// this range: far beyond anything strengths up to 100 % reach, and small
// enough that squared distances and errors cannot overflow.
inline constexpr int kChannelFloor = -4096;
inline constexpr int kChannelCeiling = 4351;

}  // namespace tessera
