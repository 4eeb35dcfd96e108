// What the command-line tests share: where the program and the samples are,
// whole-file reads, quoting for the shell, and a scratch folder per test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/scratch.h"

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

// The words added to a command for sh -c, each quoted after a blank.
// Appended piece by piece: GCC 12 takes a literal put before a temporary
// string for an overlapping copy and warns (-Wrestrict) where none is.
inline std::string& append_words(std::string& command, const std::vector<std::string>& words) {
  for (const std::string& w : words) command.append(" ").append(shell_quoted(w));
  return command;
}

// A test with a folder of its own under the temporary folder, named after the
// test (parameterised names made safe) and gone afterwards.
class ScratchFolderTest : public ::testing::Test {
 protected:
  explicit ScratchFolderTest(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    scratch_.emplace(prefix_);
    dir_ = scratch_->path();
  }
  void TearDown() override { scratch_.reset(); }

  // A sample copied into the folder, under another name if given.
  std::filesystem::path sample(const std::string& name, const std::string& as = "") {
    const std::filesystem::path to = dir_ / (as.empty() ? name : as);
    std::filesystem::create_directories(to.parent_path());
    std::filesystem::copy_file(kSamples / name, to, std::filesystem::copy_options::overwrite_existing);
    return to;
  }

  std::filesystem::path dir_;

 private:
  std::string prefix_;
  std::optional<test_support::ScratchDir> scratch_;
};

}  // namespace tessera::cli_test
