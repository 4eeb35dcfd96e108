// Telling the format by name, reading the sections of whole, short, empty and
// unreadable files, the palette decoding and the message lines.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <future>
#include <ostream>
#include <string>

#include "support.h"
#include "tessview/target_file.h"

using namespace tessview;
using viewer_test::write_bytes;

namespace {

class ReaderFiles : public ::testing::Test {
 protected:
  QString put(const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(write_bytes(path, bytes)) << path.toStdString();
    return path;
  }
  QTemporaryDir dir_;
};

// Bytes 0, 1, 2, ... so that a section read from the wrong offset shows.
std::vector<std::uint8_t> counting_bytes(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return bytes;
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t n) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
          bytes.begin() + static_cast<std::ptrdiff_t>(from + n)};
}

QStringList as_list(std::initializer_list<const char*> lines) {
  QStringList list;
  for (const char* line : lines) list << QString::fromLatin1(line);
  return list;
}

}  // namespace

TEST(FormatByName, OnlyANameEndingInBmp1InAnyCaseIsBmp1) {
  EXPECT_EQ(format_for_name("/pictures/TITLE.BMP1"), Format::BMP1);
  EXPECT_EQ(format_for_name("title.bmp1"), Format::BMP1);
  EXPECT_EQ(format_for_name("Title.Bmp1"), Format::BMP1);
  EXPECT_EQ(format_for_name(".bmp1"), Format::BMP1);

  EXPECT_EQ(format_for_name("title.bm4"), Format::BMP4);
  EXPECT_EQ(format_for_name("title.bmp4"), Format::BMP4);
  EXPECT_EQ(format_for_name("title.bin"), Format::BMP4);
  EXPECT_EQ(format_for_name("title.bmp1.bak"), Format::BMP4);
  EXPECT_EQ(format_for_name("title.bmp"), Format::BMP4);
  EXPECT_EQ(format_for_name("bmp1"), Format::BMP4);  // no dot: the last five characters are not ".bmp1"
  EXPECT_EQ(format_for_name(""), Format::BMP4);
}

TEST(NumberFormat, NonNegativeNumbersGetOneLeadingBlank) {
  EXPECT_EQ(number_text(0), " 0");
  EXPECT_EQ(number_text(3), " 3");
  EXPECT_EQ(number_text(9032), " 9032");
  EXPECT_EQ(number_text(5000000000LL), " 5000000000");
  EXPECT_EQ(number_text(-7), "-7");
}

TEST(PaletteDecoding, ExamplesAndTheWritersEntries) {
  std::vector<std::uint8_t> bytes(32, 0);
  auto entry = [&bytes](int n, std::uint8_t a, std::uint8_t b) {
    bytes[2 * n] = a;
    bytes[2 * n + 1] = b;
  };
  entry(0, 0x21, 0x03);
  entry(1, 0xFF, 0x0F);  // white
  entry(2, 0x00, 0x0F);  // red
  entry(3, 0x0F, 0x00);  // blue
  entry(4, 0xF0, 0x00);  // green
  entry(5, 0x0F, 0x0F);  // magenta
  entry(6, 0x21, 0xF3);  // the unused high nibble must not leak into red
  const Palette p = decode_palette(bytes);
  EXPECT_EQ(p[0], 0xFF332211u);  // R=51 G=34 B=17, opaque
  EXPECT_EQ(p[1], 0xFFFFFFFFu);
  EXPECT_EQ(p[2], 0xFFFF0000u);
  EXPECT_EQ(p[3], 0xFF0000FFu);
  EXPECT_EQ(p[4], 0xFF00FF00u);
  EXPECT_EQ(p[5], 0xFFFF00FFu);
  EXPECT_EQ(p[6], 0xFF332211u);
  EXPECT_EQ(p[15], 0xFF000000u);  // zero bytes: opaque black
}

TEST(PaletteDecoding, EveryTargetColourComesBackAsSeventeenTimesItsLevels) {
  // All 4096 colours, each written as the little-endian word 0x0RGB at some
  // index; one palette holds 16 of them at a time.
  for (int base = 0; base < 4096; base += 16) {
    viewer_test::TargetPalette colours;
    for (int i = 0; i < 16; ++i) colours[i] = {(base + i) >> 8, ((base + i) >> 4) & 15, (base + i) & 15};
    std::vector<std::uint8_t> bytes;
    viewer_test::append_palette(bytes, colours);
    const Palette p = decode_palette(bytes);
    for (int i = 0; i < 16; ++i)
      ASSERT_EQ(p[i], viewer_test::opaque(colours[i])) << "colour 0x" << std::hex << base + i;
  }
}

