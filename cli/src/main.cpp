// tessera-convert: converts pictures into target-machine files from the
// command line, with the window's engine and the window's start settings.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert.h"
#include "options.h"
#include "tessera/store.h"

namespace fs = std::filesystem;
using namespace tessera;
using namespace tessera::cli;

namespace {

// The stages write preview files as they go, named from a per-store counter;
// conversions running side by side would overwrite each other's, so every
// conversion gets a directory of its own inside one private directory, which
// goes again when the run ends.
class PreviewDirs {
 public:
  PreviewDirs() {
    std::string tmpl = (fs::path(default_temp_path()) / "tessera-convert-XXXXXX").string();
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) != nullptr) root_ = name.data();
  }
  ~PreviewDirs() {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }
  PreviewDirs(const PreviewDirs&) = delete;
  PreviewDirs& operator=(const PreviewDirs&) = delete;

  bool ok() const { return !root_.empty(); }
  std::string for_job(std::size_t job) const {
    const fs::path dir = root_ / std::to_string(job);
    std::error_code ec;
    fs::create_directory(dir, ec);
    return dir.string();
  }

 private:
  fs::path root_;
};

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

  PreviewDirs previews;
  if (!previews.ok()) {
    std::cerr << "tessera-convert: cannot create a temporary directory in " << default_temp_path() << '\n';
    return 1;
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
      const Outcome out = convert_picture(settings.pictures[i], settings, previews.for_job(i));
      std::lock_guard<std::mutex> lock(report);
      ++done;
      if (!out.ok) {
        failed = true;
        std::cerr << "tessera-convert: " << out.error << '\n';
      } else if (!settings.quiet) {
        std::cerr << '[' << done << '/' << count << "] " << settings.pictures[i];
        for (std::size_t k = 0; k < out.written.size(); ++k) std::cerr << (k == 0 ? " -> " : ", ") << out.written[k];
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
