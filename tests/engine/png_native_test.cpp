// The PNG reader that works without Qt: every picture it takes gives exactly
// Qt's pixels, and every picture it declines goes to Qt as before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/input_reference.h"
#include "engine/picture_files.h"
#include "kernel_sets.h"
#include "pictures/native_decode.h"
#include "pictures/png/png_rows.h"
#include "tessera/decoder_messages.h"
#include "pictures/decode.h"
#include "tessera/picture_header.h"

namespace tessera {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- a small PNG writer that does what it is told ---------------------------

int channels_of(int colour_type) {
  switch (colour_type) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
  }
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// One row filtered with `type`, the filter byte first.
Bytes filter_row(int type, const std::uint8_t* row, const std::uint8_t* prev, std::size_t n, int bpp) {
  Bytes out(n + 1);
  out[0] = static_cast<std::uint8_t>(type);
  for (std::size_t i = 0; i < n; ++i) {
    const int a = i >= static_cast<std::size_t>(bpp) ? row[i - bpp] : 0;
    const int b = prev ? prev[i] : 0;
    const int c = prev && i >= static_cast<std::size_t>(bpp) ? prev[i - bpp] : 0;
    int pred = 0;
    switch (type) {
      case 1: pred = a; break;
      case 2: pred = b; break;
      case 3: pred = (a + b) / 2; break;
      case 4: pred = paeth(a, b, c); break;
      default: break;
    }
    out[i + 1] = static_cast<std::uint8_t>(row[i] - pred);
  }
  return out;
}

Bytes deflated(const Bytes& raw, int level, int window_bits = 15) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, raw.size()) + 64);
  z.next_in = const_cast<Bytef*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

void put_be(Bytes& b, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(v >> s));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
  put_be(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t at = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  put_be(png, static_cast<std::uint32_t>(crc32(0, png.data() + at, static_cast<uInt>(png.size() - at))));
}

struct Extra {
  std::string type;
  Bytes data;
};

struct PngSpec {
  int width = 1, height = 1;
  int colour_type = 2;
  int depth = 8;
  int interlace = 0;
  std::function<int(int y)> filter = [](int) { return 0; };
  int level = 6;
  int window_bits = 15;
  std::size_t idat_split = 0;  // 0: one IDAT chunk
  std::vector<Extra> before, after;
  bool empty_idat_between = false;
  // Changes to the zlib stream before it is cut into chunks.
  std::function<void(Bytes&)> mangle_stream;
};

// Pixels of a kind: random noise, or smooth ramps as photos have.
Bytes content(int w, int h, int bytes_per_pixel, bool smooth, unsigned seed) {
  Bytes b(static_cast<std::size_t>(w) * h * bytes_per_pixel);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < bytes_per_pixel; ++c) {
        const std::size_t i = (static_cast<std::size_t>(y) * w + x) * bytes_per_pixel + c;
        b[i] = smooth ? static_cast<std::uint8_t>((x * (c + 1) * 3 + y * (5 - c) * 2 + (rng() % 5)) / 2)
                      : static_cast<std::uint8_t>(rng());
      }
  return b;
}

Bytes png_file(const PngSpec& s, const Bytes& pixels) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  put_be(ihdr, static_cast<std::uint32_t>(s.width));
  put_be(ihdr, static_cast<std::uint32_t>(s.height));
  ihdr.push_back(static_cast<std::uint8_t>(s.depth));
  ihdr.push_back(static_cast<std::uint8_t>(s.colour_type));
  ihdr.push_back(0);
  ihdr.push_back(0);
  ihdr.push_back(static_cast<std::uint8_t>(s.interlace));
  chunk(png, "IHDR", ihdr);
  for (const Extra& e : s.before) chunk(png, e.type.c_str(), e.data);
  const int bpp = channels_of(s.colour_type) * s.depth / 8;
  const std::size_t row_bytes = static_cast<std::size_t>(s.width) * bpp;
  Bytes raw;
  for (int y = 0; y < s.height; ++y) {
    const std::uint8_t* row = pixels.data() + y * row_bytes;
    const Bytes f = filter_row(s.filter(y), row, y ? row - row_bytes : nullptr, row_bytes, bpp);
    raw.insert(raw.end(), f.begin(), f.end());
  }
  Bytes z = deflated(raw, s.level, s.window_bits);
  if (s.mangle_stream) s.mangle_stream(z);
  const std::size_t split = s.idat_split ? s.idat_split : z.size();
  for (std::size_t at = 0; at < z.size(); at += split) {
    chunk(png, "IDAT", Bytes(z.begin() + at, z.begin() + std::min(z.size(), at + split)));
    if (s.empty_idat_between && at == 0) chunk(png, "IDAT", {});
  }
  for (const Extra& e : s.after) chunk(png, e.type.c_str(), e.data);
  chunk(png, "IEND", {});
  return png;
}

