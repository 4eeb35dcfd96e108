// The AVX2 forms of ColorQ's nearest-slot search: the full search of eight
// colours a register, and renew's bound test of eight colours at a time.
#include <climits>
#include <cstdint>

#include "base/kernel_forms.h"
#include "palettes/nearest_renewal.h"

#if defined(TESSERA_AVX2_FORMS)
#include <immintrin.h>

#pragma GCC target("avx2")

namespace tessera {

namespace {

// For every set of lanes (bit l for lane l), the lanes in ascending order,
// padded with zeros.
struct PackedLanes {
  std::uint8_t lanes[256][8];
};
constexpr PackedLanes make_packed_lanes() {
  PackedLanes t{};
  for (int m = 0; m < 256; ++m) {
    int n = 0;
    for (int l = 0; l < 8; ++l)
      if ((m >> l) & 1) t.lanes[m][n++] = static_cast<std::uint8_t>(l);
  }
  return t;
}
constexpr PackedLanes kPackedTable = make_packed_lanes();
constexpr const std::uint8_t (&kPacked)[256][8] = kPackedTable.lanes;

// As in nearest_slots: a colour's red and green share a 32-bit lane as two
// 16-bit halves, its blue sits beside a zero, and the multiply-add of 16-bit
// pairs gives dr^2 + dg^2 and db^2 exactly (every difference lies in
// -255..255).
inline __m256i packed_rg(const std::int32_t* red, const std::int32_t* green) {
  const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(red));
  const __m256i g = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(green));
  return _mm256_or_si256(r, _mm256_slli_epi32(g, 16));
}

inline __m256i distance8(__m256i rg, __m256i b, __m256i crg, __m256i cb) {
  const __m256i drg = _mm256_sub_epi16(rg, crg);
  const __m256i db = _mm256_sub_epi16(b, cb);
  return _mm256_add_epi32(_mm256_madd_epi16(drg, drg), _mm256_madd_epi16(db, db));
}

}  // namespace

int NearestSlots::search_avx2(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                              const Palette& centres, int first_slot, std::int32_t* slot, std::int32_t* second) {
  __m256i crg[17], cb[17], index[17];
  for (int k = first_slot; k <= 16; ++k) {
    crg[k] = _mm256_set1_epi32(centres[k][1] | (centres[k][2] << 16));
    cb[k] = _mm256_set1_epi32(centres[k][3]);
    index[k] = _mm256_set1_epi32(k);
  }
  constexpr int kGroups = 2;
  int i = 0;
  for (; i + 8 * kGroups <= n; i += 8 * kGroups) {
    __m256i rg[kGroups], b[kGroups], best[kGroups], next[kGroups], best_slot[kGroups];
    for (int q = 0; q < kGroups; ++q) {
      rg[q] = packed_rg(red + i + 8 * q, green + i + 8 * q);
      b[q] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + i + 8 * q));
      best[q] = next[q] = _mm256_set1_epi32(INT_MAX);
      best_slot[q] = _mm256_set1_epi32(first_slot);
    }
    for (int k = first_slot; k <= 16; ++k)
      for (int q = 0; q < kGroups; ++q) {
        const __m256i d = distance8(rg[q], b[q], crg[k], cb[k]);
        // Strictly nearer only, so a tie stays with the lower slot.
        const __m256i nearer = _mm256_cmpgt_epi32(best[q], d);
        next[q] = _mm256_min_epi32(next[q], _mm256_max_epi32(best[q], d));
        best[q] = _mm256_min_epi32(best[q], d);
        best_slot[q] = _mm256_blendv_epi8(best_slot[q], index[k], nearer);
      }
    for (int q = 0; q < kGroups; ++q) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(slot + i + 8 * q), best_slot[q]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(second + i + 8 * q), next[q]);
    }
  }
  return i;
}

// The bound test of renew for eight colours at a time; returns where the
// plain loop takes over.
int NearestSlots::screen_avx2(const Palette& after, float largest, float runner_up, int largest_slot,
                              int& pending) {
  // Every slot's centre in two registers (slots 1..8 and 9..16), to look up
  // each lane's own centre.
  alignas(32) std::int32_t rg_table[16], b_table[16];
  for (int k = 1; k <= 16; ++k) {
    rg_table[k - 1] = after[k][1] | (after[k][2] << 16);
    b_table[k - 1] = after[k][3];
  }
  const __m256i rg_low = _mm256_load_si256(reinterpret_cast<const __m256i*>(rg_table));
  const __m256i rg_high = _mm256_load_si256(reinterpret_cast<const __m256i*>(rg_table + 8));
  const __m256i b_low = _mm256_load_si256(reinterpret_cast<const __m256i*>(b_table));
  const __m256i b_high = _mm256_load_si256(reinterpret_cast<const __m256i*>(b_table + 8));
  const __m256i one = _mm256_set1_epi32(1), seven = _mm256_set1_epi32(7);
  const __m256i top_slot = _mm256_set1_epi32(largest_slot);
  const __m256 drop_largest = _mm256_set1_ps(largest), drop_runner_up = _mm256_set1_ps(runner_up);
  const __m256 margin = _mm256_set1_ps(kRenewalMargin);
  int i = 0;
  for (; i + 8 <= n_; i += 8) {
    const __m256i own = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(slot_.data() + i));
    const __m256i at = _mm256_sub_epi32(own, one);  // 0..15
    const __m256i high = _mm256_cmpgt_epi32(at, seven);
    const __m256i own_rg = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(rg_low, at),
                                              _mm256_permutevar8x32_epi32(rg_high, at), high);
    const __m256i own_b = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(b_low, at),
                                             _mm256_permutevar8x32_epi32(b_high, at), high);
    const __m256i d = distance8(packed_rg(red_ + i, green_ + i),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue_ + i)), own_rg, own_b);
    const __m256 drop =
        _mm256_blendv_ps(drop_largest, drop_runner_up, _mm256_castsi256_ps(_mm256_cmpeq_epi32(own, top_slot)));
    const __m256 bound = _mm256_sub_ps(_mm256_loadu_ps(bound_.data() + i), drop);
    _mm256_storeu_ps(bound_.data() + i, bound);
    const __m256 reach = _mm256_add_ps(_mm256_sqrt_ps(_mm256_cvtepi32_ps(d)), margin);
    // Not strictly below the bound (also NaN, which cannot arise): search.
    const unsigned doubt =
        static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(reach, bound, _CMP_NLT_UQ)));
    // The doubtful lanes' indices packed to the front of a register by a
    // table of lane orders, all eight written and the count moved past the
    // doubtful ones: no branch that the doubts, scattered as they are,
    // would make the processor guess wrong.
    const __m256i order = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kPacked[doubt])));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pending_.get() + pending),
                        _mm256_add_epi32(_mm256_set1_epi32(i), order));
    pending += __builtin_popcount(doubt);
  }
  return i;
}

}  // namespace tessera

#endif
