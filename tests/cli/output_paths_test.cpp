// Where tessera-convert's outputs go: standard output, formats taken from
// names, names that clash by identity rather than spelling, and targets that
// are links, FIFOs, devices, folders or very long names.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tessera/target_files.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera;

namespace {

constexpr std::size_t kExportSize = 54 + 320 * 200 * 4;

using Bytes = std::vector<std::uint8_t>;

mode_t mode_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

struct Result {
  int status = -1;
  Bytes out;
  std::string err;
};

class OutputPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "tmp");
    fs::copy_file(kSamples / "demo_snake_600x450.png", dir_ / "a.png");
  }

  // Runs the program in the scratch folder. prefix runs first in the same
  // shell (a umask); pipe, when given, receives standard output in place of a
  // file.
  Result run(const std::vector<std::string>& args, const std::string& prefix = "",
             const std::string& pipe = "") {
    // With a pipe the shell reports its last command; pipefail keeps the
    // program's own status.
    std::string cmd = pipe.empty() ? "" : "set -o pipefail; ";
    cmd.append("cd ").append(shell_quoted(dir_.string())).append(" && ").append(prefix);
    cmd.append(" TMP=").append(shell_quoted((dir_ / "tmp").string())).append(" ").append(shell_quoted(kBinary));
    for (const auto& a : args) cmd.append(" ").append(shell_quoted(a));
    cmd.append(" 2>").append(shell_quoted((dir_ / "tmp" / "err.txt").string())).append(" </dev/null");
    if (!pipe.empty()) cmd.append(" | ").append(pipe);
    cmd.append(" >").append(shell_quoted((dir_ / "tmp" / "out.bin").string()));
    const int raw = std::system(("bash -c " + shell_quoted(cmd)).c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_all(dir_ / "tmp" / "out.bin");
    const Bytes err = read_all(dir_ / "tmp" / "err.txt");
    r.err.assign(err.begin(), err.end());
    fs::remove(dir_ / "tmp" / "out.bin");
    fs::remove(dir_ / "tmp" / "err.txt");
    return r;
  }

  test_support::ScratchDir scratch_{"tessera-outputs"};
  const fs::path dir_ = scratch_.path();
};

std::string text(const Bytes& b) { return {b.begin(), b.end()}; }

}  // namespace

