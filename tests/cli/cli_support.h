// What the command-line tests share: where the program and the samples are,
// whole-file reads, and quoting for the shell.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tessera::cli_test {

inline const std::string kBinary = TESSERA_BINARY_DIR "/cli/tessera-convert";
inline const std::filesystem::path kSamples = TESSERA_SAMPLES;

inline std::vector<std::uint8_t> read_all(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string read_text(const std::filesystem::path& p) {
  const auto b = read_all(p);
  return {b.begin(), b.end()};
}

// One word for sh -c, whatever it holds.
inline std::string shell_quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace tessera::cli_test
