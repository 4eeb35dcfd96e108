// Shared by the viewer tests: a GUI application for the fonts, files in a
// temporary folder, and pictures encoded into file bytes the way the
// converter lays them out (pixel by pixel, row by row), independently of the
// viewer's cell-by-cell reading.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

// Failing checks show strings as text rather than as lists of 2-byte objects.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace viewer_test {

inline void ensure_gui() {
  if (QGuiApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "viewer_tests";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);  // lives until the test program ends
}

inline bool write_bytes(const QString& path, const std::vector<std::uint8_t>& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
         static_cast<qint64>(bytes.size());
}

// 16 colours of four bits a channel.
struct Levels {
  int red, green, blue;
};
using TargetPalette = std::array<Levels, 16>;

inline std::uint32_t opaque(const Levels& c) {
  return 0xFF000000u | std::uint32_t(c.red * 17) << 16 | std::uint32_t(c.green * 17) << 8 |
         std::uint32_t(c.blue * 17);
}

// Each entry as the little-endian word 0x0RGB.
inline void append_palette(std::vector<std::uint8_t>& bytes, const TargetPalette& palette) {
  for (const Levels& c : palette) {
    const unsigned word = unsigned(c.red) << 8 | unsigned(c.green) << 4 | unsigned(c.blue);
    bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
  }
}

inline TargetPalette random_palette(std::mt19937& rng) {
  std::uniform_int_distribution<int> level(0, 15);
  TargetPalette palette;
  for (Levels& c : palette) c = {level(rng), level(rng), level(rng)};
  return palette;
}

// A 320 x 200 picture in which every 8 x 8 cell uses two palette entries.
struct Bmp1Picture {
  TargetPalette palette{};
  std::array<std::array<int, 2>, 1000> cell_pair{};  // [first, second] for each cell, row by row
  std::vector<std::uint8_t> bit = std::vector<std::uint8_t>(320 * 200);  // 1: the cell's second colour

  int index_at(int x, int y) const { return cell_pair[(y / 8) * 40 + x / 8][bit[y * 320 + x]]; }

  std::vector<std::uint8_t> file_bytes() const {
    std::vector<std::uint8_t> bytes(8000, 0);
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 320; ++x) {
        if (bit[y * 320 + x]) bytes[y * 40 + x / 8] |= std::uint8_t(1 << (7 - x % 8));
      }
    }
    for (const auto& pair : cell_pair) bytes.push_back(static_cast<std::uint8_t>(pair[1] << 4 | pair[0]));
    append_palette(bytes, palette);
    return bytes;
  }

  static Bmp1Picture random(unsigned seed) {
    std::mt19937 rng(seed);
    Bmp1Picture p;
    p.palette = random_palette(rng);
    std::uniform_int_distribution<int> entry(0, 15), coin(0, 1);
    for (auto& pair : p.cell_pair) pair = {entry(rng), entry(rng)};
    for (auto& b : p.bit) b = static_cast<std::uint8_t>(coin(rng));
    return p;
  }
};

// A 160 x 200 picture of palette indices.
struct Bmp4Picture {
  TargetPalette palette{};
  std::vector<int> index = std::vector<int>(160 * 200);

  int index_at(int x, int y) const { return index[y * 160 + x]; }

  std::vector<std::uint8_t> file_bytes() const {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 160; x += 2)
        bytes.push_back(static_cast<std::uint8_t>(index_at(x, y) << 4 | index_at(x + 1, y)));
    }
    append_palette(bytes, palette);
    return bytes;
  }

  static Bmp4Picture random(unsigned seed) {
    std::mt19937 rng(seed);
    Bmp4Picture p;
    p.palette = random_palette(rng);
    std::uniform_int_distribution<int> entry(0, 15);
    for (int& i : p.index) i = entry(rng);
    return p;
  }
};

// The first pixel of an image that differs from the expected colour, as
// "(x, y): got AARRGGBB, want AARRGGBB", or "" when every pixel matches.
template <typename Expected>
QString first_difference(const QImage& image, Expected expected) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    for (int x = 0; x < argb.width(); ++x) {
      const std::uint32_t got = argb.pixel(x, y);
      const std::uint32_t want = expected(x, y);
      if (got != want) {
        return QStringLiteral("(%1, %2): got %3, want %4")
            .arg(x)
            .arg(y)
            .arg(got, 8, 16, QLatin1Char('0'))
            .arg(want, 8, 16, QLatin1Char('0'));
      }
    }
  }
  return {};
}

}  // namespace viewer_test
