// The tessview program itself, run as scripts run it, and its drawings of
// files that the converter wrote from the sample pictures.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QFile>
#include <iostream>

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "support.h"

using viewer_test::Bmp1Picture;
using viewer_test::Bmp4Picture;
using viewer_test::first_difference;
using viewer_test::opaque;

namespace {

const QString kViewer = QStringLiteral(TESSERA_BINARY_DIR "/viewer/tessview");
const QString kConverter = QStringLiteral(TESSERA_BINARY_DIR "/cli/tessera-convert");
const QString kSamples = QStringLiteral(TESSERA_SAMPLES);

struct ProcessResult {
  int exit_code = -1;
  QString out;
  QString err;
};

QProcessEnvironment offscreen() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  return env;
}

// No display to be had: the X11 platform with no server named.
QProcessEnvironment no_display() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  return env;
}

ProcessResult run(const QString& program, const QStringList& arguments,
                  const QProcessEnvironment& env = offscreen(), int limit_ms = 120000) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(program, arguments);
  ProcessResult result;
  if (!process.waitForFinished(limit_ms) || process.exitStatus() != QProcess::NormalExit) {
    process.kill();
    process.waitForFinished();
    result.err = QStringLiteral("did not finish normally: ") + process.errorString();
    return result;
  }
  result.exit_code = process.exitCode();
  result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  result.err = QString::fromLocal8Bit(process.readAllStandardError());
  return result;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer_test::ensure_gui();
    ASSERT_TRUE(QFileInfo(kViewer).isExecutable()) << kViewer.toStdString();
  }
  QString put(const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(viewer_test::write_bytes(path, bytes));
    return path;
  }
  QTemporaryDir dir_;
};

}  // namespace

TEST_F(Program, HelpDescribesTheCommandLine) {
  const ProcessResult r = run(kViewer, {"--help"});
  EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("Usage: tessview")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("--png OUT FILE"));
}

TEST_F(Program, WrongCommandLinesAreRefused) {
  for (const QStringList& args :
       {QStringList{"--png"}, QStringList{"--png", "out.png"}, QStringList{"--bogus"},
        QStringList{"--png", "out.png", "a.bmp1", "b.bmp1"}}) {
    const ProcessResult r = run(kViewer, args);
    EXPECT_EQ(r.exit_code, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Usage: tessview")) << r.err.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists("out.png"));
}

TEST_F(Program, PngOfBothFormatsShowsThePictureAtScale2) {
  const Bmp1Picture one = Bmp1Picture::random(11);
  const QString one_png = dir_.filePath("one.png");
  const ProcessResult r1 = run(kViewer, {"--png", one_png, put("ONE.BMP1", one.file_bytes())});
  ASSERT_EQ(r1.exit_code, 0) << r1.err.toStdString();
  const QImage image1(one_png);
  ASSERT_EQ(image1.size(), QSize(640, 400));
  QString diff =
      first_difference(image1, [&](int x, int y) { return opaque(one.palette[one.index_at(x / 2, y / 2)]); });
  EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();

  const Bmp4Picture four = Bmp4Picture::random(12);
  const QString four_png = dir_.filePath("four.png");
  const ProcessResult r4 = run(kViewer, {"--png", four_png, put("four.bmp4", four.file_bytes())});
  ASSERT_EQ(r4.exit_code, 0) << r4.err.toStdString();
  diff = first_difference(QImage(four_png),
                          [&](int x, int y) { return opaque(four.palette[four.index_at(x / 4, y / 2)]); });
  EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();
  EXPECT_FALSE(r4.err.contains("tessview:")) << r4.err.toStdString();
}

TEST_F(Program, ShortFileIsDrawnAndReportedOnStandardError) {
  std::vector<std::uint8_t> bytes = Bmp1Picture::random(13).file_bytes();
  bytes.resize(1200);
  const QString png = dir_.filePath("short.png");
  const ProcessResult r = run(kViewer, {"--png", png, put("short.bmp1", bytes)});
  EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("Bitmap data short: read 1200 of 8000 bytes")) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("Palette data short: read 0 of 32 bytes")) << r.err.toStdString();
  EXPECT_EQ(QImage(png).size(), QSize(640, 400));
}

