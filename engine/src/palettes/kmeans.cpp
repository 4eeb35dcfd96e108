// K-means++ over the census entries: seeds drawn with probability proportional
// to their distance from the nearest seed so far, then Lloyd iterations until
// no centre moves or the iteration limit is reached.
//
// The generator is re-seeded with 0 on every run and its numbers are built the
// same way everywhere, so a census always gives the same palette.

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/kernel_forms.h"
#include "palettes/nearest_renewal.h"
#include "palettes/palette_methods.h"
#include "tessera/pins.h"

namespace tessera {

namespace {

constexpr double EPSILON = 0.0001;

// Census entries as separate channel arrays, 0-based (entry k is index k - 1).
struct CensusColumns {
  std::vector<std::int32_t> red, green, blue;
  explicit CensusColumns(const Store& s) {
    const std::size_t n = static_cast<std::size_t>(std::max(s.COLCOUNT, 0));
    red.resize(n);
    green.resize(n);
    blue.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      red[i] = s.COLORS[i + 1][1];
      green[i] = s.COLORS[i + 1][2];
      blue[i] = s.COLORS[i + 1][3];
    }
  }
  int size() const { return static_cast<int>(red.size()); }
};

void take_census_entry(Store& s, int slot, int entry) {
  for (int c = 1; c <= 3; ++c) s.CLUSTER[slot][c] = s.COLORS[static_cast<std::size_t>(entry)][c];
}

// Distances to the nearest seed only ever shrink as seeds are added, so each
// entry keeps its nearest squared distance and its distance, and only entries
// that the new seed comes strictly nearer to change.
void lower_to_centre(const CensusColumns& census, const Palette& centres, int slot,
                     std::vector<int>& nearest_sq, std::vector<double>& distances,
                     std::vector<int>& changed) {
  const int r = centres[slot][1], g = centres[slot][2], b = centres[slot][3];
  const int n = census.size();
  int count = 0;
  for (int j = 0; j < n; ++j) {
    const std::size_t i = static_cast<std::size_t>(j);
    const int d = SQD(census.red[i], r) + SQD(census.green[i], g) + SQD(census.blue[i], b);
    const bool nearer = d < nearest_sq[i];
    nearest_sq[i] = nearer ? d : nearest_sq[i];
    changed[static_cast<std::size_t>(count)] = j;
    count += nearer;
  }
  for (int c = 0; c < count; ++c) {
    const std::size_t i = static_cast<std::size_t>(changed[static_cast<std::size_t>(c)]);
    distances[i] = extended_root_as_double(nearest_sq[i]);
  }
}

inline double add_extended_fast(double a, double b) {
  const double sum = a + b;
  // The exact error of the double sum (Knuth's two-sum): sum + error = a + b.
  const double b_part = sum - a;
  const double error = (a - (sum - b_part)) + (b - b_part);
  if (error == 0.0 || !std::isfinite(sum)) return sum;
  // Rounding first to 64 bits can only end elsewhere when a + b lies so close
  // to halfway between sum and a neighbour that the 64-bit rounding lands
  // exactly on that halfway point. Such sums take the slow path. The test
  // measures against the spacing below sum, the smaller one next to a power
  // of two, and leaves a wide margin.
  const double size = std::fabs(sum);
  const double spacing = size - std::bit_cast<double>(std::bit_cast<std::uint64_t>(size) - 1);
  if (std::fabs(error) < spacing * (0.5 - 1.0 / 1024)) return sum;
  return static_cast<double>(static_cast<long double>(a) + b);
}

}  // namespace

double add_extended(double a, double b) {
  return add_extended_fast(a, b);
}

double uniform_01(std::mt19937& generator) {
  const std::uint32_t a = static_cast<std::uint32_t>(generator()) >> 5;
  const std::uint32_t b = static_cast<std::uint32_t>(generator()) >> 6;
  return (a * 67108864.0 + b) / 9007199254740992.0;
}

