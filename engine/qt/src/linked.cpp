// Linked into a program that links Qt anyway (the window, the tests): the Qt
// layer is registered before main, so nothing loads the module.
#include "tessera/qt_layer.h"

namespace {

[[maybe_unused]] const bool registered = (tessera::register_qt_layer(tessera_qt_layer()), true);

}  // namespace
