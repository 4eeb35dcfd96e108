// The AVX2 form of unfilter_rows_to_argb: the kernels of png_rows_argb.inc
// with three-operand forms, absolute values and blends in one instruction,
// and runs of eight Paeth rows in 256-bit registers.
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/kernel_forms.h"
#include "pictures/png/png_rows.h"

#if defined(TESSERA_AVX2_FORMS)
#include <immintrin.h>

#pragma GCC target("avx2")

namespace tessera::detail {

namespace {

using u8 = std::uint8_t;

#define TESSERA_ROWS_AVX2 1
#include "png_rows_argb.inc"
#undef TESSERA_ROWS_AVX2

}  // namespace

bool unfilter_rows_to_argb_avx2(const u8* raw, std::size_t width, std::size_t height, int bpp, std::uint32_t* out) {
  return bpp == 3 ? rows_to_argb<3>(raw, width, height, out) : rows_to_argb<4>(raw, width, height, out);
}

}  // namespace tessera::detail

#endif
