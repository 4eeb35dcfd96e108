// The pieces of the input stage: placing the decoded picture into the
// working image, resampling, tone adjustment and the input preview's blend.
//
// REDISPLAYINPUT (stages.h) strings these together; they are apart so that
// the placement table, the resampling methods and the rounding rules can be
// checked one at a time.
#pragma once

#include <cstdint>

#include "tessera/picture.h"
#include "tessera/settings.h"
#include "tessera/store.h"

namespace tessera {


// Where the picture lies in the working image.
struct Placement {
  double XSCALE = 0.0;  // working pixels per picture pixel
  double YSCALE = 0.0;
  int OFFSETX = 0;  // working position of the picture's top-left corner
  int OFFSETY = 0;
};

// Placement of an xsize x ysize picture (both above 0) into the working image
// of the format (1 or 4).
Placement place_picture(PlaceMode mode, int outputfiletype, int aspect, int xsize, int ysize);

// Resamples the frame into channels 1..4 of IMAGEIN over OUTPUTX x OUTPUTY.
void resample(Store& store, const Frame& frame, const Placement& placement, Resampler method);

// Source pixels [first, last] of one working column (or row) that the average
// filter takes, cut to the picture's 0..size-1; first > last where the
// working pixel lies outside the picture (and is left transparent black).
struct Span {
  int first, last;
};
Span box_span_inside(int i, int offset, double scale, int size);

// Lanczos-3 widened by the shrink factor of each axis, so that shrinking
// filters instead of skipping pixels (resample_filtered.cpp); with
// linear_light the colours are filtered as light, not as sRGB levels.
void resample_filtered(Store& store, const Frame& frame, const Placement& placement, bool linear_light);

// Grey level of one picture pixel.
int grey_value(int red, int green, int blue);

// Contrast factor (CONTRAST + 100) / 100 as it is kept: single precision.
float scaled_contrast(int contrast);

// One colour channel after brightness and contrast.
int adjust_tone(int value, int brightness, float scaledcontrast);

// One preview channel: a working channel of this alpha over a checkerboard
// channel (255 white, 128 grey).
int blend_over_checkerboard(int alpha, int value, int background);

}  // namespace tessera
