// The Qt layer's table, as the module gives it to the programs that load it
// and as the programs that link it register it (linked.cpp).
#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>

#include "qt_decode.h"
#include "tessera/qt_layer.h"

namespace {

const tessera::QtLayer kTable{&tessera::qt::decode, &tessera::qt::encode_png};

#if defined(TESSERA_QT_MODULE_BUILD)
// Called on the thread that loads the module, which lives until the program
// ends (see qt_layer): the first thread to call into Qt becomes Qt's main
// thread, and the readers' and writers' plugin loaders, made on first use,
// belong to the thread that made them. Made here, they all belong to a thread
// that outlives them, whichever thread reads the first picture. Reading
// nothing in a built-in format loads no plugin.
void take_qt_for_this_thread() {
  QByteArray nothing;
  QBuffer in(&nothing);
  in.open(QIODevice::ReadOnly);
  QImageReader reader(&in, "png");
  reader.setAutoDetectImageFormat(false);
  reader.canRead();
  QByteArray written;
  QBuffer out(&written);
  out.open(QIODevice::WriteOnly);
  QImageWriter writer(&out, "png");
  writer.canWrite();
}
#endif

}  // namespace

extern "C" __attribute__((visibility("default"))) const tessera::QtLayer* tessera_qt_layer() {
#if defined(TESSERA_QT_MODULE_BUILD)
  static const bool taken = (take_qt_for_this_thread(), true);
  (void)taken;
#endif
  return &kTable;
}
