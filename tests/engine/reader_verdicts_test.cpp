// The readers without Qt against Qt's path on damaged files: for every file,
// decode_picture (which may take the fast reader) and Qt's path alone give the
// same verdict (clean, damaged with the same reason, or refused) and the same
// pixels. The files are made here: streams whose codes zlib refuses, a window
// smaller than a distance, metadata libpng drops, bytes changed at random in
// the picture data, cuts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <QByteArray>
#include <QImage>
#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/picture_files.h"
#include "pictures/decode.h"
#include "support/scratch.h"
#include "tessera/picture_header.h"
#include "tessera/qt_layer.h"

namespace tessera {
namespace {

// ---- deflate streams written bit by bit --------------------------------------

// Bits go into bytes from the lowest bit up; Huffman codes are sent from
// their highest bit down.
class BitWriter {
 public:
  void bits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bit((value >> i) & 1);
  }
  void code(std::uint32_t value, int length) {
    for (int i = length - 1; i >= 0; --i) bit((value >> i) & 1);
  }
  QByteArray finish() {
    if (used_) bytes_.append(static_cast<char>(current_));
    return bytes_;
  }

 private:
  void bit(std::uint32_t b) {
    current_ |= b << used_;
    if (++used_ == 8) {
      bytes_.append(static_cast<char>(current_));
      current_ = 0;
      used_ = 0;
    }
  }
  QByteArray bytes_;
  std::uint32_t current_ = 0;
  int used_ = 0;
};

// A literal/length symbol of the fixed Huffman code (0 to 287; 286 and 287
// have codes, but no meaning).
void fixed_symbol(BitWriter& w, int s) {
  if (s < 144) w.code(0x30 + s, 8);
  else if (s < 256) w.code(0x190 + s - 144, 9);
  else if (s < 280) w.code(s - 256, 7);
  else w.code(0xC0 + s - 280, 8);
}

struct Match {
  int length_symbol;  // 257..287; 285 is 258 bytes, no extra bits
  int distance_code;  // 0..31; 0 is a distance of 1
};

// A zlib stream of one fixed-Huffman block over zero bytes: `literals` zero
// literals, then the matches (each copying 258 zero bytes, when valid).
QByteArray fixed_zero_stream(int literals, const std::vector<Match>& matches, std::size_t raw_size) {
  BitWriter w;
  w.bits(1, 1);  // the last block
  w.bits(1, 2);  // fixed Huffman codes
  for (int i = 0; i < literals; ++i) fixed_symbol(w, 0);
  for (const Match& m : matches) {
    fixed_symbol(w, m.length_symbol);
    w.code(static_cast<std::uint32_t>(m.distance_code), 5);
  }
  fixed_symbol(w, 256);
  QByteArray stream("\x78\x01", 2);
  stream += w.finish();
  const std::vector<unsigned char> zeros(raw_size, 0);
  const auto check = static_cast<std::uint32_t>(adler32(1, zeros.data(), static_cast<uInt>(zeros.size())));
  for (int k = 3; k >= 0; --k) stream.append(static_cast<char>((check >> (8 * k)) & 0xFF));
  return stream;
}

// A grey 257 x 4 picture of zeros: one row of literals, three rows of matches.
QByteArray fixed_block_png(const std::vector<Match>& matches) {
  return testing::png_with_stream(257, 4, 0, fixed_zero_stream(258, matches, 4 * 258));
}

QByteArray zlib_of(const QByteArray& raw, int window_bits) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
  QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(raw.size()))), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.constData()));
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(static_cast<qsizetype>(z.total_out));
  deflateEnd(&z);
  return out;
}

// Grey rows of 1000 bytes, every row the first one again: deflated with the
// full window, but declaring a window of 512 bytes, which every match (1000
// bytes back) reaches past.
QByteArray window_too_small_png() {
  std::mt19937 rng(7);
  QByteArray row(1000, '\0');
  for (qsizetype i = 1; i < row.size(); ++i) row[i] = static_cast<char>(rng());
  QByteArray raw;
  for (int y = 0; y < 6; ++y) raw += row;
  QByteArray stream = zlib_of(raw, 15);
  stream[0] = 0x18;  // deflate, 512-byte window
  stream[1] = static_cast<char>(31 - (0x18 * 256) % 31);
  return testing::png_with_stream(999, 6, 0, stream);
}

QByteArray clean_png() { return testing::encoded(testing::noisy_picture(61, 47, 3), "PNG"); }

// ---- the two verdicts ---------------------------------------------------------

struct Verdict {
  std::string error, damage;
  std::vector<std::uint32_t> pixels;
  int width = 0, height = 0;
};

Verdict verdict_of(const DecodedPicture& d) {
  Verdict v{d.error, d.damage, {}, d.frame.width, d.frame.height};
  if (d.frame.pixels) v.pixels.assign(d.frame.pixels, d.frame.pixels + std::size_t(d.frame.width) * d.frame.height);
  return v;
}

