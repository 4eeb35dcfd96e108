// tessera-convert and folders it cannot list: a folder given, or with -r a
// subfolder, is a failure of its own, named, counted and reported, while the
// other pictures are converted.
//
// Root reads a folder of mode 000, so those runs go without the capabilities
// that let it (dropped from the bounding set before exec). A path longer than
// the system takes fails for root as for anyone, whatever its capabilities.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera::test_support;

namespace {

struct Ran {
  int status = -1;
  std::string out, err;
};

// Drops what lets root read a folder of mode 000, for the program started
// next; refused to a process without CAP_SETPCAP, which then reads it.
void without_reading_everything() {
  ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
  ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

enum class Unreadable { Locked, TooLong };

struct FolderCase {
  const char* name;
  Unreadable how;
  const char* folder;  // made unreadable, a picture inside it; "deep": a tree too deep to list under it
  std::vector<std::string> args;
  int status;
  const char* error_start;  // the error line's start and end ("" for no error line)
  const char* error_end;
  const char* summary;
  const char* converted;  // the target written ("" for none)
};

class UnreadableFolders : public ScratchFolderTest, public ::testing::WithParamInterface<FolderCase> {
 protected:
  UnreadableFolders() : ScratchFolderTest("tessera_folders_") {}

  Ran run(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kBinary};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildSetup setup;
    setup.folder = dir_.string();
    setup.output = (dir_ / ".out").string();
    setup.errors = (dir_ / ".err").string();
    setup.before_exec = without_reading_everything;
    Ran r;
    const std::optional<int> status = wait_for_child(start_child(argv, setup), std::chrono::seconds(60));
    r.status = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    r.out = read_text(dir_ / ".out");
    r.err = read_text(dir_ / ".err");
    fs::remove(dir_ / ".out");
    fs::remove(dir_ / ".err");
    return r;
  }

  // Folders of 200 letters in one another under the folder, until the path
  // of the innermost, from the scratch folder, is longer than PATH_MAX: that
  // one cannot be opened by its name. Made through descriptors, as the full
  // names are too long for mkdir.
  void make_too_deep(const std::string& top) {
    deep_ = (dir_ / top).string();
    int at = ::open((dir_ / top).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(at, 0);
    const std::string level(200, 'd');
    for (std::size_t length = top.size(); length < PATH_MAX; length += 1 + level.size()) {
      ASSERT_EQ(::mkdirat(at, level.c_str(), 0755), 0);
      const int next = ::openat(at, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(at);
      ASSERT_GE(next, 0);
      at = next;
    }
    ::close(at);
  }

  // The deep tree goes first: removing by name stops at the names too long.
  void TearDown() override {
    if (!deep_.empty()) remove_by_descriptors(AT_FDCWD, deep_);
    ScratchFolderTest::TearDown();
  }

  static void remove_by_descriptors(int at, const std::string& name) {
    const int fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (DIR* d = ::fdopendir(fd)) {
      std::vector<std::string> inside;
      while (const dirent* e = ::readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") inside.push_back(e->d_name);
      for (const std::string& n : inside)
        if (::unlinkat(::dirfd(d), n.c_str(), 0) != 0) remove_by_descriptors(::dirfd(d), n);
      ::closedir(d);
    } else {
      ::close(fd);
    }
    ::unlinkat(at, name.c_str(), AT_REMOVEDIR);
  }

  // The layout of a case: a picture in pics/, one in the unreadable folder.
  void make(const FolderCase& c) {
    sample("demo_snake_600x450.png", "pics/a.png");
    if (c.how == Unreadable::TooLong) return make_too_deep(c.folder);
    sample("demo_snake_600x450.png", std::string(c.folder) + "/b.png");
    fs::permissions(dir_ / c.folder, fs::perms::none);
  }

 private:
  std::string deep_;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool ends_with(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

TEST_P(UnreadableFolders, AreNamedAndCountedBesideThePicturesConverted) {
  const FolderCase& c = GetParam();
  make(c);
  const Ran r = run(c.args);
  if (c.how == Unreadable::Locked && fs::exists(dir_ / c.folder / "b.bmp1"))
    GTEST_SKIP() << "the folder of mode 000 was read: root, and not allowed to give up reading every folder";
  EXPECT_EQ(r.status, c.status) << r.err;
  if (*c.converted != '\0') {
    EXPECT_TRUE(fs::exists(dir_ / c.converted)) << r.err;
  }
  const std::vector<std::string> lines = lines_of(r.err);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), c.summary) << r.err;
  std::size_t errors = 0;
  for (const std::string& line : lines)
    if (line.rfind("tessera-convert: [", 0) == 0) {
      ++errors;
      EXPECT_EQ(line.rfind(c.error_start, 0), 0u) << line;
      EXPECT_TRUE(ends_with(line, c.error_end)) << line;
    }
  EXPECT_EQ(errors, std::string(c.error_start).empty() ? 0u : 1u) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UnreadableFolders,
    ::testing::Values(
        FolderCase{"Given", Unreadable::Locked, "locked", {"pics", "locked"}, 1,
                   "tessera-convert: [2/2] locked: folder unreadable: Permission denied", "",
                   "converted 1 of 2 pictures, 1 failed", "pics/a.bmp1"},
        // No longer "no picture found" (a usage error, as for an empty folder).
        FolderCase{"GivenAlone", Unreadable::Locked, "locked", {"locked"}, 1,
                   "tessera-convert: [1/1] locked: folder unreadable: Permission denied", "",
                   "converted 0 of 1 picture, 1 failed", ""},
        // It writes nothing, so -o still has one picture to name.
        FolderCase{"BesideOnePictureForOutput", Unreadable::Locked, "locked",
                   {"-q", "-o", "a.bmp1", "locked", "pics/a.png"}, 1,
                   "tessera-convert: [1/2] locked: folder unreadable: Permission denied", "",
                   "converted 1 of 2 pictures, 1 failed", "a.bmp1"},
        // Between the pictures of its folder, by name.
        FolderCase{"SubfolderWithR", Unreadable::Locked, "pics/locked", {"-q", "-r", "pics"}, 1,
                   "tessera-convert: [2/2] pics/locked: folder unreadable: Permission denied", "",
                   "converted 1 of 2 pictures, 1 failed", "pics/a.bmp1"},
        // Without -r nothing would read it anyway: it is only counted.
        FolderCase{"SubfolderWithoutR", Unreadable::Locked, "pics/locked", {"pics"}, 0, "", "",
                   "converted 1 of 1 picture", "pics/a.bmp1"},
        FolderCase{"SubfolderTooLongForAnyone", Unreadable::TooLong, "pics", {"-q", "-r", "pics"}, 1,
                   "tessera-convert: [2/2] pics/dddd", "dddd: folder unreadable: File name too long",
                   "converted 1 of 2 pictures, 1 failed", "pics/a.bmp1"}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

// The report has the folder's line in its place, failed, with the message.
TEST_F(UnreadableFolders, TheReportHasALineForTheFolder) {
  make(FolderCase{"", Unreadable::TooLong, "pics", {}, 0, "", "", "", ""});
  const Ran r = run({"--report", "json", "-q", "-r", "pics"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  // In the order the jobs finish: the folder, which has nothing to convert,
  // often first.
  auto picture = nlohmann::json::parse(lines[0]), folder = nlohmann::json::parse(lines[1]);
  if (picture["index"] == 2) std::swap(picture, folder);
  EXPECT_EQ(picture["picture"], "pics/a.png");
  EXPECT_EQ(picture["ok"], true);
  EXPECT_EQ(folder["index"], 2);
  EXPECT_EQ(folder["ok"], false);
  EXPECT_EQ(folder["files"], nlohmann::json::array());
  const std::string name = folder["picture"];
  EXPECT_EQ(name.rfind("pics/dddd", 0), 0u);
  EXPECT_GT(name.size(), std::size_t{PATH_MAX});
  EXPECT_EQ(folder["error"], name + ": folder unreadable: File name too long");
}

}  // namespace
