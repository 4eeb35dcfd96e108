// Whether a JPEG file's Exif data leaves the picture as stored.
#pragma once

#include <cstddef>

namespace tessera::detail {

// `data` is the file's APP1 segments joined in file order, the way Qt's JPEG
// reader collects them before it looks for the orientation. True only when
// that reader would certainly not turn or mirror the picture and would say
// nothing about the orientation: no Exif header, no orientation entry, an
// unreadable directory chain it gives up on, or orientation 1. False for any
// other orientation and whenever the data ends inside a field it reads.
bool exif_keeps_orientation(const unsigned char* data, std::size_t size);

}  // namespace tessera::detail