namespace {

// Eight colours at a time, their best distance and slot kept in registers
// across all the slots (rather than in memory between one slot and the next).
// Exact integer arithmetic in the same comparisons as one colour at a time.
void nearest_slots_plain(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                         const Palette& centres, int first_slot, std::uint8_t* slot_out) {
  typedef std::int32_t Lanes __attribute__((vector_size(32)));
  constexpr int kLanes = 8;
  // Four groups at once, so that the groups' work overlaps.
  constexpr int kGroups = 4;
  int i = 0;
  for (; i + kLanes * kGroups <= n; i += kLanes * kGroups) {
    Lanes r[kGroups], g[kGroups], b[kGroups], best[kGroups], best_slot[kGroups];
    for (int q = 0; q < kGroups; ++q) {
      std::memcpy(&r[q], red + i + q * kLanes, sizeof(Lanes));
      std::memcpy(&g[q], green + i + q * kLanes, sizeof(Lanes));
      std::memcpy(&b[q], blue + i + q * kLanes, sizeof(Lanes));
      best[q] = r[q] - r[q] + INT_MAX;
      best_slot[q] = r[q] - r[q] + first_slot;
    }
    for (int k = first_slot; k <= 16; ++k) {
      const std::int32_t cr = centres[k][1], cg = centres[k][2], cb = centres[k][3];
      for (int q = 0; q < kGroups; ++q) {
        const Lanes dr = r[q] - cr, dg = g[q] - cg, db = b[q] - cb;
        const Lanes d = dr * dr + dg * dg + db * db;
        // Strictly nearer only, so a tie stays with the lower slot.
        const Lanes nearer = d < best[q];
        best[q] = nearer ? d : best[q];
        best_slot[q] = nearer ? (best_slot[q] - best_slot[q] + k) : best_slot[q];
      }
    }
    for (int q = 0; q < kGroups; ++q)
      for (int l = 0; l < kLanes; ++l) slot_out[i + q * kLanes + l] = static_cast<std::uint8_t>(best_slot[q][l]);
  }
  for (; i < n; ++i) {
    std::int32_t best = INT_MAX;
    int best_slot = first_slot;
    for (int k = first_slot; k <= 16; ++k) {
      const std::int32_t dr = red[i] - centres[k][1], dg = green[i] - centres[k][2], db = blue[i] - centres[k][3];
      const std::int32_t d = dr * dr + dg * dg + db * db;
      if (d < best) {
        best = d;
        best_slot = k;
      }
    }
    slot_out[i] = static_cast<std::uint8_t>(best_slot);
  }
}

}  // namespace

void nearest_slots(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                   const Palette& centres, int first_slot, std::uint8_t* slot_out, KernelSet kernels) {
  int done = 0;
#if defined(TESSERA_AVX2_FORMS)
  if (kernels == KernelSet::Avx2) done = nearest_slots_avx2(red, green, blue, n, centres, first_slot, slot_out);
#endif
  (void)kernels;
  nearest_slots_plain(red + done, green + done, blue + done, n - done, centres, first_slot, slot_out + done);
}

SlotSums slot_sums(const SlotTerm* terms, const std::uint8_t* slot, int n) {
  // Neighbouring colours mostly share a slot; four sets of sums taken in
  // turn keep each addition from waiting for the one before. The sums are
  // whole numbers, so the order of adding does not matter.
  alignas(16) std::int32_t lanes[4][17][4] = {};
  for (int j = 0; j < n; ++j) {
    std::int32_t* acc = lanes[j & 3][slot[j]];
    for (int c = 0; c < 4; ++c) acc[c] += terms[j][static_cast<std::size_t>(c)];
  }
  SlotSums sums;
  for (int k = 0; k <= 16; ++k) {
    long long total[4];
    for (int c = 0; c < 4; ++c)
      total[c] = static_cast<long long>(lanes[0][k][c]) + lanes[1][k][c] + lanes[2][k][c] + lanes[3][k][c];
    for (int c = 0; c < 3; ++c) sums.sum[k][c] = total[c];
    sums.count[k] = total[3];
  }
  return sums;
}

