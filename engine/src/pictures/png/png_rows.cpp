#include "pictures/png/png_rows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/kernel_forms.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace tessera::detail {

namespace {

using u8 = std::uint8_t;

void unfilter_none(const u8* __restrict f, u8* __restrict out, std::size_t n) { std::memcpy(out, f, n); }

void unfilter_up(const u8* __restrict f, const u8* __restrict prev, u8* __restrict out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<u8>(f[i] + prev[i]);
}

// `out` has bpp zero bytes before it, as has `prev`.
void unfilter_sub_scalar(const u8* __restrict f, u8* __restrict out, std::size_t n, int bpp) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<u8>(f[i] + out[static_cast<std::ptrdiff_t>(i) - bpp]);
}

void unfilter_average_scalar(const u8* __restrict f, const u8* __restrict prev, u8* __restrict out, std::size_t n,
                             int bpp) {
  for (std::size_t i = 0; i < n; ++i)
    out[i] = static_cast<u8>(f[i] + ((out[static_cast<std::ptrdiff_t>(i) - bpp] + prev[i]) >> 1));
}

void unfilter_paeth_scalar(const u8* __restrict f, const u8* __restrict prev, u8* __restrict out, std::size_t n,
                           int bpp) {
  for (std::size_t i = 0; i < n; ++i) {
    const int a = out[static_cast<std::ptrdiff_t>(i) - bpp];
    const int b = prev[i];
    const int c = prev[static_cast<std::ptrdiff_t>(i) - bpp];
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
    out[i] = static_cast<u8>(f[i] + pred);
  }
}

#if defined(__SSE2__)
// The portable form of the whole-picture reading: SSE2 is part of every
// x86-64 processor.
namespace argb_sse2 {
#define TESSERA_ROWS_AVX2 0
#include "png_rows_argb.inc"
#undef TESSERA_ROWS_AVX2
}  // namespace argb_sse2
#endif

}  // namespace

bool unfilter_row(int type, const u8* filtered, const u8* prev, u8* out, std::size_t row_bytes, int bpp) {
  switch (type) {
    case 0: unfilter_none(filtered, out, row_bytes); return true;
    case 1: unfilter_sub_scalar(filtered, out, row_bytes, bpp); return true;
    case 2: unfilter_up(filtered, prev, out, row_bytes); return true;
    case 3: unfilter_average_scalar(filtered, prev, out, row_bytes, bpp); return true;
    case 4: unfilter_paeth_scalar(filtered, prev, out, row_bytes, bpp); return true;
    default: return false;
  }
}

void row_to_argb(int colour_type, const u8* __restrict row, std::uint32_t* __restrict out, std::size_t width) {
  switch (colour_type) {
    case 0:
      for (std::size_t x = 0; x < width; ++x) out[x] = 0xFF000000u | row[x] * 0x010101u;
      break;
    case 2:
      for (std::size_t x = 0; x < width; ++x, row += 3)
        out[x] = 0xFF000000u | std::uint32_t{row[0]} << 16 | std::uint32_t{row[1]} << 8 | row[2];
      break;
    case 4:
      for (std::size_t x = 0; x < width; ++x, row += 2)
        out[x] = std::uint32_t{row[1]} << 24 | row[0] * 0x010101u;
      break;
    case 6:
      for (std::size_t x = 0; x < width; ++x, row += 4)
        out[x] = std::uint32_t{row[3]} << 24 | std::uint32_t{row[0]} << 16 | std::uint32_t{row[1]} << 8 | row[2];
      break;
    default:
      break;
  }
}

bool unfilter_rows_to_argb(const u8* raw, std::size_t width, std::size_t height, int bpp, std::uint32_t* out,
                           KernelSet kernels) {
  if (bpp != 3 && bpp != 4) return false;
#if defined(TESSERA_AVX2_FORMS)
  if (kernels == KernelSet::Avx2) return unfilter_rows_to_argb_avx2(raw, width, height, bpp, out);
#endif
  (void)kernels;
#if defined(__SSE2__)
  return bpp == 3 ? argb_sse2::rows_to_argb<3>(raw, width, height, out)
                  : argb_sse2::rows_to_argb<4>(raw, width, height, out);
#else
  return unfilter_rows_to_argb_by_row(raw, width, height, bpp, out);
#endif
}

bool unfilter_rows_to_argb_by_row(const u8* raw, std::size_t width, std::size_t height, int bpp,
                                  std::uint32_t* out) {
  if (bpp != 3 && bpp != 4) return false;
  const std::size_t row_bytes = width * static_cast<std::size_t>(bpp);
  std::vector<u8> rows(2 * (row_bytes + 16) + 16, 0);
  u8* prev = rows.data() + 16;  // zeros above the first row
  u8* cur = prev + row_bytes + 16;
  for (std::size_t y = 0; y < height; ++y) {
    const u8* line = raw + y * (row_bytes + 1);
    if (!unfilter_row(line[0], line + 1, prev, cur, row_bytes, bpp)) return false;
    row_to_argb(bpp == 3 ? 2 : 6, cur, out + y * width, width);
    std::swap(prev, cur);
  }
  return true;
}

}  // namespace tessera::detail
