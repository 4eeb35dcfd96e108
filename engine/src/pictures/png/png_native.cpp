// PNG pictures of the commonest kind read without Qt: 8 bits a channel,
// grey, grey and alpha, RGB or RGBA, not interlaced, no transparency chunk.
//
// Qt's reader (through libpng) gives these as RGB32, ARGB32 or Grayscale8
// with no gamma correction (the colour-space chunks only label the image), so
// their straight ARGB pixels follow from the file's bytes alone. Everything
// libpng would complain about, or that could make its pixels differ from a
// plain reading, is declined and left to Qt: a bad checksum anywhere, an
// unknown critical chunk, data after the picture's end, a zlib stream that
// does not end exactly where the last row does.
#include <unistd.h>

#include <libdeflate.h>

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

bool read_all(int fd, u8* to, std::uint64_t size) {
  std::uint64_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, to + got, size - got, static_cast<off_t>(got));
    if (n <= 0) return false;
    got += static_cast<std::uint64_t>(n);
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

struct Decompressor {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  ~Decompressor() { libdeflate_free_decompressor(d); }
};

}  // namespace

std::optional<DecodedPicture> decode_png_natively(int fd, std::uint64_t size, const PictureHeader& header) {
  static const u8 kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (header.kind != PictureKind::Png || size < 8 + 25 + 12 + 12 || size > kMaxFileBytes) return std::nullopt;
  Bytes file = allocate(size);
  if (!file) return std::nullopt;
  u8* const p = file.get();
  if (!read_all(fd, p, size) || std::memcmp(p, kSignature, 8) != 0) return std::nullopt;

  std::uint32_t width = 0, height = 0;
  int colour_type = -1, channels = 0;
  std::uint64_t max_idat = 0;
  bool in_idat = false, after_idat = false, ended = false;
  int ancillary = 0;
  std::size_t data_start = 0, data_end = 0;  // the IDAT payloads, moved together
  std::uint64_t pos = 8;
  while (!ended) {
    if (size - pos < 12) return std::nullopt;
    const std::uint32_t length = be32(p + pos);
    const u8* type = p + pos + 4;
    if (length > 0x7FFFFFFFu || length > size - pos - 12) return std::nullopt;
    for (int i = 0; i < 4; ++i)
      if (!is_letter(type[i])) return std::nullopt;
    if (!is_upper(type[2])) return std::nullopt;  // reserved for future use
    if (libdeflate_crc32(0, type, length + 4u) != be32(p + pos + 8 + length)) return std::nullopt;
    const u8* data = p + pos + 8;
    const bool first = pos == 8;
    if (first != named(type, "IHDR")) return std::nullopt;
    const bool idat = named(type, "IDAT");
    if (in_idat && !idat) {
      in_idat = false;
      after_idat = true;
    }
    if (first) {
      if (length != 13) return std::nullopt;
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
      if (static_cast<long long>(width) * height > kMaxPicturePixels) return std::nullopt;
      max_idat = idat_limit(width, height, channels);
    } else if (idat) {
      if (after_idat || length > max_idat) return std::nullopt;
      if (!in_idat) data_start = data_end = pos + 8;
      in_idat = true;
      std::memmove(p + data_end, data, length);  // never ahead of the data it moves
      data_end += length;
    } else if (named(type, "IEND")) {
      if (length != 0 || !after_idat || pos + 12 != size) return std::nullopt;
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
    pos += 12 + std::uint64_t{length};
  }

  // A 32 K window only: zlib refuses distances beyond a smaller declared
  // window, which libdeflate would follow.
  const std::size_t compressed = data_end - data_start;
  if (compressed < 2) return std::nullopt;
  const u8 cmf = p[data_start], flg = p[data_start + 1];
  if ((cmf & 0x0F) != 8 || (cmf >> 4) != 7 || (flg & 0x20) != 0 || ((cmf << 8) | flg) % 31 != 0) return std::nullopt;

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
  {
    Decompressor inflater;
    if (!inflater.d) return std::nullopt;
    std::size_t in_used = 0, out_made = 0;
    const libdeflate_result r =
        libdeflate_zlib_decompress_ex(inflater.d, p + data_start, compressed, raw, raw_size, &in_used, &out_made);
    if (r != LIBDEFLATE_SUCCESS || in_used != compressed || out_made != raw_size) return std::nullopt;
  }
  file.reset();

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
