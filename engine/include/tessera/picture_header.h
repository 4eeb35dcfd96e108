// What a picture file's own first bytes say about it, read before any decoder
// sees it: which reader it needs, the size its header claims, and whether the
// file is shorter than its own structure requires.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tessera {

enum class PictureKind { Unknown, Png, Jpeg, Gif, Bmp };

struct PictureHeader {
  PictureKind kind = PictureKind::Unknown;
  // The size the header claims, 0 x 0 when it names none or cannot be read.
  // For a GIF, the larger of the logical screen and the first frame.
  long long width = 0;
  long long height = 0;
  // Not empty when the file ends before the data its header announces (BMP:
  // the pixel data; GIF: the first frame): how.
  std::string damage;
  // GIF: where the colour tables of the screen and the first frame lie
  // (offset, length in bytes), when they lie within the file.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> colour_tables;
};

// Inspects the open file of `size` bytes through positioned reads; the file
// offset is left alone.
PictureHeader inspect_picture(int fd, std::uint64_t size);

// The kind of the named file by its first bytes; Unknown when it cannot be
// read. Opens without waiting, whatever the path names.
PictureKind picture_kind(const std::string& path);

}  // namespace tessera
