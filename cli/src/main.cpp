// tessera-convert: converts pictures into target-machine files from the
// command line, with the window's engine and the window's start settings.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "convert.h"
#include "options.h"
#include "palette_options.h"
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

// Each conversion allocates and frees several buffers of 9 MB (preview
// surfaces and their file bytes). By default glibc maps each one afresh and
// returns it to the system when freed, so every stage faults its pages in
// again: a third of a conversion's time. Kept in the heap, the next stage
// and the next picture reuse them.
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

  keep_large_buffers();
  PalettePlan plan;
  {
    std::vector<std::string> written;
    if (const std::string e = make_palette_plan(settings, plan, written); !e.empty()) {
      std::cerr << "tessera-convert: " << e << '\n';
      return 1;
    }
    if (!settings.quiet)
      for (const std::string& w : written) std::cerr << "[palette] -> " << w << '\n';
  }
  const std::size_t count = settings.pictures.size();
  std::size_t jobs = settings.jobs > 0 ? static_cast<std::size_t>(settings.jobs)
                                       : std::max(1u, std::thread::hardware_concurrency());
  jobs = std::min(jobs, count);

  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex report;
  std::size_t done = 0;
  auto worker = [&] {
    for (std::size_t i = next++; i < count; i = next++) {
      Outcome out;
      try {
        out = convert_picture(settings.pictures[i], settings, kNoPreviews, &plan);
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
