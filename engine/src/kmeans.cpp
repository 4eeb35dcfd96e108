// K-means++ over the census entries: seeds drawn with probability proportional
// to their distance from the nearest seed so far, then Lloyd iterations until
// no centre moves or the iteration limit is reached.
//
// The generator is re-seeded with 0 on every run and its numbers are built the
// same way everywhere, so a census always gives the same palette.

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "tessera/palette_methods.h"

// The nearest-slot search is most of the work of both K-means methods. Its
// arithmetic is exact integer arithmetic, so a wider instruction set changes
// the speed, never the result.
#if defined(__x86_64__) && defined(__GNUC__) && defined(__linux__)
#define TESSERA_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TESSERA_WIDE_CLONES
#endif

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

// Squared distances only ever shrink as seeds are added, so the nearest-seed
// distance of every entry is kept and updated with each new seed.
void lower_to_centre(const CensusColumns& census, const Palette& centres, int slot,
                     std::vector<int>& nearest_sq) {
  const int r = centres[slot][1], g = centres[slot][2], b = centres[slot][3];
  for (int j = 0; j < census.size(); ++j) {
    const std::size_t i = static_cast<std::size_t>(j);
    const int d = SQD(census.red[i], r) + SQD(census.green[i], g) + SQD(census.blue[i], b);
    nearest_sq[i] = std::min(nearest_sq[i], d);
  }
}

}  // namespace

double uniform_01(std::mt19937& generator) {
  const std::uint32_t a = static_cast<std::uint32_t>(generator()) >> 5;
  const std::uint32_t b = static_cast<std::uint32_t>(generator()) >> 6;
  return (a * 67108864.0 + b) / 9007199254740992.0;
}

TESSERA_WIDE_CLONES
void nearest_slots(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                   const Palette& centres, int first_slot, std::uint8_t* slot_out) {
  constexpr int kBlock = 512;
  std::int32_t best[kBlock];
  std::int32_t best_slot[kBlock];
  for (int base = 0; base < n; base += kBlock) {
    const int len = std::min(kBlock, n - base);
    const std::int32_t* r = red + base;
    const std::int32_t* g = green + base;
    const std::int32_t* b = blue + base;
    for (int i = 0; i < len; ++i) {
      best[i] = INT_MAX;
      best_slot[i] = first_slot;
    }
    for (int k = first_slot; k <= 16; ++k) {
      const std::int32_t cr = centres[k][1], cg = centres[k][2], cb = centres[k][3];
      for (int i = 0; i < len; ++i) {
        const std::int32_t dr = r[i] - cr, dg = g[i] - cg, db = b[i] - cb;
        const std::int32_t d = dr * dr + dg * dg + db * db;
        // Strictly nearer only, so a tie stays with the lower slot.
        const bool nearer = d < best[i];
        best[i] = nearer ? d : best[i];
        best_slot[i] = nearer ? k : best_slot[i];
      }
    }
    for (int i = 0; i < len; ++i) slot_out[base + i] = static_cast<std::uint8_t>(best_slot[i]);
  }
}

void kmeans_seed(Store& s, int first_slot, std::mt19937& generator) {
  const CensusColumns census(s);
  const int n = census.size();
  if (n <= 0) return;

  const long double pick = static_cast<long double>(uniform_01(generator)) * n;
  const int RANDOMINDEX = std::min(static_cast<int>(std::floor(pick)) + 1, n);
  take_census_entry(s, first_slot, RANDOMINDEX);

  const long double* roots = extended_roots();
  std::vector<int> nearest_sq(static_cast<std::size_t>(n), INT_MAX);
  std::vector<double> DISTANCES(static_cast<std::size_t>(n));
  lower_to_centre(census, s.CLUSTER, first_slot, nearest_sq);

  for (int K = first_slot + 1; K <= 16; ++K) {
    // Each distance is the extended-precision root stored as a double, and
    // every running sum is rounded to double at each step as it is stored:
    // the draw depends on these sums to the last bit.
    double TOTALDIST = 0.0;
    for (std::size_t j = 0; j < DISTANCES.size(); ++j) {
      DISTANCES[j] = static_cast<double>(roots[nearest_sq[j]]);
      TOTALDIST = static_cast<double>(static_cast<long double>(TOTALDIST) + DISTANCES[j]);
    }
    const double R = static_cast<double>(static_cast<long double>(uniform_01(generator)) * TOTALDIST);
    double CUMULATIVEDIST = 0.0;
    for (std::size_t j = 0; j < DISTANCES.size(); ++j) {
      CUMULATIVEDIST = static_cast<double>(static_cast<long double>(CUMULATIVEDIST) + DISTANCES[j]);
      if (CUMULATIVEDIST >= R) {
        take_census_entry(s, K, static_cast<int>(j) + 1);
        break;
      }
    }
    // When no entry qualifies the slot keeps its earlier centre, which still
    // counts as a seed for the slots after it.
    if (K < 16) lower_to_centre(census, s.CLUSTER, K, nearest_sq);
  }
}

void kmeans_plus_plus(Store& s, Controls& controls, int first_slot) {
  std::mt19937 generator(0);
  kmeans_seed(s, first_slot, generator);

  const CensusColumns census(s);
  const int n = census.size();
  std::vector<std::uint8_t> slot_of(static_cast<std::size_t>(n));
  // A limit of 1, 0 or less still runs one iteration; a huge one must not
  // keep the program busy for hours.
  const int limit = std::min(s.MAXITERATIONS, kMaxKmeansIterations);

  int ITERATION = 0;
  double CHANGE = 0.0;
  do {
    ++ITERATION;
    CHANGE = 0.0;
    nearest_slots(census.red.data(), census.green.data(), census.blue.data(), n, s.CLUSTER, first_slot,
                  slot_of.data());
    long long NEWCLUSTER[17][3] = {};
    int COUNT[17] = {};
    for (std::size_t j = 0; j < slot_of.size(); ++j) {
      const int k = slot_of[j];
      NEWCLUSTER[k][0] += census.red[j];
      NEWCLUSTER[k][1] += census.green[j];
      NEWCLUSTER[k][2] += census.blue[j];
      ++COUNT[k];
    }
    for (int k = first_slot; k <= 16; ++k) {
      if (COUNT[k] == 0) continue;  // a centre without entries keeps its colour
      for (int c = 1; c <= 3; ++c) {
        const int NEWVALUE = static_cast<int>(
            std::nearbyint(static_cast<long double>(NEWCLUSTER[k][c - 1]) / COUNT[k]));
        CHANGE += std::abs(NEWVALUE - s.CLUSTER[k][c]);
        s.CLUSTER[k][c] = NEWVALUE;
      }
    }
    controls.set_text(Ctl::StatusBar, "Iteration: " + std::to_string(ITERATION) + ", Epsilon: " +
                                          std::to_string(static_cast<long long>(CHANGE)));
  } while (CHANGE > EPSILON && ITERATION < limit);
}

}  // namespace tessera
