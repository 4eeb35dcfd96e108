// The vectorised loops of the cell-pair search built for AVX2: eight
// distances or roots a register instead of four.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/kernel_forms.h"
#include "palettes/cell_pairs.h"

#if defined(TESSERA_AVX2_FORMS)

#pragma GCC target("avx2")

namespace tessera::cell_pairs::avx2 {

#include "palettes/cell_pairs_loops.inc"

}  // namespace tessera::cell_pairs::avx2

#endif
