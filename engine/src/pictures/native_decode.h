// Decoders that read the commonest pictures without Qt. Each takes only a
// file whose every byte it understands and whose pixels it gives exactly as
// Qt's reader would; for anything else (a damaged file, a rare variant) it
// declines, and the picture goes to Qt's reader as before.
#pragma once

#include <cstdint>
#include <optional>

#include "tessera/picture.h"
#include "tessera/picture_header.h"

namespace tessera::detail {

// The open file of `size` bytes, already inspected; the file offset is left
// alone. std::nullopt when the picture is not for these decoders.
std::optional<DecodedPicture> decode_natively(int fd, std::uint64_t size, const PictureHeader& header);

std::optional<DecodedPicture> decode_png_natively(int fd, std::uint64_t size, const PictureHeader& header);
std::optional<DecodedPicture> decode_jpeg_natively(int fd, std::uint64_t size, const PictureHeader& header);

}  // namespace tessera::detail
