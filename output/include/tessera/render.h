// Stage 4: map the working image onto the palette.
#pragma once

#include "tessera/controls.h"
#include "tessera/store.h"

namespace tessera {

// Map every pixel onto the palette (BMP4) or its cell's pair (BMP1), with the
// ordered pre-pass and error diffusion as the controls say; record IMAGEOUT
// and write the output preview ("outimage" files).
void DRAWOUTPUT(Store& store, Controls& controls);

}  // namespace tessera
