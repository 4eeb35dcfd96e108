// Damaged and hostile picture files: the same pixels from the same file every
// time, pixels never delivered as transparent black, the damage told, the
// decoders' own messages kept off standard error, and the true reason for a
// picture refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImageReader>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "engine/input_reference.h"
#include "engine/picture_files.h"
#include "support/sanitizers.h"

namespace tessera {
namespace {

using testing::sample;

std::vector<std::uint32_t> pixels_of(const DecodedPicture& d) {
  const std::size_t n = static_cast<std::size_t>(d.frame.width) * static_cast<std::size_t>(d.frame.height);
  return d.frame.pixels ? std::vector<std::uint32_t>(d.frame.pixels, d.frame.pixels + n) : std::vector<std::uint32_t>{};
}

// Leaves freed heap blocks of many sizes full of a pattern, where a decoder
// that forgets pixels would find it.
void dirty_the_heap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 64 << 20);  // keep large blocks in the heap, as tessera-convert does
#endif
  for (std::size_t size = 1024; size <= (1u << 20); size *= 2) {
    std::vector<void*> blocks;
    for (int i = 0; i < 4; ++i) {
      void* p = std::malloc(size);
      std::memset(p, 0xA5, size);
      blocks.push_back(p);
    }
    for (void* p : blocks) std::free(p);
  }
}

