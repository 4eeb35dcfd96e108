// "ColorQ": seeds the palette from the popularity order of the picture's
// colours and refines it with a fixed number of Lloyd steps over all pixels,
// so that every colour weighs by its number of pixels.
//
// Pixels of one colour always land in the same slot, so the work is done per
// distinct colour with its pixel count as weight; the sums are whole numbers
// and come out the same in any order.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <cmath>
#include <string>
#include <vector>

#include "palettes/nearest_renewal.h"
#include "palettes/palette_methods.h"
#include "tessera/pins.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Row counts in blocks of 64 rows, with the largest count of every block and
// of every 64 blocks, for "the first position from p on whose count is
// larger than v": the rest of p's block, then the maxima of the blocks after
// it in its group, then the groups' maxima, each level one flat scan of 64
// values that needs no branch per value. Counts only ever decrease here, so a
// maximum needs renewing only when the count that held it goes down.
class CountBlocks {
 public:
  static constexpr std::size_t kWidth = 64;

  explicit CountBlocks(const std::vector<ColourCount>& rows) {
    const std::size_t blocks = (rows.size() + kWidth - 1) / kWidth;
    const std::size_t groups = (blocks + kWidth - 1) / kWidth;
    count_.assign(blocks * kWidth, kNone);
    block_max_.assign(groups * kWidth, kNone);
    group_max_.assign(groups, kNone);
    for (std::size_t i = 0; i < rows.size(); ++i) count_[i] = rows[i].count;
    for (std::size_t b = 0; b < blocks; ++b) block_max_[b] = largest(&count_[b * kWidth]);
    for (std::size_t g = 0; g < groups; ++g) group_max_[g] = largest(&block_max_[g * kWidth]);
  }

  // The first position >= from with a count above v; the caller knows there
  // is one.
  std::size_t first_above(std::size_t from, std::int32_t v) const {
    const std::size_t b = from / kWidth;
    std::uint64_t found = above(&count_[b * kWidth], v) & (~std::uint64_t{0} << (from % kWidth));
    if (found != 0) return b * kWidth + static_cast<std::size_t>(std::countr_zero(found));
    const std::size_t g = b / kWidth;
    if (b % kWidth != kWidth - 1) {
      found = above(&block_max_[g * kWidth], v) & (~std::uint64_t{0} << (b % kWidth + 1));
      if (found != 0) return in_block(g * kWidth + static_cast<std::size_t>(std::countr_zero(found)), v);
    }
    std::size_t h = g + 1;
    while (group_max_[h] <= v) ++h;
    return in_block(h * kWidth + static_cast<std::size_t>(std::countr_zero(above(&block_max_[h * kWidth], v))), v);
  }

  // Lowers the count at pos (never raises it).
  void lower(std::size_t pos, std::int32_t count) {
    const std::int32_t old = count_[pos];
    count_[pos] = count;
    const std::size_t b = pos / kWidth;
    if (old != block_max_[b]) return;
    const std::int32_t renewed = largest(&count_[b * kWidth]);
    if (renewed == old) return;
    block_max_[b] = renewed;
    const std::size_t g = b / kWidth;
    if (old == group_max_[g]) group_max_[g] = largest(&block_max_[g * kWidth]);
  }

 private:
  static constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::min();

  // Bit k set where a[k] > v, for the 64 values from a.
  static std::uint64_t above(const std::int32_t* a, std::int32_t v) {
#if defined(__SSE2__)
    const __m128i t = _mm_set1_epi32(v);
    std::uint64_t bits = 0;
    for (std::size_t k = 0; k < kWidth; k += 16) {
      auto at = [&](std::size_t o) {
        return _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k + o)), t);
      };
      const __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(at(0), at(4)), _mm_packs_epi32(at(8), at(12)));
      bits |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(bytes))) << k;
    }
    return bits;
#else
    std::uint64_t bits = 0;
    for (std::size_t k = 0; k < kWidth; ++k) bits |= static_cast<std::uint64_t>(a[k] > v) << k;
    return bits;
