// Palette files: the formats paint programs, palette editors and assemblers
// exchange palettes in, read and written by extension.
//
//   .gpl   GIMP palette ("GIMP Palette", then "R G B [name]" lines)
//   .pal   JASC-PAL ("JASC-PAL", "0100", the count, then "R G B" lines)
//   .act   Adobe colour table: 256 RGB triples (768 bytes), optionally
//          followed by a big-endian colour count and transparent index
//          (772 bytes)
//   .hex   one RRGGBB a line, an optional '#' before it
//   .bmp1, .bmp4   the target files themselves; their 32-byte palette is read
//
// Colours are reduced to the target machine's grid on reading (v >> 4, shown
// as 17 x level), so a palette read from a file is one the machine can show.
// Nothing here prints or opens a dialog: failures come back as values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessera/colour.h"
#include "tessera/store.h"

namespace tessera {

enum class PaletteFormat { Gpl, JascPal, Act, Hex, Bmp1, Bmp4 };

// Every format, once: what it is called, its extension and whether a palette
// is written in it. The command line's options and the window's dialogs take
// their lists from here, so both read and write the same formats.
struct PaletteFormatRow {
  PaletteFormat format;
  const char* extension;    // with the dot
  const char* description;  // for a file dialog
  // Can palette_file_bytes / write_palette_file produce it?  The target files
  // hold far more than a palette and are written by converting a picture.
  bool writable;
};
const std::vector<PaletteFormatRow>& palette_formats();

// The extensions as a list for messages: ".gpl, .pal, .act, .hex, .bmp1 or
// .bmp4", or only the writable ones.
std::string palette_extensions(bool writable_only);

// The format a file name stands for, by its extension (case ignored).
std::optional<PaletteFormat> palette_format_of(const std::string& path);

bool palette_format_writable(PaletteFormat f);

// Palette files may hold every colour of the machine; more than that is no
// palette for it.
inline constexpr int kMaxPaletteFileColours = 4096;

// Why a file was refused: the file as named by the caller, the line (1 for
// the first; 0 when the reason is not tied to a line, as in the binary
// formats) and the reason.
struct PaletteFileError {
  std::string file;
  int line = 0;
  std::string reason;
  // "file:line: reason", or "file: reason" without a line.
  std::string message() const;
};

struct PaletteFileRead {
  bool ok = false;
  std::vector<PaletteColour> colours;  // 0..4096 colours on the grid, in file order (repeats kept)
  PaletteFileError error;              // when !ok
};

// Reads a palette file; the format comes from the name.
PaletteFileRead read_palette_file(const std::string& path);

// Reads palette bytes of a known format; name is used in the error only.
PaletteFileRead parse_palette(PaletteFormat format, std::string_view bytes, const std::string& name);

// The colours of a file as 16 entries: the file's first, black after them.
PaletteEntries sixteen_entries(const std::vector<PaletteColour>& colours);

// The colours once each, in the order they first come.
std::vector<PaletteColour> distinct_colours(const std::vector<PaletteColour>& colours);

// Entries 1..16 of a palette array (OCLUSTER).
PaletteEntries palette_entries(const Palette& palette);

// The bytes of a palette file (writable formats only): every entry in order,
// as 8-bit values.
std::vector<std::uint8_t> palette_file_bytes(PaletteFormat format, const PaletteEntries& entries,
                                             const std::string& name = "Tessera");

// Writes a palette file, format by extension. The file appears whole or not
// at all. Returns "" or the reason it failed (naming the file).
std::string write_palette_file(const std::string& path, const PaletteEntries& entries);

// "RRGGBB" or "#RRGGBB" (either case) to a colour reduced to the grid.
std::optional<PaletteColour> parse_hex_colour(std::string_view text);

}  // namespace tessera