// Everything written to standard error while `f` runs.
std::string standard_error_of(const std::function<void()>& f) {
  std::fflush(stderr);
  char name[] = "/tmp/tessera_stderr_XXXXXX";
  const int fd = ::mkstemp(name);
  const int saved = ::dup(2);
  ::dup2(fd, 2);
  f();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::ifstream in(name, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ::close(fd);
  ::unlink(name);
  return text;
}

struct Damaged {
  const char* name;
  std::function<QByteArray()> make;  // the damaged file's bytes
  const char* file;                  // its name
  const char* reason;                // part of the damage reason
};

// Large enough for several chunks of PNG data, small enough that its pixels
// come from the heap that dirty_the_heap() leaves dirty.
constexpr int kW = 256, kH = 160;

void PrintTo(const Damaged& d, std::ostream* os) { *os << d.name; }

const QImage& picture() {
  static const QImage im = testing::noisy_picture(kW, kH, 11);
  return im;
}

QByteArray cut(const QByteArray& bytes, double fraction) {
  return bytes.left(static_cast<qsizetype>(static_cast<double>(bytes.size()) * fraction));
}

// The JPEG cut a few bytes after its scan header.
QByteArray jpeg_cut_after_scan_header() {
  const QByteArray jpeg = testing::encoded(picture(), "JPEG", 90);
  const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
  const int length = (static_cast<unsigned char>(jpeg[sos + 2]) << 8) | static_cast<unsigned char>(jpeg[sos + 3]);
  return jpeg.left(sos + 2 + length + 8);
}

const std::vector<Damaged>& damaged_files() {
  static const std::vector<Damaged> files = {
      {"Bmp24CutInHalf", [] { return cut(testing::bmp_bytes(picture(), 24), 0.5); }, "cut24.bmp",
       "pixel data cut short (61413 of 122880 bytes)"},
      {"Bmp24TopDownCut", [] { return cut(testing::bmp_bytes(picture(), 24, true), 0.7); }, "cuttop.bmp",
       "pixel data cut short"},
      {"Bmp8Cut", [] { return cut(testing::bmp_bytes(picture(), 8), 0.6); }, "cut8.bmp", "pixel data cut short"},
      {"Bmp1Cut", [] { return testing::bmp_bytes(picture(), 1).left(62 + 32 * 30 + 5); }, "cut1.bmp",
       "pixel data cut short (965 of 5120 bytes)"},
      {"PngCutInHalf", [] { return cut(testing::encoded(picture(), "PNG"), 0.5); }, "cut.png", "libpng error: "},
      {"GifCutInHalf", [] { return cut(testing::gif_bytes(picture()), 0.5); }, "cut.gif", "first frame cut short"},
      {"JpegCutInHalf", [] { return cut(testing::encoded(picture(), "JPEG", 90), 0.5); }, "cut.jpg", "JPEG"},
      {"JpegCutAfterItsScanHeader", jpeg_cut_after_scan_header, "scan.jpg", "JPEG"},
  };
  return files;
}

class DamagedPicture : public ::testing::TestWithParam<Damaged> {
 protected:
  std::string write() {
    const std::string dir = testing::test_dir(std::string("damaged_") + GetParam().name);
    const std::string path = dir + "/" + GetParam().file;
    testing::write_file(path, GetParam().make());
    return path;
  }
};

TEST_P(DamagedPicture, GivesTheSamePixelsEveryTimeAndSaysWhy) {
  const std::string path = write();
  const DecodedPicture first = decode_picture(path);
  ASSERT_EQ(first.error, "") << "part of the picture can be read";
  EXPECT_EQ(first.frame.width, kW);
  EXPECT_EQ(first.frame.height, kH);
  EXPECT_NE(first.damage.find(GetParam().reason), std::string::npos) << first.damage;
  const std::vector<std::uint32_t> pixels = pixels_of(first);
  for (int round = 0; round < 3; ++round) {
    dirty_the_heap();
    const DecodedPicture again = decode_picture(path);
    EXPECT_EQ(again.damage, first.damage);
    EXPECT_TRUE(pixels_of(again) == pixels) << "round " << round;
  }
}

// The rows before the cut are the picture's, the rest is transparent black.
TEST_P(DamagedPicture, RowsNotInTheFileAreTransparentBlack) {
  const std::string file = GetParam().file;
  const DecodedPicture d = decode_picture(write());
  ASSERT_EQ(d.error, "");
  if (file.find(".jpg") != std::string::npos) {
    // The JPEG decoder makes up every row it could not read: all are delivered.
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(d.frame.pixel(x, y) >> 24, 255u) << x << "," << y;
    return;
  }
  // BMPs store the bottom row first unless told otherwise; the others the top row.
  const bool top_down = file == "cuttop.bmp" || file.find(".bmp") == std::string::npos;
  const int first_row = top_down ? 0 : kH - 1;  // the row stored first
  const int last_row = top_down ? kH - 1 : 0;   // the row stored last, beyond every cut
  for (int x = 0; x < kW; ++x) EXPECT_EQ(d.frame.pixel(x, last_row), 0u) << x;
  if (file == "cut8.bmp" || file == "cut1.bmp" || file == "cut.gif") {
    // Indexed: what was stored first is there.
    EXPECT_NE(d.frame.pixel(0, first_row) >> 24, 0u);
  } else {
    for (int x = 0; x < kW; ++x) EXPECT_EQ(d.frame.pixel(x, first_row), picture().pixel(x, first_row) | 0xFF000000u);
  }
}

TEST_P(DamagedPicture, DecoderMessagesNeverReachStandardError) {
  const std::string path = write();
  DecodedPicture d;
  const std::string printed = standard_error_of([&] { d = decode_picture(path); });
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(d.damage.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedPicture, ::testing::ValuesIn(damaged_files()),
                         [](const ::testing::TestParamInfo<Damaged>& info) { return std::string(info.param.name); });

// Several threads decoding damaged files at once each get their own file's
// reasons, and nothing is printed.
TEST(DamagedPictures, ReasonsStayWithTheirPictureAcrossThreads) {
  const std::string dir = testing::test_dir("damaged_threads");
  std::vector<std::string> paths;
  std::vector<std::string> alone;
  for (const Damaged& f : damaged_files()) {
    paths.push_back(dir + "/" + f.file);
    testing::write_file(paths.back(), f.make());
    alone.push_back(decode_picture(paths.back()).damage);
  }
  std::vector<std::vector<std::string>> seen(4);
  const std::string printed = standard_error_of([&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int round = 0; round < 5; ++round)
          for (std::size_t i = 0; i < paths.size(); ++i) seen[t].push_back(decode_picture(paths[(i + t) % paths.size()]).damage);
      });
    for (auto& th : threads) th.join();
  });
  EXPECT_EQ(printed, "");
  for (int t = 0; t < 4; ++t)
    for (std::size_t k = 0; k < seen[t].size(); ++k) EXPECT_EQ(seen[t][k], alone[(k % paths.size() + t) % paths.size()]);
}

TEST(DamagedPictures, NothingReadableIsAPictureThatCouldNotBeRead) {
  const std::string dir = testing::test_dir("damaged_nothing");
  // The pixel data would start past the end of the file.
  QByteArray far = testing::bmp_bytes(picture(), 24, false, 100000);
  far.truncate(54 + 40);
  testing::write_file(dir + "/far.bmp", far);
  const DecodedPicture d = decode_picture(dir + "/far.bmp");
  EXPECT_EQ(d.error, "damaged data: pixel data starts past the end of the file");
  EXPECT_EQ(d.frame.pixels, nullptr);
  EXPECT_EQ(d.damage, "");

  // Headers only: the PNG stops inside its first chunk of pixel data.
  const QByteArray png = testing::encoded(picture(), "PNG");
  testing::write_file(dir + "/header.png", png.left(png.indexOf("IDAT") + 20));
  const DecodedPicture h = decode_picture(dir + "/header.png");
  EXPECT_EQ(h.error.rfind("damaged data: libpng error: ", 0), 0u) << h.error;
  EXPECT_EQ(h.frame.pixels, nullptr);

  // A GIF that ends before its first frame.
  const QByteArray gif = testing::gif_bytes(picture());
  testing::write_file(dir + "/screen.gif", gif.left(13 + 768));
  EXPECT_EQ(decode_picture(dir + "/screen.gif").error, "damaged data: file ends before its first frame");
}

