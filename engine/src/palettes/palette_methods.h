// The three palette methods behind INITIALIZECOLORS and the pieces of them
// that are worth checking on their own.
//
// Every method fills CLUSTER slots first_slot..16 with 8-bit colours; the
// driver reduces them to the target grid afterwards. first_slot is 2 when
// slot 1 is kept for the transparent key, else 1.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tessera/colour.h"
#include "tessera/controls.h"
#include "tessera/kernel_set.h"
#include "tessera/store.h"

namespace tessera {

// Median cut over the census entries, each entry counted once.
void median_cut(Store& store, int first_slot);

// K-means++ over the census entries, each entry counted once. Runs at most
// kMaxKmeansIterations iterations whatever MAXITERATIONS says.
void kmeans_plus_plus(Store& store, Controls& controls, int first_slot);
inline constexpr int kMaxKmeansIterations = 1000;

// The K-means++ seeding alone: draws the centres of slots first_slot..16 from
// the census with the generator as given.
void kmeans_seed(Store& store, int first_slot, std::mt19937& generator);

// A uniform double in [0, 1) made from two consecutive outputs of the
// generator, 53 random bits.
double uniform_01(std::mt19937& generator);

// Popularity-seeded K-means over all pixels ("ColorQ"). Its refinement stops
// as soon as a round leaves every colour in its slot, since every later
// round would repeat that one exactly; stop_when_settled = false runs all the
// rounds regardless (for checking that both give the same palette).
void colorq(Store& store, Controls& controls, int first_slot, bool stop_when_settled = true);

// The same over given colours and counts (ascending by colour) instead of
// the working image's, for a palette shared by several pictures.
void colorq(Store& store, Controls& controls, int first_slot, std::vector<ColourCount> frequencies,
            bool stop_when_settled = true);

// The look's refinement of the palette a method left in CLUSTER (look_palette.cpp):
// free slots from first_slot on move, by pixel-weighted K-means in OKLab on
// the grid; the picture's dominant flat colours are kept exactly.
void refine_palette_for_look(Store& store, int first_slot);

// The distinct colours of the working image in ascending colour order.
std::vector<ColourCount> colour_frequencies(const Store& store);

// Orders rows by descending count exactly as the exchange ordering
//   for i: for j > i: if count[i] < count[j] swap rows i and j
// does, including its order among equal counts, in far fewer steps.
void popularity_order(std::vector<ColourCount>& rows);

// For each of n colours (red, green, blue given as separate arrays) the slot
// first_slot..16 of centres with the smallest squared distance; ties go to
// the lowest slot. `kernels` must run on this machine.
void nearest_slots(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                   const Palette& centres, int first_slot, std::uint8_t* slot_out,
                   KernelSet kernels = best_kernel_set());

// Its AVX2 form (kmeans_avx2.cpp), reached through nearest_slots: the
// colours from the first in whole blocks of 32; returns how many it did,
// for the portable form to do the rest.
int nearest_slots_avx2(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                       const Palette& centres, int first_slot, std::uint8_t* slot_out);

// SELECTCOLORBLOCKS (stages.h) with the given kernel set, which must run on
// this machine; the stage itself takes the machine's best.
void SELECTCOLORBLOCKS(Store& store, Controls& controls, KernelSet kernels);

// a + b formed in extended precision and rounded to double, as a running
// double sum is when it is stored; mostly without leaving double arithmetic.
double add_extended(double a, double b);

// What one colour adds to the sums of its slot: weight x red, green, blue
// and the weight itself. Every total stays below 2^31 (64,000 pixels of 255).
using SlotTerm = std::array<std::int32_t, 4>;
struct SlotSums {
  long long sum[17][3];
  long long count[17];
};
SlotSums slot_sums(const SlotTerm* terms, const std::uint8_t* slot, int n);

// sqrt(n) in extended precision for a squared colour distance n (at most
// kMaxSquaredDistance). Taken where it is needed rather than from a table of
// every square: the searches need few of them, and a table of all of them is
// 4.7 MB to fill and fault in at every start.
inline constexpr int kMaxSquaredDistance = 3 * 255 * 255;
inline long double extended_root(int n) { return std::sqrt(static_cast<long double>(n)); }
// The same root rounded to double. (A double square root differs from it for
// a few dozen of the squares.)
inline double extended_root_as_double(int n) { return static_cast<double>(extended_root(n)); }

}  // namespace tessera
