// Today's outputs, kept: every file tessera-convert writes for the sample
// pictures over a spread of settings, by SHA-256. Speed work and new options
// must leave all of them exactly as they are.
//
// To record the list anew from a trusted build (only when an output is meant
// to change):
//   TESSERA_CORPUS_BINARY=<build>/cli/tessera-convert TESSERA_CORPUS_VIEWER=<build>/viewer/tessview
//   TESSERA_CORPUS_WRITE=tests/cli/corpus/expected.txt cli_tests --gtest_filter='*Corpus*'
// (one command line), then sort the file.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace fs = std::filesystem;

using tessera::cli_test::append_words;
using tessera::cli_test::shell_quoted;

namespace {

const fs::path kSamples = TESSERA_SAMPLES;
const fs::path kExpected = TESSERA_SOURCE_DIR "/tests/cli/corpus/expected.txt";

std::string binary() {
  const char* b = std::getenv("TESSERA_CORPUS_BINARY");
  return b && *b ? b : TESSERA_BINARY_DIR "/cli/tessera-convert";
}

std::string viewer() {
  const char* b = std::getenv("TESSERA_CORPUS_VIEWER");
  return b && *b ? b : TESSERA_BINARY_DIR "/viewer/tessview";
}

// The samples under names that cannot clash as targets.
const std::vector<std::pair<std::string, std::string>> kPictures = {
    {"demo_snake_600x450.jpg", "snake_jpg.jpg"},
    {"demo_snake_600x450.png", "snake_png.png"},
    {"hand_transparent_20x22.gif", "hand.gif"},
    {"rose_alpha_400x301.png", "rose.png"},
};

struct Case {
  std::string name;
  std::vector<std::string> args;
  // Empty: all four pictures in one run, targets beside them. Otherwise one
  // picture, with the BMP export and the PNG as well.
  std::string single;
};

std::vector<Case> cases() {
  std::vector<Case> all;
  const std::vector<std::string> formats = {"bmp1", "bmp4"};
  const std::vector<std::string> methods = {"median-cut", "kmeans", "colorq"};
  const std::vector<std::string> kernels = {"none", "floyd-steinberg", "atkinson", "burkes", "stucki"};
  for (const auto& f : formats)
    for (const auto& m : methods)
      for (const auto& k : kernels)
        for (bool bayer : {false, true}) {
          Case c{f + "_" + m + "_" + k + (bayer ? "_bayer" : ""), {"-f", f, "--method", m, "--diffusion", k}, ""};
          if (bayer) c.args.push_back("--bayer");
          for (char& ch : c.name)
            if (ch == '-') ch = '_';
          all.push_back(c);
        }
  const std::vector<std::string> scales = {"nearest", "average", "bicubic", "lanczos"};
  const std::vector<std::string> places = {"fill", "stretch", "center", "fit", "aspect-fill"};
  for (const auto& f : formats)
    for (const auto& s : scales)
      for (const auto& p : places) {
        Case c{f + "_" + s + "_" + p, {"-f", f, "--scale", s, "--place", p, "--diffusion", "floyd-steinberg"}, ""};
        for (char& ch : c.name)
          if (ch == '-') ch = '_';
        all.push_back(c);
      }
  const std::vector<Case> misc = {
      {"grey_bmp1", {"--grey", "--diffusion", "atkinson"}, ""},
      {"grey_bmp4", {"-f", "bmp4", "--grey", "--bayer"}, ""},
      {"bright_40_contrast_minus_30", {"--brightness", "40", "--contrast", "-30"}, ""},
      {"bright_minus_100_contrast_60", {"-f", "bmp4", "--brightness", "-100", "--contrast", "60"}, ""},
      {"no_aspect_correction", {"-f", "bmp4", "--no-aspect-correction", "--place", "fit"}, ""},
      {"trans_0", {"--trans", "0", "--diffusion", "burkes"}, ""},
      {"trans_20_bmp4", {"-f", "bmp4", "--trans", "20"}, ""},
      {"trans_100", {"--trans", "100"}, ""},
      {"kmeans_1_iteration", {"--method", "kmeans", "--max-iterations", "1"}, ""},
      {"kmeans_7_iterations_bmp4", {"-f", "bmp4", "--method", "kmeans", "--max-iterations", "7"}, ""},
      {"diffusion_strength_50", {"--diffusion", "floyd-steinberg", "--diffusion-strength", "50"}, ""},
      {"diffusion_strength_1e3", {"--diffusion", "stucki", "--diffusion-strength", "1e3"}, ""},
      {"diffusion_strength_text", {"--diffusion", "atkinson", "--diffusion-strength", "abc"}, ""},
      {"bayer_strength_37_5", {"--bayer", "--bayer-strength", "37.5", "--diffusion", "floyd-steinberg"}, ""},
  };
  all.insert(all.end(), misc.begin(), misc.end());
  for (const auto& [from, as] : kPictures)
    for (const auto& f : formats) {
      std::string stem = as.substr(0, as.find('.'));
      all.push_back({"exports_" + stem + "_" + f, {"-f", f, "--diffusion", "floyd-steinberg"}, as});
    }
  return all;
}

std::string sha256(const fs::path& p) {
  QFile file(QString::fromStdString(p.string()));
  if (!file.open(QIODevice::ReadOnly)) return "missing";
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
}

// "case file" -> hash.
using Hashes = std::map<std::string, std::string>;

Hashes read_expected() {
  Hashes h;
  std::ifstream in(kExpected);
  std::string c, file, hash;
  while (in >> c >> file >> hash) h[c + " " + file] = hash;
  return h;
}

class Corpus : public ::testing::TestWithParam<Case> {
 protected:
  // The files the case writes, by name, with their hashes.
  std::map<std::string, std::string> run(const Case& c) {
    std::vector<std::string> args = c.args;
    std::vector<std::string> outputs;
    if (c.single.empty()) {
      for (const auto& [from, as] : kPictures) {
        fs::copy_file(kSamples / from, dir_ / as);
        args.push_back(as);
      }
    } else {
      for (const auto& [from, as] : kPictures)
        if (as == c.single) fs::copy_file(kSamples / from, dir_ / as);
      args.insert(args.end(), {"--export-bmp", "export.bmp", "--png", "look.png", c.single});
    }
    std::string cmd = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(binary()) + " -q -j 2";
    append_words(cmd, args);
    cmd += " >/dev/null 2>" + shell_quoted((dir_ / "err.txt").string()) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << cmd;
    if (!c.single.empty()) {
      // The viewer's drawing of the target, as the machine would show it.
      const std::string format = std::find(c.args.begin(), c.args.end(), "bmp4") != c.args.end() ? "bmp4" : "bmp1";
      const std::string target = c.single.substr(0, c.single.find('.')) + "." + format;
      const std::string view = "cd " + shell_quoted(dir_.string()) + " && QT_QPA_PLATFORM=offscreen " +
                               shell_quoted(viewer()) + " --png view.png " + shell_quoted(target) +
                               " >/dev/null 2>&1 </dev/null";
      const int shown = std::system(view.c_str());
      EXPECT_TRUE(WIFEXITED(shown) && WEXITSTATUS(shown) == 0) << view;
    }

    std::map<std::string, std::string> got;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      const std::string ext = e.path().extension().string();
      const bool input = name == c.single || (c.single.empty() && ext != ".bmp1" && ext != ".bmp4");
      if (name == "err.txt" || input) continue;
      got[name] = sha256(e.path());
    }
    return got;
  }

  tessera::test_support::ScratchDir scratch_{"tessera-corpus"};
  const fs::path dir_ = scratch_.path();
};

TEST_P(Corpus, WritesTodaysBytes) {
  const Case& c = GetParam();
  const auto got = run(c);
  ASSERT_FALSE(got.empty());

  if (const char* w = std::getenv("TESSERA_CORPUS_WRITE"); w && *w) {
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    std::ofstream out(w, std::ios::app);
    for (const auto& [file, hash] : got) out << c.name << ' ' << file << ' ' << hash << '\n';
    return;
  }

  static const Hashes expected = read_expected();
  std::size_t listed = 0;
  for (const auto& [key, hash] : expected)
    if (key.rfind(c.name + " ", 0) == 0) ++listed;
  EXPECT_EQ(got.size(), listed) << "files written differ from the recorded list";
  for (const auto& [file, hash] : got) {
    const auto at = expected.find(c.name + " " + file);
    ASSERT_NE(at, expected.end()) << file << " is not in the recorded list";
    EXPECT_EQ(hash, at->second) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, Corpus, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
