// The contact sheet's own letters, 5 x 9 pixel cells (seven rows on the line,
// one below it and one blank, into which the accent of a capital on the next
// line may reach), drawn without any font of the machine, so a sheet has the
// same bytes wherever it is made.
#pragma once

#include <cstdint>
#include <string_view>

#include "tessera/surface.h"

namespace tessera::cli {

// Text (UTF-8) in the sheet's letters, scale times enlarged, with the top-left
// corner of its first cell at (x, y) (accents of capitals reach one row above
// it), in the case it is written in. Printable ASCII, the
// accented and other letters of Latin-1 and the common ones of Latin
// Extended-A have letters; a letter followed by a combining accent is drawn as
// the accented letter. Everything else is one "?" a character (a letter with
// its combining marks, a flag, an emoji with its modifiers), and one a byte
// that is not UTF-8.
void draw_text(Surface& surface, int x, int y, std::string_view text, int scale, std::uint32_t argb);

// Cells that draw_text advances by, 6 x 9 pixels each before scaling.
inline constexpr int kCellWidth = 6, kCellHeight = 9;

}  // namespace tessera::cli
