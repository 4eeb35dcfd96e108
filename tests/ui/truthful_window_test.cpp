// What the window saves is what it shows, long work looks like work, and the
// program's own command line.
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tessera/busy.h"
#include "tessera/command_line.h"
#include "tessera/controls.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/target_files.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> bytes_of(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The colour the target machine shows at (x, y) of a BMP1 file, decoded from
// the bytes alone: bit set -> the pair's high nibble, clear -> the low one.
QRgb bmp1_pixel(const std::vector<unsigned char>& f, int x, int y) {
  const bool set = (f[static_cast<std::size_t>(y * 40 + x / 8)] >> (7 - x % 8)) & 1;
  const unsigned pair = f[8000 + static_cast<std::size_t>((y / 8) * 40 + x / 8)];
  const unsigned index = set ? pair >> 4 : pair & 15;
  const int r = f[9000 + 2 * index + 1] & 15, g = f[9000 + 2 * index] >> 4, b = f[9000 + 2 * index] & 15;
  return qRgb(r * 17, g * 17, b * 17);
}

QRgb bmp4_pixel(const std::vector<unsigned char>& f, int x, int y) {
  const unsigned byte = f[static_cast<std::size_t>(y * 80 + x / 2)];
  const unsigned index = x % 2 == 0 ? byte >> 4 : byte & 15;
  const int r = f[16000 + 2 * index + 1] & 15, g = f[16000 + 2 * index] >> 4, b = f[16000 + 2 * index] & 15;
  return qRgb(r * 17, g * 17, b * 17);
}

class TruthTest : public WindowTest {
 protected:
  // The preview file the output box shows now (the last one written).
  QImage preview_file() const {
    const int n = f->store.TEMPFILECOUNT - 1;
    return QImage(QString::fromStdString((dir / "tmp" / ("outimage" + std::to_string(n) + ".bmp")).string()));
  }

  // Working pixel (x, y) as the preview draws it: a 6 x 6 block.
  static QRgb shown(const QImage& preview, int x, int y) { return preview.pixel(x * 6 + 3, y * 6 + 3) | 0xFF000000u; }

  QPoint on_screen(QPoint pixel) const {
    const QSize box = f->OutputImgFrame.widget()->size();
    const int w = f->store.RENDEREDFILETYPE == 4 ? 160 : 320;
    return QPoint((2 * pixel.x() + 1) * box.width() / (2 * w), (2 * pixel.y() + 1) * box.height() / 400);
  }

  // A sample without transparency (the preview ignores clicks on pictures
  // with it), flattened onto white where it had some.
  std::string opaque_sample(const std::string& name) {
    const std::string copy = sample_copy(name);
    QImage picture(QString::fromStdString(copy));
    if (!picture.hasAlphaChannel()) return copy;
    QImage flat(picture.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter(&flat).drawImage(0, 0, picture);
    const fs::path to = dir / ("flat_" + fs::path(name).stem().string() + ".png");
    EXPECT_TRUE(flat.save(QString::fromStdString(to.string())));
    return to.string();
  }

  std::string saved_name(const std::string& picture, const std::string& ending) const {
    return (dir / (fs::path(picture).stem().string() + ending)).string();
  }
};

// ---- saves follow the rendering ------------------------------------------------

TEST_F(TruthTest, BothSavesNameTheRenderedPictureAndHoldItsPixels) {
  const std::string cat = sample_copy();
  open(cat);
  f->ProcessButton.click();
  f->SaveExec.click();
  f->SaveBMP.click();
  const fs::path target = saved_name(cat, ".bmp1"), exported = saved_name(cat, "_out.bmp");
  const auto target_bytes = bytes_of(target), export_bytes = bytes_of(exported);
  ASSERT_EQ(target_bytes.size(), 9032u);
  ASSERT_EQ(export_bytes.size(), 54u + 320 * 200 * 4);
  fs::remove(target);
  fs::remove(exported);

  // Another picture opened, even in the other format: the saves still hold
  // the rendering, under its picture's name.
  const std::string rocket = sample_copy("rose_alpha_400x301.png");
  f->OutputTypesBox.set_selected_index(1);
  open(rocket);
  ASSERT_EQ(f->store.OUTPUTFILETYPE, 4);
  messages.clear();
  f->SaveExec.click();
  f->SaveBMP.click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], saved_message(target.string()));
  EXPECT_EQ(messages[1], saved_message(exported.string()));
  EXPECT_EQ(bytes_of(target), target_bytes);
  EXPECT_EQ(bytes_of(exported), export_bytes);
  EXPECT_FALSE(fs::exists(saved_name(rocket, ".bmp1")));
  EXPECT_FALSE(fs::exists(saved_name(rocket, ".bmp4")));
  EXPECT_FALSE(fs::exists(saved_name(rocket, "_out.bmp")));

  // Rendered now: the saves move to it.
  f->Redraw.click();
  messages.clear();
  f->SaveExec.click();
  f->SaveBMP.click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], saved_message(saved_name(rocket, ".bmp4")));
  EXPECT_EQ(messages[1], saved_message(saved_name(rocket, "_out.bmp")));
  EXPECT_EQ(fs::file_size(saved_name(rocket, ".bmp4")), 16032u);
}