TEST(PaletteDecoding, ColourLinesUseTheNumberFormatForTheIndexOnly) {
  EXPECT_EQ(colour_line(3, 0xFF0000FFu), "Color  3: R=0 G=0 B=255");
  EXPECT_EQ(colour_line(0, 0xFF332211u), "Color  0: R=51 G=34 B=17");
  EXPECT_EQ(colour_line(15, 0xFFFFFFFFu), "Color  15: R=255 G=255 B=255");
}

TEST_F(ReaderFiles, CompleteBmp1FileFillsEachSectionFromItsOffset) {
  const std::vector<std::uint8_t> bytes = counting_bytes(9032);
  const QString path = put("TITLE.BMP1", bytes);
  const TargetFile file = read_target_file(path);
  ASSERT_TRUE(file.opened());
  EXPECT_EQ(file.format, Format::BMP1);
  EXPECT_EQ(file.length, 9032);
  EXPECT_EQ(file.bitmap.bytes, slice(bytes, 0, 8000));
  EXPECT_EQ(file.pairs.bytes, slice(bytes, 8000, 1000));
  EXPECT_EQ(file.palette.bytes, slice(bytes, 9000, 32));
  EXPECT_TRUE(file.bitmap.complete() && file.pairs.complete() && file.palette.complete());

  QString hex;
  for (std::uint8_t b : slice(bytes, 9000, 32)) hex += QString::asprintf("%02X", b);
  EXPECT_EQ(
      read_messages(path, file),
      as_list({"File length:  9032", "Reading BMP1 file format", "Bitmap data successfully read (8000 bytes)",
               "Color pairs data successfully read (1000 bytes)", "Palette data successfully read (32 bytes)",
               "Raw palette data:"})
          << hex);
  EXPECT_EQ(hex.size(), 64);
}

TEST_F(ReaderFiles, CompleteBmp4FileUnderEitherEnding) {
  const std::vector<std::uint8_t> bytes = counting_bytes(16032);
  for (const char* name : {"title.bmp4", "title.bm4", "title.BM4"}) {
    const QString path = put(name, bytes);
    const TargetFile file = read_target_file(path);
    ASSERT_TRUE(file.opened()) << name;
    EXPECT_EQ(file.format, Format::BMP4);
    EXPECT_EQ(file.pixels.bytes, slice(bytes, 0, 16000));
    EXPECT_EQ(file.palette.bytes, slice(bytes, 16000, 32));
    EXPECT_EQ(read_messages(path, file),
              as_list({"File length:  16032", "Reading BMP4 file format", "BMP4 data successfully read"}));
  }
}

TEST_F(ReaderFiles, ExtraBytesAreIgnoredAndToldInOneMoreLine) {
  std::vector<std::uint8_t> bytes = counting_bytes(9032);
  bytes.resize(12000, 0xEE);
  const QString path = put("long.bmp1", bytes);
  const TargetFile file = read_target_file(path);
  EXPECT_EQ(file.palette.bytes, slice(bytes, 9000, 32));
  EXPECT_EQ(file.extra_bytes(), 2968);
  QStringList problems;
  const QStringList lines = read_messages(path, file, &problems);
  ASSERT_EQ(lines.size(), 8);
  EXPECT_EQ(lines.first(), "File length:  12000");
  EXPECT_EQ(lines[4], "Palette data successfully read (32 bytes)");
  EXPECT_EQ(lines[5], "Raw palette data:");
  EXPECT_EQ(lines[7], "Ignored 2968 bytes after the end of the BMP1 data");
  EXPECT_EQ(problems, QStringList{lines[7]});

  // A BMP4 file one byte too long; and files of exactly their size say nothing more.
  std::vector<std::uint8_t> four = counting_bytes(16033);
  const QString path4 = put("long.bmp4", four);
  QStringList problems4;
  const QStringList lines4 = read_messages(path4, read_target_file(path4), &problems4);
  EXPECT_EQ(lines4, QStringList({"File length:  16033", "Reading BMP4 file format", "BMP4 data successfully read",
                                 "Ignored 1 bytes after the end of the BMP4 data"}));
  EXPECT_EQ(problems4, QStringList{lines4.last()});
  for (const auto& [name, size] : {std::pair{"exact.bmp1", 9032}, std::pair{"exact.bmp4", 16032}}) {
    const QString exact = put(name, counting_bytes(size));
    const TargetFile f = read_target_file(exact);
    EXPECT_EQ(f.extra_bytes(), 0);
    QStringList none;
    read_messages(exact, f, &none);
    EXPECT_TRUE(none.isEmpty()) << name;
  }
}

