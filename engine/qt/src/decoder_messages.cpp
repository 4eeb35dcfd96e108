#include "tessera/decoder_messages.h"

#include <dlfcn.h>

#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tessera {

namespace {

thread_local DecoderMessages* current = nullptr;

QtMessageHandler previous_handler = nullptr;

void handle_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (DecoderMessages::record(context.category, text.toStdString())) return;
  if (previous_handler) {
    previous_handler(type, context, text);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
  }
}

void install_handler() {
  static std::once_flag once;
  std::call_once(once, [] { previous_handler = qInstallMessageHandler(handle_message); });
}

}  // namespace

DecoderMessages::DecoderMessages() : outer_(current) {
  install_handler();
  current = this;
}

DecoderMessages::~DecoderMessages() { current = outer_; }

bool DecoderMessages::collecting() { return current != nullptr; }

bool DecoderMessages::record(const char* category, std::string text) {
  if (!current) return false;
  // Qt names messages without a category of their own "default".
  std::string name = category && std::string(category) != "default" ? category : "";
  current->messages_.push_back({std::move(name), std::move(text)});
  return true;
}

}  // namespace tessera

// ---- libpng's fatal errors ----------------------------------------------------
//
// Qt's PNG reader leaves libpng's error callback unset, so libpng prints the
// error to standard error itself before Qt gives up on the picture. Qt sets
// the callbacks through png_set_error_fn; this definition, linked into the
// program or into the Qt module (which comes before Qt and libpng in the
// order the module's libraries look symbols up in), is found before libpng's
// own, and while a picture is being decoded on the calling thread it puts in
// a callback that keeps the message instead. In every other case it hands
// the call on unchanged to the next definition, libpng's.

namespace {

using PngMessageFn = void (*)(void*, const char*);
using PngSetErrorFn = void (*)(void*, void*, PngMessageFn, PngMessageFn);
using PngLongjmpFn = void (*)(void*, int);

void* libpng_symbol(const char* name) {
  void* f = ::dlvsym(RTLD_NEXT, name, "PNG16_0");
  return f ? f : ::dlsym(RTLD_NEXT, name);
}

void keep_png_error(const char* message) {
  std::string text = std::string("libpng error: ") + (message ? message : "");
  if (!tessera::DecoderMessages::record("", std::move(text))) {
    std::fprintf(stderr, "libpng error: %s\n", message ? message : "");
  }
}

// libpng requires an error callback not to return: it jumps back to where
// the reader set its jump buffer, as libpng's own callback would.
[[noreturn]] void png_error_kept(void* png, const char* message) {
  keep_png_error(message);
  static const auto jump = reinterpret_cast<PngLongjmpFn>(libpng_symbol("png_longjmp"));
  if (jump) jump(png, 1);
  std::abort();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void png_set_error_fn(void* png, void* error_ptr, PngMessageFn error_fn, PngMessageFn warning_fn) {
  static const auto real = reinterpret_cast<PngSetErrorFn>(libpng_symbol("png_set_error_fn"));
  if (!real) return;
  if (!error_fn && tessera::DecoderMessages::collecting()) error_fn = png_error_kept;
  real(png, error_ptr, error_fn, warning_fn);
}
