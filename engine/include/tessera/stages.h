// The stages of a conversion up to the palette. Each reads its inputs from the
// store and, where it must, from the controls, and leaves its results in the
// store; they always run in the order input, census, palette, rendering.
#pragma once

#include "tessera/controls.h"
#include "tessera/store.h"

namespace tessera {

// Stage 1: decode OPENFILENAME, place and resample it into IMAGEIN, adjust its
// tones into IMAGEIN/IMAGEINORG and write the input preview ("test" files).
void REDISPLAYINPUT(Store& store, Controls& controls);

// Frees the pixels of the decoded picture the input stage keeps for its
// reruns (a caller that will not rerun it frees them early); the next input
// stage decodes afresh.
void forget_input_picture(Store& store);

// Lanczos kernel of window a.
double LANCZOSKERNEL(double distance, int a);

// Stage 2: restore IMAGEIN from IMAGEINORG and list the distinct colours.
void COUNTINPUTCOLORS(Store& store, Controls& controls);

// Stage 3: choose OCLUSTER (and for BMP1 the cell pairs).
void INITIALIZECOLORS(Store& store, Controls& controls);

// Stage 3b: the colour pair of every 8 x 8 cell (BMP1).
void SELECTCOLORBLOCKS(Store& store, Controls& controls);

}  // namespace tessera
