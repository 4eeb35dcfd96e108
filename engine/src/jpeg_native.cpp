#include "native_decode.h"

namespace tessera::detail {

std::optional<DecodedPicture> decode_jpeg_natively(int, std::uint64_t, const PictureHeader&) { return std::nullopt; }

}  // namespace tessera::detail