// Opening a FIFO for reading waits for a writer; the reader must not.
TEST_F(ReaderFiles, FoldersFifosAndDevicesAreRefusedAtOnce) {
  const QString fifo = dir_.filePath("pipe.bmp1");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  auto reading = std::async(std::launch::async, [&] { return read_target_file(fifo); });
  if (reading.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
    // Let the stuck open go, so that the test can end.
    const int w = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (w >= 0) ::close(w);
    FAIL() << "reading a FIFO waited for a writer";
  }
  const TargetFile from_fifo = reading.get();
  EXPECT_FALSE(from_fifo.opened());
  EXPECT_EQ(from_fifo.open_error, "a FIFO, not a regular file");
  QStringList problems;
  EXPECT_EQ(read_messages(fifo, from_fifo, &problems),
            QStringList{"Cannot open " + fifo + ": a FIFO, not a regular file"});
  EXPECT_EQ(problems.size(), 1);

  EXPECT_EQ(read_target_file(dir_.path()).open_error, "a folder, not a regular file");
  EXPECT_EQ(read_target_file(QStringLiteral("/dev/null")).open_error, "a device, not a regular file");
  // A link to a regular file is a regular file.
  const QString target = put("real.bmp4", counting_bytes(16032));
  const QString link = dir_.filePath("link.bmp4");
  ASSERT_TRUE(QFile::link(target, link));
  EXPECT_TRUE(read_target_file(link).opened());
}

TEST_F(ReaderFiles, ShortBmp1FileSaysHowMuchOfEachSectionArrivedAndZeroFillsTheRest) {
  const std::vector<std::uint8_t> bytes(1200, 0xAB);
  const QString path = put("short.bmp1", bytes);
  const TargetFile file = read_target_file(path);
  ASSERT_TRUE(file.opened());
  EXPECT_EQ(file.bitmap.got, 1200u);
  EXPECT_EQ(file.bitmap.bytes.size(), 8000u);
  EXPECT_EQ(slice(file.bitmap.bytes, 0, 1200), bytes);
  EXPECT_EQ(slice(file.bitmap.bytes, 1200, 6800), std::vector<std::uint8_t>(6800, 0));
  EXPECT_EQ(file.pairs.bytes, std::vector<std::uint8_t>(1000, 0));
  EXPECT_EQ(file.palette.bytes, std::vector<std::uint8_t>(32, 0));

  QStringList problems;
  const QStringList lines = read_messages(path, file, &problems);
  EXPECT_EQ(
      lines,
      as_list({"File length:  1200", "Reading BMP1 file format", "Bitmap data short: read 1200 of 8000 bytes",
               "Color pairs data short: read 0 of 1000 bytes", "Palette data short: read 0 of 32 bytes",
               "Raw palette data:", "0000000000000000000000000000000000000000000000000000000000000000"}));
  EXPECT_EQ(problems, lines.mid(2, 3));
}

TEST_F(ReaderFiles, FileCutInsideThePaletteKeepsTheEntriesBeforeTheCut) {
  std::vector<std::uint8_t> bytes = counting_bytes(9032);
  bytes.resize(9010);
  const QString path = put("cut.bmp1", bytes);
  const TargetFile file = read_target_file(path);
  EXPECT_TRUE(file.bitmap.complete());
  EXPECT_TRUE(file.pairs.complete());
  EXPECT_EQ(file.palette.got, 10u);
  std::vector<std::uint8_t> want = slice(bytes, 9000, 10);
  want.resize(32, 0);
  EXPECT_EQ(file.palette.bytes, want);
  QStringList problems;
  read_messages(path, file, &problems);
  EXPECT_EQ(problems, as_list({"Palette data short: read 10 of 32 bytes"}));
}

