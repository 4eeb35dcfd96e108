#include "batch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

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

Job job_for(const Settings& s, const std::string& picture, const fs::path& relative) {
  Job job;
  job.picture = picture;
  job.shown = picture;
  const std::string rel = relative.string();
  job.output = !s.output.empty()       ? s.output
               : !s.output_dir.empty() ? (fs::path(s.output_dir) / target_file_name(rel, s.format)).string()
                                       : std::string();
  job.export_bmp = !s.export_bmp.empty()       ? s.export_bmp
                   : !s.export_bmp_dir.empty() ? (fs::path(s.export_bmp_dir) / export_file_name(rel)).string()
                                               : std::string();
  job.png = !s.png.empty()       ? s.png
            : !s.png_dir.empty() ? (fs::path(s.png_dir) / look_file_name(rel)).string()
                                 : std::string();
  return job;
}

}  // namespace

bool is_picture_name(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "bmp" || ext == "png" || ext == "jpg" || ext == "jpeg" || ext == "gif";
}

std::string plan_jobs(const Settings& s, std::vector<Job>& jobs) {
  std::vector<std::string> empty_folders;
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
    std::vector<fs::path> found;
    const auto take = [&](const fs::directory_entry& e) {
      std::error_code fec;
      if (e.is_regular_file(fec) && is_picture_name(e.path().filename().string())) found.push_back(e.path());
    };
    // Links to folders are not followed: a link back up would never end.
    if (s.recursive) {
      for (fs::recursive_directory_iterator it(arg, fs::directory_options::skip_permission_denied, ec), end;
           !ec && it != end; it.increment(ec))
        take(*it);
    } else {
      for (fs::directory_iterator it(arg, fs::directory_options::skip_permission_denied, ec), end;
           !ec && it != end; it.increment(ec))
        take(*it);
    }
    if (ec) return shown_name(arg) + ": cannot list the folder: " + ec.message();
    std::sort(found.begin(), found.end());
    if (found.empty()) empty_folders.push_back(arg);
    for (const fs::path& p : found) jobs.push_back(job_for(s, p.string(), p.lexically_relative(arg)));
  }
  if (jobs.empty() && !empty_folders.empty()) return "no picture found in " + shown_name(empty_folders.front());
  return {};
}

std::string shared_files(const std::vector<Job>& jobs, TargetFormat format) {
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
    const std::string target = job.output.empty() ? target_file_name(job.picture, format) : job.output;
    for (const std::string& file : {target, job.export_bmp, job.png}) {
      if (file.empty()) continue;
      const std::string key = file_key(file);
      if (key.empty()) continue;
      const auto [at, fresh] = seen.emplace(key, Seen{&job, file});
      const std::string both =
          at->second.file == file ? shown_name(file) : shown_name(at->second.file) + " and " + shown_name(file);
      if (!fresh && at->second.job != &job)
        return "pictures " + shown_name(at->second.job->shown) + " and " + shown_name(job.shown) +
               " would both be saved as " + both;
      if (!fresh) return "picture " + shown_name(job.shown) + " would save two of its files as " + both;
      if (const auto p = pictures.find(key); p != pictures.end())
        return "picture " + shown_name(p->second->shown) + " would be overwritten by " + shown_name(file) + " of " +
               shown_name(job.shown);
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
