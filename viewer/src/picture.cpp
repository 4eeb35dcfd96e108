#include "tessview/picture.h"

#include <algorithm>

namespace tessview {

Placement place_picture(int width, int height) {
  const int scale = std::max(0, std::min(width / 320, height / 200));
  return {scale, (width - 320 * scale) / 2, (height - 200 * scale) / 2};
}

namespace {

void fill_block(Screen& screen, int left, int top, int block_width, int block_height, std::uint32_t argb) {
  for (int y = top; y < top + block_height; ++y) {
    for (int x = left; x < left + block_width; ++x) screen.set_pixel(x, y, argb);
  }
}

}  // namespace

void draw_bmp1(Screen& screen, const std::vector<std::uint8_t>& bitmap,
               const std::vector<std::uint8_t>& pairs, const Palette& palette) {
  if (bitmap.size() < kBitmapBytes || pairs.size() < kPairBytes) return;
  const Placement at = place_picture(screen.width(), screen.height());
  const int s = at.scale;
  for (int r = 0; r < 25; ++r) {
    for (int c = 0; c < 40; ++c) {
      const std::uint8_t pair = pairs[r * 40 + c];
      const std::uint32_t foreground = palette[pair >> 4];
      const std::uint32_t background = palette[pair & 15];
      for (int l = 0; l < 8; ++l) {
        const std::uint8_t bits = bitmap[r * 320 + l * 40 + c];
        for (int k = 0; k < 8; ++k) {
          const bool set = (bits >> (7 - k)) & 1;
          fill_block(screen, at.left + s * (8 * c + k), at.top + s * (8 * r + l), s, s,
                     set ? foreground : background);
        }
      }
    }
  }
}

void draw_bmp4(Screen& screen, const std::vector<std::uint8_t>& pixels, const Palette& palette) {
  if (pixels.size() < kPixelBytes) return;
  const Placement at = place_picture(screen.width(), screen.height());
  const int s = at.scale;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 160; ++x) {
      const std::uint8_t byte = pixels[y * 80 + x / 2];
      const int index = x % 2 == 0 ? byte >> 4 : byte & 15;
      fill_block(screen, at.left + 2 * s * x, at.top + s * y, 2 * s, s, palette[index]);
    }
  }
}

Shown show_file(const QString& path, Screen& screen) { return show_file(path, read_target_file(path), screen); }

Shown show_file(const QString& path, const TargetFile& file, Screen& screen) {
  Shown shown{Outcome::Complete, {}};
  for (const QString& line : read_messages(path, file, &shown.problems)) screen.write_line(line);
  // Nothing was read, so a picture would only hide the reason behind black.
  if (!file.opened()) {
    shown.outcome = Outcome::NotOpened;
    return shown;
  }

  screen.write_line(QStringLiteral("Decoding palette data..."));
  const Palette palette = decode_palette(file.palette.bytes);
  for (int i = 0; i < 16; ++i) screen.write_line(colour_line(i, palette[i]));

  if (file.format == Format::BMP1) {
    screen.write_line(QStringLiteral("Rendering BMP1 image..."));
    draw_bmp1(screen, file.bitmap.bytes, file.pairs.bytes, palette);
  } else {
    screen.write_line(QStringLiteral("Rendering BMP4 image..."));
    draw_bmp4(screen, file.pixels.bytes, palette);
  }
  const bool complete = file.format == Format::BMP1
                            ? file.bitmap.complete() && file.pairs.complete() && file.palette.complete()
                            : file.pixels.complete() && file.palette.complete();
  if (!complete) {
    shown.outcome = Outcome::Short;
  } else if (file.extra_bytes() > 0) {
    shown.outcome = Outcome::Long;
  }
  return shown;
}

}  // namespace tessview
