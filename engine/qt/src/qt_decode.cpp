// Picture decoding through Qt's image readers (QtGui only), for the pictures
// the native readers decline.
//
// The same file must give the same pixels in every process and in any place
// of a batch, damaged or not. Qt's readers write into the image they are
// given when it already has the size and format they would choose, and
// damaged files make them stop early, leaving the rest of the image as it
// was. So every image is cleared before the reader fills it, and for a
// damaged file a second reading into an image of the opposite bytes tells
// which pixels the reader delivered: those it did not become transparent
// black.
#include "qt_decode.h"

#include <sys/types.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QSize>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "tessera/decoder_messages.h"

namespace tessera::qt {

namespace {

// The Qt reader format for a kind, or nullptr.
const char* reader_format(PictureKind kind) {
  switch (kind) {
    case PictureKind::Png: return "png";
    case PictureKind::Jpeg: return "jpeg";
    case PictureKind::Gif: return "gif";
    case PictureKind::Bmp: return "bmp";
    case PictureKind::Unknown: break;
  }
  return nullptr;
}

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

bool too_large(const QSize& size) { return exceeds_picture_limit(size.width(), size.height()); }

std::string reason_for(QImageReader::ImageReaderError error) {
  switch (error) {
    case QImageReader::FileNotFoundError:
    case QImageReader::DeviceError:
      return "file unreadable";
    case QImageReader::UnsupportedFormatError:
      return "not a bmp, png, jpg or gif picture";
    default:
      return "damaged data";
  }
}

bool contains_nocase(const std::string& text, const char* word) {
  const std::size_t n = std::strlen(word);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i + n <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < n && std::tolower(static_cast<unsigned char>(text[i + k])) == word[k]) ++k;
    if (k == n) return true;
  }
  return false;
}

// What the decoder's messages say about the picture.
struct Verdict {
  bool out_of_memory = false;
  bool over_limit = false;
  std::vector<std::string> damage;  // messages that tell of damaged data
};

// Messages about metadata the converter never uses (colour profiles, text
// chunks) leave the pixels alone and are not damage.
bool about_metadata_only(const DecoderMessage& m) {
  if (m.category == "qt.gui.icc") return true;
  // libpng's words on an ancillary chunk that it drops without naming the
  // chunk first: a time chunk's impossible date, a suggested palette of an
  // impossible sample depth. The PNG reader without Qt takes such files
  // whole, and the pixels are the same either way.
  static const char* const unprefixed[] = {
      "libpng warning: Ignoring invalid time value",
      "libpng warning: sPLT chunk has bad length",
  };
  for (const char* text : unprefixed)
    if (m.text == text) return true;
  static const std::string warning = "libpng warning: ";
  if (m.text.compare(0, warning.size(), warning) != 0 || m.text.size() < warning.size() + 5) return false;
  // An ancillary chunk's name starts with a lower-case letter ("iCCP: ...").
  const char* chunk = m.text.c_str() + warning.size();
  for (int i = 0; i < 4; ++i)
    if (!std::isalpha(static_cast<unsigned char>(chunk[i]))) return false;
  return std::islower(static_cast<unsigned char>(chunk[0])) && chunk[4] == ':';
}

Verdict judge(const std::vector<DecoderMessage>& messages) {
  Verdict v;
  for (const DecoderMessage& m : messages) {
    if (contains_nocase(m.text, "out of memory") || contains_nocase(m.text, "insufficient memory")) {
      v.out_of_memory = true;
    } else if (contains_nocase(m.text, "exceeds the current allocation limit")) {
      v.over_limit = true;
    } else if (!about_metadata_only(m) &&
               std::find(v.damage.begin(), v.damage.end(), m.text) == v.damage.end()) {
      v.damage.push_back(m.text);
    }
  }
  return v;
}

// Several reasons as one: a corrupt file can make a decoder say the same kind
// of thing thousands of times, so only the first few are named.
std::string joined(const std::vector<std::string>& reasons) {
  constexpr std::size_t kNamed = 3;
  std::string out;
  for (std::size_t i = 0; i < reasons.size() && i < kNamed; ++i) out += (i ? ", " : "") + reasons[i];
  if (reasons.size() > kNamed) out += " and " + std::to_string(reasons.size() - kNamed) + " more";
  return out;
}

// One reading of the file from its start into an image whose every byte is
// `fill` beforehand, when the reader tells its size and format in advance.
struct Reading {
  QImage image;
  bool ok = false;
  bool into_ours = false;  // the reader filled the image prepared for it
  bool prepared = false;   // an image could be prepared
  bool no_memory = false;  // the image could not be allocated
  bool over_size = false;  // the reader's size is above the limit
  QImageReader::ImageReaderError error = QImageReader::UnknownError;
  QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone;
};

