// The look's mapping: every pixel's palette entry under the look's distance,
// light and kernel, as rendering records it and as the palette's fit tries
// it again and again. It leaves the picture (IMAGEIN, IMAGEOUT) alone; BMP1
// cells choosing their pairs with the dithering write OUTCOLORBLOCK.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "tessera/colour_space.h"
#include "tessera/diffusion.h"
#include "tessera/store.h"

namespace tessera::look {

using Rgb = std::array<double, 3>;

// Where the error lives and how colours are compared. Working values are in
// 0..255 units in either light, so that one clamp and one strength serve both.
struct Space {
  bool linear = false;
  bool oklab = false;

  // A channel of the working image (0..255, sRGB) in the working light.
  double working(int channel) const;
  Rgb working(const int (&rgb)[3]) const { return {working(rgb[0]), working(rgb[1]), working(rgb[2])}; }
  // A working value (0..255) as an sRGB value 0..255, not rounded.
  double encoded(double working) const;
  // The comparison key of a working colour: OKLab, or sRGB values for the
  // plain distance.
  Oklab key(const Rgb& working) const;
};

Space space_of(const Store& store);

struct Entry {
  Rgb working{};
  Oklab key;
};

// The palette OCLUSTER as entries 1..16 (0 unused).
std::vector<Entry> palette_entries(const Store& store, const Space& space);
void set_entry(Entry& entry, const int (&rgb)[3], const Space& space);

Rgb clamped(const Rgb& w);

// The working picture with the error passed on so far, one Rgb a pixel.
class Plane {
 public:
  Plane(int width, int height) : width_(width), values_(static_cast<std::size_t>(width) * height) {}
  Rgb& at(int x, int y) { return values_[static_cast<std::size_t>(y) * width_ + x]; }
  const Rgb& at(int x, int y) const { return values_[static_cast<std::size_t>(y) * width_ + x]; }
  int width() const { return width_; }
  int height() const { return width_ == 0 ? 0 : static_cast<int>(values_.size()) / width_; }
  bool inside(int x, int y) const { return x >= 0 && x < width_ && y >= 0 && y < height(); }

 private:
  int width_;
  std::vector<Rgb> values_;
};

// IMAGEIN in the working light.
Plane working_plane(const Store& store, const Space& space);

// What every pixel shows: its entry and, for BMP1, 1 where that is the cell's
// first colour, 2 where it is the second. Row by row, y * OUTPUTX + x.
struct Mapping {
  std::vector<std::uint8_t> entry;
  std::vector<std::uint8_t> vector;
};

// Row by row, serpentine, every pixel choosing among the palette, or with
// `cell_pairs` among its BMP1 cell's pair (OUTCOLORBLOCK).
Mapping map_rows(const Store& store, const Space& space, const std::vector<Entry>& entries,
                 std::span<const KernelEntry> kernel, bool cell_pairs);
// The same from the working picture made already (working_plane).
Mapping map_rows(const Store& store, Plane plane, const Space& space, const std::vector<Entry>& entries,
                 std::span<const KernelEntry> kernel, bool cell_pairs);

// BMP1, cell by cell: each cell's pair chosen by dithering the cell with the
// likeliest pairs (OUTCOLORBLOCK written), except where a cell holds the key
// colour and keeps the pair it has.
Mapping map_cells(Store& store, const Space& space, const std::vector<Entry>& entries,
                  std::span<const KernelEntry> kernel);

}  // namespace tessera::look