#endif
  }

  static std::int32_t largest(const std::int32_t* a) {
    std::int32_t m = kNone;
    for (std::size_t k = 0; k < kWidth; ++k) m = std::max(m, a[k]);
    return m;
  }

  std::size_t in_block(std::size_t b, std::int32_t v) const {
    return b * kWidth + static_cast<std::size_t>(std::countr_zero(above(&count_[b * kWidth], v)));
  }

  std::vector<std::int32_t> count_, block_max_, group_max_;
};

// The rows' counts from the largest down, as runs of equal counts. Counts up
// to 4095 (nearly every count of one picture) are tallied, larger ones
// sorted.
class DescendingCounts {
 public:
  explicit DescendingCounts(const std::vector<ColourCount>& rows) {
    std::int32_t top = -1;
    for (const ColourCount& row : rows) {
      if (row.count > kTallied || row.count < 0) {
        sorted_.push_back(row.count);
      } else {
        top = std::max(top, row.count);
      }
    }
    std::sort(sorted_.begin(), sorted_.end(), std::greater<>());
    negative_ = static_cast<std::size_t>(
        std::find_if(sorted_.begin(), sorted_.end(), [](std::int32_t c) { return c < 0; }) - sorted_.begin());
    // Four tallies taken in turn, so that a run of equal counts (a photo's
    // many single pixels) does not wait on one memory cell row after row.
    const std::size_t size = static_cast<std::size_t>(top + 1);
    std::vector<std::uint32_t> tallies(4 * size, 0);
    std::size_t k = 0;
    for (const ColourCount& row : rows)
      if (row.count >= 0 && row.count <= kTallied) ++tallies[(k++ % 4) * size + static_cast<std::size_t>(row.count)];
    tally_.resize(size);
    for (std::size_t c = 0; c < size; ++c)
      tally_[c] = tallies[c] + tallies[size + c] + tallies[2 * size + c] + tallies[3 * size + c];
    value_ = top;
  }

  // The next count down and how many rows hold it; false after the last.
  bool next(std::int32_t& count, std::size_t& rows) {
    if (next_ < negative_) return take_sorted(count, rows);
    while (value_ >= 0 && tally_[static_cast<std::size_t>(value_)] == 0) --value_;
    if (value_ >= 0) {
      count = value_;
      rows = tally_[static_cast<std::size_t>(value_)];
      --value_;
      return true;
    }
    return next_ < sorted_.size() && take_sorted(count, rows);
  }

 private:
  static constexpr std::int32_t kTallied = 4095;

  bool take_sorted(std::int32_t& count, std::size_t& rows) {
    const std::size_t first = next_;
    count = sorted_[next_];
    while (next_ < sorted_.size() && sorted_[next_] == count) ++next_;
    rows = next_ - first;
    return true;
  }

  std::vector<std::int32_t> sorted_;
  std::vector<std::uint32_t> tally_;
  std::size_t negative_ = 0;
  std::size_t next_ = 0;
  std::int32_t value_ = -1;
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
// alone. A chain holds at most one row per distinct count.
//
// The rotation only permutes the rows from i on, so after pass i the rows up
// to i hold the i + 1 largest counts: the largest count from i on, where the
// chain of pass i ends, is simply the next count in descending order. A pass
// whose row already holds it changes nothing (in a photo most passes: the
// long tail of single-pixel colours), and no pass searches past its last
// record.
void popularity_order(std::vector<ColourCount>& rows) {
  if (rows.size() < 2) return;
  CountBlocks blocks(rows);
  DescendingCounts descending(rows);
  std::vector<std::size_t> chain;
  std::int32_t largest = 0;
  std::size_t holders = 0;
  for (std::size_t i = 0; i + 1 < rows.size() && descending.next(largest, holders);) {
    // Passes i to end - 1 each bring a row of count `largest` to their place.
    for (const std::size_t end = std::min(i + holders, rows.size() - 1); i < end; ++i) {
      std::int32_t v = rows[i].count;
      if (v == largest) continue;
      chain.clear();
      std::size_t j = i;
      do {
        j = blocks.first_above(j + 1, v);
        chain.push_back(j);
        v = rows[j].count;
      } while (v != largest);
      ColourCount carried = rows[i];
      rows[i] = rows[chain.back()];
      for (std::size_t pos : chain) {
        std::swap(carried, rows[pos]);
        blocks.lower(pos, rows[pos].count);
      }
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
