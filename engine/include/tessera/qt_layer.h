// What of Qt the engine and the programs use, reached through one table of
// functions: reading the pictures the native readers decline, and writing
// PNGs. A program that links Qt anyway (the window, the tests) registers the
// table it links at start; otherwise the table comes from Tessera's Qt
// module, loaded the first time something needs it, so a program that never
// needs it never loads Qt at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessera/picture.h"
#include "tessera/picture_header.h"

namespace tessera {

struct QtLayer {
  // The open file of `size` bytes, already inspected, read by Qt's readers
  // (see decode_picture).
  DecodedPicture (*decode)(int fd, std::uint64_t size, const PictureHeader& header);
  // width x height straight ARGB pixels, rows top first, as PNG bytes;
  // empty when encoding failed.
  std::vector<std::uint8_t> (*encode_png)(int width, int height, const std::uint32_t* pixels);
};

// Makes `layer` the table every later call uses (it must live until exit).
void register_qt_layer(const QtLayer* layer);

// The table, loaded on first need. nullptr when it cannot be had, with the
// reason (naming the module) in *why. Safe from any thread.
const QtLayer* qt_layer(std::string* why = nullptr);

}  // namespace tessera

// The module's one entry point: its table.
extern "C" const tessera::QtLayer* tessera_qt_layer();