TEST_F(TruthTest, NothingIsSavedFromAPictureThatCouldNotBeRead) {
  const fs::path bad = dir / "notapicture.png";
  std::ofstream(bad) << "plain text";
  open(bad.string());
  ASSERT_FALSE(f->store.LOADERROR.empty());
  // Not even the empty working image before a rendering.
  f->SaveBMP.click();
  f->ProcessButton.click();
  f->SaveExec.click();
  f->SaveBMP.click();
  ASSERT_EQ(messages.size(), 3u);
  for (const std::string& m : messages) EXPECT_EQ(m, unreadable_message(bad.string()));
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_TRUE(e.path() == bad || e.path().filename() == "tmp") << "written: " << e.path();

  // A good picture opened but not rendered yet: the rendering is still the
  // unreadable one, so still nothing is saved.
  open(sample_copy());
  messages.clear();
  f->SaveExec.click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], unreadable_message(bad.string()));
  EXPECT_FALSE(fs::exists(dir / "demo_snake_600x450.bmp1"));

  // A rendering of a good picture is not lost to an unreadable one opened
  // after it.
  f->ProcessButton.click();
  const std::string good_target = saved_name("demo_snake_600x450.png", ".bmp1");
  open(bad.string());
  messages.clear();
  f->SaveExec.click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], saved_message(good_target));
  EXPECT_FALSE(fs::exists(dir / "notapicture.bmp1"));
}

// The message box the window shows for it: captioned "Message", one OK button.
TEST_F(TruthTest, TheRefusalIsAMessageBoxCaptionedMessage) {
  std::string caption, text;
  QMessageBox::StandardButtons buttons;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    caption = box->windowTitle().toStdString();
    text = box->text().toStdString();
    buttons = box->standardButtons();
    box->accept();
  });
  poll.start(10);
  qt_desktop().message(unreadable_message("/pics/notapicture.png"));
  poll.stop();
  EXPECT_EQ(caption, "Message");
  EXPECT_EQ(text, "The picture /pics/notapicture.png could not be read, so nothing was saved.");
  EXPECT_EQ(buttons, QMessageBox::Ok);
}

// ---- ALT click with BMP1 ----------------------------------------------------------

struct Mismatch {
  int file = 0, exported = 0, redrawn = 0;
};

class AltClickSaveTest : public TruthTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(AltClickSaveTest, TheSavedFileShowsWhatThePreviewShowsPixelForPixel) {
  open(opaque_sample(GetParam()));
  f->ProcessButton.click();
  ASSERT_EQ(f->store.ISTRANSPARENT, 0);
  ASSERT_EQ(f->store.RENDEREDFILETYPE, 1);
  const QImage before = preview_file();
  ASSERT_EQ(before.size(), QSize(1920, 1200));

  // The entry named by most cells, other than entry 1, with a pixel to click.
  int best = 0, best_cells = -1;
  std::optional<QPoint> where;
  for (int I = 2; I <= 16; ++I) {
    int cells = 0;
    for (int cx = 0; cx < 40; ++cx)
      for (int cy = 0; cy < 25; ++cy)
        cells += f->store.OUTCOLORBLOCK[cx][cy][1] == I || f->store.OUTCOLORBLOCK[cx][cy][2] == I;
    std::optional<QPoint> pixel;
    for (int y = 0; y < 200 && !pixel; ++y)
      for (int x = 0; x < 320 && !pixel; ++x)
        if (f->store.IMAGEOUT(x, y, 4) == I - 1) pixel = QPoint(x, y);
    if (pixel && cells > best_cells) {
      best = I;
      best_cells = cells;
      where = pixel;
    }
  }
  ASSERT_TRUE(where);
  ASSERT_GT(best_cells, 0);
  const QImage on_screen_before = f->OutputImgFrame.widget()->grab().toImage();

