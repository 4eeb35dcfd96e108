// PNG pictures of the commonest kind read without Qt: 8 bits a channel,
// grey, grey and alpha, RGB or RGBA, not interlaced, no transparency chunk.
//
// Qt's reader (through libpng) gives these as RGB32, ARGB32 or Grayscale8
// with no gamma correction (the colour-space chunks only label the image), so
// their straight ARGB pixels follow from the file's bytes alone. Everything
// libpng would complain about, or that could make its pixels differ from a
// plain reading, is declined and left to Qt: a bad checksum anywhere, an
// unknown critical chunk, a zlib stream that
// does not end exactly where the last row does. The stream is inflated by
// zlib itself, fed as libpng feeds it, because a faster inflater accepts
// codes zlib refuses and would turn a damaged file into a clean picture.
#include <unistd.h>
#include <zlib.h>

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "pictures/native_decode.h"
#include "pictures/png/png_rows.h"

namespace tessera::detail {

namespace {

using u8 = std::uint8_t;

// libpng's default limits: larger sides are refused, larger chunks other
// than IDAT stop the reading, and many ancillary chunks make it warn.
constexpr std::uint32_t kMaxSide = 1'000'000;
constexpr std::uint32_t kMaxChunkData = 8'000'000;
constexpr int kMaxAncillaryChunks = 100;
constexpr std::uint64_t kMaxFileBytes = 1ull << 30;
constexpr std::size_t kRowSlack = 16;  // unfilter_rows_to_argb reads four bytes a pixel, past the last row's end

std::uint32_t be32(const u8* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

bool is_letter(u8 c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_upper(u8 c) { return c >= 'A' && c <= 'Z'; }
bool named(const u8* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Bytes = std::unique_ptr<u8, FreeDeleter>;

Bytes allocate(std::size_t n) { return Bytes(static_cast<u8*>(std::malloc(n ? n : 1))); }

bool read_at(int fd, u8* to, std::uint64_t n, std::uint64_t at) {
  std::uint64_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, to + got, n - got, static_cast<off_t>(at + got));
    if (r <= 0) return false;
    got += static_cast<std::uint64_t>(r);
  }
  return true;
}

// The largest IDAT chunk libpng takes for an image of this size (its own
// estimate of the compressed data's worst case).
std::uint64_t idat_limit(std::uint64_t width, std::uint64_t height, int channels) {
  constexpr std::uint64_t k31 = 0x7FFFFFFF;
  std::uint64_t row_factor = width * static_cast<std::uint64_t>(channels) + 1;
  std::uint64_t limit = height > 0xFFFFFFFFull / row_factor ? k31 : height * row_factor;
  row_factor = row_factor > 32566 ? 32566 : row_factor;
  limit += 6 + 5 * (limit / row_factor + 1);
  limit = limit < k31 ? limit : k31;
  return limit < kMaxChunkData ? kMaxChunkData : limit;
}

struct Inflater {
  z_stream z{};
  bool ready = false;
  // Qt's reader sets libpng's maximum-window option: zlib gets a window of
  // 32 K whatever the stream declares, and a distance past a smaller declared
  // window is followed as long as it stays within 32 K and the data so far.
  Inflater() { ready = inflateInit2(&z, 15) == Z_OK; }
  ~Inflater() {
    if (ready) inflateEnd(&z);
  }
};

// The IDAT stream inflated into `raw` by zlib, the library under libpng, so
// that every stream libpng refuses is refused here: true only when it ends
// exactly with the last byte of the rows and of the data. With a full window
// how zlib is called changes nothing of its verdict, so one call does it.
bool inflate_like_libpng(const u8* data, std::size_t size, u8* raw, std::size_t raw_size) {
  Inflater inflater;
  if (!inflater.ready) return false;
  z_stream& z = inflater.z;
  z.next_in = const_cast<u8*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = raw;
  z.avail_out = static_cast<uInt>(raw_size);
  int ret = inflate(&z, Z_FINISH);
  if (ret == Z_BUF_ERROR && z.avail_out == 0 && z.avail_in > 0) {
    // The rows are complete and data is left: libpng reads on to the
    // stream's end, and any further byte it inflates is too much.
    u8 beyond[1];
    z.next_out = beyond;
    z.avail_out = sizeof beyond;
    ret = inflate(&z, Z_FINISH);
    if (z.avail_out != sizeof beyond) return false;
  }
  return ret == Z_STREAM_END && z.avail_out == 0 && z.avail_in == 0;
}

}  // namespace

std::optional<DecodedPicture> decode_png_natively(int fd, std::uint64_t size, const PictureHeader& header) {
  static const u8 kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (header.kind != PictureKind::Png || size < 8 + 25 + 12 + 12 || size > kMaxFileBytes) return std::nullopt;
  u8 signature[8];
  if (!read_at(fd, signature, 8, 0) || std::memcmp(signature, kSignature, 8) != 0) return std::nullopt;

  // Chunk by chunk, each one's length and name judged before its data is
  // read: a file that is mostly something else (a picture followed by a
  // gigabyte of anything) costs no more than its picture.
  std::uint32_t width = 0, height = 0;
  int colour_type = -1, channels = 0;
  std::uint64_t max_idat = 0;
  bool in_idat = false, after_idat = false, ended = false;
  int ancillary = 0;
  std::vector<u8> idat;   // the IDAT payloads, together
  std::vector<u8> other;  // any other chunk's data
  std::uint64_t pos = 8;
  while (!ended) {
    if (size - pos < 12) return std::nullopt;
    u8 head[8];
    if (!read_at(fd, head, 8, pos)) return std::nullopt;
    const std::uint32_t length = be32(head);
    const u8* type = head + 4;
    if (length > 0x7FFFFFFFu || length > size - pos - 12) return std::nullopt;
    for (int i = 0; i < 4; ++i)
      if (!is_letter(type[i])) return std::nullopt;
    if (!is_upper(type[2])) return std::nullopt;  // reserved for future use
    const bool first = pos == 8;
    if (first != named(type, "IHDR")) return std::nullopt;
    const bool idat_chunk = named(type, "IDAT");
    if (in_idat && !idat_chunk) {
      in_idat = false;
      after_idat = true;
    }
    if (first) {
      if (length != 13) return std::nullopt;
    } else if (idat_chunk) {
      if (after_idat || length > max_idat) return std::nullopt;
      in_idat = true;
    } else if (named(type, "IEND")) {
      // What follows the end chunk libpng never reads, so neither do we.
      if (length != 0 || !after_idat) return std::nullopt;
      ended = true;
    } else if (is_upper(type[0])) {
      return std::nullopt;  // PLTE (not used by these colour types) or unknown critical data
    } else {
      if (length > kMaxChunkData || ++ancillary > kMaxAncillaryChunks) return std::nullopt;
      // Transparency and orientation change the pixels; animation chunks
      // make a different picture. After the picture data only text and time
      // are taken, which nothing reads as a property of the pixels.
      if (named(type, "tRNS") || named(type, "eXIf") || named(type, "acTL") || named(type, "fcTL") ||
          named(type, "fdAT"))
        return std::nullopt;
      if (after_idat && !named(type, "tEXt") && !named(type, "zTXt") && !named(type, "iTXt") && !named(type, "tIME"))
        return std::nullopt;
    }

    u8* data = nullptr;
    if (idat_chunk) {
      const std::size_t at = idat.size();
      idat.resize(at + length);
      data = idat.data() + at;
    } else {
      other.resize(length);
      data = other.data();
    }
    u8 stored_crc[4];
    if (!read_at(fd, data, length, pos + 8) || !read_at(fd, stored_crc, 4, pos + 8 + length)) return std::nullopt;
    if (libdeflate_crc32(libdeflate_crc32(0, type, 4), data, length) != be32(stored_crc)) return std::nullopt;
    if (first) {
      width = be32(data);
      height = be32(data + 4);
      const int depth = data[8];
      colour_type = data[9];
      if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) return std::nullopt;
      if (depth != 8 || data[10] != 0 || data[11] != 0 || data[12] != 0) return std::nullopt;
      switch (colour_type) {
        case 0: channels = 1; break;
        case 2: channels = 3; break;
        case 4: channels = 2; break;
        case 6: channels = 4; break;
        default: return std::nullopt;
      }
      if (exceeds_picture_limit(width, height)) return std::nullopt;
      max_idat = idat_limit(width, height, channels);
    }
    pos += 12 + std::uint64_t{length};
  }
  other = {};
  if (idat.size() < 2) return std::nullopt;

