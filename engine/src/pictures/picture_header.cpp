// Reading the headers of the four picture formats by hand: a few fields at
// fixed places, and for GIF a walk over the block structure up to the end of
// the first frame. Nothing here trusts a length before checking it against
// the file's size.
#include "tessera/picture_header.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "tessera/picture.h"

namespace tessera {

namespace {

// Positioned reads through a window of the file, so that walking many small
// blocks costs few system calls.
class Source {
 public:
  Source(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  std::uint64_t size() const { return size_; }

  // Copies n bytes from offset; false when the file ends before them.
  bool read(std::uint64_t offset, void* out, std::size_t n) {
    if (offset > size_ || n > size_ - offset) return false;
    if (n == 0) return true;
    if (offset < start_ || offset + n > start_ + window_.size()) {
      if (!fill(offset, n)) return false;
    }
    std::memcpy(out, window_.data() + (offset - start_), n);
    return true;
  }

  bool byte(std::uint64_t offset, std::uint8_t& b) { return read(offset, &b, 1); }

 private:
  bool fill(std::uint64_t offset, std::size_t n) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::size_t>(n, kWindow), size_ - offset));
    window_.resize(want);
    std::size_t got = 0;
    while (got < want) {
      const ssize_t r = ::pread(fd_, window_.data() + got, want - got, static_cast<off_t>(offset + got));
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    window_.resize(got);
    start_ = offset;
    return got >= n;
  }

  static constexpr std::size_t kWindow = 64 * 1024;
  int fd_;
  std::uint64_t size_;
  std::uint64_t start_ = 0;
  std::vector<std::uint8_t> window_;
};

std::uint32_t le16(const std::uint8_t* p) { return p[0] | (static_cast<std::uint32_t>(p[1]) << 8); }
std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }
std::uint32_t be16(const std::uint8_t* p) { return (static_cast<std::uint32_t>(p[0]) << 8) | p[1]; }
std::uint32_t be32(const std::uint8_t* p) { return (be16(p) << 16) | be16(p + 2); }

PictureKind kind_of(const std::uint8_t* b, std::size_t n) {
  static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (n >= 8 && std::memcmp(b, png, 8) == 0) return PictureKind::Png;
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return PictureKind::Jpeg;
  if (n >= 6 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)) return PictureKind::Gif;
  if (n >= 2 && b[0] == 'B' && b[1] == 'M') return PictureKind::Bmp;
  return PictureKind::Unknown;
}

void inspect_png(Source& src, PictureHeader& h) {
  std::uint8_t ihdr[16];
  if (!src.read(8, ihdr, sizeof ihdr) || std::memcmp(ihdr + 4, "IHDR", 4) != 0) return;
  h.width = be32(ihdr + 8);
  h.height = be32(ihdr + 12);
}

void inspect_jpeg(Source& src, PictureHeader& h) {
  std::uint64_t pos = 2;
  for (;;) {
    std::uint8_t b = 0;
    if (!src.byte(pos, b) || b != 0xFF) return;
    while (b == 0xFF) {  // fill bytes before the marker
      if (!src.byte(++pos, b)) return;
    }
    const std::uint8_t marker = b;
    ++pos;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) return;  // end, or a scan before any frame header
    std::uint8_t len[2];
    if (!src.read(pos, len, 2) || be16(len) < 2) return;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      std::uint8_t sof[5];  // precision, height, width
      if (!src.read(pos + 2, sof, sizeof sof)) return;
      h.height = be16(sof + 1);
      h.width = be16(sof + 3);
      return;
    }
    pos += be16(len);
  }
}

// Skips a chain of GIF sub-blocks starting at pos; false when the file ends
// before its terminating empty block.
bool skip_sub_blocks(Source& src, std::uint64_t& pos) {
  for (;;) {
    std::uint8_t n = 0;
    if (!src.byte(pos, n)) return false;
    ++pos;
    if (n == 0) return true;
    pos += n;
    if (pos > src.size()) return false;
  }
}

