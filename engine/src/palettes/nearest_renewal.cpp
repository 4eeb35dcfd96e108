// ColorQ's nearest-slot search across its rounds, done again only for the
// colours whose slot a round's moves can change.
//
// Every colour keeps, beside its slot, a lower bound on its distance to every
// other slot's centre. When the centres move, no distance shrinks by more than
// its centre moved, so the bound goes down by the largest move among the other
// slots. The distance to the colour's own slot is worked out exactly each
// round; while it stays below the bound, the own slot is strictly nearer than
// any other and is the answer of a full search, ties or no ties. Only the
// colours where it does not are searched in full, which also renews their
// bound. The slots are therefore exactly those of a full search every round;
// the bounds only decide where that search can be left out.
//
// The bounds are single-precision numbers kept on the safe side of every
// rounding: each of them is at most the true Euclidean bound. Distances lie
// below 442, where a float's spacing is at most 2^-15 (a rounding is off by at
// most 1.6e-5). A bound is set 1e-4 below the rounded root of the second
// smallest squared distance, each move is taken 1e-4 larger than its rounded
// root, and the own distance 1e-4 larger than its rounded root, each margin
// far more than covering the roundings of the root and of the subtraction or
// addition that uses it.

#include "palettes/nearest_renewal.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace tessera {

namespace {

constexpr float kMargin = 1e-4f;

inline std::int32_t squared_distance(std::int32_t r, std::int32_t g, std::int32_t b, const std::array<int, 5>& c) {
  const std::int32_t dr = r - c[1], dg = g - c[2], db = b - c[3];
  return dr * dr + dg * dg + db * db;
}

inline float bound_of(std::int32_t second) { return std::sqrt(static_cast<float>(second)) - kMargin; }

// The full search of one colour: its slot (the lowest among the nearest) and
// the second smallest squared distance (equal to the smallest on a tie).
inline void search_one(std::int32_t r, std::int32_t g, std::int32_t b, const Palette& centres, int first_slot,
                       std::int32_t& slot, std::int32_t& second) {
  std::int32_t best = INT_MAX, next = INT_MAX;
  int best_slot = first_slot;
  for (int k = first_slot; k <= 16; ++k) {
    const std::int32_t d = squared_distance(r, g, b, centres[k]);
    if (d < best) {
      next = best;
      best = d;
      best_slot = k;
    } else if (d < next) {
      next = d;
    }
  }
  slot = best_slot;
  second = next;
}

void search_plain(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                  const Palette& centres, int first_slot, std::int32_t* slot, std::int32_t* second) {
  for (int i = 0; i < n; ++i) search_one(red[i], green[i], blue[i], centres, first_slot, slot[i], second[i]);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define TESSERA_RENEWAL_AVX2 1

// As in nearest_slots: a colour's red and green share a 32-bit lane as two
// 16-bit halves, its blue sits beside a zero, and the multiply-add of 16-bit
// pairs gives dr^2 + dg^2 and db^2 exactly (every difference lies in
// -255..255).
__attribute__((target("avx2"))) inline __m256i packed_rg(const std::int32_t* red, const std::int32_t* green) {
  const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(red));
  const __m256i g = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(green));
  return _mm256_or_si256(r, _mm256_slli_epi32(g, 16));
}

__attribute__((target("avx2"))) inline __m256i distance8(__m256i rg, __m256i b, __m256i crg, __m256i cb) {
  const __m256i drg = _mm256_sub_epi16(rg, crg);
  const __m256i db = _mm256_sub_epi16(b, cb);
  return _mm256_add_epi32(_mm256_madd_epi16(drg, drg), _mm256_madd_epi16(db, db));
}

__attribute__((target("avx2"))) void search_avx2(const std::int32_t* red, const std::int32_t* green,
                                                 const std::int32_t* blue, int n, const Palette& centres,
                                                 int first_slot, std::int32_t* slot, std::int32_t* second) {
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
  search_plain(red + i, green + i, blue + i, n - i, centres, first_slot, slot + i, second + i);
}

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

bool have_avx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}
#endif

}  // namespace

