#include "pictures/jpeg/jpeg_exif.h"

#include <cstdint>
#include <cstring>

namespace tessera::detail {

namespace {

// Reads fixed-size fields in the data's own byte order; `ok` turns false for
// good once a field runs past the end.
struct Fields {
  const unsigned char* data;
  std::size_t size;
  std::size_t pos = 0;
  bool little = false;
  bool ok = true;

  std::uint32_t take(int bytes) {
    if (!ok || pos > size || size - pos < static_cast<std::size_t>(bytes)) {
      ok = false;
      return 0;
    }
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      const std::uint32_t b = data[pos + static_cast<std::size_t>(i)];
      v |= little ? b << (8 * i) : b << (8 * (bytes - 1 - i));
    }
    pos += static_cast<std::size_t>(bytes);
    return v;
  }
  std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
  std::uint32_t u32() { return take(4); }
};

}  // namespace

bool exif_keeps_orientation(const unsigned char* data, std::size_t size) {
  static const unsigned char kMagic[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0) return true;  // not Exif: not looked at
  constexpr std::size_t kHeader = 6;
  // At most ten directories are followed, as the reader does.
  constexpr int kMaxDirectories = 10;

  Fields f{data, size, kHeader};
  const std::uint16_t order = f.u16();
  if (!f.ok) return false;
  if (order == 0x4949) {
    f.little = true;
  } else if (order != 0x4d4d) {
    return true;  // unknown byte order: given up
  }
  if (f.u16() != 0x2a) return f.ok;  // not TIFF data: given up
  std::uint32_t offset = f.u32();
  if (!f.ok) return false;

  for (int n = 0; n < kMaxDirectories; ++n) {
    const long long skip = static_cast<long long>(offset) - static_cast<long long>(f.pos - kHeader);
    // A directory behind the current place, or beyond the data: given up.
    if (skip < 0 || static_cast<std::uint64_t>(offset) + kHeader >= size) return true;
    f.pos = offset + kHeader;
    std::uint16_t entries = f.u16();
    if (!f.ok) return false;
    for (; entries > 0; --entries) {
      const std::uint16_t tag = f.u16();
      const std::uint16_t type = f.u16();
      const std::uint32_t components = f.u32();
      const std::uint16_t value = f.u16();
      f.u16();
      if (!f.ok) return false;
      // The first orientation entry decides. Only the plain one is taken;
      // every other value, and a malformed entry, goes to Qt's reader.
      if (tag == 0x0112) return components == 1 && type == 3 && value == 1;
    }
    offset = f.u32();
    if (!f.ok) return false;
    if (offset == 0) return true;  // the last directory, no orientation
  }
  return false;  // more directories than the reader follows
}

}  // namespace tessera::detail