TEST_F(ReaderFiles, ShortAndEmptyBmp4FilesReportTheBytesRead) {
  const QString bin = put("title.bin", counting_bytes(9032));  // a BMP1 file under another name
  EXPECT_EQ(read_messages(bin, read_target_file(bin)),
            as_list({"File length:  9032", "Reading BMP4 file format",
                     "BMP4 data short: read 9032 of 16032 bytes"}));

  const QString cut = put("cut.bmp4", counting_bytes(16016));
  const TargetFile cut_file = read_target_file(cut);
  EXPECT_TRUE(cut_file.pixels.complete());
  EXPECT_EQ(cut_file.palette.got, 16u);
  EXPECT_EQ(read_messages(cut, cut_file).last(), "BMP4 data short: read 16016 of 16032 bytes");

  const QString empty = put("empty.bmp4", {});
  const TargetFile empty_file = read_target_file(empty);
  ASSERT_TRUE(empty_file.opened());
  EXPECT_EQ(empty_file.pixels.bytes, std::vector<std::uint8_t>(16000, 0));
  EXPECT_EQ(empty_file.palette.bytes, std::vector<std::uint8_t>(32, 0));
  QStringList problems;
  EXPECT_EQ(
      read_messages(empty, empty_file, &problems),
      as_list({"File length:  0", "Reading BMP4 file format", "BMP4 data short: read 0 of 16032 bytes"}));
  EXPECT_EQ(problems, as_list({"BMP4 data short: read 0 of 16032 bytes"}));
}

TEST_F(ReaderFiles, EmptyBmp1FileReportsEverySectionShort) {
  const QString path = put("EMPTY.BMP1", {});
  QStringList problems;
  const QStringList lines = read_messages(path, read_target_file(path), &problems);
  EXPECT_EQ(lines.first(), "File length:  0");
  EXPECT_EQ(problems, as_list({"Bitmap data short: read 0 of 8000 bytes",
                               "Color pairs data short: read 0 of 1000 bytes",
                               "Palette data short: read 0 of 32 bytes"}));
}

TEST_F(ReaderFiles, FilesThatCannotBeOpenedSayWhyAndNothingElse) {
  const QString missing = dir_.filePath("missing.bmp1");
  const TargetFile file = read_target_file(missing);
  EXPECT_FALSE(file.opened());
  QStringList problems;
  const QStringList lines = read_messages(missing, file, &problems);
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].startsWith("Cannot open " + missing + ": ")) << lines[0].toStdString();
  EXPECT_GT(lines[0].size(), ("Cannot open " + missing + ": ").size());
  EXPECT_EQ(problems, lines);

  const TargetFile folder = read_target_file(dir_.path());
  EXPECT_FALSE(folder.opened());
  EXPECT_TRUE(read_messages(dir_.path(), folder)[0].startsWith("Cannot open "))
      << folder.open_error.toStdString();
}

TEST(ReaderErrors, AFailingReadIsReportedWithItsReason) {
  // Reading this process's memory at address 0 opens fine and then fails.
  const QString path = QStringLiteral("/proc/self/mem");
  const TargetFile file = read_target_file(path);
  if (!file.opened()) GTEST_SKIP() << "cannot open " << path.toStdString() << " here";
  EXPECT_EQ(file.pixels.got, 0u);
  EXPECT_FALSE(file.pixels.error.isEmpty());
  const QString last = read_messages(path, file).last();
  EXPECT_TRUE(last.startsWith("BMP4 data short: read 0 of 16032 bytes (")) << last.toStdString();
  EXPECT_TRUE(last.contains(file.pixels.error));
}

// The first bytes that make a file another picture, and those that do not:
// a target file is any bytes, and one of its format's exact size is never
// taken for anything else.
struct Signature {
  const char* label;
  std::string start;  // the file's first bytes; zeros follow
  std::size_t size;
  const char* name;
  const char* kind;  // "" for a target file
};

void PrintTo(const Signature& s, std::ostream* os) { *os << s.label; }

class SignatureFiles : public ::testing::TestWithParam<Signature> {
 protected:
  QTemporaryDir dir_;
};

TEST_P(SignatureFiles, TellAnotherPictureFromATargetFile) {
  const Signature& c = GetParam();
  std::vector<std::uint8_t> bytes(c.start.begin(), c.start.end());
  bytes.resize(c.size, 0);
  const QString path = dir_.filePath(QString::fromLatin1(c.name));
  ASSERT_TRUE(write_bytes(path, bytes));
  EXPECT_EQ(other_picture_format(read_target_file(path)), QString::fromLatin1(c.kind));
}

// A BMP's first 18 bytes: "BM", the file's size, two reserved words, where
// the pixels start, and the size of the info header.
std::string bmp_start(std::uint32_t reserved, std::uint32_t info) {
  std::string b = "BM";
  for (std::uint32_t word : {std::uint32_t{70000}, reserved, std::uint32_t{54}, info})
    for (int k = 0; k < 4; ++k) b += static_cast<char>((word >> (8 * k)) & 0xFF);
  return b;
}

const std::string kPng("\x89PNG\r\n\x1a\n", 8);

