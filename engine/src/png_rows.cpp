#include "png_rows.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
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
// Whole pictures of 8-bit RGB or RGBA, straight to ARGB.
//
// Each row's chain is serial (a pixel needs the one to its left), but row
// y + 1's pixel x - 1 needs only row y's pixels x - 1 and x - 2, so rows go
// in pairs, each row one pixel behind the row above it, both in one register
// (8 lanes of 16 bits: four channels of each row). Two such pairs run side
// by side as independent chains when four rows in a row are Paeth (the usual
// choice of encoders for photos), so the processor overlaps them. The
// channels are kept in the order of the ARGB pixel's bytes (blue, green,
// red, alpha), so that the row above is read straight from the pixels
// already written and each result is stored as it stands.
namespace argb {

constexpr int kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4;

inline std::uint32_t load32(const void* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void store32(void* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

inline __m128i widen(__m128i bytes) { return _mm_unpacklo_epi8(bytes, _mm_setzero_si128()); }

constexpr int kToArgbOrder = _MM_SHUFFLE(3, 0, 1, 2);  // R G B X -> B G R X

// One filtered pixel in the low four lanes (its fourth lane is alpha, or the
// next pixel's first byte for RGB, which goes nowhere).
inline __m128i filtered_one(const u8* p) {
  return _mm_shufflelo_epi16(widen(_mm_cvtsi32_si128(static_cast<int>(load32(p)))), kToArgbOrder);
}

// Filtered pixels of two rows: the first in the low lanes, the second high.
inline __m128i filtered_two(const u8* p0, const u8* p1) {
  const __m128i v = widen(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(load32(p0))),
                                             _mm_cvtsi32_si128(static_cast<int>(load32(p1)))));
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, kToArgbOrder), kToArgbOrder);
}

inline __m128i argb_one(const std::uint32_t* p) { return widen(_mm_cvtsi32_si128(static_cast<int>(load32(p)))); }

template <int Type>
inline __m128i predict(__m128i a, __m128i b, __m128i c) {
  if constexpr (Type == kSub) {
    return a;
  } else if constexpr (Type == kUp) {
    return b;
  } else if constexpr (Type == kAverage) {
    return _mm_srli_epi16(_mm_add_epi16(a, b), 1);
  } else if constexpr (Type == kPaeth) {
    const __m128i bc = _mm_sub_epi16(b, c);
    const __m128i ac = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(bc);                     // |p - a| with p = a + b - c
    const __m128i pb = abs16(ac);                     // |p - b|
    const __m128i pc = abs16(_mm_add_epi16(bc, ac));  // |p - c|
    const __m128i smallest = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
    // Ties go to a, then b, then c.
    const __m128i pred = select(_mm_cmpeq_epi16(smallest, pb), b, c);
    return select(_mm_cmpeq_epi16(smallest, pa), a, pred);
  } else {
    return _mm_setzero_si128();
  }
}

// The low four lanes by the first row's filter, the high four by the second's.
template <int T0, int T1>
inline __m128i predict_two(__m128i a, __m128i b, __m128i c) {
  if constexpr (T0 == T1) {
    return predict<T0>(a, b, c);
  } else {
    return select(_mm_set_epi32(0, 0, -1, -1), predict<T0>(a, b, c), predict<T1>(a, b, c));
  }
}

// The prediction plus the filtered bytes, modulo 256, in 16-bit lanes.
inline __m128i finish(__m128i pred, __m128i filtered) {
  return _mm_and_si128(_mm_add_epi16(pred, filtered), _mm_set1_epi16(0xFF));
}

template <int Bpp>
inline __m128i as_argb(__m128i lanes) {
  const __m128i bytes = _mm_packus_epi16(lanes, lanes);
  if constexpr (Bpp == 3) return _mm_or_si128(bytes, _mm_set1_epi32(static_cast<int>(0xFF000000u)));
  return bytes;
}

template <int Bpp>
inline void store_one(std::uint32_t* out, __m128i lanes) {
  store32(out, static_cast<std::uint32_t>(_mm_cvtsi128_si32(as_argb<Bpp>(lanes))));
}

template <int Bpp>
inline void store_two(std::uint32_t* out0, std::uint32_t* out1, __m128i lanes) {
  const __m128i v = as_argb<Bpp>(lanes);
  store32(out0, static_cast<std::uint32_t>(_mm_cvtsi128_si32(v)));
  store32(out1, static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 4))));
}

alignas(16) constexpr std::uint32_t kZeros[4] = {};

// One row alone.
template <int Bpp, int Type>
void row_alone(const u8* f, const std::uint32_t* prev, std::uint32_t* out, std::size_t width) {
  __m128i a = _mm_setzero_si128(), c = a;
  for (std::size_t x = 0; x < width; ++x) {
    const __m128i b = argb_one(prev + x);
    const __m128i v = finish(predict<Type>(a, b, c), filtered_one(f + x * Bpp));
    store_one<Bpp>(out + x, v);
    a = v;
    c = b;
  }
}

