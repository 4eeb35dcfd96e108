// tessera-convert loads Qt only when something needs it: the libraries the
// dynamic loader opens for a run, as it tells them (LD_DEBUG=files), with and
// without a picture that goes to Qt's readers, with the Qt module gone, and
// with too little memory to load it.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/sanitizers.h"
#include "tessera/controls.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/store.h"
#include "tessera/target_files.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera::test_support;
using namespace tessera;
using namespace std::chrono_literals;

namespace {

struct Traced {
  int status = -1;
  std::string out, err;
  std::set<std::string> loaded;  // every shared object the loader opened, by name
  std::string names() const {
    std::string all;
    for (const std::string& n : loaded) all += n + " ";
    return all;
  }
  bool loaded_qt() const {
    for (const std::string& n : loaded)
      if (fs::path(n).filename().string().rfind("libQt6", 0) == 0) return true;
    return false;
  }
  bool loaded_named(const std::string& file) const {
    for (const std::string& n : loaded)
      if (fs::path(n).filename() == file) return true;
    return false;
  }
};

class QtLoading : public ScratchFolderTest {
 protected:
  QtLoading() : ScratchFolderTest("tessera_qtload_") {}

  // Runs the program in the scratch folder with the loader's account of the
  // files it opens written to ld.<pid> files, one for every process.
  Traced run(const std::vector<std::string>& args, const std::string& program = kBinary) {
    const fs::path trace = dir_ / "trace";
    fs::remove_all(trace);
    fs::create_directories(trace);
    std::string cmd = "cd " + shell_quoted(dir_.string()) + " && LD_DEBUG=files LD_DEBUG_OUTPUT=" +
                      shell_quoted((trace / "ld").string()) + " " + shell_quoted(program);
    append_words(cmd, args);
    cmd += " >" + shell_quoted((dir_ / "out.txt").string()) + " 2>" + shell_quoted((dir_ / "err.txt").string()) +
           " </dev/null";
    const int raw = std::system(cmd.c_str());
    Traced r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_text(dir_ / "out.txt");
    r.err = read_text(dir_ / "err.txt");
    // "file=libQt6Gui.so.6 [0];  needed by ..." and "... dynamically loaded by ..."
    static const std::regex opened(R"(file=(\S+) +\[\d+\];)");
    for (const auto& entry : fs::directory_iterator(trace)) {
      const std::string text = read_text(entry.path());
      for (auto it = std::sregex_iterator(text.begin(), text.end(), opened); it != std::sregex_iterator(); ++it)
        r.loaded.insert((*it)[1]);
    }
    return r;
  }
};

// The loader's account must be there at all, or "no Qt" would prove nothing.
TEST_F(QtLoading, TheLoadersAccountNamesTheLibrariesOfARun) {
  const Traced r = run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.loaded_named("libstdc++.so.6")) << r.names();
}

struct NoQtCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  const char* err_start;  // what standard error starts with
};

class RunsWithoutQt : public QtLoading, public ::testing::WithParamInterface<NoQtCase> {};

TEST_P(RunsWithoutQt, LoadNoQtLibrary) {
  const NoQtCase& c = GetParam();
  const Traced r = run(c.args);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_EQ(r.err.rfind(c.err_start, 0), 0u) << r.err;
  EXPECT_FALSE(r.loaded_qt()) << r.names();
  EXPECT_FALSE(r.loaded_named("libtessera-qt.so")) << r.names();
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunsWithoutQt,
    ::testing::Values(NoQtCase{"Version", {"--version"}, 0, ""}, NoQtCase{"Help", {"--help"}, 0, ""},
                      NoQtCase{"UsageError", {"--no-such-option"}, 2, "tessera-convert: "},
                      NoQtCase{"MissingPicture", {"missing.png"}, 1, "tessera-convert: [1/1] missing.png: file missing"},
                      NoQtCase{"SettingsOnly", {"--save-settings", "kept.tessera"}, 0, ""},
                      // The native JPEG reader takes the sample.
                      NoQtCase{"Jpeg", {"-q", "-o", "snake.bmp1", (kSamples / "demo_snake_600x450.jpg").string()}, 0, ""},
                      NoQtCase{"Png", {"-q", "-o", "snake.bmp1", (kSamples / "demo_snake_600x450.png").string()}, 0, ""},
                      NoQtCase{"PngWithAlpha", {"-q", "-o", "rose.bmp4", (kSamples / "rose_alpha_400x301.png").string()}, 0, ""}),
    [](const ::testing::TestParamInfo<NoQtCase>& info) { return std::string(info.param.name); });

// What the window's sequence makes of the picture, in this process.
std::vector<std::uint8_t> converted_here(const fs::path& picture, const fs::path& temp) {
  auto s = std::make_unique<Store>();
  ControlValues c;
  s->TEMPFILEPATH = temp.string();
  s->OPENFILENAME = picture.string();
  s->COLORBLOCKFIRSTPASS = 1;
  REDISPLAYINPUT(*s, c);
  COUNTINPUTCOLORS(*s, c);
  INITIALIZECOLORS(*s, c);
  DRAWOUTPUT(*s, c);
  return target_file_bytes(*s);
}

