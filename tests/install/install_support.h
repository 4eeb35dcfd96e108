// Helpers of the installation tests: one `cmake --install` into a temporary
// prefix per test program, and running commands through the shell.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace tessera_install {

namespace fs = std::filesystem;

struct Ran {
  int status = -1;
  std::string out, err;
};

inline std::string shell_quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}

// Runs a shell command; standard error goes to a file beside the output.
inline Ran run(const std::string& command) {
  static int count = 0;
  const fs::path err = fs::temp_directory_path() /
                       ("tessera_install_err_" + std::to_string(::getpid()) + "_" + std::to_string(count++));
  Ran r;
  FILE* pipe = ::popen((command + " 2>" + shell_quoted(err.string())).c_str(), "r");
  if (pipe == nullptr) return r;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = read_text(err);
  fs::remove(err);
  return r;
}

inline fs::path& install_root() {
  static fs::path root;
  return root;
}

inline std::string& install_log() {
  static std::string log;
  return log;
}

// Installs the build tree into <root>/usr and returns that prefix, or an
// empty path when the installation failed (install_log() says why).
inline fs::path install_prefix() {
  std::string pattern = (fs::temp_directory_path() / "tessera_install_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  install_root() = pattern;
  const fs::path prefix = install_root() / "usr";
  const Ran r = run(shell_quoted(TESSERA_CMAKE) + " --install " + shell_quoted(TESSERA_BINARY_DIR) + " --prefix " +
                    shell_quoted(prefix.string()));
  install_log() = r.out + r.err;
  return r.status == 0 ? prefix : fs::path();
}

// A folder for a test's own files, outside the prefix.
inline fs::path scratch(const std::string& name) {
  const fs::path dir = install_root() / "scratch" / name;
  fs::create_directories(dir);
  return dir;
}

inline void remove_prefix() {
  std::error_code ec;
  if (!install_root().empty()) fs::remove_all(install_root(), ec);
}

// The long options a program's --help lists, in its order.
inline std::vector<std::string> help_options(const std::string& program) {
  std::vector<std::string> options;
  const std::regex option(R"(^ {1,8}(-[A-Za-z0-9], )?(--[a-z0-9][a-z0-9-]*))");
  for (const std::string& line : lines(run(shell_quoted(program) + " --help").out)) {
    std::smatch m;
    if (std::regex_search(line, m, option)) options.push_back(m[2]);
  }
  return options;
}

}  // namespace tessera_install