TEST_F(OutputPaths, DashWritesToStandardOutputAndReportsOnStandardError) {
  ASSERT_EQ(run({"-q", "-o", "t.bmp1", "a.png"}).status, 0);
  const Bytes file = read_all(dir_ / "t.bmp1");
  ASSERT_EQ(file.size(), kBmp1FileSize);

  // Into a byte count, through a pipe.
  Result r = run({"-o", "-", "a.png"}, "", "wc -c");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::stoul(text(r.out)), kBmp1FileSize);
  EXPECT_NE(r.err.find("[1/1] a.png -> standard output"), std::string::npos) << r.err;
  // /dev/stdout into a pipe is the pipe itself, not a file to replace.
  r = run({"-q", "-o", "/dev/stdout", "a.png"}, "", "wc -c");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::stoul(text(r.out)), kBmp1FileSize);

  // The same bytes as the file, and nothing else on standard output.
  r = run({"-o", "-", "a.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, file);
  EXPECT_FALSE(fs::exists(dir_ / "-"));
  EXPECT_FALSE(fs::exists(dir_ / "a.bmp1"));

  r = run({"-q", "-f", "bmp4", "-o", "-", "a.png"});
  EXPECT_EQ(r.out.size(), kBmp4FileSize);

  // The export and the PNG, each beside a target file.
  r = run({"-q", "--export-bmp", "-", "a.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.out.size(), kExportSize);
  EXPECT_EQ(r.out[0], 'B');
  EXPECT_EQ(read_all(dir_ / "a.bmp1"), file);
  r = run({"-q", "--png", "-", "-o", "t2.bmp1", "a.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_GT(r.out.size(), 8u);
  EXPECT_EQ(text(Bytes(r.out.begin() + 1, r.out.begin() + 4)), "PNG");
  EXPECT_EQ(read_all(dir_ / "t2.bmp1"), file);
}

TEST_F(OutputPaths, OnlyOneOutputMayBeStandardOutput) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-o", "-", "--png", "-", "a.png"}, "--output and --png"},
      {{"--export-bmp", "-", "--output", "-", "a.png"}, "--output and --export-bmp"},
      {{"--export-bmp", "-", "--png", "-", "a.png"}, "--export-bmp and --png"}};
  for (const auto& [args, both] : cases) {
    const Result r = run(args);
    EXPECT_EQ(r.status, 2) << both;
    EXPECT_NE(r.err.find(both + " cannot both write to standard output"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  // The report is written to standard output too.
  const Result r = run({"--report", "json", "-o", "-", "a.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--report and --output cannot both write to standard output"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "a.bmp1"));
}

TEST_F(OutputPaths, TheFormatComesFromTheTargetsNameUnlessGiven) {
  ASSERT_EQ(run({"-q", "-f", "bmp4", "-o", "given.bmp4", "a.png"}).status, 0);
  const Bytes bmp4 = read_all(dir_ / "given.bmp4");
  ASSERT_EQ(bmp4.size(), kBmp4FileSize);
  for (const std::string name : {"x.bmp4", "X.BMP4", "sub.dir/y.Bmp4"}) {
    fs::create_directories(dir_ / "sub.dir");
    const Result r = run({"-q", "-o", name, "a.png"});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(read_all(dir_ / name), bmp4) << name;
  }
  // A .bmp1 name, or a name of no format, keeps BMP1.
  for (const std::string name : {"x.BMP1", "x.bin", "noext"}) {
    EXPECT_EQ(run({"-q", "-o", name, "a.png"}).status, 0) << name;
    EXPECT_EQ(fs::file_size(dir_ / name), kBmp1FileSize) << name;
  }
  EXPECT_EQ(run({"-q", "-o", "x.bmp1", "-f", "bmp1", "a.png"}).status, 0);
  EXPECT_EQ(run({"-q", "-o", "x.bin", "-f", "bmp4", "a.png"}).status, 0);
  EXPECT_EQ(fs::file_size(dir_ / "x.bin"), kBmp4FileSize);

  // A --format that the name contradicts.
  Result r = run({"-q", "-f", "bmp1", "-o", "wrong.bmp4", "a.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--output wrong.bmp4: the name is for bmp4, but --format is bmp1"), std::string::npos)
      << r.err;
  r = run({"-q", "-o", "wrong.BMP1", "--format", "bmp4", "a.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--output wrong.BMP1: the name is for bmp1, but --format is bmp4"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "wrong.bmp4"));
  EXPECT_FALSE(fs::exists(dir_ / "wrong.BMP1"));
}

TEST_F(OutputPaths, TheExportAndThePngNeedTheirOwnExtensions) {
  Result r = run({"-q", "--png", "look.jpg", "a.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--png look.jpg: the name must end in .png"), std::string::npos) << r.err;
  r = run({"-q", "--export-bmp", "t.bmp1", "-o", "t.bmp1", "a.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--export-bmp t.bmp1: the name must end in .bmp"), std::string::npos) << r.err;
  r = run({"-q", "--export-bmp", ".bmp", "a.png"});  // a hidden file's name, no extension
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(dir_ / "look.jpg"));
  EXPECT_FALSE(fs::exists(dir_ / "t.bmp1"));
  EXPECT_FALSE(fs::exists(dir_ / "a.bmp1"));

  r = run({"-q", "--png", "LOOK.PNG", "--export-bmp", "Out.Bmp", "a.png"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(dir_ / "Out.Bmp"), kExportSize);
  EXPECT_GT(fs::file_size(dir_ / "LOOK.PNG"), 0u);
}

TEST_F(OutputPaths, OutputsThatAreOneFileAreAUsageErrorBeforeAnyWork) {
  fs::create_directories(dir_ / "d");
  fs::copy_file(dir_ / "a.png", dir_ / "d" / "a.png");
  fs::copy_file(dir_ / "a.png", dir_ / "d" / "a.jpg");
  fs::create_directory_symlink("d", dir_ / "link");
  fs::create_symlink("t.bmp1", dir_ / "t.bmp");
  fs::create_symlink("a.png", dir_ / "pic.bmp1");
  const Bytes picture = read_all(dir_ / "a.png");

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      // Through a symlinked folder both pictures would be saved as d/a.bmp1.
      {{"d/a.png", "link/a.jpg"}, "pictures d/a.png and link/a.jpg would both be saved as d/a.bmp1 and link/a.bmp1"},
      {{"d/a.png", "./d/../d/a.jpg"},
       "pictures d/a.png and ./d/../d/a.jpg would both be saved as d/a.bmp1 and ./d/../d/a.bmp1"},
      // The target is the picture itself, spelled the same, through a link to
      // its folder, or through a link to the file.
      {{"--png", "d/a.png", "d/a.png"}, "picture d/a.png would be overwritten by its own PNG\n"},
      {{"--png", "link/a.png", "d/a.png"}, "picture d/a.png would be overwritten by its own PNG link/a.png\n"},
      {{"-o", "pic.bmp1", "a.png"}, "picture a.png would be overwritten by its own target file pic.bmp1\n"},
      // Two outputs for one file; a target name of another kind is refused first.
      {{"-o", "look.png", "--png", "look.png", "a.png"}, "--output look.png: a .png name is for a PNG"},
      {{"-o", "t.bmp1", "--export-bmp", "t.bmp", "a.png"}, "picture a.png would save two of its files as t.bmp1 and t.bmp"},
      {{"--export-bmp", "x.bmp", "--png", "-", "-o", "/dev/stdout", "a.png"},
       "picture a.png would save two of its files as /dev/stdout and -"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    const Result r = run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  // Nothing was converted or replaced.
  EXPECT_FALSE(fs::exists(dir_ / "d" / "a.bmp1"));
  EXPECT_FALSE(fs::exists(dir_ / "t.bmp1"));
  EXPECT_FALSE(fs::exists(dir_ / "look.png"));
  EXPECT_FALSE(fs::exists(dir_ / "x.bmp"));
  EXPECT_EQ(read_all(dir_ / "d" / "a.png"), picture);
  EXPECT_EQ(read_all(dir_ / "a.png"), picture);

  // A device may take two outputs: nothing can be lost there.
  fs::create_symlink("/dev/null", dir_ / "null.png");
  const Result r = run({"-q", "-o", "/dev/null", "--png", "null.png", "d/a.png"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "null.png"));
}

TEST_F(OutputPaths, TargetsAreWrittenAsTheUserMeantThem) {
  ASSERT_EQ(run({"-q", "-o", "plain.bmp1", "a.png"}).status, 0);
  const Bytes file = read_all(dir_ / "plain.bmp1");

  // /dev/null stays the device.
  EXPECT_EQ(run({"-q", "-o", "/dev/null", "a.png"}).status, 0);
  struct stat null_dev {};
  ASSERT_EQ(::lstat("/dev/null", &null_dev), 0);
  EXPECT_TRUE(S_ISCHR(null_dev.st_mode));

  // A link into an assets folder updates the asset and stays a link; a
  // dangling one creates the file it names.
  fs::create_directories(dir_ / "assets");
  std::ofstream(dir_ / "assets" / "out.bmp1") << "old asset";
  fs::create_symlink("assets/out.bmp1", dir_ / "out.bmp1");
  fs::create_symlink("assets/new.bmp4", dir_ / "new.bmp4");
  EXPECT_EQ(run({"-q", "-o", "out.bmp1", "a.png"}).status, 0);
  EXPECT_EQ(run({"-q", "-o", "new.bmp4", "a.png"}).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "out.bmp1"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "new.bmp4"));
  EXPECT_EQ(read_all(dir_ / "assets" / "out.bmp1"), file);
  EXPECT_EQ(fs::file_size(dir_ / "assets" / "new.bmp4"), kBmp4FileSize);

  // A FIFO gets the bytes; it is not replaced by a file.
  ASSERT_EQ(::mkfifo((dir_ / "pipe.bmp1").c_str(), 0600), 0);
  Bytes received;
  std::thread reader([&] { received = read_all(dir_ / "pipe.bmp1"); });
  const Result piped = run({"-q", "-o", "pipe.bmp1", "a.png"});
  reader.join();
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(received, file);
  struct stat fifo {};
  ASSERT_EQ(::lstat((dir_ / "pipe.bmp1").c_str(), &fifo), 0);
  EXPECT_TRUE(S_ISFIFO(fifo.st_mode));

  // A folder is refused before any work, with the option that writes into one.
  fs::create_directories(dir_ / "folder.bmp1" / "inside");
  const Result folder = run({"-q", "-o", "folder.bmp1", "a.png"});
  EXPECT_EQ(folder.status, 2);
  EXPECT_NE(folder.err.find("--output folder.bmp1: is a folder; -O (--output-dir)"), std::string::npos) << folder.err;
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.bmp1" / "inside"));

  // The longest name the file system takes, for all three outputs.
  const std::string stem(251, 'p'), target = std::string(250, 'p') + ".bmp1";  // 255 bytes each
  const Result longest = run({"-q", "-o", target, "--export-bmp", stem + ".bmp", "--png", stem + ".png", "a.png"});
  EXPECT_EQ(longest.status, 0) << longest.err;
  EXPECT_EQ(read_all(dir_ / target), file);
  EXPECT_EQ(fs::file_size(dir_ / (stem + ".bmp")), kExportSize);
  EXPECT_TRUE(fs::exists(dir_ / (stem + ".png")));

  // Nothing temporary is left anywhere.
  for (const fs::path& folder_path : {dir_, dir_ / "assets"})
    for (const auto& e : fs::directory_iterator(folder_path))
      EXPECT_NE(e.path().filename().string().rfind(".tsr", 0), 0u) << e.path();
}

TEST_F(OutputPaths, NewFilesFollowTheUmaskAndReplacedOnesKeepTheirMode) {
  Result r = run({"-q", "--export-bmp", "a.bmp", "--png", "a_look.png", "a.png"}, "umask 077 &&");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mode_of(dir_ / "a.bmp1"), 0600u);
  EXPECT_EQ(mode_of(dir_ / "a.bmp"), 0600u);
  EXPECT_EQ(mode_of(dir_ / "a_look.png"), 0600u);

  r = run({"-q", "-o", "shared.bmp1", "a.png"}, "umask 002 &&");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mode_of(dir_ / "shared.bmp1"), 0664u);

  // A private file stays private when it is replaced under a loose umask, and
  // a shared one stays shared under a strict one.
  ::chmod((dir_ / "a.bmp1").c_str(), 0600);
  ::chmod((dir_ / "shared.bmp1").c_str(), 0644);
  EXPECT_EQ(run({"-q", "a.png"}, "umask 000 &&").status, 0);
  EXPECT_EQ(run({"-q", "-o", "shared.bmp1", "a.png"}, "umask 077 &&").status, 0);
  EXPECT_EQ(mode_of(dir_ / "a.bmp1"), 0600u);
  EXPECT_EQ(mode_of(dir_ / "shared.bmp1"), 0644u);
  EXPECT_EQ(fs::file_size(dir_ / "a.bmp1"), kBmp1FileSize);
}
