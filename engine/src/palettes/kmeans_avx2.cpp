// The AVX2 form of nearest_slots, with AVX2's multiply-add of 16-bit pairs: a
// colour's red and green sit in one 32-bit lane as two 16-bit halves, its
// blue beside a zero, so that two instructions give dr^2 + dg^2 and db^2
// exactly (every difference lies in -255..255). Only for channels 0..255,
// which is all there is.
#include <climits>
#include <cstdint>

#include "base/kernel_forms.h"
#include "palettes/palette_methods.h"

#if defined(TESSERA_AVX2_FORMS)
#include <immintrin.h>

#pragma GCC target("avx2")

namespace tessera {

int nearest_slots_avx2(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                       const Palette& centres, int first_slot, std::uint8_t* slot_out) {
  constexpr int kLanes = 8, kGroups = 4;
  __m256i crg[17], cb[17], index[17];
  for (int k = first_slot; k <= 16; ++k) {
    crg[k] = _mm256_set1_epi32(centres[k][1] | (centres[k][2] << 16));
    cb[k] = _mm256_set1_epi32(centres[k][3]);
    index[k] = _mm256_set1_epi32(k);
  }
  int i = 0;
  for (; i + kLanes * kGroups <= n; i += kLanes * kGroups) {
    __m256i rg[kGroups], b[kGroups], best[kGroups], best_slot[kGroups];
    for (int q = 0; q < kGroups; ++q) {
      const int at = i + q * kLanes;
      const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(red + at));
      const __m256i g = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(green + at));
      rg[q] = _mm256_or_si256(r, _mm256_slli_epi32(g, 16));
      b[q] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + at));
      best[q] = _mm256_set1_epi32(INT_MAX);
      best_slot[q] = _mm256_set1_epi32(first_slot);
    }
    for (int k = first_slot; k <= 16; ++k) {
      for (int q = 0; q < kGroups; ++q) {
        const __m256i drg = _mm256_sub_epi16(rg[q], crg[k]);
        const __m256i db = _mm256_sub_epi16(b[q], cb[k]);
        const __m256i d = _mm256_add_epi32(_mm256_madd_epi16(drg, drg), _mm256_madd_epi16(db, db));
        // Strictly nearer only, so a tie stays with the lower slot.
        const __m256i nearer = _mm256_cmpgt_epi32(best[q], d);
        best[q] = _mm256_min_epi32(best[q], d);
        best_slot[q] = _mm256_blendv_epi8(best_slot[q], index[k], nearer);
      }
    }
    for (int q = 0; q < kGroups; ++q) {
      alignas(32) std::int32_t lanes[kLanes];
      _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), best_slot[q]);
      for (int l = 0; l < kLanes; ++l) slot_out[i + q * kLanes + l] = static_cast<std::uint8_t>(lanes[l]);
    }
  }
  return i;
}

}  // namespace tessera

#endif
