// JPEG decoding straight through libjpeg, without Qt.
//
// Qt's JPEG reader is a thin layer over the same libjpeg(-turbo) library: it
// leaves libjpeg's decoding settings at their defaults (at its default
// quality), reads 3-component pictures as RGB and 1-component ones as grey,
// and reports every libjpeg warning as a message, which the Qt path counts as
// damage. So a picture read here with the same settings, and without a single
// warning, has exactly the pixels Qt's reader gives. The only change is the
// output layout: libjpeg writes 0xAARRGGBB words (alpha 0xFF) straight into
// the frame, from the same colour conversion it would run for RGB bytes.
//
// Declined, so that Qt's reader decides as before: any libjpeg warning or
// error, a file that ends before its end marker, colour spaces other than
// grey, YCbCr and RGB (CMYK, YCCK, unknown), an Exif orientation that turns
// the picture (or Exif data not read to its end), and pictures above the size
// limit.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <bit>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "pictures/jpeg/jpeg_exif.h"
#include "pictures/native_decode.h"

namespace tessera::detail {

namespace {

struct ErrorManager {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  bool warned;
};

extern "C" void on_error(j_common_ptr info) {
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(err->jump, 1);
}

// Level -1 is a warning (Qt's reader would print it); higher levels are
// trace messages, which Qt never shows.
extern "C" void on_message(j_common_ptr info, int level) {
  if (level < 0) reinterpret_cast<ErrorManager*>(info->err)->warned = true;
}

extern "C" void on_output(j_common_ptr) {}

// Words 0xAARRGGBB in memory order.
constexpr J_COLOR_SPACE kArgbWords = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// The file fed to libjpeg as Qt's reader feeds it: 4096 bytes a fill, read
// on from where the last fill ended, a fake end marker once the file is
// used up, skips through the same buffer. libjpeg's Huffman decoder takes a
// faster way, one that does not warn about a bad code or stray bytes before
// a marker, whenever enough bytes lie in its buffer, so the whole file at
// once (jpeg_mem_src) would pass damage that Qt's reader reports.
constexpr std::size_t kQtFill = 4096;

struct FileSource {
  jpeg_source_mgr mgr;
  int fd;
  std::uint64_t at;  // the file offset of the next fill
  bool failed;       // a read error, or the file ended before its end marker
  JOCTET buffer[kQtFill];
};

extern "C" void source_init(j_decompress_ptr) {}

extern "C" boolean source_fill(j_decompress_ptr info) {
  auto* src = reinterpret_cast<FileSource*>(info->src);
  ssize_t n;
  do n = ::pread(src->fd, src->buffer, kQtFill, static_cast<off_t>(src->at));
  while (n < 0 && errno == EINTR);
  src->mgr.next_input_byte = src->buffer;
  if (n <= 0) {
    // Qt's reader goes on quietly with the fake marker; such a file is left
    // to it, as it was when libjpeg warned of the early end here.
    src->failed = true;
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    src->mgr.bytes_in_buffer = 2;
  } else {
    src->at += static_cast<std::uint64_t>(n);
    src->mgr.bytes_in_buffer = static_cast<std::size_t>(n);
  }
  return TRUE;
}

extern "C" void source_skip(j_decompress_ptr info, long count) {
  auto* src = reinterpret_cast<FileSource*>(info->src);
  if (count <= 0) return;
  while (count > static_cast<long>(src->mgr.bytes_in_buffer)) {
    count -= static_cast<long>(src->mgr.bytes_in_buffer);
    source_fill(info);
  }
  src->mgr.next_input_byte += count;
  src->mgr.bytes_in_buffer -= static_cast<std::size_t>(count);
}

extern "C" void source_term(j_decompress_ptr) {}

void attach_source(FileSource& src, int fd) {
  src.mgr.init_source = source_init;
  src.mgr.fill_input_buffer = source_fill;
  src.mgr.skip_input_data = source_skip;
  src.mgr.resync_to_restart = jpeg_resync_to_restart;
  src.mgr.term_source = source_term;
  src.mgr.next_input_byte = nullptr;
  src.mgr.bytes_in_buffer = 0;
  src.fd = fd;
  src.at = 0;
  src.failed = false;
}

// Everything the decoding needs that must outlive a longjmp out of libjpeg:
// no C++ object with a destructor lives in the frame that calls setjmp.
struct Decoding {
  jpeg_decompress_struct info;
  ErrorManager err;
  FileSource source;
  bool created = false;
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
};

// The Exif data as Qt's reader collects it: every APP1 segment, one after
// another, in file order.
std::vector<unsigned char> app1_data(const jpeg_decompress_struct& info) {
  std::vector<unsigned char> out;
  for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 1) out.insert(out.end(), m->data, m->data + m->data_length);
  return out;
}

// Returns true with d.pixels filled when the picture is one to take.
bool decode(Decoding& d, int fd) {
  jpeg_decompress_struct& info = d.info;
  info.err = jpeg_std_error(&d.err.mgr);
  d.err.mgr.error_exit = on_error;
  d.err.mgr.emit_message = on_message;
  d.err.mgr.output_message = on_output;
  d.err.warned = false;
  if (setjmp(d.err.jump)) return false;
  jpeg_create_decompress(&info);
  d.created = true;
  attach_source(d.source, fd);
  info.src = &d.source.mgr;
  // The markers Qt's reader keeps; keeping them changes no pixel, but the
  // library then reads them the same way.
  jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || d.err.warned) return false;

