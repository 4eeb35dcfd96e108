#include "output_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "tessera/file_writer.h"
#include "tessera/target_files.h"

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

std::string format_word(int format) { return format == 4 ? "bmp4" : "bmp1"; }

// What a name is known by when two names are compared: the file it resolves
// to, or (when it cannot be resolved, and the write will then fail on its
// own) its spelling made absolute.
using Key = std::tuple<int, dev_t, ino_t, std::string>;

// No key for a character device: /dev/null or a terminal may be written to
// twice without anything being lost.
std::optional<Key> key_of(const std::string& path, bool output = true) {
  if (output && to_stdout(path)) {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return Key{2, 0, 0, "stdout"};
    if (S_ISCHR(st.st_mode)) return std::nullopt;
    return Key{0, st.st_dev, st.st_ino, {}};
  }
  const FileDestination d = resolve_destination(path);
  if (!d.error.empty()) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return Key{1, 0, 0, (ec ? fs::path(path) : absolute).lexically_normal().string()};
  }
  if (d.exists && S_ISCHR(d.mode)) return std::nullopt;
  return Key{0, d.device, d.inode, d.name};
}

struct Output {
  std::string what;     // how the error names it
  std::string path;
  std::string picture;  // for a target beside its picture: that picture
};

std::string check_names(Settings& s) {
  if (!s.output.empty() && !to_stdout(s.output)) {
    const std::string ext = extension(s.output);
    const int named = ext == ".bmp1" ? 1 : ext == ".bmp4" ? 4 : 0;
    if (named != 0 && !s.format_given) s.format = named;
    if (named != 0 && named != s.format)
      return "--output " + s.output + ": the name is for " + format_word(named) + ", but --format is " +
             format_word(s.format);
  }
  if (!s.export_bmp.empty() && !to_stdout(s.export_bmp) && extension(s.export_bmp) != ".bmp")
    return "--export-bmp " + s.export_bmp + ": the name must end in .bmp (or be - for standard output)";
  if (!s.png.empty() && !to_stdout(s.png) && extension(s.png) != ".png")
    return "--png " + s.png + ": the name must end in .png (or be - for standard output)";
  std::vector<std::string> on_stdout;
  if (to_stdout(s.output)) on_stdout.push_back("--output");
  if (to_stdout(s.export_bmp)) on_stdout.push_back("--export-bmp");
  if (to_stdout(s.png)) on_stdout.push_back("--png");
  if (on_stdout.size() > 1)
    return on_stdout[0] + " and " + on_stdout[1] + " cannot both write to standard output";
  return {};
}

// Two outputs that are one file would overwrite each other (with parallel
// jobs it would be chance which one is left), and an output that is a
// picture would replace the picture.
std::string check_clashes(const Settings& s) {
  std::vector<Output> outputs;
  for (const std::string& picture : s.pictures) {
    if (!s.output.empty()) break;
    const std::string target = target_file_name(picture, s.format);
    outputs.push_back({"the target " + target + " of " + picture, target, picture});
  }
  if (!s.output.empty()) outputs.push_back({"--output " + s.output, s.output, {}});
  if (!s.export_bmp.empty()) outputs.push_back({"--export-bmp " + s.export_bmp, s.export_bmp, {}});
  if (!s.png.empty()) outputs.push_back({"--png " + s.png, s.png, {}});

  std::map<Key, const Output*> seen;
  for (const Output& o : outputs) {
    const std::optional<Key> key = key_of(o.path);
    if (!key) continue;
    const auto [at, fresh] = seen.emplace(*key, &o);
    if (fresh) continue;
    const Output& first = *at->second;
    if (!first.picture.empty() && !o.picture.empty())
      return "pictures " + first.picture + " and " + o.picture + " would both be saved as " + first.path +
             (first.path == o.path ? "" : " (also named " + o.path + ")");
    return first.what + " and " + o.what + " are the same file";
  }
  for (const std::string& picture : s.pictures) {
    const std::optional<Key> key = key_of(picture, false);
    if (!key) continue;
    if (const auto at = seen.find(*key); at != seen.end())
      return at->second->what + " and the picture " + picture + " are the same file";
  }
  return {};
}

}  // namespace

std::string settle_output_paths(Settings& s) {
  if (std::string error = check_names(s); !error.empty()) return error;
  return check_clashes(s);
}

}  // namespace tessera::cli
