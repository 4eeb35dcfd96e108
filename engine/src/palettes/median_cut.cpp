// Median cut: the box whose colours spread widest along one channel is cut at
// its median row along that channel until every slot has a box; each slot
// then takes its box's mean colour, rounded down.

#include <algorithm>
#include <array>
#include <vector>

#include "palettes/palette_methods.h"
#include "tessera/pins.h"

namespace tessera {

namespace {

using Row = std::array<int, 3>;  // red, green, blue

struct Box {
  int start = 0;  // first row
  int end = -1;   // last row; before start when empty
};

// Range of channel c over the box; an empty box has no range worth cutting.
int channel_range(const std::vector<Row>& rows, const Box& box, int c) {
  int lo = 255, hi = 0;
  for (int i = box.start; i <= box.end; ++i) {
    const int v = rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)];
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  return hi - lo;
}

// Ascending by one channel, equal values keeping their order: the cut
// position and so the palette depend on that order. Channel values are bytes,
// so a counting sort does it in two passes.
void sort_by_channel(std::vector<Row>& rows, std::vector<Row>& scratch, const Box& box, int c) {
  std::array<int, 257> next{};
  for (int i = box.start; i <= box.end; ++i)
    ++next[static_cast<std::size_t>(rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)]) + 1];
  next[0] = box.start;
  for (std::size_t v = 1; v < next.size(); ++v) next[v] += next[v - 1];
  for (int i = box.start; i <= box.end; ++i) {
    const Row& row = rows[static_cast<std::size_t>(i)];
    scratch[static_cast<std::size_t>(next[static_cast<std::size_t>(row[static_cast<std::size_t>(c)])]++)] =
        row;
  }
  std::copy(scratch.begin() + box.start, scratch.begin() + box.end + 1, rows.begin() + box.start);
}

}  // namespace

void median_cut(Store& s, int first_slot) {
  // Rows are numbered from 0 here, one less than the census entry.
  std::vector<Row> rows(static_cast<std::size_t>(std::max(s.COLCOUNT, 0)));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (int c = 0; c < 3; ++c) rows[i][static_cast<std::size_t>(c)] = s.COLORS[i + 1][c + 1];

  std::vector<Row> scratch(rows.size());
  // One box for every entry that is not pinned; box i colours slots[i].
  const std::vector<int> slots = free_slots(s, first_slot);
  const int box_count = static_cast<int>(slots.size());
  if (box_count == 0) return;
  std::array<Box, 17> boxes{};
  boxes[0] = Box{0, static_cast<int>(rows.size()) - 1};
  int last = 0;

  // Only the two boxes of a cut change, so ranges are kept per box.
  std::array<std::array<int, 3>, 17> ranges{};
  auto measure = [&](int b) {
    for (int c = 0; c < 3; ++c)
      ranges[static_cast<std::size_t>(b)][static_cast<std::size_t>(c)] =
          channel_range(rows, boxes[static_cast<std::size_t>(b)], c);
  };
  measure(0);

  while (last + 1 < box_count) {
    int max_range = -1, component = 0, chosen = -1;
    for (int b = 0; b <= last; ++b)
      for (int c = 0; c < 3; ++c) {
        const int range = ranges[static_cast<std::size_t>(b)][static_cast<std::size_t>(c)];
        if (range > max_range) {
          max_range = range;
          component = c;
          chosen = b;
        }
      }
    if (chosen < 0) break;  // only empty boxes left; cannot happen with a real census

    Box& box = boxes[static_cast<std::size_t>(chosen)];
    if (box.end > box.start) sort_by_channel(rows, scratch, box, component);
    // Box rows are 1-based in the census numbering; the midpoint is taken
    // there so that a box of n rows keeps the lower ceil(n / 2).
    const int midpoint = ((box.start + 1) + (box.end + 1)) / 2 - 1;
    ++last;
    boxes[static_cast<std::size_t>(last)] = Box{midpoint + 1, box.end};
    box.end = midpoint;
    measure(chosen);
    measure(last);
  }

  for (int b = 0; b < box_count; ++b) {
    const Box& box = boxes[static_cast<std::size_t>(b)];
    const int slot = slots[static_cast<std::size_t>(b)];
    long long sum[3] = {0, 0, 0};
    int count = 0;
    for (int i = box.start; i <= box.end; ++i, ++count)
      for (int c = 0; c < 3; ++c) sum[c] += rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)];
    if (count > 0)
      for (int c = 0; c < 3; ++c) s.CLUSTER[slot][c + 1] = static_cast<int>(sum[c] / count);
  }
}

}  // namespace tessera
