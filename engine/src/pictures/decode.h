// Reading a picture file: the one entry point of the pictures folder for the
// stages above it.
#pragma once

#include <string>

#include "tessera/picture.h"

namespace tessera {

// Decodes a bmp, png, jpg or gif file (first frame only) to straight 8-bit
// ARGB, turned upright by its orientation tag, without colour management.
// The path is taken as bytes, whatever the locale's encoding. The same file
// always gives the same pixels, damaged or not. Safe to call on several
// threads at once.
DecodedPicture decode_picture(const std::string& path);

}  // namespace tessera