// A whole file, and the same file with any ending.
TEST(DamagedPictures, CompleteFilesAreNotDamaged) {
  const std::string dir = testing::test_dir("damaged_none");
  const struct {
    const char* file;
    QByteArray bytes;
  } files[] = {{"p24.bmp", testing::bmp_bytes(picture(), 24)},   {"p8.bmp", testing::bmp_bytes(picture(), 8)},
               {"p1.bmp", testing::bmp_bytes(picture(), 1)},     {"top.bmp", testing::bmp_bytes(picture(), 24, true)},
               {"p.gif", testing::gif_bytes(picture())},         {"p.png", testing::encoded(picture(), "PNG")},
               {"p.jpg", testing::encoded(picture(), "JPEG", 90)}};
  for (const auto& f : files) {
    testing::write_file(dir + "/" + f.file, f.bytes);
    const DecodedPicture d = decode_picture(dir + "/" + f.file);
    EXPECT_EQ(d.error, "") << f.file;
    EXPECT_EQ(d.damage, "") << f.file;
  }
  // The hand-made GIF and BMPs hold what was put in.
  const DecodedPicture gif = decode_picture(dir + "/p.gif");
  const DecodedPicture bmp = decode_picture(dir + "/p24.bmp");
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const int r = qRed(picture().pixel(x, y));
      ASSERT_EQ(gif.frame.pixel(x, y), testing::argb(r, r, r)) << x << "," << y;
      ASSERT_EQ(bmp.frame.pixel(x, y), picture().pixel(x, y) | 0xFF000000u) << x << "," << y;
    }
}

// Warnings about metadata the converter does not use leave the picture whole.
TEST(DamagedPictures, WarningsAboutUnusedMetadataAreNoDamage) {
  const std::string dir = testing::test_dir("damaged_metadata");
  const QByteArray png = testing::encoded(picture(), "PNG");
  const struct {
    const char* file;
    QByteArray bytes;
  } files[] = {{"gamma.png", testing::with_png_chunk(png, "gAMA", QByteArray(4, '\0'))},
               {"phys.png", testing::with_png_chunk(png, "pHYs", QByteArray(4, '\0'))}};
  testing::write_file(dir + "/plain.png", png);
  const DecodedPicture plain = decode_picture(dir + "/plain.png");
  for (const auto& f : files) {
    testing::write_file(dir + "/" + f.file, f.bytes);
    DecodedPicture d;
    EXPECT_EQ(standard_error_of([&] { d = decode_picture(dir + "/" + f.file); }), "") << f.file;
    EXPECT_EQ(d.error, "") << f.file;
    EXPECT_EQ(d.damage, "") << f.file;
    EXPECT_TRUE(pixels_of(d) == pixels_of(plain)) << f.file;
  }
  // A damaged critical chunk is damage.
  QByteArray broken = testing::with_png_chunk(png, "gAMA", QByteArray(4, '\0'));
  const qsizetype idat = broken.indexOf("IDAT") + 4 + 20;  // inside the first chunk of pixel data
  broken[idat] = static_cast<char>(broken[idat] ^ 0x55);
  testing::write_file(dir + "/broken.png", broken);
  const DecodedPicture b = decode_picture(dir + "/broken.png");
  EXPECT_TRUE(!b.error.empty() || !b.damage.empty());
  EXPECT_EQ((b.error + b.damage).find("gAMA"), std::string::npos) << b.error << b.damage;
}

// ---- names, formats and reasons ---------------------------------------------

TEST(Reading, NamesThatAreNotUtf8Open) {
  const std::string dir = testing::test_dir("decode_names");
  const std::string plain = dir + "/plain.png";
  std::filesystem::copy_file(sample("rose_alpha_400x301.png"), plain);
  const DecodedPicture expected = decode_picture(plain);
  for (const std::string name : {"rose\xff.png", "\xe9t\xe9.png", "a\x80\x81.gif.png"}) {
    const std::string path = dir + "/" + name;
    std::filesystem::copy_file(plain, path);
    const DecodedPicture d = decode_picture(path);
    EXPECT_EQ(d.error, "") << name;
    EXPECT_TRUE(pixels_of(d) == pixels_of(expected)) << name;
  }
}

