#include "tessera/surface.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/uio.h>
#include <unistd.h>

#include "tessera/file_writer.h"
#include "tessera/store.h"

namespace tessera {

Surface::Surface(int width, int height, std::uint32_t fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill) {}

void Surface::fill_box(int x1, int y1, int x2, int y2, std::uint32_t argb) {
  const int xa = std::max(std::min(x1, x2), 0), xb = std::min(std::max(x1, x2), width_ - 1);
  const int ya = std::max(std::min(y1, y2), 0), yb = std::min(std::max(y1, y2), height_ - 1);
  for (int y = ya; y <= yb; ++y)
    std::fill_n(pixels_.begin() + static_cast<std::ptrdiff_t>(index(xa, y)), std::max(xb - xa + 1, 0), argb);
}

namespace {

void put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

constexpr std::size_t kBmpHeader = 54;

void put_bmp_header(std::uint8_t* p, std::uint32_t w, std::uint32_t h) {
  const std::uint32_t image = w * 4 * h;
  std::fill_n(p, kBmpHeader, std::uint8_t{0});
  p[0] = 'B';
  p[1] = 'M';
  put32(p + 2, 54 + image);
  put32(p + 10, 54);
  put32(p + 14, 40);
  put32(p + 18, w);
  put32(p + 22, h);
  p[26] = 1;
  p[28] = 32;
  put32(p + 34, image);
  put32(p + 38, 2834);
  put32(p + 42, 2834);
}

// Surface row y in the file's byte order (blue, green, red, alpha). On a
// little-endian machine a row of 0xAARRGGBB words already is that, so whole
// rows are copied: an output preview is 9 MB and written on every rendering.
void put_bmp_row(std::uint8_t* q, const Surface& s, int y) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(q, s.pixels().data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width()),
                static_cast<std::size_t>(s.width()) * 4);
  } else {
    for (int x = 0; x < s.width(); ++x, q += 4) put32(q, s.pixel(x, y));
  }
}

std::string write_all(int fd, const std::uint8_t* data, std::size_t size) {
  return write_to_descriptor(fd, data, size);
}

}  // namespace

std::vector<std::uint8_t> bmp_bytes(const Surface& s) {
  const std::size_t row = static_cast<std::size_t>(s.width()) * 4;
  std::vector<std::uint8_t> out(kBmpHeader + row * static_cast<std::size_t>(s.height()));
  put_bmp_header(out.data(), static_cast<std::uint32_t>(s.width()), static_cast<std::uint32_t>(s.height()));
  std::uint8_t* q = out.data() + kBmpHeader;
  for (int y = s.height() - 1; y >= 0; --y, q += row) put_bmp_row(q, s, y);
  return out;
}

std::string preview_path(Store& store, const std::string& stem) {
  if (store.TEMPFILECOUNT > 4) store.TEMPFILECOUNT = 0;
  const std::filesystem::path dir(store.TEMPFILEPATH.empty() ? default_temp_path() : store.TEMPFILEPATH);
  return (dir / (stem + std::to_string(store.TEMPFILECOUNT) + ".bmp")).string();
}

std::string write_preview(Store& store, const std::string& stem, const Surface& surface) {
  const std::string path = preview_path(store, stem);
  // The same bytes as bmp_bytes, without a second full copy of a 9 MB
  // preview (it would push the heap over glibc's trim threshold, and every
  // preview would then fault in 18 MB of fresh pages).
  // Previews are private to the user (0600), never follow a link planted under
  // their name and are not flushed: see FileRole::Preview.
  write_file(path, [&](int fd) {
    std::uint8_t header[kBmpHeader];
    put_bmp_header(header, static_cast<std::uint32_t>(surface.width()), static_cast<std::uint32_t>(surface.height()));
    if (std::string reason = write_all(fd, header, kBmpHeader); !reason.empty()) return reason;
    const std::size_t row = static_cast<std::size_t>(surface.width()) * 4;
    if constexpr (std::endian::native == std::endian::little) {
      // The surface's rows already are the file's rows: hand them to the
      // kernel bottom row first, as they are.
      constexpr int kRowsAtOnce = 256;
      iovec rows[kRowsAtOnce];
      for (int y = surface.height() - 1; y >= 0;) {
        int n = 0;
        for (; n < kRowsAtOnce && y >= 0; ++n, --y) {
          rows[n].iov_base = const_cast<std::uint32_t*>(surface.pixels().data()) +
                             static_cast<std::size_t>(y) * static_cast<std::size_t>(surface.width());
          rows[n].iov_len = row;
        }
        ssize_t done;
        do done = ::writev(fd, rows, n); while (done < 0 && errno == EINTR);
        if (done < 0) return std::string(std::strerror(errno));
        // A short write: finish the batch row by row from where it stopped.
        std::size_t written = static_cast<std::size_t>(done);
        for (int i = 0; i < n; ++i) {
          if (written >= row) {
            written -= row;
            continue;
          }
          const auto* start = static_cast<const std::uint8_t*>(rows[i].iov_base) + written;
          if (std::string reason = write_all(fd, start, row - written); !reason.empty()) return reason;
          written = 0;
        }
      }
    } else {
      std::vector<std::uint8_t> line(row);
      for (int y = surface.height() - 1; y >= 0; --y) {
        put_bmp_row(line.data(), surface, y);
        if (std::string reason = write_all(fd, line.data(), row); !reason.empty()) return reason;
      }
    }
    return std::string();
  }, FileRole::Preview);
  return path;
}

void finish_preview(Store& store) { ++store.TEMPFILECOUNT; }

}  // namespace tessera
