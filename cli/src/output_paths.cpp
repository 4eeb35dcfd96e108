#include "output_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "names.h"
#include "tessera/file_writer.h"

namespace fs = std::filesystem;

namespace tessera::cli {

namespace {

// The extension of a path's file name, lower-cased, with its dot ("" when
// there is none; the dot that starts a hidden file's name does not count).
std::string extension(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string ext = name.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

bool to_stdout(const std::string& path) { return path == kStandardOutput; }

std::string format_word(TargetFormat format) {
  return word_of(setting_key("format"), static_cast<int>(format));
}

std::string identity(dev_t device, ino_t inode, const std::string& name) {
  return "file " + std::to_string(device) + ":" + std::to_string(inode) + "/" + name;
}

// What --output refuses to take for a target file's name: the names of the
// kinds of picture the run reads or writes, where a BMP1 file under that name
// would pass for a picture of that kind. The option that writes the kind, if any.
const char* writer_of_picture_extension(const std::string& ext) {
  if (ext == ".png") return "--png";
  if (ext == ".bmp") return "--export-bmp";
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".gif") return "";
  return nullptr;
}

}  // namespace

std::string settle_output_names(Settings& s) {
  if (!s.output.empty() && !to_stdout(s.output)) {
    std::error_code ec;
    if (fs::is_directory(s.output, ec))
      return "--output " + shown_name(s.output) + ": is a folder; -O (--output-dir) writes the targets into a folder";
    const std::string ext = extension(s.output);
    if (const char* writer = writer_of_picture_extension(ext))
      return "--output " + shown_name(s.output) + ": a " + ext + " name is for " +
             (*writer != 0 ? std::string("a ") + (ext == ".png" ? "PNG" : "BMP") + ", which " + writer + " writes"
                           : std::string("a picture this program does not write")) +
             "; the target file's name ends in .bmp1 or .bmp4";
    if (ext == ".bmp1" || ext == ".bmp4") {
      const TargetFormat named = ext == ".bmp1" ? TargetFormat::Bmp1 : TargetFormat::Bmp4;
      if (!s.format_given) s.format = named;
      if (named != s.format)
        return "--output " + shown_name(s.output) + ": the name is for " + format_word(named) + ", but --format is " +
               format_word(s.format);
    }
  }
  if (!s.export_bmp.empty() && !to_stdout(s.export_bmp) && extension(s.export_bmp) != ".bmp")
    return "--export-bmp " + shown_name(s.export_bmp) + ": the name must end in .bmp (or be - for standard output)";
  if (!s.png.empty() && !to_stdout(s.png) && extension(s.png) != ".png")
    return "--png " + shown_name(s.png) + ": the name must end in .png (or be - for standard output)";
  std::vector<std::string> on_stdout;
  if (s.report != 0) on_stdout.push_back("--report");
  if (to_stdout(s.output)) on_stdout.push_back("--output");
  if (to_stdout(s.export_bmp)) on_stdout.push_back("--export-bmp");
  if (to_stdout(s.png)) on_stdout.push_back("--png");
  if (on_stdout.size() > 1) return on_stdout[0] + " and " + on_stdout[1] + " cannot both write to standard output";
  // Binary bytes on a terminal are lost to the user and can upset the
  // terminal itself; a pipe or a file is what - is for.
  if (!on_stdout.empty() && on_stdout[0] != "--report" && ::isatty(STDOUT_FILENO))
    return on_stdout[0] + " -: standard output is a terminal; redirect it to a file or a pipe, or give a file name";
  return {};
}

std::string file_key(const std::string& path) {
  if (to_stdout(path)) {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return "standard output";
    if (S_ISCHR(st.st_mode)) return {};
    return identity(st.st_dev, st.st_ino, {});
  }
  const FileDestination d = resolve_destination(path);
  if (d.error.empty()) {
    if (d.exists && S_ISCHR(d.mode)) return {};
    return identity(d.device, d.inode, d.name);
  }
  // Not there yet (a folder that --output-dir will make) or not reachable:
  // the write will make it or say why; compare the spelling.
  std::error_code ec;
  const fs::path full = fs::absolute(path, ec);
  return "name " + (ec ? fs::path(path) : full).lexically_normal().string();
}

}  // namespace tessera::cli
