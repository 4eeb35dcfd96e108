// "ColorQ": seeds the palette from the popularity order of the picture's
// colours and refines it with a fixed number of Lloyd steps over all pixels,
// so that every colour weighs by its number of pixels.
//
// Pixels of one colour always land in the same slot, so the work is done per
// distinct colour with its pixel count as weight; the sums are whole numbers
// and come out the same in any order.

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "tessera/nearest_renewal.h"
#include "tessera/palette_methods.h"
#include "tessera/pins.h"

namespace tessera {

namespace {

constexpr int kRefinements = 50;

// Sorts 24-bit keys in two 12-bit counting passes.
void sort_24bit(std::vector<std::uint32_t>& keys) {
  std::vector<std::uint32_t> scratch(keys.size());
  for (int shift : {0, 12}) {
    std::vector<std::uint32_t> start(4097, 0);
    for (std::uint32_t k : keys) ++start[((k >> shift) & 4095) + 1];
    for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    for (std::uint32_t k : keys) scratch[start[(k >> shift) & 4095]++] = k;
    keys.swap(scratch);
  }
}

// Max-tree over row positions, for "the first position after p whose count is
// larger than v" in logarithmic time.
class CountTree {
 public:
  explicit CountTree(const std::vector<ColourCount>& rows) {
    while (leaves_ < rows.size()) leaves_ *= 2;
    max_.assign(2 * leaves_, -1);
    for (std::size_t i = 0; i < rows.size(); ++i) max_[leaves_ + i] = rows[i].count;
    for (std::size_t n = leaves_ - 1; n >= 1; --n) max_[n] = std::max(max_[2 * n], max_[2 * n + 1]);
  }

  void set(std::size_t pos, std::int32_t count) {
    std::size_t n = leaves_ + pos;
    max_[n] = count;
    for (n /= 2; n >= 1; n /= 2) max_[n] = std::max(max_[2 * n], max_[2 * n + 1]);
  }

  // First position >= from with a count above v, or -1.
  long first_above(std::size_t from, std::int32_t v) const { return search(1, 0, leaves_, from, v); }

 private:
  long search(std::size_t node, std::size_t lo, std::size_t hi, std::size_t from, std::int32_t v) const {
    if (hi <= from || max_[node] <= v) return -1;
    if (hi - lo == 1) return static_cast<long>(lo);
    const std::size_t mid = (lo + hi) / 2;
    const long left = search(2 * node, lo, mid, from, v);
    return left >= 0 ? left : search(2 * node + 1, mid, hi, from, v);
  }

  std::size_t leaves_ = 1;
  std::vector<std::int32_t> max_;
};

}  // namespace

std::vector<ColourCount> colour_frequencies(const Store& s) {
  std::vector<std::uint32_t> keys;
  keys.reserve(static_cast<std::size_t>(std::max(s.OUTPUTX, 0)) *
               static_cast<std::size_t>(std::max(s.OUTPUTY, 0)));
  // Row by row, as the image lies in memory; the sort makes the order of
  // the keys irrelevant.
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      keys.push_back(static_cast<std::uint32_t>(s.IMAGEIN(x, y, 1) * 65536 + s.IMAGEIN(x, y, 2) * 256 +
                                                s.IMAGEIN(x, y, 3)));
  sort_24bit(keys);
  std::vector<ColourCount> rows;
  for (std::size_t i = 0; i < keys.size();) {
    std::size_t j = i;
    while (j < keys.size() && keys[j] == keys[i]) ++j;
    rows.push_back(ColourCount{static_cast<std::int32_t>(keys[i]), static_cast<std::int32_t>(j - i)});
    i = j;
  }
  return rows;
}

// The exchange ordering compares the row at i with every later row and swaps
// whenever the later count is larger. The rows it swaps with are exactly the
// successive records after i: the first count above the holder's, then the
// first count after that one above it, and so on. The pass therefore rotates
// the rows along that chain (the last record comes to i, every other row on
// the chain moves to the next chain position) and leaves all other rows
// alone. Finding each record is one tree search, and a chain holds at most
// one row per distinct count.
void popularity_order(std::vector<ColourCount>& rows) {
  if (rows.size() < 2) return;
  CountTree tree(rows);
  std::vector<std::size_t> chain;
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    chain.clear();
    std::int32_t v = rows[i].count;
    for (long j = tree.first_above(i + 1, v); j >= 0;
         j = tree.first_above(static_cast<std::size_t>(j) + 1, v)) {
      chain.push_back(static_cast<std::size_t>(j));
      v = rows[static_cast<std::size_t>(j)].count;
    }
    if (chain.empty()) continue;
    ColourCount carried = rows[i];
    rows[i] = rows[chain.back()];
    for (std::size_t pos : chain) {
      std::swap(carried, rows[pos]);
      tree.set(pos, rows[pos].count);
    }
  }
}

