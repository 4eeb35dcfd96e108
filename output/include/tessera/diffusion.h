// Error diffusion: the four kernels as data and the one step that passes a
// pixel's error on to its neighbours.
#pragma once

#include <span>

#include "tessera/store.h"

namespace tessera {

struct KernelEntry {
  int DX;  // columns to the right on even rows; mirrored on odd rows
  int DY;  // rows downwards
  double WEIGHT;
};

// Kernel of DITHER 1 (Floyd-Steinberg), 2 (Atkinson), 3 (Burkes) or
// 4 (Stucki), entries in the order they are applied; empty for anything else.
std::span<const KernelEntry> diffusion_kernel(int dither);

// value + weight x cdist x strength, in extended precision, rounded half to
// even and saturated to the channel range.
int diffused_value(int value, double weight, double cdist, double strength);

// Passes the error CDIST of pixel (x, y) on to the kernel's targets inside
// OUTPUTX x OUTPUTY, mirrored on odd rows.
void diffuse_error(Store& store, int x, int y, const double (&CDIST)[4], int dither, double strength);

}  // namespace tessera