// ---- the two readings ---------------------------------------------------------

QByteArray as_qt(const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())); }

struct QtReading {
  QImage image;  // ARGB32, null when Qt could not read the file
  bool clean = false;  // read without a word about the pixel data
};

QtReading read_with_qt(const Bytes& png) {
  QByteArray bytes = as_qt(png);
  QBuffer device(&bytes);
  device.open(QIODevice::ReadOnly);
  QtReading r;
  DecoderMessages messages;
  QImageReader reader(&device, "png");
  reader.setAutoTransform(false);
  r.image = reader.read();
  EXPECT_EQ(reader.transformation(), QImageIOHandler::TransformationNone);
  if (!r.image.isNull()) r.image.convertTo(QImage::Format_ARGB32);
  r.clean = !r.image.isNull();
  for (const DecoderMessage& m : messages.messages()) {
    // Only words about an ancillary chunk ("gAMA: ...") leave the pixels whole.
    const std::string prefix = "libpng warning: ";
    const bool ancillary = m.text.rfind(prefix, 0) == 0 && m.text.size() > prefix.size() + 4 &&
                           std::islower(static_cast<unsigned char>(m.text[prefix.size()])) &&
                           m.text[prefix.size() + 4] == ':';
    if (!ancillary && m.category != "qt.gui.icc") r.clean = false;
  }
  return r;
}

std::string write_temp(const Bytes& png, const std::string& name) {
  // A directory per picture: the tests may run in parallel processes.
  const std::string path = testing::test_dir("png_native_" + name) + "/picture.png";
  testing::write_file(path, as_qt(png));
  return path;
}

std::optional<DecodedPicture> read_natively(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0) << path;
  if (fd < 0) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END));
  const PictureHeader header = inspect_picture(fd, size);
  std::optional<DecodedPicture> d = detail::decode_png_natively(fd, size, header);
  ::close(fd);
  return d;
}

// The first pixel where the frame and Qt's image differ, or "".
std::string first_difference(const Frame& f, const QImage& q) {
  if (f.width != q.width() || f.height != q.height())
    return "size " + std::to_string(f.width) + "x" + std::to_string(f.height) + " against " +
           std::to_string(q.width()) + "x" + std::to_string(q.height());
  for (int y = 0; y < f.height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(q.constScanLine(y));
    for (int x = 0; x < f.width; ++x)
      if (f.pixel(x, y) != row[x]) {
        char text[96];
        std::snprintf(text, sizeof text, "(%d,%d): %08x against Qt's %08x", x, y, f.pixel(x, y), row[x]);
        return text;
      }
  }
  return "";
}

// A picture the native reader must take: same pixels as Qt, through
// decode_picture too.
void expect_taken_like_qt(const Bytes& png, const std::string& name) {
  const QtReading qt = read_with_qt(png);
  ASSERT_TRUE(qt.clean) << name << ": Qt should read this without complaint";
  const std::string path = write_temp(png, name);
  const std::optional<DecodedPicture> native = read_natively(path);
  ASSERT_TRUE(native.has_value()) << name << ": declined";
  EXPECT_EQ(native->error, "");
  EXPECT_EQ(native->damage, "");
  EXPECT_EQ(first_difference(native->frame, qt.image), "") << name;
  const DecodedPicture through = decode_picture(path);
  EXPECT_EQ(through.error, "");
  EXPECT_EQ(through.damage, "");
  EXPECT_EQ(first_difference(through.frame, qt.image), "") << name;
}

