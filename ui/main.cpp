#include <QApplication>
#include <QTimer>

#include "tessera/frm_main.h"
#include "tessera/handlers.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tessera::frmMain window;
  window.store.IMGSCALE = 6;
  window.store.TEMPFILEPATH = tessera::default_temp_path();
  // A picture named on the command line opens as if chosen in the dialog,
  // once the window is up and its output list is filled.
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    const std::string path = args.at(1).toStdString();
    QTimer::singleShot(0, [&window, path] { tessera::open_picture(window, path); });
  }
  window.run();
  return 0;
}