Reading read_from(QIODevice& device, const PictureHeader& header, unsigned char fill) {
  Reading r;
  const char* format = reader_format(header.kind);
  // A known signature picks its reader outright, so that Qt neither asks
  // every image plugin whether it knows the bytes nor loads them to ask.
  QImageReader reader(&device, format ? QByteArray(format) : QByteArray());
  if (format) reader.setAutoDetectImageFormat(false);
  reader.setAutoTransform(false);  // turned upright afterwards, see orient()
  QSize size = reader.size();
  if (size.isValid() && too_large(size)) {
    r.over_size = true;
    return r;
  }
  // Qt's BMP reader tells a picture stored top row first with a negative
  // height, and reads it into an image of the header's size.
  const bool top_down_bmp = header.kind == PictureKind::Bmp && size.width() > 0 && size.height() < 0;
  if (top_down_bmp && header.width > 0 && header.height > 0)
    size = QSize(static_cast<int>(header.width), static_cast<int>(header.height));
  // Only a reader that could read the header knows the format: after a failed
  // size() Qt's JPEG reader answers from a field it never set, so the answer
  // (and with it the error a truncated file gets) would depend on the heap.
  const QImage::Format image_format = size.isValid() ? reader.imageFormat() : QImage::Format_Invalid;
  if (size.isValid() && !size.isEmpty() && image_format != QImage::Format_Invalid) {
    r.image = QImage(size, image_format);
    if (r.image.isNull()) {
      r.no_memory = true;
      return r;
    }
    std::memset(r.image.bits(), fill, static_cast<std::size_t>(r.image.sizeInBytes()));
    r.prepared = true;
  }
  const uchar* prepared_bits = r.prepared ? r.image.constBits() : nullptr;
  r.ok = reader.read(&r.image);
  r.into_ours = prepared_bits && !r.image.isNull() && r.image.constBits() == prepared_bits;
  r.error = reader.error();
  r.transformation = reader.transformation();
  return r;
}

Reading read_once(int fd, const PictureHeader& header, unsigned char fill) {
  Reading r;
  if (::lseek(fd, 0, SEEK_SET) != 0) {
    r.error = QImageReader::DeviceError;
    return r;
  }
  QFile device;
  if (!device.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
    r.error = QImageReader::DeviceError;
    return r;
  }
  return read_from(device, header, fill);
}

// Qt's GIF reader clears its own image, to opaque black where the picture has
// no transparency, so a pixel it never reached looks like a black one. Read
// again with every colour of the file white, the pixels it reached are white.
std::vector<bool> gif_pixels_not_reached(int fd, std::uint64_t size, const PictureHeader& header, QSize expected) {
  if (header.kind != PictureKind::Gif || header.colour_tables.empty() || size > (1ull << 30)) return {};
  QByteArray bytes(static_cast<qsizetype>(size), '\0');
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, bytes.data() + got, size - got, static_cast<off_t>(got));
    if (n <= 0) return {};
    got += static_cast<std::size_t>(n);
  }
  for (const auto& [at, length] : header.colour_tables)
    std::memset(bytes.data() + at, 0xFF, length);
  QBuffer device(&bytes);
  device.open(QIODevice::ReadOnly);
  Reading white;
  {
    DecoderMessages quiet;
    white = read_from(device, header, 0xFF);
  }
  if (white.image.isNull() || white.image.size() != expected) return {};
  white.image.convertTo(QImage::Format_ARGB32);
  if (white.image.isNull()) return {};
  std::vector<bool> missing(static_cast<std::size_t>(expected.width()) * expected.height());
  for (int y = 0; y < expected.height(); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(white.image.constScanLine(y));
    for (int x = 0; x < expected.width(); ++x)
      missing[static_cast<std::size_t>(y) * expected.width() + x] = row[x] != 0xFFFFFFFFu;
  }
  return missing;
}

// Did the reader write pixel (x, y)? Two readings of the same file, into
// images cleared to opposite bytes, agree exactly where it did.
bool delivered(const QImage& a, const QImage& b, int x, int y) {
  const uchar* ra = a.constScanLine(y);
  const uchar* rb = b.constScanLine(y);
  const int depth = a.depth();
  if (depth == 1) {
    const int bit = a.format() == QImage::Format_MonoLSB ? x & 7 : 7 - (x & 7);
    return ((ra[x >> 3] ^ rb[x >> 3]) >> bit & 1) == 0;
  }
  const int bytes = depth / 8;
  return std::memcmp(ra + static_cast<std::size_t>(x) * bytes, rb + static_cast<std::size_t>(x) * bytes,
                     static_cast<std::size_t>(bytes)) == 0;
}