// A picture the native reader must decline: decode_picture gives Qt's
// reading, whole or damaged, as before.
void expect_declined(const Bytes& png, const std::string& name) {
  const std::string path = write_temp(png, name);
  EXPECT_FALSE(read_natively(path).has_value()) << name << ": taken";
  const QtReading qt = read_with_qt(png);
  const DecodedPicture through = decode_picture(path);
  if (qt.clean) {
    EXPECT_EQ(through.error, "") << name;
    EXPECT_EQ(through.damage, "") << name;
    EXPECT_EQ(first_difference(through.frame, qt.image), "") << name;
  } else {
    EXPECT_TRUE(!through.error.empty() || !through.damage.empty()) << name << ": damage not told";
  }
}

// ---- pictures it takes --------------------------------------------------------

struct TakenCase {
  std::string name;
  PngSpec spec;
  bool smooth = false;
  unsigned seed = 1;
};

std::function<int(int)> filter_mode(int mode) {
  if (mode <= 4) return [mode](int) { return mode; };
  if (mode == 5) return [](int y) { return y % 5; };                        // each in turn
  return [](int y) { return static_cast<int>((y * 2654435761u >> 7) % 5); };  // scattered
}

const char* filter_name(int mode) {
  static const char* names[] = {"None", "Sub", "Up", "Average", "Paeth", "Cycled", "Scattered"};
  return names[mode];
}

const char* colour_name(int t) {
  switch (t) {
    case 0: return "Grey";
    case 2: return "Rgb";
    case 4: return "GreyAlpha";
    default: return "Rgba";
  }
}

