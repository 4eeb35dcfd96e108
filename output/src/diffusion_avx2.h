// The AVX2 form of the diffusion step (diffusion_avx2.cpp), reached through
// diffuse_error and DRAWOUTPUT with KernelSet::Avx2.
#pragma once

#include "tessera/store.h"

// Where the AVX2 forms are built, as for the engine's (engine/src/base/
// kernel_forms.h, private to the engine).
#if defined(__x86_64__) && defined(__GNUC__)
#define TESSERA_AVX2_FORMS 1
#endif

namespace tessera {

// diffuse_error_of<Dither> (diffusion.h) for DITHER 1..4 with the three
// channels of a target side by side in one vector register: the same double
// arithmetic, operation for operation, and wherever the double shortcut may
// not answer for a channel, the plain step decides all three. Its results
// are therefore those of diffuse_error_of, value for value.
template <int Dither>
void diffuse_error_avx2(Store& store, int x, int y, const double (&CDIST)[4], double strength);

}  // namespace tessera
