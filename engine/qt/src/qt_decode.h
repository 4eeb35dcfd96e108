// The parts of the Qt layer, each behind one function of its table.
#pragma once

#include <cstdint>
#include <vector>

#include "tessera/picture.h"
#include "tessera/picture_header.h"

namespace tessera::qt {

DecodedPicture decode(int fd, std::uint64_t size, const PictureHeader& header);

std::vector<std::uint8_t> encode_png(int width, int height, const std::uint32_t* pixels);

}  // namespace tessera::qt
