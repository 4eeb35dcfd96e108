// tessera-convert: converts pictures into target-machine files from the
// command line, with the window's engine and the window's start settings.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "batch.h"
#include "contact_sheet.h"
#include "convert.h"
#include "names.h"
#include "options.h"
#include "report.h"
#include "tessera/leftovers.h"
#include "tessera/settings_file.h"
#include "palette_options.h"
#include "tessera/store.h"

using namespace tessera;
using namespace tessera::cli;

namespace fs = std::filesystem;

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

// A picture piped in is decoded from a private copy on disk, which is gone
// when the program ends, by SIGINT or SIGTERM too; the format is told by the
// content, as the copy has no extension.
class StandardInputCopy {
 public:
  static constexpr std::size_t kLimit = std::size_t{512} << 20;

  ~StandardInputCopy() {
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }

  // "" on success, else why not, as a message that names standard input.
  std::string take() {
    if (isatty(STDIN_FILENO)) return "standard input is a terminal, not a picture";
    std::string pattern = (fs::temp_directory_path() / "tessera-stdin-XXXXXX").string();
    {
      const LeftoverMaking making;
      if (mkdtemp(pattern.data()) == nullptr) return "standard input: cannot make a temporary folder";
      held_folder_.hold(pattern, LeftoverKind::Folder);
    }
    folder_ = pattern;
    path_ = (fs::path(folder_) / "picture").string();
    std::FILE* to = nullptr;
    {
      const LeftoverMaking making;
      to = std::fopen(path_.c_str(), "wb");
      if (to != nullptr) held_file_.hold(path_, LeftoverKind::File);
    }
    if (to == nullptr) return "standard input: cannot make a temporary file";
    std::vector<char> buffer(1 << 16);
    std::size_t total = 0;
    std::string wrong;
    for (;;) {
      const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), stdin);
      if (n == 0) break;
      total += n;
      if (total > kLimit) {
        wrong = "standard input: more than 512 MB";
        break;
      }
      if (std::fwrite(buffer.data(), 1, n, to) != n) {
        wrong = "standard input: cannot write a temporary file";
        break;
      }
    }
    if (wrong.empty() && std::ferror(stdin)) wrong = "standard input: read error";
    if (wrong.empty() && total == 0) wrong = "standard input is empty";
    if (std::fclose(to) != 0 && wrong.empty()) wrong = "standard input: cannot write a temporary file";
    return wrong;
  }

  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
  Leftover held_folder_, held_file_;  // released only once the destructor has removed them
};

// Messages name a piped picture "standard input" rather than its private copy.
std::string named(const std::string& error, const Job& job, const std::string& picture) {
  const std::string copy = shown_name(picture);
  if (job.standard_input && error.rfind(copy, 0) == 0) return shown_name(job.shown) + error.substr(copy.size());
  return error;
}

}  // namespace