std::vector<TakenCase> taken_cases() {
  std::vector<TakenCase> cases;
  const int widths[] = {1, 2, 3, 5, 17, 64, 301};
  const int heights[] = {1, 2, 7, 33};
  unsigned seed = 1;
  for (int colour : {2, 6, 0, 4})
    for (int w : widths)
      for (int mode = 0; mode <= 6; ++mode) {
        TakenCase c;
        c.spec.width = w;
        c.spec.height = heights[(w + mode) % 4];
        c.spec.colour_type = colour;
        c.spec.filter = filter_mode(mode);
        c.spec.level = static_cast<int>(seed % 10);
        c.smooth = (mode + w) % 2 == 0;
        c.seed = seed++;
        c.name = std::string(colour_name(colour)) + "_" + std::to_string(w) + "x" + std::to_string(c.spec.height) +
                 "_" + filter_name(mode) + (c.smooth ? "_Smooth" : "_Noise") + "_Level" +
                 std::to_string(c.spec.level);
        cases.push_back(std::move(c));
      }
  for (int colour : {2, 6})
    for (int level = 0; level <= 9; ++level)
      for (std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{100}, std::size_t{8192}}) {
        TakenCase c;
        c.spec.width = 97;
        c.spec.height = 61;
        c.spec.colour_type = colour;
        c.spec.filter = filter_mode(6);
        c.spec.level = level;
        c.spec.idat_split = split;
        c.smooth = level % 2 == 1;
        c.seed = seed++;
        c.name = std::string(colour_name(colour)) + "_Level" + std::to_string(level) + "_Split" +
                 (split ? std::to_string(split) : std::string("None"));
        cases.push_back(std::move(c));
      }
  for (int colour : {2, 6}) {
    TakenCase wide;
    wide.spec.width = 2501;
    wide.spec.height = 3;
    wide.spec.colour_type = colour;
    wide.spec.filter = filter_mode(5);
    wide.smooth = true;
    wide.name = std::string(colour_name(colour)) + "_Wide";
    cases.push_back(wide);
    TakenCase tall = wide;
    tall.spec.width = 3;
    tall.spec.height = 1500;
    tall.spec.filter = filter_mode(4);
    tall.name = std::string(colour_name(colour)) + "_Tall";
    cases.push_back(tall);
    TakenCase photo = wide;
    photo.spec.width = 640;
    photo.spec.height = 480;
    photo.spec.filter = filter_mode(4);
    photo.spec.idat_split = 8192;
    photo.name = std::string(colour_name(colour)) + "_PhotoSizePaeth";
    cases.push_back(photo);
  }
  // Windows below 32 K, as many tools write them for small pictures: zlib's
  // deflater never reaches past the window it declares.
  for (int bits = 9; bits <= 14; ++bits)
    for (int colour : {0, 2}) {
      TakenCase c;
      c.spec.width = bits == 9 ? 1100 : 150;  // rows longer and shorter than the window
      c.spec.height = 40;
      c.spec.colour_type = colour;
      c.spec.filter = filter_mode(6);
      c.spec.window_bits = bits;
      c.spec.idat_split = 3000;
      c.smooth = true;
      c.seed = seed++;
      c.name = std::string(colour_name(colour)) + "_Window" + std::to_string(1 << bits);
      cases.push_back(std::move(c));
    }
  // Chunks that only describe the picture, before and after its data.
  const auto with = [&](const char* name, std::vector<Extra> before, std::vector<Extra> after, bool empty_idat) {
    TakenCase c;
    c.spec.width = 40;
    c.spec.height = 30;
    c.spec.filter = filter_mode(6);
    c.spec.before = std::move(before);
    c.spec.after = std::move(after);
    c.spec.idat_split = 300;
    c.spec.empty_idat_between = empty_idat;
    c.smooth = true;
    c.name = name;
    cases.push_back(c);
    c.spec.colour_type = 6;
    c.name += "_Rgba";
    cases.push_back(c);
  };
  const Bytes gamma = {0, 0, 0xB1, 0x8F};  // 1 / 2.2
  const Bytes chrm = {0, 0, 0x7A, 0x26, 0, 0, 0x80, 0x84, 0, 0, 0xFA, 0, 0, 0, 0x80, 0xE8,
                      0, 0, 0x75, 0x30, 0, 0, 0xEA, 0x60, 0, 0, 0x3A, 0x98, 0, 0, 0x17, 0x6F};
  const Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
  with("GammaAndChromaticities", {{"gAMA", gamma}, {"cHRM", chrm}}, {}, false);
  with("StandardRgb", {{"sRGB", {0}}, {"gAMA", gamma}}, {}, false);
  with("OddGamma", {{"gAMA", {0, 0, 0x27, 0x10}}}, {}, false);  // gamma 0.1: still no correction
  with("TextBeforeAndAfter", {{"tEXt", text}, {"pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1}}},
       {{"tEXt", text}, {"tIME", {0x07, 0xE6, 1, 2, 3, 4, 5}}}, false);
  with("PrivateChunk", {{"prVt", {1, 2, 3}}, {"sBIT", {5, 6, 5}}, {"bKGD", {0, 1, 0, 2, 0, 3}}}, {}, false);
  with("EmptyIdatBetween", {}, {}, true);
  return cases;
}

class PngTaken : public ::testing::TestWithParam<TakenCase> {};

TEST_P(PngTaken, GivesQtsPixels) {
  const TakenCase& c = GetParam();
  const Bytes pixels = content(c.spec.width, c.spec.height, channels_of(c.spec.colour_type), c.smooth, c.seed);
  expect_taken_like_qt(png_file(c.spec, pixels), c.name);
}

INSTANTIATE_TEST_SUITE_P(Made, PngTaken, ::testing::ValuesIn(taken_cases()),
                         [](const ::testing::TestParamInfo<TakenCase>& i) { return i.param.name; });

// libpng stops at the end chunk, so what follows it (padding, a second file
// glued on) is not the picture's and is never read.
TEST(PngNative, BytesAfterTheEndChunkAreLeftUnread) {
  PngSpec s;
  s.width = 37;
  s.height = 21;
  s.filter = filter_mode(6);
  Bytes png = png_file(s, content(s.width, s.height, 3, true, 9));
  png.insert(png.end(), 5000, 0);
  png.insert(png.end(), {'I', 'E', 'N', 'D', 0xFF});
  expect_taken_like_qt(png, "BytesAfterTheEnd");
}

// Files as Qt writes them (libpng's own choice of filters), and the samples.
TEST(PngNative, TakesQtWrittenFilesWithQtsPixels) {
  struct Made {
    const char* name;
    QImage image;
  };
  std::vector<Made> made;
  const QImage noise = testing::noisy_picture(211, 87, 7);
  const QImage photo = QImage(QString(TESSERA_SAMPLES) + "/demo_snake_600x450.png");
  ASSERT_FALSE(photo.isNull());
  made.push_back({"noise_rgb", noise.convertToFormat(QImage::Format_RGB32)});
  made.push_back({"noise_argb", noise.convertToFormat(QImage::Format_ARGB32)});
  made.push_back({"photo_rgb", photo.scaled(333, 250).convertToFormat(QImage::Format_RGB32)});
  QImage translucent = photo.scaled(123, 45).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < translucent.height(); ++y)
    for (int x = 0; x < translucent.width(); ++x) {
      const QRgb p = translucent.pixel(x, y);
      translucent.setPixel(x, y, qRgba(qRed(p), qGreen(p), qBlue(p), (x * 7 + y * 3) & 0xFF));
    }
  made.push_back({"photo_argb", translucent});
  made.push_back({"photo_grey", photo.scaled(301, 177).convertToFormat(QImage::Format_Grayscale8)});
  for (const Made& m : made)
    for (int quality : {0, 50, 100}) {
      const QByteArray bytes = testing::encoded(m.image, "PNG", quality);
      expect_taken_like_qt(Bytes(bytes.begin(), bytes.end()), std::string("qt_") + m.name + "_" + std::to_string(quality));
    }
  for (const char* sample : {"demo_snake_600x450.png", "rose_alpha_400x301.png"}) {
    QFile f(QString(TESSERA_SAMPLES) + "/" + sample);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    expect_taken_like_qt(Bytes(bytes.begin(), bytes.end()), std::string("sample_") + sample);
  }
}

