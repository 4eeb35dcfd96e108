// Decoding pictures: formats, orientation, the first frame, and pictures that
// cannot be read.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "engine/input_reference.h"

namespace tessera {
namespace {

using testing::sample;

void write_bytes(const std::string& path, const QByteArray& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.constData(), bytes.size());
}

int red(std::uint32_t p) { return (p >> 16) & 255; }
int green(std::uint32_t p) { return (p >> 8) & 255; }
int blue(std::uint32_t p) { return p & 255; }
int alpha(std::uint32_t p) { return p >> 24; }

TEST(Decode, SamplePicturesInEveryFormat) {
  const DecodedPicture png = decode_picture(sample("demo_snake_600x450.png"));
  ASSERT_EQ(png.error, "");
  EXPECT_EQ(png.frame.width, 600);
  EXPECT_EQ(png.frame.height, 450);
  const DecodedPicture jpg = decode_picture(sample("demo_snake_600x450.jpg"));
  ASSERT_EQ(jpg.error, "");
  ASSERT_EQ(jpg.frame.width, 600);
  // The two files are one photo; JPEG decoding differs by a few levels.
  int worst = 0;
  for (int y = 0; y < 450; ++y)
    for (int x = 0; x < 600; ++x) {
      const std::uint32_t a = png.frame.pixel(x, y), b = jpg.frame.pixel(x, y);
      EXPECT_EQ(alpha(a), 255);
      EXPECT_EQ(alpha(b), 255);
      worst = std::max({worst, std::abs(red(a) - red(b)), std::abs(green(a) - green(b)), std::abs(blue(a) - blue(b))});
    }
  EXPECT_LE(worst, 3);

  // Straight alpha: the rose's transparent pixels are stored as (0,0,0,0) and
  // its soft edges keep their colours unmultiplied.
  const DecodedPicture rose = decode_picture(sample("rose_alpha_400x301.png"));
  ASSERT_EQ(rose.error, "");
  int clear = 0, partial = 0;
  for (int y = 0; y < 301; ++y)
    for (int x = 0; x < 400; ++x) {
      const std::uint32_t p = rose.frame.pixel(x, y);
      if (alpha(p) == 0) ++clear;
      if (alpha(p) > 0 && alpha(p) < 255) ++partial;
    }
  EXPECT_NEAR(clear / 120400.0, 0.52, 0.01);
  EXPECT_NEAR(partial / 120400.0, 0.02, 0.01);

  const DecodedPicture gif = decode_picture(sample("hand_transparent_20x22.gif"));
  ASSERT_EQ(gif.error, "");
  ASSERT_EQ(gif.frame.width, 20);
  ASSERT_EQ(gif.frame.height, 22);
  int transparent = 0;
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 20; ++x) transparent += alpha(gif.frame.pixel(x, y)) == 0;
  EXPECT_EQ(transparent, 201);
}

TEST(Decode, BmpKeepsExactPixels) {
  const std::string dir = testing::test_dir("decode_bmp");
  QImage im(3, 2, QImage::Format_RGB32);
  im.setPixel(0, 0, qRgb(1, 2, 3));
  im.setPixel(1, 0, qRgb(255, 0, 128));
  im.setPixel(2, 0, qRgb(0, 0, 0));
  im.setPixel(0, 1, qRgb(17, 34, 51));
  im.setPixel(1, 1, qRgb(200, 201, 202));
  im.setPixel(2, 1, qRgb(255, 255, 255));
  ASSERT_TRUE(im.save(QString::fromStdString(dir + "/p.bmp"), "BMP"));
  const DecodedPicture d = decode_picture(dir + "/p.bmp");
  ASSERT_EQ(d.error, "");
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(d.frame.pixel(x, y), im.pixel(x, y) | 0xFF000000u) << x << "," << y;
}

