// Drawing pictures onto the screen, the message lines on it, and the whole run
// from a file to the finished screen.

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QTemporaryDir>

#include "support.h"
#include "tessview/picture.h"
#include "tessview/screen.h"
#include "tessview/target_file.h"

using namespace tessview;
using viewer_test::Bmp1Picture;
using viewer_test::Bmp4Picture;
using viewer_test::first_difference;
using viewer_test::opaque;

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override { viewer_test::ensure_gui(); }
};

// A palette in which entry i is a colour of its own, so a wrong index shows.
Palette distinct_palette() {
  Palette p;
  for (int i = 0; i < 16; ++i) p[i] = 0xFF000000u | std::uint32_t(i * 17) << 16 | std::uint32_t(255 - i * 17);
  return p;
}

// Rows of the image holding any pixel other than black, as [first, last].
std::pair<int, int> lit_rows(const QImage& image) {
  int first = -1, last = -1;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != kBlack) {
        if (first < 0) first = y;
        last = y;
        break;
      }
    }
  }
  return {first, last};
}

int leftmost_lit_column(const QImage& image) {
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(x, y) != kBlack) return x;
    }
  }
  return -1;
}

}  // namespace

TEST(Placement, LargestWholeScaleCentred) {
  const Placement window = place_picture(640, 400);
  EXPECT_EQ(window.scale, 2);
  EXPECT_EQ(window.left, 0);
  EXPECT_EQ(window.top, 0);

  const Placement wide = place_picture(1000, 700);  // 3 across, 3 down
  EXPECT_EQ(wide.scale, 3);
  EXPECT_EQ(wide.left, 20);
  EXPECT_EQ(wide.top, 50);

  const Placement tall = place_picture(700, 1000);  // the width limits it to 2
  EXPECT_EQ(tall.scale, 2);
  EXPECT_EQ(tall.left, 30);
  EXPECT_EQ(tall.top, 300);

  EXPECT_EQ(place_picture(300, 150).scale, 0);
}

TEST_F(Drawing, Bmp1CellWithPairByte5ADrawsSetBitsInColour5AndClearBitsInColour10) {
  std::vector<std::uint8_t> bitmap(8000, 0), pairs(1000, 0);
  // Cell (column 2, row 1): its first line alternates set/clear from the left,
  // its last line has only the rightmost bit set.
  pairs[1 * 40 + 2] = 0x5A;
  bitmap[(1 * 8 + 0) * 40 + 2] = 0xAA;
  bitmap[(1 * 8 + 7) * 40 + 2] = 0x01;
  const Palette p = distinct_palette();
  Screen screen;
  draw_bmp1(screen, bitmap, pairs, p);

  const int left = 2 * 8 * 2, top = 1 * 8 * 2;  // at scale 2
  for (int k = 0; k < 8; ++k) {
    const std::uint32_t first_line = k % 2 == 0 ? p[5] : p[10];
    const std::uint32_t last_line = k == 7 ? p[5] : p[10];
    for (int d = 0; d < 4; ++d) {  // every screen pixel of the 2 x 2 block
      EXPECT_EQ(screen.pixel(left + 2 * k + d % 2, top + d / 2), first_line) << "first line, bit " << k;
      EXPECT_EQ(screen.pixel(left + 2 * k + d % 2, top + 14 + d / 2), last_line) << "last line, bit " << k;
    }
  }
  // Lines 1 to 6 of the cell have no set bits; the neighbours use pair byte 0.
  EXPECT_EQ(screen.pixel(left + 6, top + 6), p[10]);
  EXPECT_EQ(screen.pixel(left - 1, top), p[0]);
  EXPECT_EQ(screen.pixel(left + 16, top), p[0]);
}

TEST_F(Drawing, Bmp4ByteC3DrawsColours12And3AsFourByTwoBlocks) {
  std::vector<std::uint8_t> pixels(16000, 0);
  pixels[0] = 0xC3;
  const Palette p = distinct_palette();
  Screen screen;
  draw_bmp4(screen, pixels, p);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(screen.pixel(x, y), p[12]) << x << "," << y;
      EXPECT_EQ(screen.pixel(4 + x, y), p[3]) << 4 + x << "," << y;
    }
  }
  EXPECT_EQ(screen.pixel(8, 0), p[0]);
  EXPECT_EQ(screen.pixel(0, 2), p[0]);
}

TEST_F(Drawing, WholeBmp1PictureMatchesItsPixelsAtScale2) {
  for (unsigned seed : {1u, 2u}) {
    const Bmp1Picture picture = Bmp1Picture::random(seed);
    const std::vector<std::uint8_t> bytes = picture.file_bytes();
    const std::vector<std::uint8_t> bitmap(bytes.begin(), bytes.begin() + 8000);
    const std::vector<std::uint8_t> pairs(bytes.begin() + 8000, bytes.begin() + 9000);
    const std::vector<std::uint8_t> palette(bytes.begin() + 9000, bytes.end());
    Screen screen;
    draw_bmp1(screen, bitmap, pairs, decode_palette(palette));
    const QString diff = first_difference(screen.image(), [&](int x, int y) {
      return opaque(picture.palette[picture.index_at(x / 2, y / 2)]);
    });
    EXPECT_TRUE(diff.isEmpty()) << "seed " << seed << ": " << diff.toStdString();
  }
}