void colorq(Store& s, Controls& controls, int first_slot, bool stop_when_settled) {
  colorq(s, controls, first_slot, colour_frequencies(s), stop_when_settled);
}

void colorq(Store& s, Controls& controls, int first_slot, std::vector<ColourCount> rows, bool stop_when_settled) {
  popularity_order(rows);
  const int COLORCOUNT = static_cast<int>(rows.size());
  // Pinned entries are seeds that never move; the popularity seeds go to the
  // other entries, drawn from the colours that no pin already is.
  const std::vector<int> slots = free_slots(s, first_slot);
  if (slots.empty()) return;
  Palette PAL{};
  if (first_slot == 2) PAL[1] = {0, 255, 0, 255, 0};
  std::vector<ColourCount> unpinned;
  const bool pinned = static_cast<int>(slots.size()) < 17 - first_slot;
  if (pinned) {
    for (int k = first_slot; k <= 16; ++k)
      if (is_pinned(s, k)) PAL[k] = s.CLUSTER[k];
    for (const ColourCount& row : rows) {
      const int v = row.colour;
      bool taken = false;
      for (int k = first_slot; k <= 16; ++k)
        taken = taken || (is_pinned(s, k) && PAL[k][1] == ((v >> 16) & 255) && PAL[k][2] == ((v >> 8) & 255) &&
                          PAL[k][3] == (v & 255));
      if (!taken) unpinned.push_back(row);
    }
  }
  const std::vector<ColourCount>& seeds = pinned ? unpinned : rows;
  const int SEEDCOUNT = static_cast<int>(seeds.size());
  const int STEPSIZE = SEEDCOUNT / static_cast<int>(slots.size());

  for (std::size_t i = 0; i < slots.size(); ++i) {
    const int k = slots[i];
    const int row = static_cast<int>(i) * STEPSIZE;
    const int v = row < SEEDCOUNT ? seeds[static_cast<std::size_t>(row)].colour : 0;
    PAL[k][1] = (v >> 16) & 255;
    PAL[k][2] = (v >> 8) & 255;
    PAL[k][3] = v & 255;
  }

  const std::size_t n = rows.size();
  std::vector<std::int32_t> red(n), green(n), blue(n);
  for (std::size_t i = 0; i < n; ++i) {
    red[i] = (rows[i].colour >> 16) & 255;
    green[i] = (rows[i].colour >> 8) & 255;
    blue[i] = rows[i].colour & 255;
  }
  long long COLORCOUNTPERPALETTE[17] = {};
  // The palette from the sums of a round: a slot that lost every colour keeps
  // its colour, pinned slots never move.
  auto refine = [&](const long long (&NEWPALETTE)[17][3]) {
    for (int k = first_slot; k <= 16; ++k) {
      if (COLORCOUNTPERPALETTE[k] == 0) continue;  // an emptied slot keeps its colour
      if (is_pinned(s, k)) continue;
      for (int c = 1; c <= 3; ++c)
        PAL[k][c] = static_cast<int>(std::nearbyint(static_cast<long double>(NEWPALETTE[k][c - 1]) /
                                                    static_cast<long double>(COLORCOUNTPERPALETTE[k])));
    }
  };

  if (!stop_when_settled) {
    // Every round in full, as the method is described: the reference for the
    // shortcuts below.
    std::vector<std::uint8_t> slot_of(n);
    auto assign = [&] {
      nearest_slots(red.data(), green.data(), blue.data(), COLORCOUNT, PAL, first_slot, slot_of.data());
    };
    assign();
    std::vector<SlotTerm> terms(n);
    for (std::size_t i = 0; i < n; ++i) {
      const std::int32_t w = rows[i].count;
      terms[i] = {w * red[i], w * green[i], w * blue[i], w};
    }
    for (int ITERATION = 1; ITERATION <= kRefinements; ++ITERATION) {
      const SlotSums sums = slot_sums(terms.data(), slot_of.data(), COLORCOUNT);
      std::copy(std::begin(sums.count), std::end(sums.count), std::begin(COLORCOUNTPERPALETTE));
      refine(sums.sum);
      // The assignment after the last refinement would feed nothing.
      if (ITERATION == kRefinements) break;
      assign();
    }
  } else {
    // Each round moves the slots a little and changes the assignment of only
    // some colours, so the search is renewed only for colours whose slot the
    // moves can change, and the sums change by what the colours that changed
    // slot carry.
    // The sums are whole numbers: adding and taking away gives the very sums
    // of a fresh count.
    NearestSlots nearest(red.data(), green.data(), blue.data(), COLORCOUNT);
    nearest.search(PAL, first_slot);
    const std::vector<std::int32_t>& slot_of = nearest.slots();
    long long sum[17][3] = {};
    long long count[17] = {};
    for (std::size_t i = 0; i < n; ++i) {
      const int k = slot_of[i];
      const long long w = rows[i].count;
      sum[k][0] += w * red[i];
      sum[k][1] += w * green[i];
      sum[k][2] += w * blue[i];
      count[k] += w;
    }
    for (int ITERATION = 1; ITERATION <= kRefinements; ++ITERATION) {
      std::copy(std::begin(count), std::end(count), std::begin(COLORCOUNTPERPALETTE));
      const Palette before = PAL;
      refine(sum);
      if (ITERATION == kRefinements) break;
      // A round is a function of the assignment and of the colours of the
      // slots it leaves empty (they keep theirs). When the new assignment is
      // the one this round started from, the next round forms the same sums,
      // hence the same palette (the empty slots are the same and keep the
      // same colours), hence the same assignment again: every remaining round
      // repeats this one, and the palette and the counts are final.
      if (nearest.renew(before, PAL) == 0) break;
      const auto changed = nearest.changed();
      const auto was = nearest.was();
      for (std::size_t c = 0; c < changed.size(); ++c) {
        const std::size_t i = static_cast<std::size_t>(changed[c]);
        const int from = was[c], to = slot_of[i];
        const long long w = rows[i].count;
        const long long term[3] = {w * red[i], w * green[i], w * blue[i]};
        for (int ch = 0; ch < 3; ++ch) {
          sum[from][ch] -= term[ch];
          sum[to][ch] += term[ch];
        }
        count[from] -= w;
        count[to] += w;
      }
    }
  }

  int TOTALUSEDCOLORS = 0;
  for (int k = first_slot; k <= 16; ++k)
    if (COLORCOUNTPERPALETTE[k] > 0) ++TOTALUSEDCOLORS;
  controls.set_text(Ctl::StatusBar, "Total Used Colors: " + std::to_string(TOTALUSEDCOLORS));

  for (int k = 1; k <= 16; ++k)
    for (int c = 1; c <= 3; ++c) s.CLUSTER[k][c] = PAL[k][c];
}

}  // namespace tessera
