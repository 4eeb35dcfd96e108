#include "tessera/qt_layer.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>

namespace tessera {

namespace {

std::atomic<const QtLayer*> registered{nullptr};

// The module lies where it is installed relative to the program, and the
// build tree keeps the same layout (TESSERA_QT_MODULE: the module's path
// from the programs' folder).
std::string module_path() {
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string folder = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
  const std::size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
  return folder + "/" TESSERA_QT_MODULE;
}

struct Loaded {
  const QtLayer* layer = nullptr;
  std::string why;
};

Loaded load_module() {
  Loaded out;
  const std::string path = module_path();
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* e = ::dlerror();
    out.why = e ? e : path + ": cannot be loaded";
    return out;
  }
  const auto entry = reinterpret_cast<const QtLayer* (*)()>(::dlsym(module, "tessera_qt_layer"));
  if (entry == nullptr) {
    const char* e = ::dlerror();
    out.why = e ? e : path + ": no tessera_qt_layer";
    return out;
  }
  out.layer = entry();
  if (out.layer == nullptr) out.why = path + ": the module gave no table";
  return out;
}

}  // namespace

void register_qt_layer(const QtLayer* layer) { registered.store(layer, std::memory_order_release); }

const QtLayer* qt_layer(std::string* why) {
  if (const QtLayer* layer = registered.load(std::memory_order_acquire)) return layer;
  // Qt takes the first thread that calls into it for its main thread: its
  // plugins' objects belong to that thread and are torn down at exit against
  // its state. Loaded from a worker that ends before the program does, that
  // state would be freed under them. So the module is loaded, and Qt first
  // called, on a thread of its own that never ends: it waits until the
  // process exits, and whichever thread needs Qt first, and whenever, Qt's
  // main thread outlives everything that relies on it.
  static std::once_flag once;
  static Loaded loaded;
  std::call_once(once, [] {
    std::promise<Loaded> result;
    std::future<Loaded> ready = result.get_future();
    try {
      std::thread([result = std::move(result)]() mutable {
        result.set_value(load_module());
        for (;;) ::pause();
      }).detach();
    } catch (const std::system_error&) {
      loaded.why = "no thread to load " + module_path() + " on";
      return;
    }
    loaded = ready.get();
  });
  if (loaded.layer == nullptr && why != nullptr) *why = loaded.why;
  return loaded.layer;
}

}  // namespace tessera