TEST_F(Drawing, WholeBmp4PictureMatchesItsPixelsTwiceAsWide) {
  const Bmp4Picture picture = Bmp4Picture::random(3);
  const std::vector<std::uint8_t> bytes = picture.file_bytes();
  Screen screen;
  draw_bmp4(screen, {bytes.begin(), bytes.begin() + 16000},
            decode_palette({bytes.begin() + 16000, bytes.end()}));
  const QString diff = first_difference(
      screen.image(), [&](int x, int y) { return opaque(picture.palette[picture.index_at(x / 4, y / 2)]); });
  EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();
}

TEST_F(Drawing, LargerScreenGetsALargerCentredPictureAndABlackBorder) {
  const Bmp4Picture picture = Bmp4Picture::random(4);
  const std::vector<std::uint8_t> bytes = picture.file_bytes();
  Screen screen(1000, 700);  // scale 3, offsets 20 and 50
  draw_bmp4(screen, {bytes.begin(), bytes.begin() + 16000},
            decode_palette({bytes.begin() + 16000, bytes.end()}));
  const QString diff = first_difference(screen.image(), [&](int x, int y) -> std::uint32_t {
    if (x < 20 || x >= 980 || y < 50 || y >= 650) return kBlack;
    return opaque(picture.palette[picture.index_at((x - 20) / 6, (y - 50) / 3)]);
  });
  EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();

  Screen tiny(300, 150);  // no whole scale fits: nothing is drawn, nothing breaks
  draw_bmp4(tiny, {bytes.begin(), bytes.begin() + 16000},
            decode_palette({bytes.begin() + 16000, bytes.end()}));
  EXPECT_EQ(lit_rows(tiny.image()).first, -1);
}

TEST_F(Drawing, MessagesAreLinesOfAFixedWidthFontFromTheTopLeft) {
  Screen screen;
  const QFontMetrics metrics(screen.font());
  for (const char* text : {"iiiiiiii", "........", "0123ABCD", "  R=G=B="}) {
    EXPECT_EQ(metrics.horizontalAdvance(text), metrics.horizontalAdvance("WWWWWWWW"))
        << text << " in " << QFontInfo(screen.font()).family().toStdString();
  }

  screen.write_line("File length:  9032");
  const auto [first, last] = lit_rows(screen.image());
  ASSERT_GE(first, 0) << "the first line left no mark";
  EXPECT_LT(last, screen.line_height());
  EXPECT_LE(leftmost_lit_column(screen.image()), 3);

  screen.write_line("Reading BMP1 file format");
  const auto [first2, last2] = lit_rows(screen.image());
  EXPECT_EQ(first2, first);
  EXPECT_GE(last2, screen.line_height());
  EXPECT_LT(last2, 2 * screen.line_height());
  EXPECT_EQ(screen.lines(), QStringList({"File length:  9032", "Reading BMP1 file format"}));
}

TEST_F(Drawing, TheLongestMessagesFitTheWindowWithoutScrolling) {
  Screen screen;
  const QFontMetrics metrics(screen.font());
  EXPECT_LE(metrics.horizontalAdvance(QString(64, 'F')), screen.width());
  // The full report of a BMP1 file.
  EXPECT_LE(25 * screen.line_height(), screen.height());
}

TEST_F(Drawing, LineWiderThanTheScreenContinuesOnTheNextRow) {
  Screen screen;
  const QString path =
      "/" + QString(30, 'd') + "/" + QString(60, 'e') + "/" + QString(40, 'f') + "/picture.bmp1";
  screen.write_line("Cannot open " + path + ": No such file or directory");
  const auto [first, last] = lit_rows(screen.image());
  EXPECT_GE(first, 0);
  EXPECT_GE(last, screen.line_height()) << "the end of the line was cut off at the edge";
  EXPECT_LT(last, 3 * screen.line_height());
  EXPECT_EQ(screen.lines().size(), 1);

  // The next message starts below the continuation.
  screen.write_line("x");
  EXPECT_GE(lit_rows(screen.image()).second, last + 1);
}

TEST_F(Drawing, LinesBeyondTheBottomScrollTheNewestIntoView) {
  Screen screen;
  const int fit = screen.height() / screen.line_height();
  for (int i = 0; i < fit + 5; ++i) screen.write_line(QStringLiteral("line %1").arg(i));
  const auto [first, last] = lit_rows(screen.image());
  EXPECT_GE(last, screen.height() - screen.line_height()) << "the newest line is not at the bottom";
  EXPECT_GE(first, 0);
  EXPECT_EQ(screen.lines().size(), fit + 5);
}

