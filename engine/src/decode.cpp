// Picture decoding through Qt's image readers (QtGui only).
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>
#include <filesystem>
#include <mutex>

#include "tessera/input.h"

namespace tessera {

namespace {

// Qt refuses to allocate images above a process-wide limit (128 MB in Qt 6.4),
// which would reject pictures we accept. Raise it just enough for the largest
// picture we take at 16 bits a channel; forged headers are refused by size
// before Qt allocates anything.
void allow_largest_picture() {
  static std::once_flag once;
  std::call_once(once, [] {
    constexpr int kNeededMb = static_cast<int>(kMaxPicturePixels * 8 / (1024 * 1024)) + 1;
    if (QImageReader::allocationLimit() < kNeededMb) QImageReader::setAllocationLimit(kNeededMb);
  });
}

bool too_large(const QSize& size) {
  return static_cast<long long>(size.width()) * static_cast<long long>(size.height()) > kMaxPicturePixels;
}

std::string reason_for(QImageReader::ImageReaderError error) {
  switch (error) {
    case QImageReader::FileNotFoundError:
      // The file exists (checked before), so Qt could not open it.
      return "file unreadable";
    case QImageReader::DeviceError:
      return "file unreadable";
    case QImageReader::UnsupportedFormatError:
      return "unknown format";
    default:
      return "damaged data";
  }
}

}  // namespace

DecodedPicture decode_picture(const std::string& path) {
  DecodedPicture out;
  if (path.empty()) {
    out.error = "no picture opened";
    return out;
  }
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    out.error = "file missing";
    return out;
  }
  if (!std::filesystem::is_regular_file(status)) {
    out.error = "not a file";
    return out;
  }

  allow_largest_picture();
  QImageReader reader(QFile::decodeName(QByteArray::fromStdString(path)));
  reader.setAutoTransform(true);
  const QSize header = reader.size();
  if (header.isValid() && too_large(header)) {
    out.error = "too large";
    return out;
  }
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    out.error = reason_for(reader.error());
    return out;
  }
  if (too_large(image.size())) {  // formats whose header gives no size
    out.error = "too large";
    return out;
  }
  // Straight ARGB; converting from a premultiplied format un-premultiplies.
  // The pixels keep their values whatever colour space the file declares.
  image.convertTo(QImage::Format_ARGB32);
  if (image.isNull() || image.bytesPerLine() != image.width() * 4) {
    out.error = "damaged data";
    return out;
  }
  auto held = std::make_shared<QImage>(std::move(image));
  out.frame.width = held->width();
  out.frame.height = held->height();
  out.frame.pixels = reinterpret_cast<std::uint32_t*>(held->bits());
  out.owner = std::move(held);
  return out;
}

}  // namespace tessera