int main(int argc, char** argv) {
  remove_leftovers_on_signals();
  const ParseResult parsed = parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::cerr << "tessera-convert: " << parsed.error << '\n';
    if (parsed.unreadable) return 1;
    std::cerr << "Try 'tessera-convert --help'.\n";
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
  for (const std::string& w : parsed.warnings) std::cerr << "tessera-convert: warning: " << w << '\n';
  if (!settings.quiet)
    for (const std::string& n : parsed.notes) std::cerr << "tessera-convert: " << n << '\n';
  if (!settings.save_settings.empty()) {
    const std::string wrong = save_settings_file(settings.save_settings, settings);
    if (!wrong.empty()) {
      std::cerr << "tessera-convert: cannot write " << shown_name(settings.save_settings) << ": " << wrong << '\n';
      return 1;
    }
    if (parsed.jobs.empty()) return 0;
  }

  std::vector<Job> jobs = parsed.jobs;
  const std::size_t count = jobs.size();
  if (count > 1) keep_large_buffers();
  StandardInputCopy piped;
  for (Job& job : jobs)
    if (job.standard_input) {
      const std::string wrong = piped.take();
      if (!wrong.empty()) {
        std::cerr << "tessera-convert: [1/" << count << "] " << wrong << '\n';
        std::cerr << "converted 0 of " << count << (count == 1 ? " picture" : " pictures") << ", " << count
                  << " failed\n";
        return 1;
      }
      job.picture = piped.path();
    }
  std::size_t jobs_at_once = settings.jobs > 0 ? static_cast<std::size_t>(settings.jobs)
                                               : std::max(1u, std::thread::hardware_concurrency());

  if (!settings.contact_sheet.empty()) {
    const Job& job = jobs.front();
    SheetResult r;
    if (job.unlisted.empty())
      r = write_contact_sheet(job.picture, job.shown, settings, static_cast<unsigned>(jobs_at_once));
    else
      r.error = job.unlisted;
    if (!r.ok) {
      std::cerr << "tessera-convert: [1/1] " << named(r.error, job, job.picture) << '\n';
    } else if (!settings.quiet) {
      std::cerr << "[1/1] " << shown_name(job.shown) << " -> " << shown_name(settings.contact_sheet) << '\n';
    }
    if (!r.ok || !settings.quiet)
      std::cerr << "converted " << (r.ok ? 1 : 0) << " of 1 picture" << (r.ok ? "" : ", 1 failed") << '\n';
    return r.ok ? 0 : 1;
  }

  PalettePlan plan;
  {
    std::vector<std::string> pictures, written, kept;
    for (const Job& job : jobs)
      if (job.unlisted.empty()) pictures.push_back(job.picture);
    if (const std::string e = make_palette_plan(settings, pictures, plan, written, kept); !e.empty()) {
      std::cerr << "tessera-convert: " << e << '\n';
      return 1;
    }
    if (!settings.quiet) {
      for (const std::string& w : written) std::cerr << "[palette] -> " << shown_name(w) << '\n';
      for (const std::string& k : kept) std::cerr << "[palette] kept " << shown_name(k) << " (it exists; -n)\n";
      if (!plan.shared_note.empty()) std::cerr << "[palette] " << plan.shared_note << '\n';
    }
  }

  jobs_at_once = std::min(jobs_at_once, count);
  std::atomic<std::size_t> next{0};
  std::mutex report;
  std::size_t failed = 0, damaged = 0, kept = 0;  // kept: pictures with every file left as it was
  auto worker = [&] {
    // One store per worker, reset for every picture; making a fresh one each
    // time would allocate and fault in its 5 MB again and again.
    std::unique_ptr<Store> store;
    for (std::size_t i = next++; i < count; i = next++) {
      const Job& job = jobs[i];
      // The conversion settings and this picture's files; not the whole
      // list of pictures, which a large batch would copy for every picture.
      Settings one;
      static_cast<ConversionSettings&>(one) = settings;
      one.output = job.output;
      one.export_bmp = job.export_bmp;
      one.png = job.png;
      one.no_clobber = settings.no_clobber;
      const auto start = std::chrono::steady_clock::now();
      Outcome out;
      if (!job.unlisted.empty()) {
        out.error = job.unlisted;
      } else {
        try {
          for (const std::string& folder : folders_to_make(settings, job)) {
            std::error_code ec;
            if (!folder.empty()) fs::create_directories(folder, ec);
          }
          if (!store)
            store = std::make_unique<Store>();
          else
            store->reset();
          out = convert_picture(job.picture, one, kNoPreviews, *store, &plan);
        } catch (const std::exception& e) {
          out.error = shown_name(job.picture) + ": " + e.what();
        }
      }
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (!out.ok) out.error = named(out.error, job, job.picture);
      // Every line counts the picture by its place in the batch, as the
      // report does, whichever worker finished it first: a script can tell
      // which picture a line is about without reading its name.
      const std::size_t place = i + 1;
      std::lock_guard<std::mutex> lock(report);
      // Damage is told even with -q: the target holds only what could be read.
      if (!out.damage.empty()) {
        ++damaged;
        std::cerr << "tessera-convert: [" << place << '/' << count << "] " << shown_name(job.shown)
                  << ": damaged data: " << out.damage << "; converted what could be read\n";
      }
      if (!out.palette_note.empty() && !settings.quiet)
        std::cerr << '[' << place << '/' << count << "] " << shown_name(job.shown) << ": " << out.palette_note << '\n';
      if (!out.ok) {
        ++failed;
        std::cerr << "tessera-convert: [" << place << '/' << count << "] " << out.error << '\n';
      } else {
        if (out.written.empty()) ++kept;
        if (!settings.quiet) {
          std::cerr << '[' << place << '/' << count << "] " << shown_name(job.shown);
          for (std::size_t k = 0; k < out.written.size(); ++k)
            std::cerr << (k == 0 ? " -> " : ", ") << shown_name(out.written[k]);
          for (std::size_t k = 0; k < out.kept.size(); ++k)
            std::cerr << (k == 0 ? (out.written.empty() ? ": kept " : "; kept ") : ", ") << shown_name(out.kept[k]);
          if (!out.kept.empty()) std::cerr << (out.kept.size() == 1 ? " (it exists; -n)" : " (they exist; -n)");
          std::cerr << '\n';
        }
      }
      if (settings.report == 1) std::cout << json_report_line(job, place, settings, out, seconds) << std::endl;
    }
  };

  std::vector<std::thread> threads;
  for (std::size_t t = 1; t < jobs_at_once; ++t) threads.emplace_back(worker);
  worker();
  for (std::thread& t : threads) t.join();
  if (!settings.quiet || failed > 0 || damaged > 0) {
    std::cerr << "converted " << count - failed - kept << " of " << count << (count == 1 ? " picture" : " pictures");
    if (kept > 0) std::cerr << ", " << kept << " kept";
    if (damaged > 0) std::cerr << ", " << damaged << " damaged";
    if (failed > 0) std::cerr << ", " << failed << " failed";
    std::cerr << '\n';
  }
  return failed > 0 || damaged > 0 ? 1 : 0;
}