class ShowFile : public Drawing {
 protected:
  QString put(const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(viewer_test::write_bytes(path, bytes));
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(ShowFile, Bmp1RunWritesEveryMessageInOrderAndThePictureCoversThem) {
  Bmp1Picture picture = Bmp1Picture::random(5);
  picture.palette[3] = {0, 0, 15};
  const QString path = put("pic.bmp1", picture.file_bytes());
  Screen screen;
  const Shown shown = show_file(path, screen);
  EXPECT_EQ(shown.outcome, Outcome::Complete);
  EXPECT_TRUE(shown.problems.isEmpty());

  const QStringList& lines = screen.lines();
  ASSERT_EQ(lines.size(), 25);
  EXPECT_EQ(lines[0], "File length:  9032");
  EXPECT_EQ(lines[1], "Reading BMP1 file format");
  EXPECT_EQ(lines[5], "Raw palette data:");
  EXPECT_EQ(lines[7], "Decoding palette data...");
  EXPECT_EQ(lines[8 + 3], "Color  3: R=0 G=0 B=255");
  for (int i = 0; i < 16; ++i) {
    const auto& c = picture.palette[i];
    EXPECT_EQ(lines[8 + i], QStringLiteral("Color  %1: R=%2 G=%3 B=%4")
                                .arg(i)
                                .arg(c.red * 17)
                                .arg(c.green * 17)
                                .arg(c.blue * 17));
  }
  EXPECT_EQ(lines[24], "Rendering BMP1 image...");

  const QString diff = first_difference(
      screen.image(), [&](int x, int y) { return opaque(picture.palette[picture.index_at(x / 2, y / 2)]); });
  EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();
}

TEST_F(ShowFile, Bmp4RunEndsWithTheRenderingLine) {
  const Bmp4Picture picture = Bmp4Picture::random(6);
  const QString path = put("pic.bmp4", picture.file_bytes());
  Screen screen;
  EXPECT_EQ(show_file(path, screen).outcome, Outcome::Complete);
  ASSERT_EQ(screen.lines().size(), 21);
  EXPECT_EQ(screen.lines().mid(0, 4),
            QStringList({"File length:  16032", "Reading BMP4 file format", "BMP4 data successfully read",
                         "Decoding palette data..."}));
  EXPECT_EQ(screen.lines().last(), "Rendering BMP4 image...");
  const QString diff = first_difference(
      screen.image(), [&](int x, int y) { return opaque(picture.palette[picture.index_at(x / 4, y / 2)]); });
  EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();
}

TEST_F(ShowFile, ShortFileIsStillDrawnWithTheMissingPartAsIndexZero) {
  // The pixel rows and half the palette arrive; the missing entries are zeros.
  Bmp4Picture picture = Bmp4Picture::random(7);
  std::vector<std::uint8_t> bytes = picture.file_bytes();
  bytes.resize(16000 + 16);
  for (int i = 8; i < 16; ++i) picture.palette[i] = {0, 0, 0};
  const QString path = put("cut.bmp4", bytes);
  Screen screen;
  const Shown shown = show_file(path, screen);
  EXPECT_EQ(shown.outcome, Outcome::Short);
  EXPECT_EQ(shown.problems, QStringList({"BMP4 data short: read 16016 of 16032 bytes"}));
  EXPECT_EQ(screen.lines()[2], "BMP4 data short: read 16016 of 16032 bytes");
  EXPECT_EQ(screen.lines().last(), "Rendering BMP4 image...");
  const QString diff = first_difference(
      screen.image(), [&](int x, int y) { return opaque(picture.palette[picture.index_at(x / 4, y / 2)]); });
  EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();

  // Only 1200 bytes of bitmap: the bitmap's rest, the pairs and the palette
  // are zeros, so the whole picture is colour 0, black, and hides the text.
  Bmp1Picture one = Bmp1Picture::random(8);
  std::vector<std::uint8_t> cut = one.file_bytes();
  cut.resize(1200);
  Screen screen1;
  const Shown shown1 = show_file(put("short.BMP1", cut), screen1);
  EXPECT_EQ(shown1.outcome, Outcome::Short);
  EXPECT_EQ(shown1.problems.first(), "Bitmap data short: read 1200 of 8000 bytes");
  EXPECT_EQ(lit_rows(screen1.image()).first, -1);
}

TEST_F(ShowFile, UnopenableFileLeavesItsReasonOnTheScreen) {
  const QString path = dir_.filePath("gone.bmp1");
  Screen screen;
  const Shown shown = show_file(path, screen);
  EXPECT_EQ(shown.outcome, Outcome::NotOpened);
  ASSERT_EQ(screen.lines().size(), 1);
  EXPECT_TRUE(screen.lines()[0].startsWith("Cannot open " + path));
  const auto [first, last] = lit_rows(screen.image());
  EXPECT_GE(first, 0) << "the window is empty";
  EXPECT_LT(last, screen.line_height());
}
