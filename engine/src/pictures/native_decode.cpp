#include "pictures/native_decode.h"

namespace tessera::detail {

std::optional<DecodedPicture> decode_natively(int fd, std::uint64_t size, const PictureHeader& header) {
  if (!header.damage.empty()) return std::nullopt;
  switch (header.kind) {
    case PictureKind::Png: return decode_png_natively(fd, size, header);
    case PictureKind::Jpeg: return decode_jpeg_natively(fd, size, header);
    default: return std::nullopt;
  }
}

}  // namespace tessera::detail
