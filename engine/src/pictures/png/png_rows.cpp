#include "pictures/png/png_rows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

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

// The portable forms; `out` has bpp zero bytes before it, as has `prev`.
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
// Three- and four-byte pixels one pixel at a time, all its channels at once
// in 16-bit lanes: each pixel depends on the one to its left, so the gain is
// in doing the channels together, not in doing pixels together.
// A pixel's bytes in the low lanes. Four bytes are read and written even for
// three-byte pixels: the fourth lane is ignored, and the byte it writes is
// the next pixel's, written again right after (or the slack after the row).
template <int Bpp>
inline __m128i load_pixel(const u8* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(static_cast<int>(v));
}

template <int Bpp>
inline void store_pixel(u8* p, __m128i v) {
  const auto x = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
  std::memcpy(p, &x, 4);
}

inline __m128i abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int Bpp>
void unfilter_sub_sse2(const u8* f, u8* out, std::size_t n) {
  __m128i a = _mm_setzero_si128();
  for (std::size_t i = 0; i < n; i += Bpp) {
    a = _mm_add_epi8(a, load_pixel<Bpp>(f + i));
    store_pixel<Bpp>(out + i, a);
  }
}

template <int Bpp>
void unfilter_average_sse2(const u8* f, const u8* prev, u8* out, std::size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero;
  for (std::size_t i = 0; i < n; i += Bpp) {
    const __m128i b = _mm_unpacklo_epi8(load_pixel<Bpp>(prev + i), zero);
    const __m128i pred = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
    const __m128i x = _mm_add_epi8(_mm_packus_epi16(pred, pred), load_pixel<Bpp>(f + i));
    store_pixel<Bpp>(out + i, x);
    a = _mm_unpacklo_epi8(x, zero);
  }
}

template <int Bpp>
void unfilter_paeth_sse2(const u8* f, const u8* prev, u8* out, std::size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero, c = zero;
  for (std::size_t i = 0; i < n; i += Bpp) {
    const __m128i b = _mm_unpacklo_epi8(load_pixel<Bpp>(prev + i), zero);
    const __m128i bc = _mm_sub_epi16(b, c);
    const __m128i ac = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(bc);                     // |p - a| with p = a + b - c
    const __m128i pb = abs16(ac);                     // |p - b|
    const __m128i pc = abs16(_mm_add_epi16(bc, ac));  // |p - c|
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    // Ties go to a, then b, then c.
    __m128i pred = select(_mm_cmpeq_epi16(smallest, pb), b, c);
    pred = select(_mm_cmpeq_epi16(smallest, pa), a, pred);
    const __m128i x = _mm_add_epi8(_mm_packus_epi16(pred, pred), load_pixel<Bpp>(f + i));
    store_pixel<Bpp>(out + i, x);
    a = _mm_unpacklo_epi8(x, zero);
    c = b;
  }
}
#endif

#if defined(__SSE2__)
namespace argb_sse2 {
#define TESSERA_ROWS_AVX2 0
#include "png_rows_argb.inc"
#undef TESSERA_ROWS_AVX2
}  // namespace argb_sse2

#pragma GCC push_options
#pragma GCC target("avx2")
namespace argb_avx2 {
#define TESSERA_ROWS_AVX2 1
#include "png_rows_argb.inc"
#undef TESSERA_ROWS_AVX2
}  // namespace argb_avx2
#pragma GCC pop_options
#endif

}  // namespace

bool unfilter_row(int type, const u8* filtered, const u8* prev, u8* out, std::size_t row_bytes, int bpp) {
  switch (type) {
    case 0:
      unfilter_none(filtered, out, row_bytes);
      return true;
    case 1:
#if defined(__SSE2__)
      if (bpp == 3) return unfilter_sub_sse2<3>(filtered, out, row_bytes), true;
      if (bpp == 4) return unfilter_sub_sse2<4>(filtered, out, row_bytes), true;
#endif
      unfilter_sub_scalar(filtered, out, row_bytes, bpp);
      return true;
    case 2:
      unfilter_up(filtered, prev, out, row_bytes);
      return true;
    case 3:
#if defined(__SSE2__)
      if (bpp == 3) return unfilter_average_sse2<3>(filtered, prev, out, row_bytes), true;
      if (bpp == 4) return unfilter_average_sse2<4>(filtered, prev, out, row_bytes), true;
#endif
      unfilter_average_scalar(filtered, prev, out, row_bytes, bpp);
      return true;
    case 4:
#if defined(__SSE2__)
      if (bpp == 3) return unfilter_paeth_sse2<3>(filtered, prev, out, row_bytes), true;
      if (bpp == 4) return unfilter_paeth_sse2<4>(filtered, prev, out, row_bytes), true;
#endif
      unfilter_paeth_scalar(filtered, prev, out, row_bytes, bpp);
      return true;
    default:
      return false;
  }
}

bool unfilter_row_portable(int type, const u8* filtered, const u8* prev, u8* out, std::size_t row_bytes, int bpp) {
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

bool row_kernels_available(RowKernels kernels) {
#if defined(__SSE2__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return kernels == RowKernels::Sse2 || avx2;
#else
  (void)kernels;
  return false;
#endif
}

bool unfilter_rows_to_argb(const u8* raw, std::size_t width, std::size_t height, int bpp, std::uint32_t* out) {
  return unfilter_rows_to_argb(raw, width, height, bpp, out,
                               row_kernels_available(RowKernels::Avx2) ? RowKernels::Avx2 : RowKernels::Sse2);
}

bool unfilter_rows_to_argb(const u8* raw, std::size_t width, std::size_t height, int bpp, std::uint32_t* out,
                           RowKernels kernels) {
  if (bpp != 3 && bpp != 4) return false;
#if defined(__SSE2__)
  if (kernels == RowKernels::Avx2 && row_kernels_available(kernels))
    return bpp == 3 ? argb_avx2::rows_to_argb<3>(raw, width, height, out)
                    : argb_avx2::rows_to_argb<4>(raw, width, height, out);
  if (kernels == RowKernels::Sse2)
    return bpp == 3 ? argb_sse2::rows_to_argb<3>(raw, width, height, out)
                    : argb_sse2::rows_to_argb<4>(raw, width, height, out);
#endif
  (void)kernels;
  return unfilter_rows_to_argb_portable(raw, width, height, bpp, out);
}

bool unfilter_rows_to_argb_portable(const u8* raw, std::size_t width, std::size_t height, int bpp,
                                    std::uint32_t* out) {
  if (bpp != 3 && bpp != 4) return false;
  const std::size_t row_bytes = width * static_cast<std::size_t>(bpp);
  std::vector<u8> rows(2 * (row_bytes + 16) + 16, 0);
  u8* prev = rows.data() + 16;  // zeros above the first row
  u8* cur = prev + row_bytes + 16;
  for (std::size_t y = 0; y < height; ++y) {
    const u8* line = raw + y * (row_bytes + 1);
    if (!unfilter_row_portable(line[0], line + 1, prev, cur, row_bytes, bpp)) return false;
    row_to_argb(bpp == 3 ? 2 : 6, cur, out + y * width, width);
    std::swap(prev, cur);
  }
  return true;
}

}  // namespace tessera::detail