TEST_F(Program, UnopenableFileGivesAPictureOfTheReasonAndExitStatus1) {
  const QString png = dir_.filePath("missing.png");
  const ProcessResult r = run(kViewer, {"--png", png, dir_.filePath("missing.bmp1")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.err.contains("Cannot open")) << r.err.toStdString();
  const QImage image(png);
  ASSERT_EQ(image.size(), QSize(640, 400));
  // Text at the top left, black elsewhere.
  bool text = false;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 200; ++x) text = text || image.pixel(x, y) != 0xFF000000u;
  }
  EXPECT_TRUE(text);
  EXPECT_EQ(image.pixel(600, 300), 0xFF000000u);
}

// Informational and wrong command lines are answered before any display is
// asked for.
TEST_F(Program, CommandLineIsReadWithoutADisplay) {
  const ProcessResult help = run(kViewer, {"--help"}, no_display());
  EXPECT_EQ(help.exit_code, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.startsWith("Usage: tessview")) << help.out.toStdString();
  EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
  const ProcessResult version = run(kViewer, {"--version"}, no_display());
  EXPECT_EQ(version.exit_code, 0) << version.err.toStdString();
  EXPECT_EQ(version.out, "tessview " TESSERA_VERSION "\n");
  EXPECT_TRUE(version.err.isEmpty()) << version.err.toStdString();
  for (const QStringList& args : {QStringList{"--bogus", "x.bmp1"}, QStringList{"-x"}, QStringList{"--png", "o.png"}}) {
    const ProcessResult r = run(kViewer, args, no_display());
    EXPECT_EQ(r.exit_code, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("tessview: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("\n\nUsage: tessview")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
}

// A FIFO with no writer, a folder and a device: each refused at once, with
// the reason on standard error. (Reading the FIFO would wait for ever.)
TEST_F(Program, NonRegularFilesAreRefusedWithoutWaiting) {
  const QString fifo = dir_.filePath("f.bmp1");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const struct {
    QString path;
    const char* reason;
  } cases[] = {{fifo, "a FIFO, not a regular file"},
               {dir_.path(), "a folder, not a regular file"},
               {QStringLiteral("/dev/zero"), "a device, not a regular file"}};
  for (const auto& c : cases) {
    const QString png = dir_.filePath("o.png");
    QElapsedTimer timer;
    timer.start();
    const ProcessResult r = run(kViewer, {"--png", png, c.path}, offscreen(), 10000);
    EXPECT_EQ(r.exit_code, 1) << c.path.toStdString() << ": " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("tessview: Cannot open " + c.path + ": " + c.reason)) << r.err.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(640, 400));
    std::cout << c.path.toStdString() << " refused in " << timer.elapsed() << " ms\n";
  }
}

TEST_F(Program, FileLongerThanItsFormatIsDrawnAndTheRestReported) {
  std::vector<std::uint8_t> bytes = Bmp4Picture::random(15).file_bytes();
  bytes.resize(bytes.size() + 100, 0x5A);
  const ProcessResult r = run(kViewer, {"--png", dir_.filePath("long.png"), put("long.bmp4", bytes)});
  EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("tessview: Ignored 100 bytes after the end of the BMP4 data\n")) << r.err.toStdString();
  EXPECT_EQ(QImage(dir_.filePath("long.png")).size(), QSize(640, 400));
}

// A picture of another kind, given to --png by mistake, is refused rather
// than drawn as noise, and the PNG it would have gone to is left alone.
TEST_F(Program, OtherPicturesAreRefusedWithPng) {
  const QString bmp = dir_.filePath("export.bmp");
  ASSERT_TRUE(QImage(kSamples + "/rose_alpha_400x301.png").save(bmp, "BMP"));
  const struct {
    QString picture;
    const char* kind;
  } rows[] = {{kSamples + "/rose_alpha_400x301.png", "PNG"},
              {kSamples + "/demo_snake_600x450.jpg", "JPEG"},
              {kSamples + "/hand_transparent_20x22.gif", "GIF"},
              {bmp, "BMP"}};
  const QString out = put("kept.png", {1, 2, 3});
  for (const auto& row : rows) {
    const ProcessResult r = run(kViewer, {"--png", out, row.picture});
    EXPECT_EQ(r.exit_code, 1) << row.kind << ": " << r.err.toStdString();
    EXPECT_EQ(r.err, QStringLiteral("tessview: %1 is a %2 picture, not a BMP1 or BMP4 file; tessera-convert makes "
                                    "one of it\n")
                         .arg(row.picture, row.kind));
    EXPECT_EQ(QFileInfo(out).size(), 3) << row.kind;
  }
}

