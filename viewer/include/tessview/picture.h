// Drawing a target picture onto the screen, and the viewer's run from a chosen
// path to the finished drawing.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "tessview/screen.h"
#include "tessview/target_file.h"

namespace tessview {

// The largest whole enlargement of 320 x 200 that fits, centred.
struct Placement {
  int scale;
  int left;
  int top;
};
Placement place_picture(int width, int height);

// 40 x 25 cells of 8 x 8 pixels; a set bit shows the high nibble of the
// cell's pair byte, a clear bit the low nibble; the leftmost pixel is the most
// significant bit. Each pixel is a scale x scale block.
void draw_bmp1(Screen& screen, const std::vector<std::uint8_t>& bitmap,
               const std::vector<std::uint8_t>& pairs, const Palette& palette);

// 160 x 200 pixels, the left one of each byte in the high nibble. Each pixel
// is a block twice as wide as high, so both formats cover the same area.
void draw_bmp4(Screen& screen, const std::vector<std::uint8_t>& pixels, const Palette& palette);

enum class Outcome {
  Complete,  // every section was read in full
  Short,     // drawn, but what was missing of the sections was drawn as zeros
  Long,      // drawn in full; the file went on past the format's end
  NotOpened  // only the reason is on the screen
};

struct Shown {
  Outcome outcome;
  // The message lines that tell what went wrong, for the caller to repeat
  // where they stay visible: the picture covers them on the screen.
  QStringList problems;
};

// Reads the file, writes the messages, decodes the palette and draws the
// picture over the messages.
Shown show_file(const QString& path, Screen& screen);

// The same for a file read already (read_target_file(path)).
Shown show_file(const QString& path, const TargetFile& file, Screen& screen);

}  // namespace tessview
