// The JPEG decoder that needs no Qt: every picture it takes must have exactly
// the pixels Qt's reader gives on the Qt path (read without turning, made
// straight ARGB), and every picture it declines must decode as before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "pictures/jpeg/jpeg_exif.h"
#include "pictures/native_decode.h"
#include "engine/input_reference.h"
#include "engine/picture_files.h"
#include "tessera/decoder_messages.h"
#include "pictures/decode.h"
#include "tessera/picture_header.h"

namespace tessera {
namespace {

// Qt's reading as the Qt path does it, with what Qt said on the way.
struct QtReading {
  QImage image;  // Format_ARGB32, not turned; null when Qt could not read it
  QImageIOHandler::Transformations transformation;
  std::vector<std::string> messages;
};

QtReading read_with_qt(const QByteArray& bytes) {
  QtReading r;
  QByteArray copy = bytes;
  QBuffer device(&copy);
  device.open(QIODevice::ReadOnly);
  DecoderMessages messages;
  QImageReader reader(&device, "jpeg");
  reader.setAutoDetectImageFormat(false);
  reader.setAutoTransform(false);
  QImage image;
  if (reader.read(&image)) {
    image.convertTo(QImage::Format_ARGB32);
    r.image = image;
  }
  r.transformation = reader.transformation();
  for (const DecoderMessage& m : messages.messages()) r.messages.push_back(m.text);
  return r;
}

QByteArray read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::optional<DecodedPicture> read_natively(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(std::filesystem::file_size(path));
  const PictureHeader header = inspect_picture(fd, size);
  std::optional<DecodedPicture> out = detail::decode_jpeg_natively(fd, size, header);
  ::close(fd);
  return out;
}

std::optional<DecodedPicture> read_natively(const QByteArray& bytes, const std::string& name) {
  const std::string path = testing::test_dir("jpeg_native_" + name) + "/p.jpg";
  testing::write_file(path, bytes);
  return read_natively(path);
}

// Counts the pixels that differ and names the first.
::testing::AssertionResult same_pixels(const Frame& frame, const QImage& expected) {
  if (frame.width != expected.width() || frame.height != expected.height())
    return ::testing::AssertionFailure() << "size " << frame.width << "x" << frame.height << ", Qt "
                                         << expected.width() << "x" << expected.height();
  long long differing = 0;
  std::string first;
  for (int y = 0; y < frame.height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(expected.constScanLine(y));
    for (int x = 0; x < frame.width; ++x)
      if (frame.pixel(x, y) != row[x] && differing++ == 0) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "(%d,%d): %08X, Qt %08X", x, y, frame.pixel(x, y), row[x]);
        first = buf;
      }
  }
  if (differing) return ::testing::AssertionFailure() << differing << " pixels differ, first " << first;
  return ::testing::AssertionSuccess();
}

// Taken natively, with Qt's pixels, and Qt said nothing about the file.
void expect_taken_as_qt_reads_it(const QByteArray& bytes, const std::string& name) {
  const QtReading qt = read_with_qt(bytes);
  ASSERT_FALSE(qt.image.isNull()) << "Qt cannot read the test picture";
  ASSERT_TRUE(qt.messages.empty()) << "Qt complains about the test picture: " << qt.messages.front();
  ASSERT_EQ(qt.transformation, QImageIOHandler::TransformationNone);
  const std::optional<DecodedPicture> native = read_natively(bytes, name);
  ASSERT_TRUE(native.has_value()) << "declined";
  EXPECT_EQ(native->error, "");
  EXPECT_EQ(native->damage, "");
  EXPECT_TRUE(native->owner != nullptr);
  EXPECT_TRUE(same_pixels(native->frame, qt.image));
}

// ---------------------------------------------------------------------------
// Pictures Qt's own writer makes.

struct Written {
  std::string name;
  int width, height, quality;
  bool progressive, optimized, grey;
};