  // The inflated rows go to the end of the picture's own memory, which the
  // ARGB rows fill from its start: row y's pixels end no later than where
  // row y + 1's filtered bytes begin (four bytes a pixel out, at most four
  // plus the filter byte a row in), so each row is read before it is
  // overwritten. A gap of kRowsInFlight rows more keeps that true for rows
  // undone several at a time: row y's pixels end no later than where row
  // y - kRowsInFlight + 1 begins.
  const std::size_t row_bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  const std::size_t raw_size = static_cast<std::size_t>(height) * (row_bytes + 1);
  const std::size_t frame_size = static_cast<std::size_t>(width) * height * 4;
  const std::size_t gap = kRowsInFlight * (static_cast<std::size_t>(width) * 4 + 1);
  const std::size_t buffer_size = (raw_size > frame_size ? raw_size : frame_size) + gap;
  Bytes pixels = allocate(buffer_size + kRowSlack);
  if (!pixels) return std::nullopt;
  u8* const raw = pixels.get() + (buffer_size - raw_size);
  // zlib's verdict on the stream's header (method, window, check bits, a
  // preset dictionary) and on every code in it is the verdict here.
  if (!inflate_like_libpng(idat.data(), idat.size(), raw, raw_size)) return std::nullopt;
  idat = {};

  auto* out = reinterpret_cast<std::uint32_t*>(pixels.get());
  if (channels >= 3) {
    if (!unfilter_rows_to_argb(raw, width, height, channels, out)) return std::nullopt;
  } else {
    std::vector<u8> rows(2 * (row_bytes + 16) + kRowSlack, 0);
    u8* prev = rows.data() + 16;  // the row above; zeros above the first
    u8* cur = prev + row_bytes + 16;
    for (std::size_t y = 0; y < height; ++y) {
      const u8* line = raw + y * (row_bytes + 1);
      if (!unfilter_row(line[0], line + 1, prev, cur, row_bytes, channels)) return std::nullopt;
      row_to_argb(colour_type, cur, out + y * width, width);
      std::swap(prev, cur);
    }
  }

  DecodedPicture picture;
  picture.frame.width = static_cast<int>(width);
  picture.frame.height = static_cast<int>(height);
  picture.frame.pixels = out;
  picture.owner = std::shared_ptr<void>(pixels.release(), FreeDeleter{});
  return picture;
}

}  // namespace tessera::detail