// ---- pictures it declines -----------------------------------------------------

struct DeclinedCase {
  std::string name;
  std::function<Bytes()> make;
};

PngSpec plain_spec(int colour_type = 2) {
  PngSpec s;
  s.width = 37;
  s.height = 23;
  s.colour_type = colour_type;
  s.filter = filter_mode(6);
  s.idat_split = 200;
  return s;
}

Bytes plain_pixels(const PngSpec& s) {
  return content(s.width, s.height, channels_of(s.colour_type) * s.depth / 8, true, 5);
}

Bytes made(const PngSpec& s) { return png_file(s, plain_pixels(s)); }

std::size_t find(const Bytes& b, const char* text) {
  const auto it = std::search(b.begin(), b.end(), text, text + std::strlen(text));
  return static_cast<std::size_t>(it - b.begin());
}

// Sets the CRC of the chunk whose type starts at `type_at` right again.
void fix_crc(Bytes& b, std::size_t type_at) {
  const std::uint32_t length = std::uint32_t{b[type_at - 4]} << 24 | std::uint32_t{b[type_at - 3]} << 16 |
                               std::uint32_t{b[type_at - 2]} << 8 | b[type_at - 1];
  const auto crc = static_cast<std::uint32_t>(crc32(0, b.data() + type_at, length + 4));
  for (int i = 0; i < 4; ++i) b[type_at + 4 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

std::vector<DeclinedCase> declined_cases() {
  std::vector<DeclinedCase> cases;
  const auto add = [&](std::string name, std::function<Bytes()> make) { cases.push_back({std::move(name), std::move(make)}); };
  add("CutInPictureData", [] {
    Bytes b = made(plain_spec());
    b.resize(find(b, "IDAT") + 150);
    return b;
  });
  add("CutBeforeEnd", [] {
    Bytes b = made(plain_spec());
    b.resize(b.size() - 6);
    return b;
  });
  add("NoEnd", [] {
    Bytes b = made(plain_spec());
    b.resize(b.size() - 12);
    return b;
  });
  add("FlippedPictureByte", [] {
    Bytes b = made(plain_spec());
    b[find(b, "IDAT") + 60] ^= 0x10;
    return b;
  });
  add("FlippedPictureByteWithCrcMended", [] {
    Bytes b = made(plain_spec());
    const std::size_t at = find(b, "IDAT");
    b[at + 60] ^= 0x10;
    fix_crc(b, at);
    return b;
  });
  add("FlippedHeaderByte", [] {
    Bytes b = made(plain_spec());
    b[find(b, "IHDR") + 6] ^= 0x01;
    return b;
  });
  add("DataAfterTheStream", [] {
    PngSpec s = plain_spec();
    s.mangle_stream = [](Bytes& z) { z.insert(z.end(), {1, 2, 3}); };
    return made(s);
  });
  add("BadAdler", [] {
    PngSpec s = plain_spec();
    s.mangle_stream = [](Bytes& z) { z.back() ^= 0x40; };
    return made(s);
  });
  add("StreamOneRowShort", [] {
    // The header claims a row more than the data holds.
    Bytes b = made(plain_spec());
    const std::size_t ihdr = find(b, "IHDR");
    b[ihdr + 4 + 7] = static_cast<std::uint8_t>(plain_spec().height + 1);
    fix_crc(b, ihdr);
    return b;
  });
  add("StreamOneRowLong", [] {
    PngSpec s = plain_spec();
    s.height += 1;
    Bytes data = made(s);
    const std::size_t ihdr = find(data, "IHDR");
    data[ihdr + 4 + 7] = static_cast<std::uint8_t>(s.height - 1);
    fix_crc(data, ihdr);
    return data;
  });
  add("UnknownFilterType", [] {
    PngSpec s = plain_spec();
    s.filter = [](int y) { return y == 5 ? 5 : 1; };
    return made(s);
  });
  add("Transparency", [] {
    PngSpec s = plain_spec();
    s.before = {{"tRNS", {0, 10, 0, 20, 0, 30}}};
    return made(s);
  });
  add("TransparencyGrey", [] {
    PngSpec s = plain_spec(0);
    s.before = {{"tRNS", {0, 10}}};
    return made(s);
  });
  add("Orientation", [] {
    PngSpec s = plain_spec();
    s.before = {{"eXIf", {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0}}};
    return made(s);
  });
  add("InterlaceFlag", [] {
    PngSpec s = plain_spec();
    s.interlace = 1;
    return made(s);
  });
  add("SixteenBits", [] {
    PngSpec s = plain_spec();
    s.depth = 16;
    return made(s);
  });
  add("SixteenBitsRgba", [] {
    PngSpec s = plain_spec(6);
    s.depth = 16;
    return made(s);
  });
  add("Palette", [] {
    PngSpec s = plain_spec(3);
    Bytes palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)});
    s.before = {{"PLTE", palette}};
    return made(s);
  });
  add("UnknownCriticalChunk", [] {
    PngSpec s = plain_spec();
    s.before = {{"CRIt", {1, 2, 3}}};
    return made(s);
  });
  add("PictureDataSplitByAChunk", [] {
    Bytes b = made(plain_spec());
    // A text chunk between the first and second IDAT.
    const std::size_t first = find(b, "IDAT");
    const std::size_t length = std::size_t{b[first - 2]} << 8 | b[first - 1];
    Bytes text;
    chunk(text, "tEXt", {'a', 0, 'b'});
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(first + 4 + length + 4), text.begin(), text.end());
    return b;
  });
  add("AncillaryChunkWithBadCrc", [] {
    PngSpec s = plain_spec();
    s.before = {{"tEXt", {'a', 0, 'b'}}};
    Bytes b = made(s);
    b[find(b, "tEXt") + 6] ^= 1;
    return b;
  });
  add("ColourChunkAfterData", [] {
    PngSpec s = plain_spec();
    s.after = {{"gAMA", {0, 0, 0xB1, 0x8F}}};
    return made(s);
  });
  add("EndWithData", [] {
    Bytes b = made(plain_spec());
    b.resize(b.size() - 12);
    chunk(b, "IEND", {0});
    return b;
  });
  add("Animated", [] {
    PngSpec s = plain_spec();
    s.before = {{"acTL", {0, 0, 0, 1, 0, 0, 0, 0}}};
    return made(s);
  });
  return cases;
}

