// tessview: shows a BMP1 or BMP4 file enlarged, as the target machine would,
// until a key is pressed.

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

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
    "\n"
    "A file that ends early is drawn with the missing bytes as zeros and reported on\n"
    "standard error. Exit status: 0; with --png, 1 when FILE cannot be opened or OUT\n"
    "cannot be written; 2 for a wrong command line.\n";

struct Options {
  std::optional<QString> png;
  QString file;
};

// Qt's own options are gone from the arguments by the time this runs.
std::optional<Options> parse(const QStringList& arguments, QString& error) {
  Options options;
  bool positional_only = false;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (!positional_only && arg == QStringLiteral("--")) {
      positional_only = true;
    } else if (!positional_only && arg == QStringLiteral("--png")) {
      if (i + 1 >= arguments.size()) {
        error = QStringLiteral("--png needs the name of the PNG file to write");
        return std::nullopt;
      }
      options.png = arguments[++i];
    } else if (!positional_only && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
      error = QStringLiteral("unknown option %1").arg(arg);
      return std::nullopt;
    } else if (options.file.isEmpty()) {
      options.file = arg;
    } else {
      error = QStringLiteral("only one file can be shown");
      return std::nullopt;
    }
  }
  if (options.png && options.file.isEmpty()) {
    error = QStringLiteral("--png needs a file to draw");
    return std::nullopt;
  }
  return options;
}

void report_problems(const QStringList& problems) {
  for (const QString& line : problems) std::cerr << "tessview: " << line.toLocal8Bit().constData() << '\n';
}

// A look at the raw arguments, before Qt has taken out its own, to decide
// what kind of application to start.
bool raw_option(int argc, char** argv, const char* option) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], option) == 0) return true;
  }
  return false;
}

int draw_to_png(const QString& out, const QString& file) {
  tessview::Screen screen(640, 400);
  const tessview::Shown shown = tessview::show_file(file, screen);
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
    // match patterns case-sensitively, and *.BM4 must list x.bm4 as well.
    file = QFileDialog::getOpenFileName(
        nullptr, QString::fromLatin1(tessview::kDialogTitle), QString(), tessview::dialog_filter(), nullptr,
        QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    if (file.isEmpty() || !window.isVisible()) return 0;
  }

  const tessview::Shown shown = tessview::show_file(file, window.screen());
  report_problems(shown.problems);
  QString title = QStringLiteral("tessview - %1").arg(QFileInfo(file).fileName());
  if (shown.outcome == tessview::Outcome::Short) title += QStringLiteral(" (incomplete file)");
  window.setWindowTitle(title);
  window.update();
  window.raise();
  window.activateWindow();
  QApplication::exec();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // --help must work without a display, so it is answered before any window
  // system is touched.
  if (raw_option(argc, argv, "--help") || raw_option(argc, argv, "-h")) {
    std::cout << kUsage;
    return 0;
  }
  const bool png = raw_option(argc, argv, "--png");
  // Drawing into a PNG is for scripts and tests, which may have no display.
  if (png && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::unique_ptr<QGuiApplication> app =
      png ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QApplication>(argc, argv);

  QString error;
  const std::optional<Options> options = parse(QCoreApplication::arguments(), error);
  if (!options) {
    std::cerr << "tessview: " << error.toLocal8Bit().constData() << "\n\n" << kUsage;
    return 2;
  }
  return png ? draw_to_png(*options->png, options->file) : show_in_window(options->file);
}