TEST_F(Program, PngThatCannotBeWrittenFails) {
  const ProcessResult r = run(kViewer, {"--png", dir_.filePath("no/such/folder/x.png"),
                                        put("x.bmp4", Bmp4Picture::random(14).file_bytes())});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.err.contains("cannot write")) << r.err.toStdString();
}

// The converter writes the target file and a PNG of the rendered picture
// (320 x 200, BMP4 pixels doubled in width); the viewer's drawing of that file
// must be exactly that picture enlarged twice.
TEST_F(Program, DrawingMatchesTheConvertersRenderingOfTheSamples) {
  if (!QFileInfo(kConverter).isExecutable()) {
    GTEST_SKIP() << "tessera-convert is not built at " << kConverter.toStdString()
                 << ", so there are no converter files to compare with";
  }
  for (const char* sample :
       {"demo_snake_600x450.png", "rose_alpha_400x301.png", "hand_transparent_20x22.gif"}) {
    for (const char* format : {"bmp1", "bmp4"}) {
      SCOPED_TRACE(std::string(sample) + " as " + format);
      const QString stem = dir_.filePath(QFileInfo(sample).completeBaseName());
      const QString target = stem + "." + format;
      const QString rendered = stem + "_" + format + "_rendered.png";
      const ProcessResult c =
          run(kConverter, {"-f", format, kSamples + "/" + sample, "-o", target, "--png", rendered});
      ASSERT_EQ(c.exit_code, 0) << c.err.toStdString();
      ASSERT_EQ(QFileInfo(target).size(), QString(format) == "bmp1" ? 9032 : 16032);
      const QImage expected = QImage(rendered).convertToFormat(QImage::Format_ARGB32);
      ASSERT_EQ(expected.size(), QSize(320, 200));

      const QString drawn = stem + "_" + format + "_drawn.png";
      const ProcessResult v = run(kViewer, {"--png", drawn, target});
      ASSERT_EQ(v.exit_code, 0) << v.err.toStdString();
      EXPECT_FALSE(v.err.contains("tessview:")) << v.err.toStdString();
      const QString diff = first_difference(QImage(drawn), [&](int x, int y) {
        return std::uint32_t(expected.pixel(x / 2, y / 2)) | 0xFF000000u;
      });
      EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();
    }
  }
}

// The converter's BMP export holds one pixel for each target pixel (the left
// 160 columns for BMP4), a second view of the same rendering.
TEST_F(Program, DrawingMatchesTheConvertersBmpExport) {
  if (!QFileInfo(kConverter).isExecutable()) {
    GTEST_SKIP() << "tessera-convert is not built at " << kConverter.toStdString()
                 << ", so there are no converter files to compare with";
  }
  const QString sample = kSamples + "/demo_snake_600x450.png";
  for (const char* format : {"bmp1", "bmp4"}) {
    SCOPED_TRACE(format);
    const QString target = dir_.filePath(QStringLiteral("snake.") + format);
    const QString exported = dir_.filePath(QStringLiteral("snake_%1_out.bmp").arg(format));
    const ProcessResult c = run(kConverter, {"-f", format, sample, "-o", target, "--export-bmp", exported});
    ASSERT_EQ(c.exit_code, 0) << c.err.toStdString();
    const QImage bmp = QImage(exported).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(bmp.size(), QSize(320, 200));

    const QString drawn = dir_.filePath(QStringLiteral("snake_%1_drawn.png").arg(format));
    const ProcessResult v = run(kViewer, {"--png", drawn, target});
    ASSERT_EQ(v.exit_code, 0) << v.err.toStdString();
    const int width = QString(format) == "bmp1" ? 2 : 4;  // screen pixels across one target pixel
    const QString diff = first_difference(QImage(drawn), [&](int x, int y) {
      return std::uint32_t(bmp.pixel(x / width, y / 2)) | 0xFF000000u;
    });
    EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();
  }
}