class PngDeclined : public ::testing::TestWithParam<DeclinedCase> {};

TEST_P(PngDeclined, GoesToQtAsBefore) { expect_declined(GetParam().make(), GetParam().name); }

INSTANTIATE_TEST_SUITE_P(Made, PngDeclined, ::testing::ValuesIn(declined_cases()),
                         [](const ::testing::TestParamInfo<DeclinedCase>& i) { return i.param.name; });

// ---- the row filters --------------------------------------------------------

// ---- whole pictures undone at once, straight to ARGB --------------------------

struct RowsCase {
  int bpp = 3;
  std::size_t width = 1;
  KernelSet kernels = KernelSet::Portable;
};

void PrintTo(const RowsCase& c, std::ostream* os) {
  *os << c.bpp << " bytes a pixel, " << c.width << " wide, " << testing::kernel_set_name(c.kernels);
}

std::string rows_case_name(const ::testing::TestParamInfo<RowsCase>& i) {
  return std::string(i.param.bpp == 3 ? "Rgb" : "Rgba") + "_Width" + std::to_string(i.param.width) + "_" +
         testing::kernel_set_name(i.param.kernels);
}

// Inflated rows with the given filter types and random bytes, 4 bytes to
// spare after the last.
Bytes random_rows(const std::vector<int>& types, std::size_t row_bytes, std::mt19937& rng) {
  Bytes raw;
  for (int t : types) {
    raw.push_back(static_cast<std::uint8_t>(t));
    for (std::size_t i = 0; i < row_bytes; ++i) raw.push_back(static_cast<std::uint8_t>(rng()));
  }
  raw.resize(raw.size() + 4, 0x77);
  return raw;
}