TEST(Decode, OrientationTagTurnsThePhotoUpright) {
  // 32 x 16, left half blue, right half red, tagged "rotate 90 degrees
  // clockwise to view": upright it is 16 x 32, blue above red.
  QImage im(32, 16, QImage::Format_RGB32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) im.setPixel(x, y, x < 16 ? qRgb(0, 0, 255) : qRgb(255, 0, 0));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(im.save(&buffer, "JPEG", 95));
  // APP1 "Exif": big-endian TIFF header, one IFD entry Orientation = 6.
  const unsigned char exif[] = {0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0x00, 0x2A,
                                0x00, 0x00, 0x00, 0x08, 0x00, 0x01, 0x01, 0x12, 0x00, 0x03, 0x00, 0x00,
                                0x00, 0x01, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  jpeg.insert(2, reinterpret_cast<const char*>(exif), sizeof exif);
  const std::string dir = testing::test_dir("decode_orientation");
  write_bytes(dir + "/tagged.jpg", jpeg);
  const DecodedPicture d = decode_picture(dir + "/tagged.jpg");
  ASSERT_EQ(d.error, "");
  ASSERT_EQ(d.frame.width, 16);
  ASSERT_EQ(d.frame.height, 32);
  EXPECT_GT(blue(d.frame.pixel(8, 4)), 200);
  EXPECT_LT(red(d.frame.pixel(8, 4)), 50);
  EXPECT_GT(red(d.frame.pixel(8, 28)), 200);
  EXPECT_LT(blue(d.frame.pixel(8, 28)), 50);
}

TEST(Decode, AnimatedGifGivesItsFirstFrame) {
  // Two 1 x 1 frames: palette index 0 (red), then index 1 (green).
  const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,
                               0xFF, 0, 0, 0, 0xFF, 0,                                         // palette
                               0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0,           // frame 1
                               0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0,           // frame 2
                               0x3B};
  const std::string dir = testing::test_dir("decode_gif");
  write_bytes(dir + "/two.gif", QByteArray(reinterpret_cast<const char*>(gif), sizeof gif));
  const DecodedPicture d = decode_picture(dir + "/two.gif");
  ASSERT_EQ(d.error, "");
  ASSERT_EQ(d.frame.width, 1);
  EXPECT_EQ(d.frame.pixel(0, 0), 0xFFFF0000u);
}

std::uint32_t crc32(const unsigned char* p, std::size_t n) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

// A real PNG whose header claims another size (the CRC is made to match).
QByteArray png_claiming(std::uint32_t width, std::uint32_t height) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImage pixels(4, 4, QImage::Format_RGB32);
  pixels.fill(qRgb(40, 90, 160));
  pixels.save(&buffer, "PNG");
  auto* b = reinterpret_cast<unsigned char*>(png.data());
  const std::uint32_t v[2] = {width, height};
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 4; ++k) b[16 + 4 * i + k] = static_cast<unsigned char>(v[i] >> (24 - 8 * k));
  const std::uint32_t crc = crc32(b + 12, 17);  // chunk type and data of IHDR
  for (int k = 0; k < 4; ++k) b[29 + k] = static_cast<unsigned char>(crc >> (24 - 8 * k));
  return png;
}

TEST(Decode, PicturesThatCannotBeReadSayWhy) {
  const std::string dir = testing::test_dir("decode_failures");
  EXPECT_EQ(decode_picture("").error, "no picture opened");
  EXPECT_EQ(decode_picture(dir + "/nothing-here.png").error, "file missing");
  EXPECT_EQ(decode_picture(dir).error, "not a file");

  write_bytes(dir + "/notes.png", "this is not a picture\n");
  EXPECT_EQ(decode_picture(dir + "/notes.png").error, "not a bmp, png, jpg or gif picture");
  write_bytes(dir + "/empty.png", QByteArray());
  EXPECT_EQ(decode_picture(dir + "/empty.png").error, "not a bmp, png, jpg or gif picture");

  std::ifstream in(sample("demo_snake_600x450.png"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Cut before the first row of pixels: nothing can be read.
  write_bytes(dir + "/cut.png", QByteArray::fromStdString(bytes.substr(0, 2000)));
  EXPECT_EQ(decode_picture(dir + "/cut.png").error, "damaged data: libpng error: Read Error");

  // A failed picture holds no pixels.
  const DecodedPicture d = decode_picture(dir + "/cut.png");
  EXPECT_EQ(d.frame.width, 0);
  EXPECT_EQ(d.frame.height, 0);
  EXPECT_EQ(d.frame.pixels, nullptr);
}

TEST(Decode, OversizedHeadersAreRefusedBeforeDecoding) {
  const std::string dir = testing::test_dir("decode_large");
  // The patched header itself is sound: at its own size it decodes.
  write_bytes(dir + "/same.png", png_claiming(4, 4));
  EXPECT_EQ(decode_picture(dir + "/same.png").error, "");
  // 100,000 x 100,000 would be 40 GB of pixels; 7072 x 7072 is just above
  // 50 megapixels. None of these may be allocated.
  write_bytes(dir + "/huge.png", png_claiming(100000, 100000));
  EXPECT_EQ(decode_picture(dir + "/huge.png").error, "too large");
  write_bytes(dir + "/over.png", png_claiming(7072, 7072));
  EXPECT_EQ(decode_picture(dir + "/over.png").error, "too large");
  write_bytes(dir + "/wide.png", png_claiming(60000, 1000));
  EXPECT_EQ(decode_picture(dir + "/wide.png").error, "too large");
}

TEST(Decode, UnreadableFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string dir = testing::test_dir("decode_unreadable");
  std::filesystem::copy_file(sample("hand_transparent_20x22.gif"), dir + "/locked.gif");
  std::filesystem::permissions(dir + "/locked.gif", std::filesystem::perms::none);
  EXPECT_EQ(decode_picture(dir + "/locked.gif").error, "file unreadable");
}

}  // namespace
}  // namespace tessera
