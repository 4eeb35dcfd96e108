// The installed bash completion of tessera-convert, driven as bash drives it:
// COMP_WORDS and COMP_CWORD set, the completion function called, COMPREPLY
// read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "install_support.h"

namespace fs = std::filesystem;
using namespace tessera_install;

namespace {

class Completion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = install_prefix();
    if (prefix_.empty()) return;
    // Files for the completion of pictures and paths.
    folder_ = scratch("pictures");
    std::ofstream(folder_ / "photo.png") << "x";
    std::ofstream(folder_ / "pic.jpg") << "x";
    fs::create_directories(folder_ / "sub");
  }
  static void TearDownTestSuite() { remove_prefix(); }

  // The words the completion offers for `words`, the last being the word
  // under the cursor ("" for a fresh word). The program is the installed
  // one, named by its path as a user in its folder would.
  static std::vector<std::string> complete(const std::vector<std::string>& words) {
    const std::string program = shell_quoted((prefix_ / "bin/tessera-convert").string());
    // Appended piece by piece: gcc 12 warns falsely about "literal" + temporary string.
    std::string script = "set -u; source ";
    script += shell_quoted((prefix_ / "share/bash-completion/completions/tessera-convert").string());
    script += "; COMP_WORDS=(";
    script += program;
    for (const std::string& w : words) {
      script += ' ';
      script += shell_quoted(w);
    }
    // Bash passes the command as typed, the word under the cursor and the one before.
    script += "); COMP_CWORD=";
    script += std::to_string(words.size());
    script += "; _tessera_convert ";
    script += program;
    script += ' ';
    script += shell_quoted(words.back());
    script += ' ';
    script += shell_quoted(words.size() > 1 ? words[words.size() - 2] : "");
    script += "; printf '%s\\n' \"${COMPREPLY[@]}\"";
    // With no word offered printf still prints one empty line.
    const Ran r = run("cd " + shell_quoted(folder_.string()) + " && bash --norc --noprofile -c " + shell_quoted(script));
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> out;
    for (const std::string& line : lines(r.out))
      if (!line.empty()) out.push_back(line);
    std::sort(out.begin(), out.end());
    return out;
  }

  static fs::path prefix_, folder_;
};
fs::path Completion::prefix_, Completion::folder_;

using Words = std::vector<std::string>;

TEST_F(Completion, OffersEveryOptionOfTheProgramsHelp) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  const Words offered = complete({"--"});
  const std::vector<std::string> options = help_options((prefix_ / "bin/tessera-convert").string());
  ASSERT_GT(options.size(), 10u);
  for (const std::string& o : options)
    EXPECT_NE(std::find(offered.begin(), offered.end(), o), offered.end()) << o;
  EXPECT_EQ(complete({"--for"}), (Words{"--format"}));
  EXPECT_EQ(complete({"--diffusion"}), (Words{"--diffusion", "--diffusion-light", "--diffusion-strength"}));
  EXPECT_EQ(complete({"-q"}), (Words{"-q"}));
}

TEST_F(Completion, OffersTheWordsOfAWordOption) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  EXPECT_EQ(complete({"--format", ""}), (Words{"bmp1", "bmp4"}));
  EXPECT_EQ(complete({"-f", "bmp"}), (Words{"bmp1", "bmp4"}));
  EXPECT_EQ(complete({"--diffusion", "st"}), (Words{"stucki"}));
  EXPECT_EQ(complete({"--diffusion", "sierra"}), (Words{"sierra", "sierra-lite"}));
  EXPECT_EQ(complete({"--grey", "--method", "k"}), (Words{"kmeans"}));
  EXPECT_EQ(complete({"--place", "a"}), (Words{"aspect-fill"}));
  EXPECT_EQ(complete({"--report", ""}), (Words{"json", "none"}));
  // "--format=" as bash splits it at the "=" ...
  EXPECT_EQ(complete({"--format", "=", "bmp"}), (Words{"bmp1", "bmp4"}));
  EXPECT_EQ(complete({"--format", "="}), (Words{"bmp1", "bmp4"}));
  // ... and as one word when "=" is no word break.
  EXPECT_EQ(complete({"--scale=b"}), (Words{"bicubic"}));
}

TEST_F(Completion, OffersFilesForPicturesAndPathsAndNothingForNumbers) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  EXPECT_EQ(complete({"p"}), (Words{"photo.png", "pic.jpg"}));
  EXPECT_EQ(complete({"--grey", "ph"}), (Words{"photo.png"}));
  EXPECT_EQ(complete({"-o", "s"}), (Words{"sub"}));
  EXPECT_EQ(complete({"--png", "pi"}), (Words{"pic.jpg"}));
  EXPECT_EQ(complete({"--settings", "ph"}), (Words{"photo.png"}));
  EXPECT_EQ(complete({"--contact-sheet", "pi"}), (Words{"pic.jpg"}));
  // A folder option offers folders only.
  EXPECT_EQ(complete({"-O", ""}), (Words{"sub"}));
  EXPECT_EQ(complete({"--png-dir", "p"}), Words{});
  EXPECT_EQ(complete({"--brightness", ""}), Words{});
  EXPECT_EQ(complete({"-j", ""}), Words{});
  // After "--" even a word with a dash is a picture.
  EXPECT_EQ(complete({"--", "--f"}), Words{});
  EXPECT_EQ(complete({"--", "ph"}), (Words{"photo.png"}));
}

}  // namespace