std::vector<Written> written_cases() {
  std::vector<Written> out;
  const struct {
    int w, h;
  } sizes[] = {{1, 1}, {7, 13}, {1023, 3}, {3, 257}, {61, 47}, {64, 64}, {300, 199}};
  const int qualities[] = {5, 25, 49, 50, 75, 90, 100};
  for (const auto& s : sizes)
    for (int q : qualities)
      for (int variant = 0; variant < 4; ++variant) {
        Written w{"", s.w, s.h, q, variant == 1, variant == 2, variant == 3};
        static const char* kinds[] = {"Plain", "Progressive", "Optimized", "Grey"};
        w.name = std::string(kinds[variant]) + "_" + std::to_string(s.w) + "x" + std::to_string(s.h) + "_Q" +
                 std::to_string(q);
        out.push_back(w);
      }
  // Progressive and optimized together, in colour and grey.
  out.push_back({"ProgressiveOptimized_61x47_Q80", 61, 47, 80, true, true, false});
  out.push_back({"ProgressiveOptimizedGrey_61x47_Q80", 61, 47, 80, true, true, true});
  return out;
}

class QtWrittenJpeg : public ::testing::TestWithParam<Written> {};

TEST_P(QtWrittenJpeg, TakenWithQtsPixels) {
  const Written& c = GetParam();
  QImage image = testing::noisy_picture(c.width, c.height, static_cast<unsigned>(c.width * 31 + c.height));
  if (c.grey) image = image.convertToFormat(QImage::Format_Grayscale8);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(c.quality);
  writer.setProgressiveScanWrite(c.progressive);
  writer.setOptimizedWrite(c.optimized);
  ASSERT_TRUE(writer.write(image));
  expect_taken_as_qt_reads_it(bytes, c.name);
}

INSTANTIATE_TEST_SUITE_P(JpegNative, QtWrittenJpeg, ::testing::ValuesIn(written_cases()),
                         [](const ::testing::TestParamInfo<Written>& i) { return i.param.name; });

// A colour profile (APP2) and a comment (COM) leave the pixels alone.
TEST(JpegNative, ProfileAndCommentAreTaken) {
  QImage image = testing::noisy_picture(33, 21, 8);
  image.setColorSpace(QColorSpace::SRgb);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setText("Description", "a comment");
  ASSERT_TRUE(writer.write(image));
  ASSERT_TRUE(bytes.contains("ICC_PROFILE"));
  ASSERT_TRUE(bytes.contains(QByteArray("\xFF\xFE", 2)));
  expect_taken_as_qt_reads_it(bytes, "profile");
}

// ---------------------------------------------------------------------------
// Files made with libjpeg's own tools (cjpeg, jpegtran): every chroma
// subsampling, restart intervals, arithmetic coding, progressive scans,
// RGB and grey colour spaces, the lowest and highest quality.

std::string data_dir() { return std::string(TESSERA_SAMPLES) + "/../tests/engine/data/jpeg"; }