INSTANTIATE_TEST_SUITE_P(
    FirstBytes, SignatureFiles,
    ::testing::Values(Signature{"Png", kPng, 20000, "photo.png", "PNG"},
                      Signature{"PngUnderABmp1Name", kPng, 500, "photo.bmp1", "PNG"},
                      Signature{"Jpeg", "\xff\xd8\xff\xe0", 30000, "photo.jpg", "JPEG"},
                      Signature{"JpegStartWithoutAMarker", std::string("\xff\xd8\xff\x00", 4), 30000, "x.bmp4", ""},
                      Signature{"Gif", "GIF89a", 1000, "x.gif", "GIF"},
                      Signature{"Tiff", std::string("MM\0*", 4), 1000, "x.tif", "TIFF"},
                      Signature{"WebP", std::string("RIFF\x10\x27\0\0WEBPVP8 ", 16), 10000, "x.webp", "WebP"},
                      Signature{"Bmp", bmp_start(0, 40), 70000, "x.bmp", "BMP"},
                      Signature{"BmThenNoInfoHeader", bmp_start(0, 0x12345678), 70000, "x.bmp4", ""},
                      Signature{"BmThenReservedWordsInUse", bmp_start(7, 40), 70000, "x.bmp4", ""},
                      Signature{"CompleteBmp4FileThatStartsLikeAPng", kPng, 16032, "x.bmp4", ""},
                      Signature{"CompleteBmp1FileThatStartsLikeAJpeg", "\xff\xd8\xff\xe0", 9032, "x.bmp1", ""},
                      Signature{"Bmp1SizeUnderABmp4Name", kPng, 9032, "x.bmp4", "PNG"}),
    [](const ::testing::TestParamInfo<Signature>& info) { return std::string(info.param.label); });

TEST(OpenDialog, FilterListsTheThreeEndingsInAnyCaseUnderItsDescription) {
  // The file dialog takes the patterns from the last parentheses, separated
  // by blanks, and shows the whole filter.
  EXPECT_EQ(dialog_filter(), "BMP1 and BMP4 files (*.bmp1 *.bmp4 *.bm4)");
  EXPECT_EQ(QString::fromLatin1(kDialogTitle), "Select BMP4/BMP1 File to Process...");
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("^(.*)\\(([^()]*)\\)$")).match(dialog_filter());
  ASSERT_TRUE(m.hasMatch()) << dialog_filter().toStdString();

  const QStringList patterns = m.captured(2).split(' ', Qt::SkipEmptyParts);
  auto listed = [&patterns](const QString& name) {
    for (const QString& pattern : patterns) {
      const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                  QRegularExpression::CaseInsensitiveOption);
      if (re.match(name).hasMatch()) return true;
    }
    return false;
  };
  for (const char* name : {"a.BM4", "a.bm4", "a.bmp4", "a.BMP4", "a.BMP1", "a.bmp1", "a.Bmp1"})
    EXPECT_TRUE(listed(name)) << name;
  for (const char* name : {"a.bmp", "a.bin", "a.png", "a.bmp1.png"}) EXPECT_FALSE(listed(name)) << name;
}

// The dialog, the man page and the desktop's file types name the same endings.
TEST(OpenDialog, ListsTheEndingsOfTheManPageAndTheFileTypes) {
  QStringList filter;
  for (const char* ending : kFileEndings) filter << QString::fromLatin1(ending);
  filter.sort();
  const auto endings = [](const QString& text, const QString& pattern) {
    QStringList found;
    for (const QRegularExpressionMatch& m : QRegularExpression(pattern).globalMatch(text))
      if (!found.contains(m.captured(1).toLower())) found << m.captured(1).toLower();
    found.sort();
    return found;
  };
  QFile man(QStringLiteral(TESSERA_SOURCE_DIR "/packaging/tessview.1"));
  ASSERT_TRUE(man.open(QIODevice::ReadOnly));
  const QString page = QString::fromUtf8(man.readAll());
  const qsizetype dialog = page.indexOf("a dialog asks for one");
  ASSERT_GE(dialog, 0);
  EXPECT_EQ(endings(page.mid(dialog, page.indexOf(".PP", dialog) - dialog), QStringLiteral("\\.(bm\\w+)")), filter);

  QFile mime(QStringLiteral(TESSERA_SOURCE_DIR "/packaging/tessera-mime.xml"));
  ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
  EXPECT_EQ(endings(QString::fromUtf8(mime.readAll()), QStringLiteral("pattern=\"\\*\\.(\\w+)\"")), filter);
}
