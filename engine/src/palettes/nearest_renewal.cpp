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

#include "base/kernel_forms.h"

namespace tessera {

namespace {

constexpr float kMargin = kRenewalMargin;

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

}  // namespace

NearestSlots::NearestSlots(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                           KernelSet kernels)
    : red_(red),
      green_(green),
      blue_(blue),
      n_(std::max(n, 0)),
      kernels_(kernels),
      slot_(static_cast<std::size_t>(n_)),
      bound_(static_cast<std::size_t>(n_)),
      changed_(std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(n_))),
      was_(std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(n_))),
      pending_(std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(n_))),
      gathered_(std::make_unique_for_overwrite<std::int32_t[]>(3 * static_cast<std::size_t>(n_))),
      found_(std::make_unique_for_overwrite<std::int32_t[]>(2 * static_cast<std::size_t>(n_))) {}

void NearestSlots::search_all(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                              const Palette& centres, std::int32_t* slot, std::int32_t* second) const {
  int done = 0;
#if defined(TESSERA_AVX2_FORMS)
  if (kernels_ == KernelSet::Avx2) done = search_avx2(red, green, blue, n, centres, first_slot_, slot, second);
#endif
  search_plain(red + done, green + done, blue + done, n - done, centres, first_slot_, slot + done, second + done);
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
#if defined(TESSERA_AVX2_FORMS)
  if (kernels_ == KernelSet::Avx2) i = screen_avx2(after, largest, runner_up, largest_slot, pending);
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

}  // namespace tessera
