// The ordered pre-pass: a 4 x 4 threshold table added to every channel, then
// posterised to steps of 32, before the pixels are mapped onto the palette.
#pragma once

#include "tessera/store.h"

namespace tessera {

// BAYERMATRIX(x mod 4, y mod 4): the Bayer index b divided by 15, in single
// precision as the converter has always kept it.
float BAYERMATRIX(int xm, int ym);

// One channel value after the pre-pass at table cell (xm, ym) with the given
// THRESHOLD (24 x BAYERSTRENGTH); saturated to the channel range.
int ordered_value(int value, int xm, int ym, double threshold);

// Rewrites IMAGEIN channels 1..3 over OUTPUTX x OUTPUTY with BAYERSTRENGTH.
void ordered_prepass(Store& store);

}  // namespace tessera
