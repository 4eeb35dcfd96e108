// tessera-icon: draws the window's logo as a square PNG for the icon theme.
// A build tool, not installed. Usage: tessera-icon OUT.png SIZE
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "tessera/frm_main.h"

int main(int argc, char** argv) {
  const int size = argc == 3 ? std::atoi(argv[2]) : 0;
  if (size < 16 || size > 1024) {
    std::fprintf(stderr, "usage: tessera-icon OUT.png SIZE (16 to 1024)\n");
    return 2;
  }
  // Painting wants an application for its default font; builds have no
  // display, and drawing into an image needs none.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QImage logo = tessera::tessera_logo(size, size);
  if (!logo.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "tessera-icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