// Rows y .. y + 2 * Chains - 1 together: at step x, row y + r does its pixel
// x - r. The first and last steps have pixels outside the rows: those read
// zeros (so that a row's state before its first pixel is all zeros, as the
// filters want) and are written nowhere.
template <int Bpp, int Chains, int T0, int T1, int T2 = kNone, int T3 = kNone>
void rows_together(const u8* const* f_rows, const std::uint32_t* prev, std::uint32_t* const* out_rows,
                   std::size_t width) {
  constexpr int kRows = 2 * Chains;
  const u8* rows_in[kRows];
  std::uint32_t* rows_out[kRows];
  for (int r = 0; r < kRows; ++r) {
    rows_in[r] = f_rows[r];
    rows_out[r] = out_rows[r];
  }
  std::uint32_t sink = 0;
  __m128i a0 = _mm_setzero_si128(), c0 = a0, a1 = a0, c1 = a0;
  const auto step = [&](std::size_t x, auto edge) {
    constexpr bool kEdge = decltype(edge)::value;
    const u8* f[kRows];
    std::uint32_t* out[kRows];
    for (int r = 0; r < kRows; ++r) {
      const std::size_t p = x - static_cast<std::size_t>(r);  // wraps below zero, then fails p < width
      if (!kEdge || p < width) {
        f[r] = rows_in[r] + p * Bpp;
        out[r] = rows_out[r] + p;
      } else {
        f[r] = reinterpret_cast<const u8*>(kZeros);
        out[r] = &sink;
      }
    }
    const __m128i b0 = _mm_unpacklo_epi64(argb_one(!kEdge || x < width ? prev + x : kZeros), a0);
    if constexpr (Chains == 2) {
      // Row y + 2 follows row y + 1's pixel of the step before.
      const __m128i b1 = _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(a0), _mm_castsi128_pd(a1), 1));
      const __m128i v1 = finish(predict_two<T2, T3>(a1, b1, c1), filtered_two(f[2], f[3]));
      store_two<Bpp>(out[2], out[3], v1);
      a1 = v1;
      c1 = b1;
    }
    const __m128i v0 = finish(predict_two<T0, T1>(a0, b0, c0), filtered_two(f[0], f[1]));
    store_two<Bpp>(out[0], out[1], v0);
    a0 = v0;
    c0 = b0;
  };
  std::size_t x = 0;
  const std::size_t steps = width + kRows - 1;
  for (; x < kRows - 1; ++x) step(x, std::true_type{});
  for (; x < width; ++x) step(x, std::false_type{});
  for (; x < steps; ++x) step(x, std::true_type{});
}

using RowsFn = void (*)(const u8* const*, const std::uint32_t*, std::uint32_t* const*, std::size_t);
using RowFn = void (*)(const u8*, const std::uint32_t*, std::uint32_t*, std::size_t);

template <int Bpp>
struct Kernels {
  static constexpr RowFn alone[5] = {row_alone<Bpp, kNone>, row_alone<Bpp, kSub>, row_alone<Bpp, kUp>,
                                     row_alone<Bpp, kAverage>, row_alone<Bpp, kPaeth>};
  // Two rows whose filters are both Sub, Average or Paeth; null otherwise.
  static constexpr RowsFn two[5][5] = {
      {},
      {nullptr, rows_together<Bpp, 1, kSub, kSub>, nullptr, rows_together<Bpp, 1, kSub, kAverage>,
       rows_together<Bpp, 1, kSub, kPaeth>},
      {},
      {nullptr, rows_together<Bpp, 1, kAverage, kSub>, nullptr, rows_together<Bpp, 1, kAverage, kAverage>,
       rows_together<Bpp, 1, kAverage, kPaeth>},
      {nullptr, rows_together<Bpp, 1, kPaeth, kSub>, nullptr, rows_together<Bpp, 1, kPaeth, kAverage>,
       rows_together<Bpp, 1, kPaeth, kPaeth>}};
  static constexpr RowsFn four_paeth = rows_together<Bpp, 2, kPaeth, kPaeth, kPaeth, kPaeth>;
};

template <int Bpp>
bool rows_to_argb(const u8* raw, std::size_t width, std::size_t height, std::uint32_t* out) {
  const std::size_t stride = width * Bpp + 1;
  const std::vector<std::uint32_t> zeros(width, 0);  // the row above the first
  const auto type = [&](std::size_t y) { return raw[y * stride]; };
  for (std::size_t y = 0; y < height;) {
    const std::uint32_t* prev = y ? out + (y - 1) * width : zeros.data();
    const int t0 = type(y);
    if (t0 > kPaeth) return false;
    const u8* f[4];
    std::uint32_t* o[4];
    int rows = 1;
    if (y + 1 < height) {
      const int t1 = type(y + 1);
      if (t1 > kPaeth) return false;
      if (Kernels<Bpp>::two[t0][t1]) {
        rows = 2;
        if (t0 == kPaeth && t1 == kPaeth && y + 3 < height && type(y + 2) == kPaeth && type(y + 3) == kPaeth) rows = 4;
      }
    }
    for (int r = 0; r < rows; ++r) {
      f[r] = raw + (y + static_cast<std::size_t>(r)) * stride + 1;
      o[r] = out + (y + static_cast<std::size_t>(r)) * width;
    }
    if (rows == 4) Kernels<Bpp>::four_paeth(f, prev, o, width);
    else if (rows == 2) Kernels<Bpp>::two[t0][type(y + 1)](f, prev, o, width);
    else Kernels<Bpp>::alone[t0](f[0], prev, o[0], width);
    y += static_cast<std::size_t>(rows);
  }
  return true;
}

}  // namespace argb
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

bool unfilter_rows_to_argb(const u8* raw, std::size_t width, std::size_t height, int bpp, std::uint32_t* out) {
#if defined(__SSE2__)
  if (bpp == 3) return argb::rows_to_argb<3>(raw, width, height, out);
  if (bpp == 4) return argb::rows_to_argb<4>(raw, width, height, out);
  return false;
#else
  return unfilter_rows_to_argb_portable(raw, width, height, bpp, out);
#endif
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