Verdict through_qt_alone(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0) << path;
  const auto size = static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END));
  const Verdict v = verdict_of(qt_layer()->decode(fd, size, inspect_picture(fd, size)));
  ::close(fd);
  return v;
}

std::string summary(const Verdict& v) {
  if (!v.error.empty()) return "refused (" + v.error + ")";
  return v.damage.empty() ? "clean" : "damaged (" + v.damage + ")";
}

struct Made {
  std::string kind;  // for the tally
  std::string name;
  QByteArray bytes;
};

// Both readings of one file, compared; the verdict of decode_picture, and
// whether the two agreed.
Verdict expect_same_verdict(const test_support::ScratchDir& dir, const Made& m, bool* agreed = nullptr) {
  const std::string path = (dir / (m.name + (m.kind == "jpeg" ? ".jpg" : ".png"))).string();
  testing::write_file(path, m.bytes);
  const Verdict either = verdict_of(decode_picture(path));
  const Verdict qt = through_qt_alone(path);
  EXPECT_EQ(summary(either), summary(qt)) << m.name;
  EXPECT_EQ(either.width, qt.width) << m.name;
  EXPECT_EQ(either.height, qt.height) << m.name;
  EXPECT_TRUE(either.pixels == qt.pixels) << m.name << ": pixels differ";
  if (agreed)
    *agreed = summary(either) == summary(qt) && either.width == qt.width && either.height == qt.height &&
              either.pixels == qt.pixels;
  return either;
}

// ---- the findings, one by one ---------------------------------------------------

TEST(ReaderVerdicts, CodesZlibRefusesAreDamageOnBothPaths) {
  test_support::ScratchDir dir("tessera-verdicts");
  const struct {
    const char* name;
    std::vector<Match> matches;
  } rows[] = {
      {"LengthSymbol286", {{285, 0}, {286, 0}, {285, 0}}},
      {"LengthSymbol287", {{285, 0}, {287, 0}, {285, 0}}},
      {"DistanceCode30", {{285, 0}, {285, 30}, {285, 0}}},
  };
  // The same stream with valid codes only is a clean picture of black rows.
  const Verdict valid = expect_same_verdict(dir, {"png", "ValidCodes", fixed_block_png({{285, 0}, {285, 0}, {285, 0}})});
  ASSERT_EQ(summary(valid), "clean");
  for (const auto& row : rows) {
    const Verdict v = expect_same_verdict(dir, {"png", row.name, fixed_block_png(row.matches)});
    EXPECT_NE(summary(v), "clean") << row.name;
    EXPECT_NE((v.error + v.damage).find("libpng error"), std::string::npos) << row.name << ": " << summary(v);
  }
}

// Qt's reader gives zlib the full window whatever the stream declares, so a
// distance past a smaller declared window is followed on both paths.
TEST(ReaderVerdicts, DistancesPastASmallDeclaredWindowAreFollowedOnBothPaths) {
  test_support::ScratchDir dir("tessera-verdicts");
  const Verdict v = expect_same_verdict(dir, {"png", "WindowTooSmall", window_too_small_png()});
  ASSERT_EQ(summary(v), "clean");
  ASSERT_EQ(v.width, 999);
  for (int y = 1; y < v.height; ++y)
    EXPECT_TRUE(std::equal(v.pixels.begin(), v.pixels.begin() + 999, v.pixels.begin() + y * 999)) << "row " << y;
}

TEST(ReaderVerdicts, DroppedTimeAndSuggestedPaletteAreNoDamageOnBothPaths) {
  test_support::ScratchDir dir("tessera-verdicts");
  const QByteArray png = clean_png();
  const QByteArray month13("\x07\xE6\x0D\x01\x00\x00\x00", 7);
  QByteArray splt("pal\0", 4);
  splt.append(static_cast<char>(7));  // a sample depth of 7
  splt.append(QByteArray(6, '\x10'));
  const Verdict plain = expect_same_verdict(dir, {"png", "Plain", png});
  for (const Made& m : {Made{"png", "TimeMonth13", testing::with_png_chunk(png, "tIME", month13)},
                        Made{"png", "SuggestedPaletteDepth7", testing::with_png_chunk(png, "sPLT", splt)}}) {
    const Verdict v = expect_same_verdict(dir, m);
    EXPECT_EQ(summary(v), "clean") << m.name;
    EXPECT_TRUE(v.pixels == plain.pixels) << m.name;
  }
}

TEST(ReaderVerdicts, HeaderSidesOfThirtyTwoBitsAreTooLarge) {
  test_support::ScratchDir dir("tessera-verdicts");
  const std::string path = (dir / "huge.png").string();
  testing::write_file(path, testing::png_with_stream(0xFFFFFFFFu, 0xFFFFFFFFu, 2, zlib_of(QByteArray(4, '\0'), 15)));
  EXPECT_EQ(decode_picture(path).error, "too large");
  EXPECT_TRUE(exceeds_picture_limit(0xFFFFFFFFll, 0xFFFFFFFFll));
  EXPECT_TRUE(exceeds_picture_limit(kMaxPicturePixels / 2 + 1, 2));
  EXPECT_FALSE(exceeds_picture_limit(kMaxPicturePixels / 2, 2));
  EXPECT_FALSE(exceeds_picture_limit(kMaxPicturePixels, 1));
  EXPECT_FALSE(exceeds_picture_limit(0, 0xFFFFFFFFll));
}