  point_at(f->OutputImgFrame.widget(), on_screen(*where));
  alt = true;
  f->OutputImgFrame.click();
  alt = false;
  ASSERT_EQ(f->store.MANUALTRANSPARENT, 1);
  EXPECT_EQ(f->OutputImgFrame.widget()->grab().toImage(), on_screen_before) << "the preview stays as it was";
  const QImage after = preview_file();

  f->SaveExec.click();
  f->SaveBMP.click();
  const auto file = bytes_of(dir / (fs::path(f->store.RENDEREDFILENAME).stem().string() + ".bmp1"));
  ASSERT_EQ(file.size(), 9032u);
  const QImage exported(QString::fromStdString(
      (dir / (fs::path(f->store.RENDEREDFILENAME).stem().string() + "_out.bmp")).string()));
  ASSERT_EQ(exported.size(), QSize(320, 200));
  f->Redraw.click();
  const QImage redrawn = preview_file();

  Mismatch m;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      const QRgb seen = shown(after, x, y);
      ASSERT_EQ(seen, shown(before, x, y));
      m.file += bmp1_pixel(file, x, y) != seen;
      m.exported += (exported.pixel(x, y) | 0xFF000000u) != seen;
      m.redrawn += shown(redrawn, x, y) != seen;
    }
  std::printf("[ figures  ] %s: entry %d named by %d cells; pixels differing from the preview: file %d, export %d, "
              "next rendering %d of 64000\n",
              GetParam(), best, best_cells, m.file, m.exported, m.redrawn);
  EXPECT_EQ(m.file, 0);
  EXPECT_EQ(m.exported, 0);
  EXPECT_EQ(m.redrawn, 0);
}

INSTANTIATE_TEST_SUITE_P(Samples, AltClickSaveTest,
                         ::testing::Values("demo_snake_600x450.png", "demo_snake_600x450.jpg",
                                           "rose_alpha_400x301.png", "hand_transparent_20x22.gif"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = fs::path(info.param).stem().string() + "_" +
                                              fs::path(info.param).extension().string().substr(1);
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST_F(TruthTest, AltClickWithBmp4LeavesTheCellPairsAlone) {
  f->OutputTypesBox.set_selected_index(1);
  open(sample_copy());
  f->ProcessButton.click();
  ASSERT_EQ(f->store.RENDEREDFILETYPE, 4);
  const CellTable cells = f->store.OUTCOLORBLOCK;
  std::optional<QPoint> where;
  for (int y = 0; y < 200 && !where; ++y)
    for (int x = 0; x < 160 && !where; ++x)
      if (f->store.IMAGEOUT(x, y, 4) == 5) where = QPoint(x, y);
  ASSERT_TRUE(where);
  const QImage before = preview_file();
  point_at(f->OutputImgFrame.widget(), on_screen(*where));
  alt = true;
  f->OutputImgFrame.click();
  EXPECT_EQ(f->store.OUTCOLORBLOCK, cells);
  EXPECT_EQ(f->store.OCLUSTER[1][1] * 65536 + f->store.OCLUSTER[1][2] * 256 + f->store.OCLUSTER[1][3],
            static_cast<int>(shown(before, where->x(), where->y()) & 0xFFFFFF));
  f->SaveExec.click();
  const auto file = bytes_of(dir / "demo_snake_600x450.bmp4");
  ASSERT_EQ(file.size(), 16032u);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 160; ++x) ASSERT_EQ(bmp4_pixel(file, x, y), shown(before, x, y)) << x << "," << y;
}

// ---- the preview before anything was rendered ----------------------------------------

TEST_F(TruthTest, BeforeTheFirstRenderingAClickOnThePreviewDoesNothing) {
  point_at(f->OutputImgFrame.widget(), {100, 100});
  const Palette palette = f->store.OCLUSTER;
  for (bool with_alt : {false, true}) {
    alt = with_alt;
    f->OutputImgFrame.click();
  }
  // Nor once a picture is open but not yet rendered.
  open(sample_copy());
  clear_previews();
  for (bool with_alt : {false, true}) {
    alt = with_alt;
    f->OutputImgFrame.click();
  }
  EXPECT_TRUE(colour_dialog_starts.empty());
  EXPECT_EQ(alt_reads, 0);
  EXPECT_EQ(f->store.OCLUSTER, palette);
  EXPECT_EQ(f->store.MANUALTRANSPARENT, 0);
  EXPECT_TRUE(previews().empty());
  EXPECT_TRUE(f->OutputImgFrame.image().isNull());

  // Once rendered, the same click picks the colour there.
  alt = false;
  f->ProcessButton.click();
  f->OutputImgFrame.click();
  EXPECT_FALSE(colour_dialog_starts.empty());
}

// ---- long work looks like work ---------------------------------------------------------

// What the status line showed whenever it was painted, and whether the busy
// cursor was up then.
class StatusWatch : public QObject {
 public:
  explicit StatusWatch(QWidget* label) : label_(static_cast<QLabel*>(label)) { label_->installEventFilter(this); }
  ~StatusWatch() override { label_->removeEventFilter(this); }

  struct Seen {
    std::string text;
    bool busy;
  };
  std::vector<Seen> seen;

  bool painted_busy(const std::string& text) const {
    for (const Seen& s : seen)
      if (s.text == text && s.busy) return true;
    return false;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == label_ && e->type() == QEvent::Paint) {
      const QCursor* c = QApplication::overrideCursor();
      seen.push_back({label_->text().toStdString(), c != nullptr && c->shape() == Qt::WaitCursor});
    }
    return false;
  }

 private:
  QLabel* label_;
};

