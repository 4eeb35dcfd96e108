// Reading BMP1 and BMP4 files: raw fixed-size sections with no header, the
// format told by the file name alone.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessview {

enum class Format { BMP1, BMP4 };

inline constexpr std::size_t kBitmapBytes = 8000;  // BMP1: 320 x 200, one bit a pixel
inline constexpr std::size_t kPairBytes = 1000;    // BMP1: one byte for each 8 x 8 cell
inline constexpr std::size_t kPixelBytes = 16000;  // BMP4: 160 x 200, four bits a pixel
inline constexpr std::size_t kPaletteBytes = 32;   // 16 entries of 0x0RGB, little-endian

// BMP1 when the name ends in ".bmp1" in any case; everything else is BMP4.
Format format_for_name(const QString& path);

// One section as read from the file. `bytes` always has the section's full
// size; what the file did not supply is zero, so a short file still draws.
struct Section {
  explicit Section(std::size_t size = 0) : bytes(size, 0) {}

  std::vector<std::uint8_t> bytes;
  std::size_t got = 0;  // bytes actually read
  QString error;        // why reading stopped early; empty at a plain end of file

  bool complete() const { return got == bytes.size(); }
};

struct TargetFile {
  Format format = Format::BMP4;
  QString open_error;  // not empty: the file could not be opened and nothing below was read
  qint64 length = 0;
  Section bitmap;  // BMP1 only
  Section pairs;   // BMP1 only
  Section pixels;  // BMP4 only
  Section palette;

  bool opened() const { return open_error.isEmpty(); }
  // Bytes past the end of the format's sections; they are not read.
  qint64 extra_bytes() const;
};

// Reads the sections of the named file one after another from its start.
// Anything but a regular file (a folder, a FIFO, a device) is refused at once,
// without waiting for it.
TargetFile read_target_file(const QString& path);

// The kind of picture ("PNG", "JPEG", ...) whose signature the file starts
// with, or empty. A target file has no signature, so only these first bytes
// tell another picture given by mistake; a file of exactly its format's size
// is taken for a target file whatever its first bytes, so no picture the
// converter wrote is ever mistaken.
QString other_picture_format(const TargetFile& file);

// Numbers in the messages: a non-negative value gets one leading blank where
// a negative one has its minus sign, so columns line up either way.
QString number_text(qint64 value);

// The message lines of opening and reading, up to and including the raw
// palette of a BMP1 file or the summary of a BMP4 file, and a line for bytes
// past the format's end. The lines that tell of a section cut short, of such
// bytes or of a file not opened are also added to `problems`.
QStringList read_messages(const QString& path, const TargetFile& file, QStringList* problems = nullptr);

using Palette = std::array<std::uint32_t, 16>;  // opaque 0xAARRGGBB

// Entry n is bytes 2n (green high, blue low) and 2n + 1 (red low; the high
// nibble is unused). Each four-bit level v becomes 17 * v.
Palette decode_palette(const std::vector<std::uint8_t>& bytes);

// "Color  3: R=0 G=0 B=255"
QString colour_line(int index, std::uint32_t argb);

// The open dialog's title and the one filter it offers: the endings the
// desktop knows the target files by, matched in any case.
inline constexpr char kDialogTitle[] = "Select BMP4/BMP1 File to Process...";
inline constexpr char kFilterDescription[] = "BMP1 and BMP4 files";
inline constexpr const char* kFileEndings[] = {"bmp1", "bmp4", "bm4"};
// The description with the patterns the way Qt's file dialog reads them
// (separated by blanks, in parentheses): "BMP1 and BMP4 files (*.bmp1 ...)".
QString dialog_filter();

}  // namespace tessview
