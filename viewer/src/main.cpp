// tessview: shows a BMP1 or BMP4 file enlarged, as the target machine would,
// until a key is pressed.

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tessview/arguments.h"
#include "tessview/picture.h"
#include "tessview/screen.h"
#include "tessview/target_file.h"
#include "window.h"

namespace {

constexpr char kUsage[] =
    "Usage: tessview [FILE]\n"
    "       tessview --png OUT FILE\n"
    "\n"
    "Shows a BMP1 or BMP4 file in a 640 x 400 window until a key is pressed. A name\n"
    "ending in .bmp1 (in any case) is read as BMP1, any other as BMP4. Without FILE\n"
    "a dialog asks for one.\n"
    "\n"
    "  --png OUT   draw FILE into a 640 x 400 picture and save it as the PNG file OUT,\n"
    "              without opening a window\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "A file that ends early is drawn with the missing bytes as zeros, one that goes on\n"
    "past its format's end without the extra bytes; both are reported on standard\n"
    "error. A folder, FIFO or device is refused, and so, with --png, is a PNG, JPEG,\n"
    "GIF, BMP, TIFF or WebP picture (tessera-convert makes a target file of it).\n"
    "Exit status: 0; with --png, 1 when FILE cannot be opened or is another kind of\n"
    "picture or OUT cannot be written; 2 for a wrong command line.\n";

void report_problems(const QStringList& problems) {
  for (const QString& line : problems) std::cerr << "tessview: " << line.toLocal8Bit().constData() << '\n';
}

// A script that hands over a photo by mistake would otherwise get a PNG of
// noise and exit 0. Told before Qt starts, and OUT is left alone.
bool refused_as_other_picture(const QString& file, const tessview::TargetFile& target) {
  const QString kind = tessview::other_picture_format(target);
  if (kind.isEmpty()) return false;
  std::cerr << "tessview: " << file.toLocal8Bit().constData() << " is a " << kind.toStdString()
            << " picture, not a BMP1 or BMP4 file; tessera-convert makes one of it\n";
  return true;
}

int draw_to_png(const QString& out, const QString& file, const tessview::TargetFile& target) {
  tessview::Screen screen(640, 400);
  const tessview::Shown shown = tessview::show_file(file, target, screen);
  report_problems(shown.problems);
  if (!screen.image().save(out, "PNG")) {
    std::cerr << "tessview: cannot write " << out.toLocal8Bit().constData() << '\n';
    return 1;
  }
  return shown.outcome == tessview::Outcome::NotOpened ? 1 : 0;
}

int show_in_window(QString file) {
  // The window is up before the dialog, so the dialog has it behind it.
  tessview::ViewerWindow window;
  window.show();
  if (file.isEmpty()) {
    // Qt's own dialog rather than the desktop's: the desktop dialogs on Linux
    // match patterns case-sensitively, and *.bm4 must list X.BM4 as well.
    file = QFileDialog::getOpenFileName(nullptr, QString::fromLatin1(tessview::kDialogTitle), QString(),
                                        tessview::dialog_filter(), nullptr, QFileDialog::DontUseNativeDialog);
    if (file.isEmpty() || !window.isVisible()) return 0;
  }

  const tessview::Shown shown = tessview::show_file(file, window.screen());
  report_problems(shown.problems);
  QString title = QStringLiteral("tessview - %1").arg(QFileInfo(file).fileName());
  if (shown.outcome == tessview::Outcome::Short) title += QStringLiteral(" (incomplete file)");
  if (shown.outcome == tessview::Outcome::Long) title += QStringLiteral(" (extra bytes ignored)");
  window.setWindowTitle(title);
  window.update();
  window.raise();
  window.activateWindow();
  QApplication::exec();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The command line is read before any window system is touched, so that
  // help and usage errors need no display.
  const tessview::Arguments arguments = tessview::parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (arguments.action) {
    case tessview::Arguments::Action::Help:
      std::cout << kUsage;
      return 0;
    case tessview::Arguments::Action::Version:
      std::cout << "tessview " << TESSERA_VERSION << '\n';
      return 0;
    case tessview::Arguments::Action::Error:
      std::cerr << "tessview: " << arguments.error << "\n\n" << kUsage;
      return 2;
    default:
      break;
  }
  const bool png = arguments.action == tessview::Arguments::Action::Png;
  const QString file = QFile::decodeName(QByteArray::fromStdString(arguments.file));
  tessview::TargetFile target;
  if (png) {
    target = tessview::read_target_file(file);
    if (refused_as_other_picture(file, target)) return 1;
  }
  // Drawing into a PNG is for scripts and tests, which may have no display.
  if (png && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::unique_ptr<QGuiApplication> app =
      png ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QApplication>(argc, argv);

  return png ? draw_to_png(QFile::decodeName(QByteArray::fromStdString(arguments.png)), file, target)
             : show_in_window(file);
}
