// PNG files written by Qt's writer, whose bytes the programs' PNGs have
// always had.
#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include "qt_decode.h"

namespace tessera::qt {

std::vector<std::uint8_t> encode_png(int width, int height, const std::uint32_t* pixels) {
  const QImage image(reinterpret_cast<const uchar*>(pixels), width, height, width * 4, QImage::Format_ARGB32);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return {};
  return {bytes.begin(), bytes.end()};
}

}  // namespace tessera::qt