TEST_F(TruthTest, EachStageShowsTheBusyCursorAndItsNameBeforeItRuns) {
  const std::string picture = sample_copy();
  StatusWatch watch(f->StatusBar.widget());
  open(picture);
  EXPECT_TRUE(watch.painted_busy("Reading demo_snake_600x450.png...")) << watch.seen.size();
  EXPECT_TRUE(watch.painted_busy(kCountingText));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The stages' own texts follow as before.
  EXPECT_EQ(f->StatusBar.text(), "Unique Colors ... " + std::to_string(f->store.COLCOUNT));

  watch.seen.clear();
  f->ProcessButton.click();
  for (const std::string& t : {std::string("Preparing demo_snake_600x450.png..."), std::string(kCountingText),
                               std::string(kChoosingPaletteText), std::string(kDrawingText)})
    EXPECT_TRUE(watch.painted_busy(t)) << t;
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The same last word as the stages give without the window.
  Store s;
  ControlValues c;
  s.OPENFILENAME = picture;
  s.TEMPFILEPATH = (dir / "tmp").string();
  REDISPLAYINPUT(s, c);
  COUNTINPUTCOLORS(s, c);
  INITIALIZECOLORS(s, c);
  DRAWOUTPUT(s, c);
  EXPECT_EQ(f->StatusBar.text(), c.labels[Ctl::StatusBar]);

  // A stage that says nothing itself leaves the status line as it was.
  const std::string said = f->StatusBar.text();
  watch.seen.clear();
  f->Redraw.click();
  EXPECT_TRUE(watch.painted_busy(kDrawingText));
  EXPECT_EQ(f->StatusBar.text(), said);
  watch.seen.clear();
  f->TransUpDown.click(1);
  EXPECT_TRUE(watch.painted_busy(kChoosingPairsText));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(TruthTest, TheBusyCursorGoesEvenWhenAStageFails) {
  f->StatusBar.set_text("before");
  try {
    const StageInProgress busy(*f, "Working...");
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(f->StatusBar.text(), "Working...");
    throw std::runtime_error("out of memory");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(f->StatusBar.text(), "before");
  // One stage inside another: the cursor goes with the outer one.
  {
    const StageInProgress outer(*f, "Outer...");
    { const StageInProgress inner(*f, "Inner..."); }
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(f->StatusBar.text(), "Outer...");
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- the program's command line ---------------------------------------------------------

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

class CommandLineTest : public WindowTest {
 protected:
  // Runs the program with no display at all.
  ProgramRun run(const std::string& args) {
    const fs::path out = dir / "stdout", err = dir / "stderr";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 '" +
                                std::string(TESSERA_BINARY_DIR) + "/ui/Tessera' " + args + " >'" + out.string() +
                                "' 2>'" + err.string() + "'";
    ProgramRun r;
    const int status = std::system(command.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto o = bytes_of(out), e = bytes_of(err);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
  }
};

TEST_F(CommandLineTest, HelpAndVersionPrintAndExitWithoutAWindow) {
  for (const char* help : {"--help", "-h"}) {
    const ProgramRun r = run(help);
    EXPECT_EQ(r.status, 0) << help << r.err;
    EXPECT_EQ(r.out, command_line_usage()) << help;
    EXPECT_EQ(r.out.rfind("Usage: Tessera", 0), 0u);
    EXPECT_TRUE(r.err.empty()) << r.err;
  }
  const ProgramRun v = run("--version");
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out, "Tessera 1.2\n");
  EXPECT_TRUE(v.err.empty()) << v.err;
}

TEST_F(CommandLineTest, AnUnknownOptionIsAUsageError) {
  for (const char* args : {"--bogus", "-x picture.png", "a.png b.png"}) {
    const ProgramRun r = run(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(r.err.rfind("Tessera: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Try 'Tessera --help'."), std::string::npos) << r.err;
  }
  EXPECT_NE(run("--bogus").err.find("unknown option '--bogus'"), std::string::npos);
}

TEST(CommandLineParse, PictureQtOptionsAndTheEndOfOptions) {
  CommandLine c = parse_command_line({});
  EXPECT_EQ(c.action, CommandLine::Action::Run);
  EXPECT_FALSE(c.picture);

  c = parse_command_line({"-platform", "offscreen", "photo.png", "--style=fusion", "-reverse"});
  EXPECT_EQ(c.action, CommandLine::Action::Run);
  EXPECT_EQ(c.picture, "photo.png");
  EXPECT_EQ(c.qt_options, (std::vector<std::string>{"-platform", "offscreen", "--style=fusion", "-reverse"}));

  c = parse_command_line({"--", "-odd name.png"});
  EXPECT_EQ(c.action, CommandLine::Action::Run);
  EXPECT_EQ(c.picture, "-odd name.png");

  EXPECT_EQ(parse_command_line({"photo.png", "--help"}).action, CommandLine::Action::Help);
  EXPECT_EQ(parse_command_line({"--version"}).action, CommandLine::Action::Version);
  c = parse_command_line({"-platform"});
  EXPECT_EQ(c.action, CommandLine::Action::UsageError);
  EXPECT_EQ(c.error, "option '-platform' needs a value");
  EXPECT_EQ(parse_command_line({"--reverse=1"}).action, CommandLine::Action::UsageError);
  EXPECT_EQ(parse_command_line({"--helpme"}).action, CommandLine::Action::UsageError);
}

TEST_F(CommandLineTest, APictureThatCannotBeReadIsNamedAsTyped) {
  const QString was = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(dir.string()));
  open_named_picture(*f, "photo.png");
  QDir::setCurrent(was);
  EXPECT_EQ(f->StatusBar.text(), "Picture could not be read: file missing (photo.png)");
  EXPECT_EQ(f->store.OPENFILENAME, (dir / "photo.png").string());
  EXPECT_TRUE(f->widget()->grab().save(
      QString::fromStdString((fs::path(TESSERA_BINARY_DIR) / "window-unreadable.png").string())));

  // A readable one says what the census says.
  open_named_picture(*f, sample_copy());
  EXPECT_EQ(f->StatusBar.text(), "Unique Colors ... " + std::to_string(f->store.COLCOUNT));
}

// ---- how it looks -------------------------------------------------------------------------

TEST_F(TruthTest, ScreenshotWhileAStageRuns) {
  open(sample_copy());
  f->ProcessButton.click();
  const std::string said = f->StatusBar.text();
  QImage shot, status;
  {
    const StageInProgress busy(*f, reading_text("/pics/photo.png"));
    shot = f->widget()->grab().toImage();
    status = f->StatusBar.widget()->grab().toImage();
  }
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(QString::fromStdString((fs::path(TESSERA_BINARY_DIR) / "window-busy.png").string())));
  EXPECT_EQ(f->StatusBar.text(), said);
  // The status line as painted differs from the one painted afterwards.
  EXPECT_NE(status, f->StatusBar.widget()->grab().toImage());
}

}  // namespace
}  // namespace tessera::testing