// The picture turned upright, the way Qt's readers do it when asked to:
// mirror and flip first, then a quarter turn clockwise.
QImage orient(QImage image, QImageIOHandler::Transformations t) {
  if (t == QImageIOHandler::TransformationNone) return image;
  const bool mirror = t.testFlag(QImageIOHandler::TransformationMirror);
  const bool flip = t.testFlag(QImageIOHandler::TransformationFlip);
  if (mirror || flip) image = std::move(image).mirrored(mirror, flip);
  if (!t.testFlag(QImageIOHandler::TransformationRotate90)) return image;
  const int w = image.width(), h = image.height();
  QImage turned(h, w, image.format());
  if (turned.isNull()) return turned;
  for (int y = 0; y < w; ++y) {
    auto* out = reinterpret_cast<std::uint32_t*>(turned.scanLine(y));
    for (int x = 0; x < h; ++x) out[x] = reinterpret_cast<const std::uint32_t*>(image.constScanLine(h - 1 - x))[y];
  }
  return turned;
}

// Could an image of this size be had at all? Asked only when a reader failed
// without a word, to tell a lack of memory from damaged data.
bool memory_for(const QSize& size) {
  if (!size.isValid() || size.isEmpty()) return true;
  void* p = std::malloc(static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()) * 4);
  std::free(p);
  return p != nullptr;
}

DecodedPicture failed(std::string reason) {
  DecodedPicture out;
  out.error = std::move(reason);
  return out;
}

}  // namespace

DecodedPicture decode(int fd, std::uint64_t size, const PictureHeader& header) {
  allow_largest_picture();

  // The messages of the first reading are the decoder's word on the file;
  // a second one would only repeat them.
  Reading first;
  Verdict verdict;
  {
    DecoderMessages messages;
    first = read_once(fd, header, 0x00);
    verdict = judge(messages.messages());
  }
  if (first.over_size || verdict.over_limit) return failed("too large");
  if (first.no_memory || verdict.out_of_memory) return failed("not enough memory");

  std::vector<std::string> damage;
  if (!header.damage.empty()) damage.push_back(header.damage);
  damage.insert(damage.end(), verdict.damage.begin(), verdict.damage.end());
  const bool partial = !first.ok && first.into_ours;  // the reader stopped, but into our image
  if (!first.ok && !partial) {
    std::string reason = reason_for(first.error);
    const QSize claimed = first.image.isNull() ? QSize(static_cast<int>(header.width), static_cast<int>(header.height))
                                               : first.image.size();
    if (reason == "damaged data" && damage.empty() && !memory_for(claimed)) return failed("not enough memory");
    if (reason == "damaged data" && !damage.empty()) reason += ": " + joined(damage);
    return failed(reason);
  }
  if (first.image.isNull()) return failed(reason_for(first.error));
  if (too_large(first.image.size())) return failed("too large");  // formats whose header gives no size
  if (partial && damage.empty()) damage.push_back("the decoder stopped before the end of the picture");

  // Which pixels the reader left alone, when the file is damaged and the
  // reader wrote into our image; other readers clear their own images.
  std::vector<bool> untouched;
  std::size_t delivered_count = static_cast<std::size_t>(first.image.width()) * first.image.height();
  if (!damage.empty() && first.into_ours) {
    Reading second;
    {
      DecoderMessages quiet;
      second = read_once(fd, header, 0xFF);
    }
    if (second.into_ours && second.image.size() == first.image.size() &&
        second.image.format() == first.image.format()) {
      const int w = first.image.width(), h = first.image.height();
      untouched.assign(static_cast<std::size_t>(w) * h, false);
      delivered_count = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool got = delivered(first.image, second.image, x, y);
          untouched[static_cast<std::size_t>(y) * w + x] = !got;
          delivered_count += got;
        }
    }
  } else if (!damage.empty()) {
    untouched = gif_pixels_not_reached(fd, size, header, first.image.size());
    if (!untouched.empty())
      delivered_count = static_cast<std::size_t>(std::count(untouched.begin(), untouched.end(), false));
  }
  if (delivered_count == 0) return failed("damaged data: " + joined(damage));

  // Straight ARGB; converting from a premultiplied format un-premultiplies.
  // The pixels keep their values whatever colour space the file declares.
  QImage image = std::move(first.image);
  image.convertTo(QImage::Format_ARGB32);
  if (image.isNull()) return failed("not enough memory");
  if (image.bytesPerLine() != image.width() * 4) return failed("damaged data");
  if (!untouched.empty()) {
    auto* pixels = reinterpret_cast<std::uint32_t*>(image.bits());
    for (std::size_t i = 0; i < untouched.size(); ++i)
      if (untouched[i]) pixels[i] = 0;
  }
  image = orient(std::move(image), first.transformation);
  if (image.isNull()) return failed("not enough memory");

  DecodedPicture out;
  if (!damage.empty()) out.damage = joined(damage);
  auto held = std::make_shared<QImage>(std::move(image));
  out.frame.width = held->width();
  out.frame.height = held->height();
  out.frame.pixels = reinterpret_cast<std::uint32_t*>(held->bits());
  out.owner = std::move(held);
  return out;
}

}  // namespace tessera::qt
