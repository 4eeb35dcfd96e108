#include "tessera/qt_layer.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace tessera {

namespace {

std::atomic<const QtLayer*> registered{nullptr};

// As the decoders say it when a picture does not fit.
constexpr const char* kNotEnoughMemory = "not enough memory";

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

// Whether memory is what the loader ran out of. Its mapping failures keep no
// errno ("failed to map segment from shared object" is also what a noexec
// mount gives), so the message only says where it failed; the address space
// left says why. The probe is larger than the module and Qt's libraries
// together: with that much free, their mappings would have fitted.
bool memory_is_short() {
  constexpr std::size_t kProbe = std::size_t{256} << 20;
  void* probe = ::mmap(nullptr, kProbe, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (probe == MAP_FAILED) return errno == ENOMEM;
  ::munmap(probe, kProbe);
  return false;
}

// The loader's messages for a mapping or an allocation that failed.
bool is_mapping_failure(const std::string& message) {
  for (const char* words : {"failed to map segment", "cannot map zero-fill pages", "cannot allocate", "out of memory",
                            "Cannot allocate memory"})
    if (message.find(words) != std::string::npos) return true;
  return false;
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
    if (is_mapping_failure(out.why) && memory_is_short()) out.why = kNotEnoughMemory;
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
    } catch (const std::system_error& e) {
      // A thread's stack is mapped like a library: short of address space,
      // the thread is refused (EAGAIN) before the module is even opened.
      loaded.why = e.code() == std::errc::resource_unavailable_try_again && memory_is_short()
                       ? std::string(kNotEnoughMemory)
                       : "no thread to load " + module_path() + " on";
      return;
    }
    loaded = ready.get();
  });
  if (loaded.layer == nullptr && why != nullptr) *why = loaded.why;
  return loaded.layer;
}

}  // namespace tessera
