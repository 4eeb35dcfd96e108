// A decoded picture: its source frame of straight ARGB pixels and what the
// decoder had to say about the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tessera {

// Pictures above this many pixels are refused before they are decoded.
inline constexpr long long kMaxPicturePixels = 50'000'000;

// Whether sides of these lengths make more than kMaxPicturePixels. A header's
// sides are up to 32 bits each, whose product a long long cannot hold, so the
// test divides instead of multiplying; sides of 0 or less name no picture.
constexpr bool exceeds_picture_limit(long long width, long long height) {
  return width > 0 && height > 0 && height > kMaxPicturePixels / width;
}

// The source frame: width x height straight (not premultiplied) 0xAARRGGBB
// pixels, rows top first, no gaps between rows.
struct Frame {
  int width = 0;
  int height = 0;
  std::uint32_t* pixels = nullptr;

  std::uint32_t pixel(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
  bool contains(int x, int y) const { return x >= 0 && x < width && y >= 0 && y < height; }
};

// A decoded picture. The frame's pixels live as long as the object (copies
// share them).
struct DecodedPicture {
  Frame frame;
  // Short reason when the picture could not be decoded, else "": "no picture
  // opened", "file missing", "not a file", "file unreadable", "unknown
  // format", "damaged data" (possibly followed by ": " and what the decoder
  // said), "too large", "not enough memory".
  std::string error;
  // Not empty when the file is damaged but part of it could be read: why.
  // The frame then holds what could be read; every pixel the decoder did not
  // deliver is transparent black (0).
  std::string damage;
  std::shared_ptr<void> owner;
};

}  // namespace tessera
