// The command-line converter beside the window, for the tests that hold the
// window's files to the bytes it writes for the same settings.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tessera::testing {

inline const std::string kConvert = TESSERA_BINARY_DIR "/cli/tessera-convert";

inline std::vector<char> bytes_of(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What tessera-convert -q writes for the picture with the options.
inline std::vector<char> converted(const std::string& picture, const std::string& options, const std::string& out) {
  const std::string command = "'" + kConvert + "' -q " + options + " '" + picture + "' -o '" + out + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return bytes_of(out);
}

}  // namespace tessera::testing
