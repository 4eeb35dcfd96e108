// Off-screen drawing surfaces and the preview files written from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessera/file_writer.h"

namespace tessera {

struct Store;

// W x H pixels of 0xAARRGGBB, (0, 0) at the top left.
class Surface {
 public:
  Surface(int width, int height, std::uint32_t fill = 0xFF000000u);

  int width() const { return width_; }
  int height() const { return height_; }

  std::uint32_t pixel(int x, int y) const { return pixels_[index(x, y)]; }
  void set_pixel(int x, int y, std::uint32_t argb) { pixels_[index(x, y)] = argb; }
  // Every pixel from (x1, y1) to (x2, y2), corners included; the part outside
  // the surface is skipped.
  void fill_box(int x1, int y1, int x2, int y2, std::uint32_t argb);

  const std::vector<std::uint32_t>& pixels() const { return pixels_; }

 private:
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x);
  }
  int width_;
  int height_;
  std::vector<std::uint32_t> pixels_;
};

// The surface as a 32-bit Windows BMP (54-byte header, bottom row first).
std::vector<std::uint8_t> bmp_bytes(const Surface& surface);

// Name of the next preview file for a stem ("test" or "outimage"): advances the
// rotation first (a counter above 4 starts again at 0) but does not count it.
std::string preview_path(Store& store, const std::string& stem);

// Writes the surface as the next preview file of the stem and returns its
// path; the caller shows it and then calls finish_preview. Write failures are
// not fatal to a stage: the preview is simply not updated on disk.
std::string write_preview(Store& store, const std::string& stem, const Surface& surface);
void finish_preview(Store& store);

}  // namespace tessera