std::vector<std::string> fixture_names() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(data_dir())) {
    const std::string n = e.path().stem().string();
    if (e.path().extension() == ".jpg" && n != "cmyk") names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ToolWrittenJpeg : public ::testing::TestWithParam<std::string> {};

TEST_P(ToolWrittenJpeg, TakenWithQtsPixels) {
  const QByteArray bytes = read_file(data_dir() + "/" + GetParam() + ".jpg");
  ASSERT_FALSE(bytes.isEmpty());
  expect_taken_as_qt_reads_it(bytes, "tool_" + GetParam());
}

INSTANTIATE_TEST_SUITE_P(JpegNative, ToolWrittenJpeg, ::testing::ValuesIn(fixture_names()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

TEST(JpegNative, FixturesCoverTheVariants) {
  // The list above must not go empty unnoticed (a moved folder).
  EXPECT_GE(fixture_names().size(), 18u);
}

TEST(JpegNative, BundledSampleTakenWithQtsPixels) {
  for (const auto& e : std::filesystem::directory_iterator(TESSERA_SAMPLES)) {
    if (e.path().extension() != ".jpg") continue;
    SCOPED_TRACE(e.path().string());
    expect_taken_as_qt_reads_it(read_file(e.path().string()), "sample_" + e.path().stem().string());
  }
}

// Through decode_picture too, the natively read picture is Qt's.
TEST(JpegNative, DecodePictureGivesQtsPixels) {
  const std::string path = testing::sample("demo_snake_600x450.jpg");
  const QtReading qt = read_with_qt(read_file(path));
  const DecodedPicture d = decode_picture(path);
  ASSERT_EQ(d.error, "");
  EXPECT_EQ(d.damage, "");
  EXPECT_TRUE(same_pixels(d.frame, qt.image));
}

// ---------------------------------------------------------------------------
// Exif data.

QByteArray with_app1(const QByteArray& jpeg, const QByteArray& payload) {
  QByteArray seg("\xFF\xE1", 2);
  const int len = static_cast<int>(payload.size()) + 2;
  seg.append(static_cast<char>(len >> 8));
  seg.append(static_cast<char>(len & 0xFF));
  seg.append(payload);
  QByteArray out = jpeg;
  out.insert(2, seg);
  return out;
}

// Exif with one directory holding one orientation entry.
QByteArray exif_orientation(unsigned value, bool little) {
  const unsigned char be[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08, 0x00, 0x01,
                              0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, static_cast<unsigned char>(value),
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  const unsigned char le[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x00,
                              0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, static_cast<unsigned char>(value), 0x00,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  return little ? QByteArray(reinterpret_cast<const char*>(le), sizeof le)
                : QByteArray(reinterpret_cast<const char*>(be), sizeof be);
}

// Exif with one directory of two entries, none of them the orientation.
QByteArray exif_without_orientation() {
  const unsigned char d[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,
                             0x00, 0x02, 0x01, 0x0F, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 'A', 'B', 'C', 0,
                             0x01, 0x10, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 'X', 'Y', 'Z', 0,
                             0x00, 0x00, 0x00, 0x00};
  return QByteArray(reinterpret_cast<const char*>(d), sizeof d);
}

QByteArray plain_jpeg() { return testing::encoded(testing::noisy_picture(24, 10, 3), "JPEG", 95); }

TEST(JpegNative, ExifThatKeepsThePictureAsStoredIsTaken) {
  for (bool little : {false, true}) {
    SCOPED_TRACE(little ? "little-endian" : "big-endian");
    expect_taken_as_qt_reads_it(with_app1(plain_jpeg(), exif_orientation(1, little)), "exif1");
  }
  expect_taken_as_qt_reads_it(with_app1(plain_jpeg(), exif_without_orientation()), "exif_none");
  // XMP in APP1 is no Exif data at all.
  expect_taken_as_qt_reads_it(with_app1(plain_jpeg(), QByteArray("http://ns.adobe.com/xap/1.0/\0<x/>", 34)), "xmp");
}

TEST(JpegNative, ExifThatTurnsThePictureIsDeclined) {
  for (unsigned v = 2; v <= 8; ++v)
    for (bool little : {false, true}) {
      const QByteArray bytes = with_app1(plain_jpeg(), exif_orientation(v, little));
      EXPECT_NE(read_with_qt(bytes).transformation, QImageIOHandler::TransformationNone) << v;
      EXPECT_FALSE(read_natively(bytes, "exif_turn").has_value()) << "orientation " << v;
    }
}

TEST(JpegNative, ExifOrientationIsReadAsQtReadsIt) {
  // A value out of range, a wrong type, data cut inside the directory: all
  // declined, whatever Qt makes of them.
  QByteArray bad_value = exif_orientation(9, false);
  EXPECT_FALSE(detail::exif_keeps_orientation(reinterpret_cast<const unsigned char*>(bad_value.constData()),
                                              static_cast<std::size_t>(bad_value.size())));
  QByteArray wrong_type = exif_orientation(1, false);
  wrong_type[19] = 4;  // LONG instead of SHORT
  EXPECT_FALSE(detail::exif_keeps_orientation(reinterpret_cast<const unsigned char*>(wrong_type.constData()),
                                              static_cast<std::size_t>(wrong_type.size())));
  const QByteArray cut = exif_orientation(1, false).left(20);
  EXPECT_FALSE(detail::exif_keeps_orientation(reinterpret_cast<const unsigned char*>(cut.constData()),
                                              static_cast<std::size_t>(cut.size())));
  // A directory offset beyond the data: the reader gives up and leaves the
  // picture alone, and so is it taken.
  QByteArray far = exif_orientation(6, false);
  far[13] = 0x7F;
  EXPECT_TRUE(detail::exif_keeps_orientation(reinterpret_cast<const unsigned char*>(far.constData()),
                                             static_cast<std::size_t>(far.size())));
  EXPECT_EQ(read_with_qt(with_app1(plain_jpeg(), far)).transformation, QImageIOHandler::TransformationNone);
  // Two APP1 segments are joined before the orientation is looked for: an
  // XMP segment first hides the Exif data behind it from Qt.
  const QByteArray hidden =
      with_app1(with_app1(plain_jpeg(), exif_orientation(6, false)), QByteArray("http://ns.adobe.com/xap/1.0/", 28));
  EXPECT_EQ(read_with_qt(hidden).transformation, QImageIOHandler::TransformationNone);
  expect_taken_as_qt_reads_it(hidden, "hidden_exif");
}

// ---------------------------------------------------------------------------
// Declined files, and what decode_picture makes of them: the Qt path's
// answer, as before.

struct Declined {
  std::string name;
  QByteArray (*make)();
  bool damaged;  // the Qt path reports damage or an error
};

QByteArray cut_in_half() {
  const QByteArray j = testing::encoded(testing::noisy_picture(80, 60, 9), "JPEG", 90);
  return j.left(j.size() / 2);
}

QByteArray corrupt_entropy_data() {
  QByteArray j = testing::encoded(testing::noisy_picture(80, 60, 9), "JPEG", 90);
  const qsizetype sos = j.indexOf(QByteArray("\xFF\xDA", 2));
  std::mt19937 rng(5);
  for (qsizetype i = sos + 40; i < j.size() - 4; i += 7) {
    char b = static_cast<char>(rng() & 0xFF);
    if (b == '\xFF') b = 0x7F;
    j[i] = b;
  }
  return j;
}

QByteArray without_end_marker() {
  const QByteArray j = testing::encoded(testing::noisy_picture(40, 30, 4), "JPEG", 90);
  return j.left(j.size() - 2);
}

QByteArray junk_before_a_marker() {
  QByteArray j = testing::encoded(testing::noisy_picture(40, 30, 4), "JPEG", 90);
  const qsizetype dqt = j.indexOf(QByteArray("\xFF\xDB", 2));
  j.insert(dqt, "junk");
  return j;
}

QByteArray cmyk() { return read_file(data_dir() + "/cmyk.jpg"); }
QByteArray rotated() { return with_app1(plain_jpeg(), exif_orientation(6, false)); }
QByteArray mirrored() { return with_app1(plain_jpeg(), exif_orientation(2, true)); }

class DeclinedJpeg : public ::testing::TestWithParam<Declined> {};

TEST_P(DeclinedJpeg, GoesToQtsReaderAsBefore) {
  const Declined& c = GetParam();
  const QByteArray bytes = c.make();
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_FALSE(read_natively(bytes, "declined_" + c.name).has_value());

  const std::string path = testing::test_dir("jpeg_declined_" + c.name) + "/p.jpg";
  testing::write_file(path, bytes);
  const DecodedPicture d = decode_picture(path);
  if (c.damaged) {
    EXPECT_TRUE(!d.damage.empty() || !d.error.empty()) << "read as sound";
    return;
  }
  // Sound files the native decoder leaves alone: exactly Qt's picture,
  // turned as Qt turns it.
  ASSERT_EQ(d.error, "");
  EXPECT_EQ(d.damage, "");
  QByteArray copy = bytes;
  QBuffer device(&copy);
  device.open(QIODevice::ReadOnly);
  QImageReader reader(&device, "jpeg");
  reader.setAutoTransform(true);
  QImage expected = reader.read();
  ASSERT_FALSE(expected.isNull());
  expected.convertTo(QImage::Format_ARGB32);
  EXPECT_TRUE(same_pixels(d.frame, expected));
}

INSTANTIATE_TEST_SUITE_P(JpegNative, DeclinedJpeg,
                         ::testing::Values(Declined{"CutInHalf", cut_in_half, true},
                                           Declined{"CorruptEntropyData", corrupt_entropy_data, true},
                                           Declined{"JunkBeforeAMarker", junk_before_a_marker, true},
                                           Declined{"WithoutEndMarker", without_end_marker, false},
                                           Declined{"Cmyk", cmyk, false},
                                           Declined{"ExifRotated", rotated, false},
                                           Declined{"ExifMirrored", mirrored, false}),
                         [](const ::testing::TestParamInfo<Declined>& i) { return i.param.name; });

TEST(JpegNative, OtherKindsAreNotForIt) {
  const QByteArray png = testing::encoded(testing::noisy_picture(8, 8, 1), "PNG");
  EXPECT_FALSE(read_natively(png, "png").has_value());
}

}  // namespace
}  // namespace tessera
