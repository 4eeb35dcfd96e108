// tessera-convert: converts pictures into target-machine files from the
// command line, with the window's engine and the window's start settings.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "convert.h"
#include "options.h"
#include "tessera/store.h"

using namespace tessera;
using namespace tessera::cli;

namespace {

// The stages write preview files for the window's picture boxes as they go:
// two of 9 MB for every picture. Nothing here shows them, so they are pointed
// at a directory that cannot exist (/dev/null is not a directory): every
// preview write fails at once, which the stages take in their stride, and
// conversions running side by side have nothing to share or clean up.
constexpr const char* kNoPreviews = "/dev/null";

// Each conversion allocates and frees buffers of several MB (the decoded
// picture, the stages' scratch). By default glibc maps each one afresh and
// returns it to the system when freed, so every picture of a batch faults its
// pages in again. Kept in the heap, the next picture reuses them. A single
// picture has nothing to reuse them for, and keeping them would only add to
// its peak memory.
void keep_large_buffers() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const ParseResult parsed = parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::cerr << "tessera-convert: " << parsed.error << "\nTry 'tessera-convert --help'.\n";
    return 2;
  }
  const Settings& settings = parsed.settings;
  if (settings.help) {
    std::cout << usage_text();
    return 0;
  }
  if (settings.version) {
    std::cout << "tessera-convert " << TESSERA_VERSION << '\n';
    return 0;
  }

  const std::size_t count = settings.pictures.size();
  if (count > 1) keep_large_buffers();
  std::size_t jobs = settings.jobs > 0 ? static_cast<std::size_t>(settings.jobs)
                                       : std::max(1u, std::thread::hardware_concurrency());
  jobs = std::min(jobs, count);

  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex report;
  std::size_t done = 0;
  auto worker = [&] {
    // One store per worker, reset for every picture; making a fresh one each
    // time would allocate and fault in its 5 MB again and again.
    std::unique_ptr<Store> store;
    for (std::size_t i = next++; i < count; i = next++) {
      Outcome out;
      try {
        if (!store)
          store = std::make_unique<Store>();
        else
          store->reset();
        out = convert_picture(settings.pictures[i], settings, kNoPreviews, *store);
      } catch (const std::exception& e) {
        out.error = settings.pictures[i] + ": " + e.what();
      }
      std::lock_guard<std::mutex> lock(report);
      ++done;
      if (!out.ok) {
        failed = true;
        std::cerr << "tessera-convert: " << out.error << '\n';
      } else if (!settings.quiet) {
        std::cerr << '[' << done << '/' << count << "] " << settings.pictures[i];
        for (std::size_t k = 0; k < out.written.size(); ++k)
          std::cerr << (k == 0 ? " -> " : ", ") << out.written[k];
        std::cerr << '\n';
      }
    }
  };

  std::vector<std::thread> threads;
  for (std::size_t t = 1; t < jobs; ++t) threads.emplace_back(worker);
  worker();
  for (std::thread& t : threads) t.join();
  return failed ? 1 : 0;
}
