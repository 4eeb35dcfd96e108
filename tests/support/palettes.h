// Palette files made for the tests: a few sizes around the palette's sixteen
// entries, written as hex lists, and what a target file's palette holds.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tessera::test_support {

struct MadePalette {
  const char* name;
  int colours;    // lines in the file
  int distinct;   // colours on the target's grid, each once
};

// Short, exact, larger with repeats on the grid, and larger than an ACT table.
inline const std::vector<MadePalette>& made_palettes() {
  static const std::vector<MadePalette> rows = {
      {"Short7", 7, 7}, {"Exact16", 16, 16}, {"Wide40", 40, 20}, {"Many300", 300, 300}};
  return rows;
}

// Colour i of a made palette of n colours (8-bit). Wide40 puts two lines on
// every grid colour it has; the others are spread over the grid.
inline std::array<int, 3> made_colour(int n, int i) {
  if (n == 40) return {17 * (i / 2 % 16), (17 * (i / 2 * 7 % 16)) ^ (i % 2), 17 * (i / 32 * 5 + 3)};
  const int level = i * 4093 % 4096;  // a step coprime to 4096: all different
  return {17 * (level / 256), 17 * (level / 16 % 16), 17 * (level % 16)};
}

inline std::filesystem::path write_made_palette(const std::filesystem::path& folder, const MadePalette& p) {
  const std::filesystem::path file = folder / (std::string(p.name) + ".hex");
  std::ofstream out(file);
  for (int i = 0; i < p.colours; ++i) {
    const std::array<int, 3> c = made_colour(p.colours, i);
    char line[16];
    std::snprintf(line, sizeof line, "%02x%02x%02x\n", c[0], c[1], c[2]);
    out << line;
  }
  return file;
}

// The colours (on the grid) of a target file's 16 entries.
inline std::vector<std::array<int, 3>> target_palette(const std::vector<std::uint8_t>& file) {
  std::vector<std::array<int, 3>> out;
  const std::size_t at = file.size() == 9032 ? 9000 : file.size() == 16032 ? 16000 : 0;
  if (at == 0) return out;
  for (std::size_t k = 0; k < 16; ++k) {
    const int gb = file[at + 2 * k], red = file[at + 2 * k + 1] & 15;
    out.push_back({17 * red, 17 * (gb >> 4), 17 * (gb & 15)});
  }
  return out;
}

}  // namespace tessera::test_support