std::string types_text(const std::vector<int>& types) {
  static const char* names[] = {"None", "Sub", "Up", "Average", "Paeth"};
  std::string text;
  for (int t : types) text += std::string(text.empty() ? "" : ",") + (t >= 0 && t <= 4 ? names[t] : "Unknown");
  return text;
}

class PngRowsToArgb : public ::testing::TestWithParam<RowsCase> {
 protected:
  void SetUp() override {
    TESSERA_SKIP_UNLESS_RUNS_HERE(GetParam().kernels);
  }

  // The reading with the case's kernels against the one row by row (and its
  // rows against the rows the writer above filtered), in separate memory.
  void expect_like_row_by_row(const std::vector<int>& types) {
    const RowsCase& c = GetParam();
    const std::size_t row_bytes = c.width * static_cast<std::size_t>(c.bpp);
    const Bytes raw = random_rows(types, row_bytes, rng_);
    const std::size_t pixels = c.width * types.size();
    std::vector<std::uint32_t> fast(pixels + 8, 0xDEADBEEFu), by_row(pixels + 8, 0xDEADBEEFu);
    ASSERT_TRUE(detail::unfilter_rows_to_argb(raw.data(), c.width, types.size(), c.bpp, fast.data(), c.kernels))
        << types_text(types);
    ASSERT_TRUE(detail::unfilter_rows_to_argb_by_row(raw.data(), c.width, types.size(), c.bpp, by_row.data()));
    for (std::size_t i = 0; i < pixels + 8; ++i)
      ASSERT_EQ(fast[i], by_row[i]) << "row " << i / c.width << ", pixel " << i % c.width << ", filters "
                                      << types_text(types);
    // The reading row by row undoes what the writer above did.
    Bytes prev;
    for (std::size_t y = 0; y < types.size(); ++y) {
      Bytes row;
      for (std::size_t x = 0; x < c.width; ++x) {
        const std::uint32_t v = by_row[y * c.width + x];
        row.push_back(static_cast<std::uint8_t>(v >> 16));
        row.push_back(static_cast<std::uint8_t>(v >> 8));
        row.push_back(static_cast<std::uint8_t>(v));
        if (c.bpp == 4) row.push_back(static_cast<std::uint8_t>(v >> 24));
        else ASSERT_EQ(v >> 24, 0xFFu);
      }
      const Bytes again = filter_row(types[y], row.data(), y ? prev.data() : nullptr, row_bytes, c.bpp);
      ASSERT_TRUE(std::equal(again.begin(), again.end(), raw.begin() + static_cast<std::ptrdiff_t>(y * (row_bytes + 1))))
          << "row " << y << ", filters " << types_text(types);
      prev = row;
    }
  }

  std::mt19937 rng_{static_cast<unsigned>(GetParam().width * 16 + GetParam().bpp)};
};

// Every filter on the first row (the row above all zeros) and on the second,
// and every pair of filters on consecutive rows below a row of each kind.
TEST_P(PngRowsToArgb, EveryPairOfFiltersMatchesTheRowByRowReading) {
  for (int above = -1; above <= 4; ++above)
    for (int t0 = 0; t0 <= 4; ++t0)
      for (int t1 = 0; t1 <= 4; ++t1) {
        std::vector<int> types = {t0, t1};
        if (above >= 0) types.insert(types.begin(), above);
        expect_like_row_by_row(types);
      }
}

// Runs of Paeth rows of every length up to 19 (up to eight at a time, then what
// is left), after and before rows of the other kinds.
TEST_P(PngRowsToArgb, RunsOfPaethRowsMatchTheRowByRowReading) {
  for (int before = -1; before <= 4; ++before)
    for (int run = 1; run <= 19; ++run)
      for (int after : {-1, 1, 2, 3}) {
        std::vector<int> types;
        if (before >= 0) types.push_back(before);
        types.insert(types.end(), static_cast<std::size_t>(run), 4);
        if (after >= 0) types.push_back(after);
        expect_like_row_by_row(types);
      }
}