// The first bytes choose the reader, whatever the name says; bytes of none of
// the four formats still go through Qt's own detection.
TEST(Reading, ContentChoosesTheReader) {
  const std::string dir = testing::test_dir("decode_content");
  const struct {
    const char* sample;
    const char* as;
  } renamed[] = {{"demo_snake_600x450.png", "snake.jpg"},
                 {"demo_snake_600x450.jpg", "snake.bmp"},
                 {"hand_transparent_20x22.gif", "hand.png"},
                 {"rose_alpha_400x301.png", "rose"}};
  for (const auto& r : renamed) {
    std::filesystem::copy_file(sample(r.sample), dir + "/" + r.as);
    const DecodedPicture d = decode_picture(dir + "/" + r.as);
    EXPECT_EQ(d.error, "") << r.as;
    EXPECT_TRUE(pixels_of(d) == pixels_of(decode_picture(sample(r.sample)))) << r.as;
  }
  testing::write_file(dir + "/p.gif.bmp", testing::gif_bytes(picture()));
  EXPECT_EQ(decode_picture(dir + "/p.gif.bmp").error, "");

  // PPM is none of the four.
  ASSERT_TRUE(picture().save(QString::fromStdString(dir + "/p.ppm"), "PPM"));
  const DecodedPicture ppm = decode_picture(dir + "/p.ppm");
  ASSERT_EQ(ppm.error, "");
  EXPECT_EQ(ppm.frame.pixel(5, 7), picture().pixel(5, 7) | 0xFF000000u);
}

