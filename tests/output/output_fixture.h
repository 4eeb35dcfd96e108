// Stores filled by hand for the rendering and file tests, so that they do not
// depend on the input and palette stages.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "tessera/controls.h"
#include "tessera/store.h"
#include "tessera/surface.h"

namespace tessera::testing {

namespace fs = std::filesystem;

inline std::vector<std::uint8_t> read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using test_support::ScratchDir;

// Keeps the last preview surface, so tests can compare it with the files.
class RecordingControls : public ControlValues {
 public:
  void show_picture(Ctl frame, const std::string& path, const Surface& surface) override {
    ControlValues::show_picture(frame, path, surface);
    last = std::make_unique<Surface>(surface);
  }
  std::unique_ptr<Surface> last;
  int swatch_writes = 0;
  void set_swatch(int k, std::uint32_t colour) override {
    ControlValues::set_swatch(k, colour);
    ++swatch_writes;
  }
};

inline void set_entry(Store& s, int entry, int r, int g, int b) {
  s.OCLUSTER[entry][1] = r;
  s.OCLUSTER[entry][2] = g;
  s.OCLUSTER[entry][3] = b;
}

inline void set_pixel(Store& s, int x, int y, int r, int g, int b, int a = 255) {
  s.IMAGEINORG(x, y, 1) = r;
  s.IMAGEINORG(x, y, 2) = g;
  s.IMAGEINORG(x, y, 3) = b;
  s.IMAGEIN(x, y, 4) = a;
}

inline void set_grey(Store& s, int x, int y, int v, int a = 255) {
  set_pixel(s, x, y, v, v, v, a);
}

// Sixteen distinct colours on the target grid, entry k = grey level 17 (k - 1)
// tinted so that no two are alike.
inline void grid_palette(Store& s) {
  for (int k = 1; k <= 16; ++k) set_entry(s, k, 17 * (k - 1), 17 * ((k * 7) % 16), 17 * ((k * 11) % 16));
}

// A deterministic picture with smooth gradients and noise, like a photo.
inline void photo(Store& s, unsigned seed = 1) {
  std::uint32_t state = seed * 2654435761u + 12345u;
  auto noise = [&state]() {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>((state >> 24) % 41) - 20;
  };
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
      set_pixel(s, x, y, clamp(x * 255 / 319 + noise()), clamp(y * 255 / 199 + noise()),
                clamp(((x + y) * 3) % 256 + noise()));
    }
}

// Store ready for DRAWOUTPUT: format, size and a preview directory.
inline void prepare(Store& s, int filetype, const fs::path& temp) {
  s.OUTPUTFILETYPE = filetype;
  s.OUTPUTX = filetype == 1 ? 320 : 160;
  s.OUTPUTY = 200;
  s.TEMPFILEPATH = temp.string();
}

// Every cell of a BMP1 picture gets the same pair.
inline void all_cells(Store& s, int first, int second) {
  for (int cx = 0; cx < 40; ++cx)
    for (int cy = 0; cy < 25; ++cy) {
      s.OUTCOLORBLOCK[cx][cy][1] = first;
      s.OUTCOLORBLOCK[cx][cy][2] = second;
    }
}

}  // namespace tessera::testing