  // What libjpeg would put out by default decides Qt's image format: grey
  // for one component, RGB for three; the rest (CMYK and YCCK) is declined.
  const bool grey = info.jpeg_color_space == JCS_GRAYSCALE && info.num_components == 1;
  const bool colour = (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB) && info.num_components == 3;
  if (!grey && !colour) return false;
  if (info.out_color_space != (grey ? JCS_GRAYSCALE : JCS_RGB)) return false;

  {
    const std::vector<unsigned char> exif = app1_data(info);
    if (!exif.empty() && !exif_keeps_orientation(exif.data(), exif.size())) return false;
  }

  info.out_color_space = kArgbWords;
  jpeg_calc_output_dimensions(&info);
  if (info.output_width == 0 || info.output_height == 0 || info.output_components != 4) return false;
  if (exceeds_picture_limit(info.output_width, info.output_height)) return false;
  d.width = static_cast<int>(info.output_width);
  d.height = static_cast<int>(info.output_height);
  d.pixels = static_cast<std::uint32_t*>(
      std::malloc(static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height) * sizeof(std::uint32_t)));
  if (!d.pixels) return false;

  jpeg_start_decompress(&info);
  if (info.output_width != static_cast<JDIMENSION>(d.width) || info.output_height != static_cast<JDIMENSION>(d.height))
    return false;
  constexpr int kRowsAtOnce = 16;
  JSAMPROW rows[kRowsAtOnce];
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kRowsAtOnce, info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i)
      rows[i] = reinterpret_cast<JSAMPROW>(d.pixels + static_cast<std::size_t>(first + i) * static_cast<std::size_t>(d.width));
    if (jpeg_read_scanlines(&info, rows, count) == 0) return false;
  }
  // Qt's reader reads on to the end marker too; whatever it finds there
  // (damage after the last row) counts.
  jpeg_finish_decompress(&info);
  return !d.err.warned && !d.source.failed;
}

}  // namespace

std::optional<DecodedPicture> decode_jpeg_natively(int fd, std::uint64_t size, const PictureHeader& header) {
  if (header.kind != PictureKind::Jpeg || size == 0) return std::nullopt;
  auto d = std::make_unique<Decoding>();
  const bool ok = decode(*d, fd);
  if (d->created) jpeg_destroy_decompress(&d->info);
  if (!ok) {
    std::free(d->pixels);
    return std::nullopt;
  }
  DecodedPicture out;
  out.frame.width = d->width;
  out.frame.height = d->height;
  out.frame.pixels = d->pixels;
  out.owner = std::shared_ptr<void>(d->pixels, std::free);
  return out;
}

}  // namespace tessera::detail
