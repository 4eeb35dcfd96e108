#include "diffusion_avx2.h"

#include "tessera/diffusion.h"
#include "tessera/render.h"

#if defined(TESSERA_AVX2_FORMS)
#include <immintrin.h>

#pragma GCC target("avx2")

namespace tessera {

namespace {

// The error of a pixel, channels 1..3 in lanes 0..2 (lane 3 zero).
inline __m256d error_lanes(const double (&CDIST)[4]) { return _mm256_set_pd(0.0, CDIST[3], CDIST[2], CDIST[1]); }

// diffused_value for channels 1..3 of one target. The fourth int read and
// written back unchanged is the pixel's alpha, which sits beside them.
__attribute__((always_inline)) inline void diffuse_into(int* rgb, double weight, __m256d error, __m256d strength,
                                                        const double (&CDIST)[4], double scalar_strength) {
  const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));
  // value + weight x cdist x strength, multiplied in that order.
  const __m256d fast =
      _mm256_add_pd(_mm256_cvtepi32_pd(old), _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(weight), error), strength));
  const __m256d shift = _mm256_set1_pd(0x1.8p52);
  const __m256d rounded = _mm256_sub_pd(_mm256_add_pd(fast, shift), shift);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d off = _mm256_andnot_pd(sign, _mm256_sub_pd(fast, rounded));
  const __m256d off_half = _mm256_andnot_pd(sign, _mm256_sub_pd(off, _mm256_set1_pd(0.5)));
  const __m256d ok = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(fast, _mm256_set1_pd(kChannelFloor + 1), _CMP_GT_OQ),
                    _mm256_cmp_pd(fast, _mm256_set1_pd(kChannelCeiling - 1), _CMP_LT_OQ)),
      _mm256_cmp_pd(off_half, _mm256_set1_pd(1e-9), _CMP_GT_OQ));
  if ((_mm256_movemask_pd(ok) & 7) == 7) {
    const __m128i value = _mm256_cvttpd_epi32(rounded);  // whole numbers already
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb), _mm_blend_epi32(value, old, 8));
  } else {
    for (int c = 0; c < 3; ++c) rgb[c] = diffused_value(rgb[c], weight, CDIST[c + 1], scalar_strength);
  }
}

}  // namespace

template <int Dither>
void diffuse_error_avx2(Store& store, int x, int y, const double (&CDIST)[4], double strength) {
  constexpr const auto& kernel = kernel_of<Dither>();
  const bool mirrored = (y & 1) != 0;
  const bool inside = x >= 2 && x + 2 <= store.OUTPUTX - 1 && y + 2 <= store.OUTPUTY - 1;
  const __m256d error = error_lanes(CDIST);
  const __m256d wide_strength = _mm256_set1_pd(strength);
  for (const KernelEntry& k : kernel) {
    const int tx = x + (mirrored ? -k.DX : k.DX);
    const int ty = y + k.DY;
    if (!inside && (tx < 0 || tx > store.OUTPUTX - 1 || ty < 0 || ty > store.OUTPUTY - 1)) continue;
    diffuse_into(&store.IMAGEIN(tx, ty, 1), k.WEIGHT, error, wide_strength, CDIST, strength);
  }
}

template void diffuse_error_avx2<1>(Store&, int, int, const double (&)[4], double);
template void diffuse_error_avx2<2>(Store&, int, int, const double (&)[4], double);
template void diffuse_error_avx2<3>(Store&, int, int, const double (&)[4], double);
template void diffuse_error_avx2<4>(Store&, int, int, const double (&)[4], double);

}  // namespace tessera

#endif