TEST_P(PngRowsToArgb, ScatteredFiltersMatchTheRowByRowReading) {
  std::mt19937 pick(5);
  for (int round = 0; round < 20; ++round) {
    std::vector<int> types(1 + pick() % 40);
    for (int& t : types) t = pick() % 3 == 0 ? static_cast<int>(pick() % 5) : 4;  // mostly Paeth, as in photos
    expect_like_row_by_row(types);
  }
}

// The rows in the picture's own memory, laid out as tightly as allowed: each
// row's pixels end exactly where the filtered row kRowsInFlight - 1 above it
// begins (or where the filtered rows begin).
TEST_P(PngRowsToArgb, SharedMemoryGivesTheSameRows) {
  const RowsCase& c = GetParam();
  const std::size_t row_bytes = c.width * static_cast<std::size_t>(c.bpp), stride = row_bytes + 1;
  const std::size_t lag = detail::kRowsInFlight - 1;
  std::mt19937 pick(9);
  for (std::size_t height : {1u, 2u, 5u, 8u, 23u}) {
    std::vector<int> types(height);
    for (int& t : types) t = pick() % 2 ? 4 : static_cast<int>(pick() % 5);
    const Bytes raw = random_rows(types, row_bytes, rng_);
    std::size_t start = 0;  // where the filtered rows go
    for (std::size_t r = 0; r < height; ++r) {
      const std::size_t end = 4 * c.width * (r + 1), before = r >= lag ? (r - lag) * stride : 0;
      if (end > before) start = std::max(start, end - before);
    }
    std::vector<std::uint32_t> shared((start + raw.size()) / 4 + 2, 0);
    auto* bytes = reinterpret_cast<std::uint8_t*>(shared.data());
    std::copy(raw.begin(), raw.end(), bytes + start);
    std::vector<std::uint32_t> by_row(c.width * height);
    ASSERT_TRUE(detail::unfilter_rows_to_argb_by_row(raw.data(), c.width, height, c.bpp, by_row.data()));
    ASSERT_TRUE(detail::unfilter_rows_to_argb(bytes + start, c.width, height, c.bpp, shared.data(), c.kernels));
    EXPECT_TRUE(std::equal(by_row.begin(), by_row.end(), shared.begin()))
        << height << " rows, filters " << types_text(types);
  }
}

TEST_P(PngRowsToArgb, UnknownFilterIsRefused) {
  const RowsCase& c = GetParam();
  for (const std::vector<int>& types : std::vector<std::vector<int>>{{5}, {4, 5}, {4, 4, 4, 9}, {1, 255, 4, 4}}) {
    const Bytes raw = random_rows(types, c.width * static_cast<std::size_t>(c.bpp), rng_);
    std::vector<std::uint32_t> out(c.width * types.size());
    EXPECT_FALSE(detail::unfilter_rows_to_argb(raw.data(), c.width, types.size(), c.bpp, out.data(), c.kernels))
        << types_text(types);
    EXPECT_FALSE(detail::unfilter_rows_to_argb_by_row(raw.data(), c.width, types.size(), c.bpp, out.data()));
  }
}

std::vector<RowsCase> rows_cases() {
  std::vector<RowsCase> cases;
  for (KernelSet kernels : testing::kEveryKernelSet)
    for (int bpp : {3, 4})
      for (std::size_t width : {1u, 2u, 3u, 4u, 7u, 8u, 9u, 33u, 301u}) cases.push_back({bpp, width, kernels});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Rows, PngRowsToArgb, ::testing::ValuesIn(rows_cases()), rows_case_name);

TEST(PngRowsToArgb, OtherPixelSizesAreLeftToTheRowByRowReading) {
  const Bytes raw(2 * 9 + 4, 0);
  std::vector<std::uint32_t> out(8);
  for (int bpp : {1, 2}) {
    EXPECT_FALSE(detail::unfilter_rows_to_argb(raw.data(), 4, 2, bpp, out.data())) << bpp;
    EXPECT_FALSE(detail::unfilter_rows_to_argb_by_row(raw.data(), 4, 2, bpp, out.data())) << bpp;
  }
}

}  // namespace
}  // namespace tessera