// Orientation tags 1 to 8 turn the picture exactly as Qt's readers do.
TEST(Reading, EveryOrientationAsQtTurnsIt) {
  const std::string dir = testing::test_dir("decode_orient");
  QImage im = testing::noisy_picture(24, 10, 3);
  const QByteArray plain = testing::encoded(im, "JPEG", 95);
  for (unsigned char tag = 1; tag <= 8; ++tag) {
    const unsigned char exif[] = {0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0x00, 0x2A,
                                  0x00, 0x00, 0x00, 0x08, 0x00, 0x01, 0x01, 0x12, 0x00, 0x03, 0x00, 0x00,
                                  0x00, 0x01, 0x00, tag,  0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    QByteArray jpeg = plain;
    jpeg.insert(2, reinterpret_cast<const char*>(exif), sizeof exif);
    const std::string path = dir + "/o" + std::to_string(tag) + ".jpg";
    testing::write_file(path, jpeg);
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(true);
    QImage expected = reader.read();
    expected.convertTo(QImage::Format_ARGB32);
    const DecodedPicture d = decode_picture(path);
    ASSERT_EQ(d.error, "") << int(tag);
    ASSERT_EQ(d.frame.width, expected.width()) << int(tag);
    ASSERT_EQ(d.frame.height, expected.height()) << int(tag);
    for (int y = 0; y < expected.height(); ++y)
      for (int x = 0; x < expected.width(); ++x)
        ASSERT_EQ(d.frame.pixel(x, y), expected.pixel(x, y)) << "tag " << int(tag) << " at " << x << "," << y;
  }
}

QByteArray with_u16(QByteArray bytes, qsizetype at, unsigned v, bool big_endian) {
  bytes[at] = static_cast<char>(big_endian ? v >> 8 : v & 0xFF);
  bytes[at + 1] = static_cast<char>(big_endian ? v & 0xFF : v >> 8);
  return bytes;
}

// Any header above the limit is "too large", whatever the format.
TEST(Reading, HeadersAboveTheLimitAreTooLargeInEveryFormat) {
  const std::string dir = testing::test_dir("decode_too_large");
  // 1 x 1,509,949,441.
  QByteArray tall = testing::bmp_bytes(QImage(1, 1, QImage::Format_RGB32), 24);
  tall[22] = 0x01;
  tall[23] = 0x00;
  tall[24] = 0x00;
  tall[25] = 0x5A;
  testing::write_file(dir + "/tall.bmp", tall);
  // 65535 x 65535 logical screen.
  const QByteArray gif = testing::gif_bytes(picture());
  testing::write_file(dir + "/screen.gif", with_u16(with_u16(gif, 6, 0xFFFF, false), 8, 0xFFFF, false));
  // A first frame of 65535 x 1000 on a small screen.
  const qsizetype frame = 13 + 768;
  testing::write_file(dir + "/frame.gif", with_u16(with_u16(gif, frame + 5, 0xFFFF, false), frame + 7, 1000, false));
  // A JPEG frame header of 65000 x 65000.
  const QByteArray jpeg = testing::encoded(picture(), "JPEG", 90);
  const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  testing::write_file(dir + "/huge.jpg", with_u16(with_u16(jpeg, sof + 5, 65000, true), sof + 7, 65000, true));
  for (const char* f : {"tall.bmp", "screen.gif", "frame.gif", "huge.jpg"})
    EXPECT_EQ(decode_picture(dir + "/" + f).error, "too large") << f;
}

// Decoding under an address-space limit too small for the picture's pixels:
// the reason is memory, not damage.
TEST(Reading, RunningOutOfMemoryIsNotEnoughMemory) {
#ifdef TESSERA_ASAN
  GTEST_SKIP() << "the address sanitizer reserves more address space than any limit leaves";
#else
  const std::string dir = testing::test_dir("decode_memory");
  // Headers of 7000 x 7000 (49 megapixels, under the limit) over 4 x 4 pixels.
  QImage small(4, 4, QImage::Format_RGB32);
  small.fill(qRgb(10, 20, 30));
  const QByteArray png = testing::encoded(small, "PNG");
  QByteArray big = png;
  for (int i = 0; i < 2; ++i) {
    const std::uint32_t v = 7000;
    for (int k = 0; k < 4; ++k) big[16 + 4 * i + k] = static_cast<char>(v >> (24 - 8 * k));
  }
  std::uint32_t crc = 0xFFFFFFFFu;  // of the chunk's type and data
  for (int i = 12; i < 29; ++i) {
    crc ^= static_cast<unsigned char>(big[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  for (int k = 0; k < 4; ++k) big[29 + k] = static_cast<char>(crc >> (24 - 8 * k));
  const std::string path = dir + "/big.png";
  testing::write_file(path, big);
  decode_picture(sample("hand_transparent_20x22.gif"));  // load the readers before the limit

  int pipe_fd[2];
  ASSERT_EQ(::pipe(pipe_fd), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fd[0]);
    // What the process has mapped now, and 64 MB more: far below the 196 MB
    // that the pixels need.
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (64u << 20);
    const rlimit r{limit, limit};
    ::setrlimit(RLIMIT_AS, &r);
    const std::string error = decode_picture(path).error;
    if (::write(pipe_fd[1], error.data(), error.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(pipe_fd[1]);
  std::string error;
  char buf[256];
  for (ssize_t n; (n = ::read(pipe_fd[0], buf, sizeof buf)) > 0;) error.append(buf, static_cast<std::size_t>(n));
  ::close(pipe_fd[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the decoding process crashed";
  EXPECT_EQ(error, "not enough memory");
  // Without the limit the same file is merely damaged.
  EXPECT_EQ(decode_picture(path).error.rfind("damaged data", 0), 0u) << decode_picture(path).error;
#endif
}

}  // namespace
}  // namespace tessera

namespace tessera {
namespace {

// After the census texts, the status text tells the damage; a picture read
// whole says nothing of it.
TEST(DamagedPictures, TheStatusTextSaysThePictureIsDamaged) {
  const std::string dir = testing::test_dir("damaged_status");
  const QByteArray bmp = testing::bmp_bytes(picture(), 24);
  testing::write_file(dir + "/cut.bmp", bmp.left(bmp.size() / 2));
  testing::write_file(dir + "/whole.bmp", bmp);
  auto s = std::make_unique<Store>();
  ControlValues cv;
  s->TEMPFILEPATH = dir;
  s->OPENFILENAME = dir + "/cut.bmp";
  REDISPLAYINPUT(*s, cv);
  COUNTINPUTCOLORS(*s, cv);
  EXPECT_EQ(s->LOADERROR, "");
  EXPECT_EQ(s->LOADDAMAGE, "pixel data cut short (61413 of 122880 bytes)");
  EXPECT_EQ(cv.labels[Ctl::StatusBar],
            "Picture is damaged: pixel data cut short (61413 of 122880 bytes); converted what could be read");
  EXPECT_EQ(cv.labels[Ctl::UniqueColors].rfind("256x160 with ", 0), 0u) << cv.labels[Ctl::UniqueColors];
  EXPECT_EQ(s->ISTRANSPARENT, 1) << "the rows not in the file are transparent";

  s->OPENFILENAME = dir + "/whole.bmp";
  REDISPLAYINPUT(*s, cv);
  COUNTINPUTCOLORS(*s, cv);
  EXPECT_EQ(s->LOADDAMAGE, "");
  EXPECT_EQ(cv.labels[Ctl::StatusBar], "Unique Colors ... " + std::to_string(s->COLCOUNT));
}

}  // namespace
}  // namespace tessera
