#include "batch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <utility>

#include <sys/stat.h>

#include "names.h"
#include "output_paths.h"
#include "tessera/target_files.h"

namespace fs = std::filesystem;

namespace tessera::cli {

namespace {

// NAME.ext -> NAME_out.png, in the folder of the name.
std::string look_file_name(const std::string& relative) {
  std::string name = export_file_name(relative);  // ends in "_out.bmp"
  return name.substr(0, name.size() - 3) + "png";
}

// With --keep-extension the names are made from the whole file name:
// "snake.png." has an empty extension for the naming rules to replace.
std::string naming_base(const Settings& s, const std::string& name) {
  return s.keep_extension ? name + "." : name;
}

Job job_for(const Settings& s, const std::string& picture, const fs::path& relative) {
  Job job;
  job.picture = picture;
  job.shown = picture;
  const std::string rel = naming_base(s, relative.string());
  job.output = !s.output.empty()       ? s.output
               : !s.output_dir.empty() ? (fs::path(s.output_dir) / target_file_name(rel, s.format)).string()
                   : s.keep_extension && !picture.empty() ? target_file_name(naming_base(s, picture), s.format)
                                       : std::string();
  job.export_bmp = !s.export_bmp.empty()       ? s.export_bmp
                   : !s.export_bmp_dir.empty() ? (fs::path(s.export_bmp_dir) / export_file_name(rel)).string()
                                               : std::string();
  job.png = !s.png.empty()       ? s.png
            : !s.png_dir.empty() ? (fs::path(s.png_dir) / look_file_name(rel)).string()
                                 : std::string();
  return job;
}

// The run's own output folders that exist, by device and inode: a second run
// over the same tree must not take the first run's PNGs for pictures, nor
// refuse because a picture would be written over.
class OwnFolders {
 public:
  explicit OwnFolders(const Settings& s) {
    for (const std::string* dir : {&s.output_dir, &s.export_bmp_dir, &s.png_dir}) {
      struct stat st {};
      if (!dir->empty() && ::stat(dir->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ids_.emplace_back(st.st_dev, st.st_ino);
    }
  }

  bool is_own(const fs::path& folder) const {
    if (ids_.empty()) return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return false;
    return std::find(ids_.begin(), ids_.end(), std::pair{st.st_dev, st.st_ino}) != ids_.end();
  }

 private:
  std::vector<std::pair<dev_t, ino_t>> ids_;
};

// A picture found in a folder given, or a folder under it that could not be
// listed (unreadable: why).
struct Found {
  fs::path path;
  std::string unreadable;
};

struct Listing {
  std::vector<Found> found;
  std::size_t skipped = 0;  // subfolders left out for want of -r
};

// The pictures of a folder given, with -r those of its subfolders too. A
// folder that cannot be listed is found as well: a picture in it would
// otherwise go unconverted without a word. Links to folders are not followed
// (a link back up would never end), and the run's own output folders are not
// entered.
Listing list_folder(const Settings& s, const OwnFolders& own, const fs::path& top) {
  Listing out;
  std::vector<fs::path> folders{top};
  while (!folders.empty()) {
    const fs::path folder = std::move(folders.back());
    folders.pop_back();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code fec;
      const fs::directory_entry& e = *it;
      if (e.is_regular_file(fec) && is_picture_name(e.path().filename().string())) out.found.push_back({e.path(), {}});
      if (!e.is_directory(fec) || e.is_symlink(fec) || own.is_own(e.path())) continue;
      if (s.recursive)
        folders.push_back(e.path());
      else
        ++out.skipped;
    }
    if (ec) out.found.push_back({folder, ec.message()});
  }
  return out;
}

std::string subfolders_note(const std::string& folder, std::size_t skipped) {
  return shown_name(folder) + ": " + std::to_string(skipped) + (skipped == 1 ? " subfolder" : " subfolders") +
         " skipped (-r converts the pictures in subfolders too)";
}

}  // namespace

bool is_picture_name(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "bmp" || ext == "png" || ext == "jpg" || ext == "jpeg" || ext == "gif";
}

std::string plan_jobs(const Settings& s, std::vector<Job>& jobs, std::vector<std::string>* notes) {
  std::vector<std::string> empty_folders;
  const OwnFolders own(s);
  for (const std::string& arg : s.pictures) {
    if (arg == "-") {
      Job job = job_for(s, "", "stdin");
      job.shown = "standard input";
      job.standard_input = true;
      jobs.push_back(job);
      continue;
    }
    std::error_code ec;
    if (!fs::is_directory(arg, ec)) {
      jobs.push_back(job_for(s, arg, fs::path(arg).filename()));
      continue;
    }
    Listing listing = list_folder(s, own, arg);
    if (listing.skipped > 0 && notes != nullptr) notes->push_back(subfolders_note(arg, listing.skipped));
    std::sort(listing.found.begin(), listing.found.end(),
              [](const Found& a, const Found& b) { return a.path < b.path; });
    if (listing.found.empty()) empty_folders.push_back(arg);
    for (const Found& f : listing.found) {
      if (f.unreadable.empty()) {
        jobs.push_back(job_for(s, f.path.string(), f.path.lexically_relative(arg)));
        continue;
      }
      Job job;
      job.shown = f.path.string();
      job.unlisted = shown_name(job.shown) + ": folder unreadable: " + f.unreadable;
      jobs.push_back(job);
    }
  }
  if (jobs.empty() && !empty_folders.empty()) return "no picture found in " + shown_name(empty_folders.front());
  return {};
}

std::string shared_files(const std::vector<Job>& jobs, TargetFormat format, bool offer_keep_extension) {
  // Two pictures saved under one name would overwrite each other, and with
  // parallel jobs it would be chance which one is left. Names are compared by
  // the files they reach, so a link to a folder or a ".." does not hide a clash.
  std::map<std::string, const Job*> pictures;
  for (const Job& job : jobs)
    if (!job.picture.empty())
      if (const std::string key = file_key(job.picture); !key.empty()) pictures.emplace(key, &job);
  struct Seen {
    const Job* job;
    std::string file;
  };
  std::map<std::string, Seen> seen;
  for (const Job& job : jobs) {
    if (!job.unlisted.empty()) continue;  // writes nothing
    const std::string target = job.output.empty() ? target_file_name(job.picture, format) : job.output;
    for (const auto& [file, kind] : {std::pair{target, "target file"},
                                     {job.export_bmp, "BMP export"},
                                     {job.png, "PNG"}}) {
      if (file.empty()) continue;
      const std::string key = file_key(file);
      if (key.empty()) continue;
      const auto [at, fresh] = seen.emplace(key, Seen{&job, file});
      const std::string both =
          at->second.file == file ? shown_name(file) : shown_name(at->second.file) + " and " + shown_name(file);
      if (!fresh && at->second.job != &job) {
        std::string e = "pictures " + shown_name(at->second.job->shown) + " and " + shown_name(job.shown) +
                        " would both be saved as " + both;
        // snake.png and snake.jpg: the one way out short of renaming.
        const fs::path a(at->second.job->shown), b(job.shown);
        if (offer_keep_extension && a.stem() == b.stem() && a.extension() != b.extension()) {
          const std::string ext = std::string(kind) == "target file" ? fs::path(file).extension().string() : "";
          e += ext.empty() ? "; --keep-extension gives each a name of its own"
                           : "; --keep-extension names them " + shown_name(a.filename().string() + ext) + " and " +
                                 shown_name(b.filename().string() + ext);
        }
        return e;
      }
      if (!fresh) return "picture " + shown_name(job.shown) + " would save two of its files as " + both;
      if (const auto p = pictures.find(key); p != pictures.end()) {
        const std::string named = file == p->second->shown ? "" : " " + shown_name(file);
        return "picture " + shown_name(p->second->shown) + " would be overwritten by " +
               (p->second == &job ? std::string("its own ") + kind + named
                                  : std::string("the ") + kind + named + " of picture " + shown_name(job.shown));
      }
    }
  }
  return {};
}

std::vector<std::string> folders_to_make(const Settings& s, const Job& job) {
  std::vector<std::string> out;
  if (!s.output_dir.empty()) out.push_back(fs::path(job.output).parent_path().string());
  if (!s.export_bmp_dir.empty()) out.push_back(fs::path(job.export_bmp).parent_path().string());
  if (!s.png_dir.empty()) out.push_back(fs::path(job.png).parent_path().string());
  return out;
}

}  // namespace tessera::cli