void kmeans_seed(Store& s, int first_slot, std::mt19937& generator) {
  const CensusColumns census(s);
  const int n = census.size();
  if (n <= 0) return;

  const std::vector<int> slots = free_slots(s, first_slot);
  if (slots.empty()) return;
  const bool pinned = static_cast<int>(slots.size()) < 17 - first_slot;

  std::vector<int> nearest_sq(static_cast<std::size_t>(n), INT_MAX);
  std::vector<double> DISTANCES(static_cast<std::size_t>(n));
  std::vector<double> running(static_cast<std::size_t>(n));
  std::vector<int> changed(static_cast<std::size_t>(n));
  std::size_t drawn = 0;
  if (pinned) {
    // Pinned centres are the first seeds; every free slot is drawn by its
    // distance from them and from the slots drawn before it.
    for (int k = first_slot; k <= 16; ++k)
      if (is_pinned(s, k)) lower_to_centre(census, s.CLUSTER, k, nearest_sq, DISTANCES, changed);
  } else {
    const long double pick = static_cast<long double>(uniform_01(generator)) * n;
    const int RANDOMINDEX = std::min(static_cast<int>(std::floor(pick)) + 1, n);
    take_census_entry(s, first_slot, RANDOMINDEX);
    lower_to_centre(census, s.CLUSTER, first_slot, nearest_sq, DISTANCES, changed);
    drawn = 1;
  }

  for (; drawn < slots.size(); ++drawn) {
    const int K = slots[drawn];
    // Every running sum is formed in extended precision and rounded to double
    // as it is stored, at every step: the draw depends on these sums to the
    // last bit. The search for the drawn entry adds the same distances in the
    // same order, so its sums are the ones kept here; as they never decrease,
    // the first one that reaches R is found by bisection.
    double TOTALDIST = 0.0;
    for (std::size_t j = 0; j < DISTANCES.size(); ++j) {
      TOTALDIST = add_extended_fast(TOTALDIST, DISTANCES[j]);
      running[j] = TOTALDIST;
    }
    const double R = static_cast<double>(static_cast<long double>(uniform_01(generator)) * TOTALDIST);
    const auto reached = std::lower_bound(running.begin(), running.end(), R);
    if (reached != running.end()) take_census_entry(s, K, static_cast<int>(reached - running.begin()) + 1);
    // When no entry qualifies the slot keeps its earlier centre, which still
    // counts as a seed for the slots after it.
    if (drawn + 1 < slots.size()) lower_to_centre(census, s.CLUSTER, K, nearest_sq, DISTANCES, changed);
  }
}

void kmeans_plus_plus(Store& s, Controls& controls, int first_slot) {
  std::mt19937 generator(0);
  kmeans_seed(s, first_slot, generator);

  const CensusColumns census(s);
  const int n = census.size();
  // A limit of 1, 0 or less still runs one iteration; a huge one must not
  // keep the program busy for hours.
  const int limit = std::min(s.MAXITERATIONS, kMaxKmeansIterations);

  // The assignment of the first iteration is a full search; later ones renew
  // it only where the centres' moves can change it, with the very slots of a
  // full search, and the sums change by the entries that changed slot.
  NearestSlots nearest(census.red.data(), census.green.data(), census.blue.data(), n);
  long long sum[17][3] = {};
  long long count[17] = {};
  Palette before{};
  int ITERATION = 0;
  double CHANGE = 0.0;
  do {
    ++ITERATION;
    CHANGE = 0.0;
    if (ITERATION == 1) {
      nearest.search(s.CLUSTER, first_slot);
      for (int j = 0; j < n; ++j) {
        const std::size_t i = static_cast<std::size_t>(j);
        const int k = nearest.slots()[i];
        sum[k][0] += census.red[i];
        sum[k][1] += census.green[i];
        sum[k][2] += census.blue[i];
        ++count[k];
      }
    } else {
      nearest.renew(before, s.CLUSTER);
      const auto changed = nearest.changed();
      const auto was = nearest.was();
      for (std::size_t c = 0; c < changed.size(); ++c) {
        const std::size_t i = static_cast<std::size_t>(changed[c]);
        const int from = was[c], to = nearest.slots()[i];
        const long long term[3] = {census.red[i], census.green[i], census.blue[i]};
        for (int ch = 0; ch < 3; ++ch) {
          sum[from][ch] -= term[ch];
          sum[to][ch] += term[ch];
        }
        --count[from];
        ++count[to];
      }
    }
    before = s.CLUSTER;
    const auto& NEWCLUSTER = sum;
    const auto& COUNT = count;
    for (int k = first_slot; k <= 16; ++k) {
      if (COUNT[k] == 0) continue;  // a centre without entries keeps its colour
      if (is_pinned(s, k)) continue;  // pinned centres take entries but never move
      for (int c = 1; c <= 3; ++c) {
        const int NEWVALUE =
            static_cast<int>(std::nearbyint(static_cast<long double>(NEWCLUSTER[k][c - 1]) / COUNT[k]));
        CHANGE += std::abs(NEWVALUE - s.CLUSTER[k][c]);
        s.CLUSTER[k][c] = NEWVALUE;
      }
    }
    controls.set_text(Ctl::StatusBar, "Iteration: " + std::to_string(ITERATION) +
                                          ", Epsilon: " + std::to_string(static_cast<long long>(CHANGE)));
  } while (CHANGE > EPSILON && ITERATION < limit);
  s.KMEANSITERATIONS = ITERATION;
}

}  // namespace tessera