// A GIF goes to Qt's reader: the module and Qt come in, and the target has
// the bytes of the conversion here, where Qt is linked.
TEST_F(QtLoading, APictureForQtsReaderLoadsTheModuleAndConvertsExactly) {
  const fs::path gif = sample("hand_transparent_20x22.gif");
  const Traced r = run({"-q", "-o", "hand.bmp1", gif.filename().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.loaded_named("libtessera-qt.so")) << r.names();
  EXPECT_TRUE(r.loaded_named("libQt6Gui.so.6")) << r.names();
  fs::create_directories(dir_ / "tmp");
  const auto here = converted_here(gif, dir_ / "tmp");
  ASSERT_EQ(here.size(), 9032u);
  EXPECT_TRUE(read_all(dir_ / "hand.bmp1") == here);
}

// Without the module, what needs Qt fails, naming the picture and what the
// loader said; everything else works as before.
TEST_F(QtLoading, WithoutTheModuleOnlyWhatNeedsQtFailsAndSaysWhy) {
  const fs::path alone = dir_ / "bin" / "tessera-convert";
  fs::create_directories(alone.parent_path());
  fs::copy_file(kBinary, alone);
  sample("hand_transparent_20x22.gif");

  const Traced version = run({"--version"}, alone.string());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tessera-convert ", 0), 0u);

  const Traced gif = run({"-o", "hand.bmp1", "hand_transparent_20x22.gif"}, alone.string());
  EXPECT_EQ(gif.status, 1);
  const std::string expected_start =
      "tessera-convert: [1/1] hand_transparent_20x22.gif: Qt's picture readers cannot be loaded: ";
  EXPECT_EQ(gif.err.rfind(expected_start, 0), 0u) << gif.err;
  EXPECT_NE(gif.err.find("libtessera-qt.so: cannot open shared object file"), std::string::npos) << gif.err;
  EXPECT_NE(gif.err.find("converted 0 of 1 picture, 1 failed\n"), std::string::npos) << gif.err;
  EXPECT_FALSE(fs::exists(dir_ / "hand.bmp1"));
  EXPECT_FALSE(gif.loaded_qt()) << gif.names();
}

// Short of address space, the module's failure to load is told as what it
// is, not as the loader's "failed to map segment" of some library. The limit
// is raised until the picture converts: low ones stop the program before it
// needs Qt, the ones between stop the loading of the module at one library or
// another, or the thread it is loaded on.
TEST_F(QtLoading, ShortOfMemoryTheModuleCannotBeLoadedForNotEnoughMemory) {
#ifdef TESSERA_ASAN
  GTEST_SKIP() << "the address sanitizer reserves more address space than any limit leaves";
#else
  sample("hand_transparent_20x22.gif");
  const std::string loading = "Qt's picture readers cannot be loaded: ";
  int told = 0;
  bool converted = false;
  for (rlim_t mb = 8; mb <= 1024 && !converted; mb += 8) {
    ChildSetup setup;
    setup.folder = dir_.string();
    setup.errors = (dir_ / "err.txt").string();
    const rlimit limit{mb << 20, mb << 20};
    setup.before_exec = [&limit] { ::setrlimit(RLIMIT_AS, &limit); };
    const std::optional<int> status =
        wait_for_child(start_child({kBinary, "-q", "-o", "hand.bmp1", "hand_transparent_20x22.gif"}, setup), 60s);
    ASSERT_TRUE(status.has_value()) << mb << " MB: no end";
    converted = WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    const std::string err = read_text(dir_ / "err.txt");
    const std::size_t at = err.find(loading);
    if (at == std::string::npos) continue;
    EXPECT_EQ(err.substr(at + loading.size(), err.find('\n', at) - at - loading.size()), "not enough memory")
        << mb << " MB";
    ++told;
  }
  EXPECT_TRUE(converted) << "not even 1 GB was enough";
  EXPECT_GT(told, 0) << "no limit stopped the program while it loaded the module";
#endif
}

// Pictures for Qt's readers in a batch of two workers: whichever thread
// needs Qt first, the run ends cleanly every time with the same bytes.
TEST_F(QtLoading, ABatchThatLoadsQtOnAWorkerEndsCleanlyEveryTime) {
  std::vector<std::string> args = {"-q", "-j", "2", "-O", "out/"};
  for (const char* name : {"hand_transparent_20x22.gif", "demo_snake_600x450.jpg"}) args.push_back(sample(name).filename());
  // A second GIF and JPEG, and a BMP (Qt's built-in reader).
  fs::copy_file(dir_ / "hand_transparent_20x22.gif", dir_ / "second_gif.gif");
  fs::copy_file(dir_ / "demo_snake_600x450.jpg", dir_ / "second_jpeg.jpg");
  ASSERT_TRUE(QImage(QString::fromStdString((kSamples / "rose_alpha_400x301.png").string()))
                  .save(QString::fromStdString((dir_ / "rose.bmp").string()), "BMP"));
  for (const char* name : {"second_gif.gif", "second_jpeg.jpg", "rose.bmp"}) args.push_back(name);
  std::vector<std::vector<std::uint8_t>> first;
  for (int round = 0; round < 8; ++round) {
    fs::remove_all(dir_ / "out");
    const Traced r = run(args);
    ASSERT_EQ(r.status, 0) << "round " << round << ": " << r.err;
    EXPECT_EQ(r.err, "") << "round " << round;
    std::vector<std::vector<std::uint8_t>> got;
    for (const char* target : {"hand_transparent_20x22.bmp1", "demo_snake_600x450.bmp1", "second_gif.bmp1", "second_jpeg.bmp1", "rose.bmp1"})
      got.push_back(read_all(dir_ / "out" / target));
    if (round == 0) {
      first = got;
      for (const auto& bytes : got) EXPECT_EQ(bytes.size(), 9032u);
    } else {
      EXPECT_TRUE(got == first) << "round " << round;
    }
  }
}

}  // namespace
