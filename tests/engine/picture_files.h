// Picture files made byte by byte for the decoding tests: BMPs and GIFs of
// any pixels, and cuts of any file.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace tessera::testing {

inline void put_le(QByteArray& b, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// An uncompressed BMP with a 40-byte header. bits 24 stores the image's
// colours; bits 8 and 1 store the image's pixel values modulo the palette
// size as indices into a grey palette. height < 0 stores the top row first.
inline QByteArray bmp_bytes(const QImage& image, int bits, bool top_down = false, std::uint32_t offset_bump = 0) {
  const int w = image.width(), h = image.height();
  const int colours = bits <= 8 ? 1 << bits : 0;
  const int row = (w * bits + 31) / 32 * 4;
  const std::uint32_t offset = 54 + 4 * colours + offset_bump;
  QByteArray b("BM");
  put_le(b, offset + static_cast<std::uint32_t>(row * h), 4);
  put_le(b, 0, 4);
  put_le(b, offset, 4);
  put_le(b, 40, 4);
  put_le(b, static_cast<std::uint32_t>(w), 4);
  put_le(b, static_cast<std::uint32_t>(top_down ? -h : h), 4);
  put_le(b, 1, 2);
  put_le(b, static_cast<std::uint32_t>(bits), 2);
  put_le(b, 0, 4);
  put_le(b, static_cast<std::uint32_t>(row * h), 4);
  put_le(b, 2834, 4);
  put_le(b, 2834, 4);
  put_le(b, static_cast<std::uint32_t>(colours), 4);
  put_le(b, 0, 4);
  for (int i = 0; i < colours; ++i) {
    const int g = colours == 2 ? i * 255 : i;
    put_le(b, static_cast<std::uint32_t>(g | g << 8 | g << 16), 4);
  }
  b.append(QByteArray(static_cast<int>(offset_bump), '\0'));
  for (int k = 0; k < h; ++k) {
    const int y = top_down ? k : h - 1 - k;
    QByteArray line(row, '\0');
    for (int x = 0; x < w; ++x) {
      const QRgb p = image.pixel(x, y);
      if (bits == 24) {
        line[3 * x] = static_cast<char>(qBlue(p));
        line[3 * x + 1] = static_cast<char>(qGreen(p));
        line[3 * x + 2] = static_cast<char>(qRed(p));
      } else if (bits == 8) {
        line[x] = static_cast<char>(qRed(p));
      } else if (qRed(p) & 1) {
        line[x / 8] = static_cast<char>(line[x / 8] | (0x80 >> (x % 8)));
      }
    }
    b.append(line);
  }
  return b;
}

// A GIF89a of the image's red channel as indices into a 256-entry grey
// palette. The LZW data holds only literal codes of 9 bits, with a clear code
// before the table would grow to 10 bits: valid for every reader.
inline QByteArray gif_bytes(const QImage& image) {
  const int w = image.width(), h = image.height();
  QByteArray b("GIF89a");
  put_le(b, static_cast<std::uint32_t>(w), 2);
  put_le(b, static_cast<std::uint32_t>(h), 2);
  b.append(static_cast<char>(0xF7));  // global table of 256 entries
  b.append('\0');
  b.append('\0');
  for (int i = 0; i < 256; ++i) b.append(3, static_cast<char>(i));
  b.append(',');
  put_le(b, 0, 4);
  put_le(b, static_cast<std::uint32_t>(w), 2);
  put_le(b, static_cast<std::uint32_t>(h), 2);
  b.append('\0');
  b.append(static_cast<char>(8));  // minimum code size
  QByteArray data;
  std::uint32_t acc = 0;
  int bits = 0;
  auto code = [&](std::uint32_t c) {
    acc |= c << bits;
    bits += 9;
    while (bits >= 8) {
      data.append(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      bits -= 8;
    }
  };
  int since_clear = 0;
  code(256);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (since_clear == 250) {
        code(256);
        since_clear = 0;
      }
      code(static_cast<std::uint32_t>(qRed(image.pixel(x, y))));
      ++since_clear;
    }
  code(257);
  if (bits > 0) data.append(static_cast<char>(acc & 0xFF));
  for (int i = 0; i < data.size(); i += 255) {
    const int n = std::min<int>(255, static_cast<int>(data.size()) - i);
    b.append(static_cast<char>(n));
    b.append(data.mid(i, n));
  }
  b.append('\0');
  b.append(';');
  return b;
}

inline std::uint32_t png_crc(const char* p, qsizetype n) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (qsizetype i = 0; i < n; ++i) {
    c ^= static_cast<unsigned char>(p[i]);
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

// The PNG with one more chunk right after its header chunk.
inline QByteArray with_png_chunk(const QByteArray& png, const char* type, const QByteArray& data) {
  QByteArray chunk;
  for (int k = 3; k >= 0; --k) chunk.append(static_cast<char>((data.size() >> (8 * k)) & 0xFF));
  const QByteArray body = QByteArray(type, 4) + data;
  chunk.append(body);
  const std::uint32_t crc = png_crc(body.constData(), body.size());
  for (int k = 3; k >= 0; --k) chunk.append(static_cast<char>((crc >> (8 * k)) & 0xFF));
  QByteArray out = png;
  out.insert(8 + 25, chunk);
  return out;
}

// One PNG chunk: length, type, data, CRC.
inline QByteArray png_chunk(const char* type, const QByteArray& data) {
  QByteArray chunk;
  for (int k = 3; k >= 0; --k) chunk.append(static_cast<char>((data.size() >> (8 * k)) & 0xFF));
  const QByteArray body = QByteArray(type, 4) + data;
  chunk.append(body);
  const std::uint32_t crc = png_crc(body.constData(), body.size());
  for (int k = 3; k >= 0; --k) chunk.append(static_cast<char>((crc >> (8 * k)) & 0xFF));
  return chunk;
}

// A PNG of 8 bits a sample whose one picture-data chunk holds `stream` as
// it is, damaged or not.
inline QByteArray png_with_stream(std::uint32_t width, std::uint32_t height, int colour_type, const QByteArray& stream) {
  QByteArray ihdr;
  for (std::uint32_t v : {width, height})
    for (int k = 3; k >= 0; --k) ihdr.append(static_cast<char>((v >> (8 * k)) & 0xFF));
  ihdr.append(static_cast<char>(8));
  ihdr.append(static_cast<char>(colour_type));
  ihdr.append(3, '\0');
  return QByteArray("\x89PNG\r\n\x1A\n", 8) + png_chunk("IHDR", ihdr) + png_chunk("IDAT", stream) +
         png_chunk("IEND", {});
}

// Sets the CRC of the chunk whose type starts at `type_at` right again, after
// its data was changed on purpose.
inline void fix_png_crc(QByteArray& png, qsizetype type_at) {
  const auto byte = [&](qsizetype i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(png[i])); };
  const std::uint32_t length = byte(type_at - 4) << 24 | byte(type_at - 3) << 16 | byte(type_at - 2) << 8 | byte(type_at - 1);
  const std::uint32_t crc = png_crc(png.constData() + type_at, static_cast<qsizetype>(length) + 4);
  for (int i = 0; i < 4; ++i) png[type_at + 4 + length + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xFF);
}

inline QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return bytes;
}

// A photo-like picture: smooth gradients with noise, opaque.
inline QImage noisy_picture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-12, 12);
  QImage im(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      auto c = [&](int v) { return std::clamp(v + noise(rng), 0, 255); };
      im.setPixel(x, y, qRgb(c(x * 255 / w), c(y * 255 / h), c((x + y) * 127 / (w + h) + 64)));
    }
  return im;
}

inline void write_file(const std::string& path, const QByteArray& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.constData(), bytes.size());
}

}  // namespace tessera::testing