void inspect_gif(Source& src, PictureHeader& h) {
  std::uint8_t screen[7];
  if (!src.read(6, screen, sizeof screen)) return;
  h.width = le16(screen);
  h.height = le16(screen + 2);
  std::uint64_t pos = 13;
  auto table = [&h, &src](std::uint64_t at, std::uint8_t flags) {
    const std::uint32_t bytes = 3u << ((flags & 7) + 1);
    if (at + bytes <= src.size()) h.colour_tables.emplace_back(at, bytes);
    return bytes;
  };
  if (screen[4] & 0x80) pos += table(pos, screen[4]);  // global colour table
  for (;;) {
    std::uint8_t b = 0;
    if (!src.byte(pos, b)) {
      h.damage = "file ends before its first frame";
      return;
    }
    if (b == 0x21) {  // extension: label, then sub-blocks
      pos += 2;
      if (!skip_sub_blocks(src, pos)) {
        h.damage = "file ends before its first frame";
        return;
      }
    } else if (b == 0x2C) {  // the first frame
      std::uint8_t desc[9];
      if (!src.read(pos + 1, desc, sizeof desc)) {
        h.damage = "first frame cut short";
        return;
      }
      const long long fw = le16(desc + 4), fh = le16(desc + 6);
      if (fw * fh > h.width * h.height) {
        h.width = fw;
        h.height = fh;
      }
      pos += 10;
      if (desc[8] & 0x80) pos += table(pos, desc[8]);  // local colour table
      pos += 1;                                              // LZW minimum code size
      if (pos > src.size() || !skip_sub_blocks(src, pos)) h.damage = "first frame cut short";
      return;
    } else {
      return;  // the trailer or something the decoder will judge
    }
  }
}

void inspect_bmp(Source& src, PictureHeader& h) {
  std::uint8_t b[40];
  if (!src.read(0, b, 18)) return;
  const std::uint32_t offset = le32(b + 10);
  const std::uint32_t info = le32(b + 14);
  long long width = 0, height = 0;
  std::uint32_t bits = 0, compression = 0, image_size = 0, colours = 0;
  if (info == 12) {
    if (!src.read(0, b, 26)) return;
    width = le16(b + 18);
    height = le16(b + 20);
    bits = le16(b + 24);
  } else if (info >= 40) {
    if (!src.read(0, b, 40)) return;
    width = static_cast<std::int32_t>(le32(b + 18));
    height = static_cast<std::int32_t>(le32(b + 22));
    if (height < 0) height = -height;  // stored top row first
    bits = le16(b + 28);
    compression = le32(b + 30);
    image_size = le32(b + 34);
    if (!src.read(46, b, 4)) return;
    colours = le32(b);
  } else {
    return;
  }
  if (width <= 0 || height <= 0) return;
  h.width = width;
  h.height = height;
  if (exceeds_picture_limit(h.width, h.height)) return;  // refused before any size sum is formed

  // Where the pixels start: at the offset, unless it points back into the
  // headers, where readers take the pixels from the end of the colour table.
  std::uint64_t headers = 14ull + info;
  if (info == 40 && (compression == 3 || compression == 6)) headers += compression == 3 ? 12 : 16;  // masks
  if (bits <= 8) headers += static_cast<std::uint64_t>(colours ? std::min<std::uint32_t>(colours, 256) : 1u << bits) *
                            (info == 12 ? 3 : 4);
  const std::uint64_t start = std::max<std::uint64_t>(offset, headers);

  std::uint64_t data = 0;
  if (compression == 0 || compression == 3 || compression == 6) {
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return;
    const std::uint64_t row = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    data = row * static_cast<std::uint64_t>(height);
  } else if (compression == 1 || compression == 2) {
    data = image_size;  // run-length data: its size is all the header tells
  }
  if (data == 0) return;
  const std::uint64_t size = src.size();
  if (start >= size) {
    h.damage = "pixel data starts past the end of the file";
  } else if (size - start < data) {
    h.damage = "pixel data cut short (" + std::to_string(size - start) + " of " + std::to_string(data) + " bytes)";
  }
}

}  // namespace

PictureHeader inspect_picture(int fd, std::uint64_t size) {
  PictureHeader h;
  Source src(fd, size);
  std::uint8_t first[8] = {};
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof first));
  if (!src.read(0, first, n)) return h;
  h.kind = kind_of(first, n);
  switch (h.kind) {
    case PictureKind::Png: inspect_png(src, h); break;
    case PictureKind::Jpeg: inspect_jpeg(src, h); break;
    case PictureKind::Gif: inspect_gif(src, h); break;
    case PictureKind::Bmp: inspect_bmp(src, h); break;
    case PictureKind::Unknown: break;
  }
  return h;
}

PictureKind picture_kind(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return PictureKind::Unknown;
  std::uint8_t first[8] = {};
  const ssize_t n = ::pread(fd, first, sizeof first, 0);
  ::close(fd);
  return n > 0 ? kind_of(first, static_cast<std::size_t>(n)) : PictureKind::Unknown;
}

}  // namespace tessera