NearestSlots::NearestSlots(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                           bool wide)
    : red_(red),
      green_(green),
      blue_(blue),
      n_(std::max(n, 0)),
      slot_(static_cast<std::size_t>(n_)),
      bound_(static_cast<std::size_t>(n_)),
      changed_(std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(n_))),
      was_(std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(n_))),
      pending_(std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(n_))),
      gathered_(std::make_unique_for_overwrite<std::int32_t[]>(3 * static_cast<std::size_t>(n_))),
      found_(std::make_unique_for_overwrite<std::int32_t[]>(2 * static_cast<std::size_t>(n_))) {
#if defined(TESSERA_RENEWAL_AVX2)
  wide_ = wide && have_avx2();
#else
  (void)wide;
  wide_ = false;
#endif
}

void NearestSlots::search_all(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                              const Palette& centres, std::int32_t* slot, std::int32_t* second) const {
#if defined(TESSERA_RENEWAL_AVX2)
  if (wide_) return search_avx2(red, green, blue, n, centres, first_slot_, slot, second);
#endif
  search_plain(red, green, blue, n, centres, first_slot_, slot, second);
}

void NearestSlots::search(const Palette& centres, int first_slot) {
  first_slot_ = first_slot;
  changes_ = 0;
  std::int32_t* second = found_.get();
  search_all(red_, green_, blue_, n_, centres, slot_.data(), second);
  for (int i = 0; i < n_; ++i) bound_[static_cast<std::size_t>(i)] = bound_of(second[i]);
}

int NearestSlots::renew(const Palette& before, const Palette& after) {
  // The largest and second largest moves, and the slot of the largest: a
  // colour's bound drops by the largest move of the other slots.
  float largest = 0.0f, runner_up = 0.0f;
  int largest_slot = 0;
  for (int k = first_slot_; k <= 16; ++k) {
    const int squared = SQD(before[k][1], after[k][1]) + SQD(before[k][2], after[k][2]) + SQD(before[k][3], after[k][3]);
    const float move = squared == 0 ? 0.0f : std::sqrt(static_cast<float>(squared)) + kMargin;
    if (move > largest) {
      runner_up = largest;
      largest = move;
      largest_slot = k;
    } else if (move > runner_up) {
      runner_up = move;
    }
  }
  changes_ = 0;
  if (largest == 0.0f) return 0;  // nothing moved: every slot stays

  int pending = 0;
  int i = 0;
#if defined(TESSERA_RENEWAL_AVX2)
  if (wide_) i = screen_avx2(after, largest, runner_up, largest_slot, pending);
#endif
  for (; i < n_; ++i) {
    const std::size_t j = static_cast<std::size_t>(i);
    const int own = slot_[j];
    const float bound = bound_[j] - (own == largest_slot ? runner_up : largest);
    bound_[j] = bound;
    const std::int32_t d = squared_distance(red_[j], green_[j], blue_[j], after[own]);
    if (!(std::sqrt(static_cast<float>(d)) + kMargin < bound)) pending_[static_cast<std::size_t>(pending++)] = i;
  }

  // The colours left in doubt, searched in full side by side.
  std::int32_t* r = gathered_.get();
  std::int32_t* g = r + pending;
  std::int32_t* b = g + pending;
  for (int p = 0; p < pending; ++p) {
    const std::size_t j = static_cast<std::size_t>(pending_[static_cast<std::size_t>(p)]);
    r[p] = red_[j];
    g[p] = green_[j];
    b[p] = blue_[j];
  }
  std::int32_t* slot = found_.get();
  std::int32_t* second = slot + pending;
  search_all(r, g, b, pending, after, slot, second);
  int changes = 0;
  for (int p = 0; p < pending; ++p) {
    const int at = pending_[static_cast<std::size_t>(p)];
    const std::size_t j = static_cast<std::size_t>(at);
    bound_[j] = bound_of(second[p]);
    if (slot[p] != slot_[j]) {
      changed_[static_cast<std::size_t>(changes)] = at;
      was_[static_cast<std::size_t>(changes)] = slot_[j];
      ++changes;
      slot_[j] = slot[p];
    }
  }
  changes_ = changes;
  return changes;
}

#if defined(TESSERA_RENEWAL_AVX2)
// The bound test of renew for eight colours at a time; returns where the
// plain loop takes over.
__attribute__((target("avx2,popcnt"))) int NearestSlots::screen_avx2(const Palette& after, float largest, float runner_up,
                                                             int largest_slot, int& pending) {
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
  const __m256 margin = _mm256_set1_ps(kMargin);
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
#endif

}  // namespace tessera
