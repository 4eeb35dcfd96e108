// The rows of a PNG picture after inflating: undoing the per-row filters and
// turning the bytes of 8-bit channels into straight ARGB pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tessera/kernel_set.h"

namespace tessera::detail {

// Undoes one row's filter (`type` 0..4: None, Sub, Up, Average, Paeth) from
// `filtered` into `out`, both `row_bytes` long, with `bpp` bytes a pixel
// (1..4). `prev` is the row above, already unfiltered (all zeros for the
// first row). `out` and `prev` must have `bpp` zero bytes before them, so
// that the pixel left of the first one reads as zero. False for an unknown
// filter type.
bool unfilter_row(int type, const std::uint8_t* filtered, const std::uint8_t* prev, std::uint8_t* out,
                  std::size_t row_bytes, int bpp);

// One row of `width` pixels of the given PNG colour type (0 grey, 2 RGB, 4
// grey and alpha, 6 RGBA; 8 bits a channel) as 0xAARRGGBB.
void row_to_argb(int colour_type, const std::uint8_t* row, std::uint32_t* out, std::size_t width);

// How many rows unfilter_rows_to_argb undoes at once, at most.
inline constexpr std::size_t kRowsInFlight = 8;

// All rows of a picture of 8-bit RGB (`bpp` 3) or RGBA (`bpp` 4), `width`
// by `height`, undone and written to `out` as 0xAARRGGBB. `raw` holds the
// rows as inflated, each its filter byte and then its bytes, with 4 bytes
// to spare after the last. Several rows are undone together, so `out` may
// share memory with `raw` only if every row r's pixels end at or before
// where row r - (kRowsInFlight - 1) begins in `raw` (where `raw` begins, for
// the first rows). False for an unknown filter type (the rows before it are
// written) or another pixel size. `kernels` must run on this machine.
bool unfilter_rows_to_argb(const std::uint8_t* raw, std::size_t width, std::size_t height, int bpp,
                           std::uint32_t* out, KernelSet kernels = best_kernel_set());

// The same through unfilter_row and row_to_argb, row by row, as the reading
// to check the others against; `out` does not share memory with `raw`.
bool unfilter_rows_to_argb_by_row(const std::uint8_t* raw, std::size_t width, std::size_t height, int bpp,
                                  std::uint32_t* out);

// The AVX2 form of unfilter_rows_to_argb (png_rows_avx2.cpp), for bpp 3 and
// 4; reached through unfilter_rows_to_argb.
bool unfilter_rows_to_argb_avx2(const std::uint8_t* raw, std::size_t width, std::size_t height, int bpp,
                                std::uint32_t* out);

}  // namespace tessera::detail