// A JPEG cut inside its header: Qt's reader cannot tell its size, and the
// reason must not depend on what the heap held before.
TEST(ReaderVerdicts, JpegCutInItsHeaderGivesOneReason) {
  test_support::ScratchDir dir("tessera-verdicts");
  const QByteArray jpeg = testing::encoded(testing::noisy_picture(64, 48, 4), "JPEG", 90);
  const std::string path = (dir / "cut.jpg").string();
  testing::write_file(path, jpeg.left(jpeg.indexOf("\xFF\xC0") + 6));
  const std::string first = decode_picture(path).error;
  EXPECT_FALSE(first.empty());
  for (int i = 0; i < 5; ++i) {
    std::vector<char> garbage(1 << 16, static_cast<char>(0x55 * i + 1));  // the heap filled differently
    EXPECT_EQ(decode_picture(path).error, first) << "reading " << i;
  }
}

// ---- many damaged files of every kind -----------------------------------------

// 1 to 3 bytes changed at random inside the picture data (the PNG's IDAT
// with its CRC set right again; the JPEG's scan), and cuts.
std::vector<Made> damaged_files() {
  std::vector<Made> out;
  std::mt19937 rng(24);
  const QByteArray png = clean_png();
  const qsizetype idat = png.indexOf("IDAT");
  const auto idat_length = static_cast<qsizetype>(static_cast<unsigned char>(png[idat - 2]) << 8 |
                                                  static_cast<unsigned char>(png[idat - 1]));
  for (int i = 0; i < 80; ++i) {
    QByteArray b = png;
    const int changes = 1 + i % 3;
    for (int k = 0; k < changes; ++k) {
      const qsizetype at = idat + 4 + static_cast<qsizetype>(rng() % static_cast<unsigned>(idat_length));
      b[at] = static_cast<char>(b[at] ^ (1 + rng() % 255));
    }
    testing::fix_png_crc(b, idat);
    out.push_back({"png", "PngChanged" + std::to_string(i), b});
  }
  for (int i = 1; i <= 10; ++i) out.push_back({"png", "PngCut" + std::to_string(i), png.left(png.size() * i / 11)});
  for (const char* name : {"Symbol286", "Symbol287", "Distance30"}) {
    const Match bad = name[0] == 'D' ? Match{285, 30} : Match{name[6] == '6' ? 286 : 287, 0};
    out.push_back({"png", name, fixed_block_png({{285, 0}, bad, {285, 0}})});
  }
  out.push_back({"png", "WindowTooSmall", window_too_small_png()});

  for (int quality : {50, 90}) {
    const QByteArray jpeg = testing::encoded(testing::noisy_picture(96, 80, 5 + quality), "JPEG", quality);
    const qsizetype scan = jpeg.indexOf("\xFF\xDA") + 14;  // past the scan header of three components
    const qsizetype scan_length = jpeg.size() - 2 - scan;
    for (int i = 0; i < 120; ++i) {
      QByteArray b = jpeg;
      const int changes = 1 + i % 3;
      for (int k = 0; k < changes; ++k) {
        const qsizetype at = scan + static_cast<qsizetype>(rng() % static_cast<unsigned>(scan_length));
        b[at] = static_cast<char>(rng());
      }
      out.push_back({"jpeg", "JpegQ" + std::to_string(quality) + "Changed" + std::to_string(i), b});
    }
    for (int i = 1; i <= 10; ++i)
      out.push_back({"jpeg", "JpegQ" + std::to_string(quality) + "Cut" + std::to_string(i),
                     jpeg.left(jpeg.size() * i / 11)});
  }
  return out;
}

TEST(ReaderVerdicts, EveryDamagedFileHasOneVerdict) {
  test_support::ScratchDir dir("tessera-verdicts");
  struct Tally {
    int files = 0, equal = 0, damaged = 0;
  };
  std::map<std::string, Tally> tally;
  for (const Made& m : damaged_files()) {
    bool agreed = false;
    const Verdict v = expect_same_verdict(dir, m, &agreed);
    Tally& t = tally[m.kind];
    ++t.files;
    t.equal += agreed;
    t.damaged += summary(v) != "clean";
  }
  for (const auto& [kind, t] : tally) {
    std::printf("%s: %d files, %d with equal verdicts and pixels, %d damaged or refused\n", kind.c_str(), t.files,
                t.equal, t.damaged);
    EXPECT_EQ(t.equal, t.files) << kind;
    EXPECT_GT(t.damaged, t.files / 4) << kind << ": the changes should damage many files";
  }
}

}  // namespace
}  // namespace tessera
