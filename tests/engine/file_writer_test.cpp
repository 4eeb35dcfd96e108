// The file writer: what it does with every kind of name it may be given
// (new, regular, links, FIFOs, devices, terminals, folders), the modes and
// owners it leaves, its temporary names, and how destinations are compared.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch.h"
#include "tessera/file_writer.h"
#include "tessera/store.h"
#include "tessera/surface.h"

namespace fs = std::filesystem;
using namespace tessera;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

struct stat lstat_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
  return st;
}

mode_t mode_of(const fs::path& p) { return lstat_of(p).st_mode & 07777; }

// Sets the umask for one test and puts the old one back.
class UmaskScope {
 public:
  explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskScope() { ::umask(old_); }

 private:
  mode_t old_;
};

class FileWriter : public ::testing::Test {
 protected:
  test_support::ScratchDir scratch_{"tessera-writer"};
  const fs::path dir = scratch_.path();

  // Every name in a folder, to see that no temporary file is left behind.
  static std::set<std::string> names_in(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
  }

  const Bytes bytes{'B', 'M', 1, 2, 3, 0, 255};
};

}  // namespace

TEST_F(FileWriter, ANewNameIsCreatedWithTheBytesAndNothingElseIsLeft) {
  EXPECT_EQ(write_file((dir / "new.bmp1").string(), bytes), "");
  EXPECT_EQ(read_all(dir / "new.bmp1"), bytes);
  EXPECT_EQ(names_in(dir), std::set<std::string>{"new.bmp1"});
  // The old name still works and writes the same way.
  EXPECT_EQ(write_file_atomically((dir / "old.bmp1").string(), bytes), "");
  EXPECT_EQ(read_all(dir / "old.bmp1"), bytes);
}

TEST_F(FileWriter, ARegularFileIsReplacedThroughARename) {
  put(dir / "t.bmp1", "an older and longer file");
  const ino_t before = lstat_of(dir / "t.bmp1").st_ino;
  // A reader that has the old file open keeps reading the old file.
  std::ifstream reader(dir / "t.bmp1", std::ios::binary);
  EXPECT_EQ(write_file((dir / "t.bmp1").string(), bytes), "");
  EXPECT_EQ(read_all(dir / "t.bmp1"), bytes);
  EXPECT_NE(lstat_of(dir / "t.bmp1").st_ino, before);
  std::string old((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
  EXPECT_EQ(old, "an older and longer file");
  EXPECT_EQ(names_in(dir), std::set<std::string>{"t.bmp1"});
}

TEST_F(FileWriter, AFailedWriteKeepsTheOldFileAndRemovesItsTemporary) {
  put(dir / "t.bmp1", "keep me");
  const std::string why = write_file((dir / "t.bmp1").string(), [](int fd) {
    if (::write(fd, "half", 4) != 4) return std::string("short");
    return std::string("No space left on device");
  });
  EXPECT_EQ(why, "No space left on device");
  EXPECT_EQ(read_all(dir / "t.bmp1"), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_EQ(names_in(dir), std::set<std::string>{"t.bmp1"});
  EXPECT_NE(write_file((dir / "no" / "such" / "x.bmp1").string(), bytes), "");
}

TEST_F(FileWriter, TheTemporaryNameIsShortFixedAndBesideTheFinalFile) {
  fs::create_directories(dir / "assets");
  fs::create_directories(dir / "build");
  fs::create_symlink("../assets/out.bmp1", dir / "build" / "out.bmp1");
  std::set<std::string> seen_in_assets, seen_in_build;
  EXPECT_EQ(write_file((dir / "build" / "out.bmp1").string(),
                       [&](int fd) {
                         seen_in_assets = names_in(dir / "assets");
                         seen_in_build = names_in(dir / "build");
                         return write_to_descriptor(fd, bytes);
                       }),
            "");
  ASSERT_EQ(seen_in_assets.size(), 1u);
  const std::string temp = *seen_in_assets.begin();
  EXPECT_EQ(temp.size(), 10u) << temp;
  EXPECT_EQ(temp.rfind(".tsr", 0), 0u) << temp;
  EXPECT_EQ(seen_in_build, std::set<std::string>{"out.bmp1"});
}

TEST_F(FileWriter, AnyNameTheFileSystemTakesCanBeATarget) {
  const std::string longest(251, 'n');
  const fs::path target = dir / (longest + ".bmp");  // 255 bytes
  EXPECT_EQ(write_file(target.string(), bytes), "");
  EXPECT_EQ(read_all(target), bytes);
  // And replaced again, which needs the temporary name beside it.
  EXPECT_EQ(write_file(target.string(), Bytes{9}), "");
  EXPECT_EQ(read_all(target), Bytes{9});
  EXPECT_EQ(write_file((dir / (longest + ".bmp1")).string(), bytes), "File name too long");
}

TEST_F(FileWriter, ASymbolicLinkIsFollowedAndStaysALink) {
  fs::create_directories(dir / "assets");
  put(dir / "assets" / "pic.bmp1", "old");
  ::chmod((dir / "assets" / "pic.bmp1").c_str(), 0640);
  // Two levels: a relative link to an absolute one.
  fs::create_symlink(dir / "assets" / "pic.bmp1", dir / "abs.bmp1");
  fs::create_symlink("abs.bmp1", dir / "out.bmp1");
  EXPECT_EQ(write_file((dir / "out.bmp1").string(), bytes), "");
  EXPECT_TRUE(fs::is_symlink(dir / "out.bmp1"));
  EXPECT_TRUE(fs::is_symlink(dir / "abs.bmp1"));
  EXPECT_EQ(fs::read_symlink(dir / "out.bmp1"), fs::path("abs.bmp1"));
  EXPECT_EQ(read_all(dir / "assets" / "pic.bmp1"), bytes);
  EXPECT_EQ(mode_of(dir / "assets" / "pic.bmp1"), 0640u);
  EXPECT_EQ(names_in(dir / "assets"), std::set<std::string>{"pic.bmp1"});
}

TEST_F(FileWriter, ADanglingLinkGetsTheFileItNames) {
  fs::create_directories(dir / "assets");
  fs::create_symlink("assets/later.bmp4", dir / "out.bmp4");
  EXPECT_EQ(write_file((dir / "out.bmp4").string(), bytes), "");
  EXPECT_TRUE(fs::is_symlink(dir / "out.bmp4"));
  EXPECT_EQ(read_all(dir / "assets" / "later.bmp4"), bytes);
  // A dangling link into a folder that does not exist is an error, not a
  // replaced link.
  fs::create_symlink("nowhere/x.bmp4", dir / "lost.bmp4");
  EXPECT_EQ(write_file((dir / "lost.bmp4").string(), bytes), "No such file or directory");
  EXPECT_TRUE(fs::is_symlink(dir / "lost.bmp4"));
}

TEST_F(FileWriter, ALinkLoopIsRefusedAndLeftAlone) {
  fs::create_symlink("b", dir / "a");
  fs::create_symlink("a", dir / "b");
  EXPECT_EQ(write_file((dir / "a").string(), bytes), "Too many levels of symbolic links");
  EXPECT_TRUE(fs::is_symlink(dir / "a"));
  EXPECT_EQ(names_in(dir), (std::set<std::string>{"a", "b"}));
}

TEST_F(FileWriter, AFolderIsRefused) {
  fs::create_directories(dir / "pics.bmp1");
  put(dir / "pics.bmp1" / "inside", "x");
  EXPECT_EQ(write_file((dir / "pics.bmp1").string(), bytes), "is a folder");
  fs::create_symlink("pics.bmp1", dir / "link.bmp1");
  EXPECT_EQ(write_file((dir / "link.bmp1").string(), bytes), "is a folder");
  EXPECT_EQ(write_file((dir / "gone/").string(), bytes), "is a folder");
  EXPECT_TRUE(fs::is_directory(dir / "pics.bmp1"));
  EXPECT_EQ(names_in(dir / "pics.bmp1"), std::set<std::string>{"inside"});
}

TEST_F(FileWriter, AFifoIsWrittenIntoAndKept) {
  const fs::path fifo = dir / "pipe.bmp1";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Bytes big(200000);  // more than a pipe holds: the writer must wait for the reader
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  Bytes received;
  std::thread reader([&] { received = read_all(fifo); });
  const std::string why = write_file(fifo.string(), big);
  reader.join();
  EXPECT_EQ(why, "");
  EXPECT_EQ(received, big);
  EXPECT_TRUE(S_ISFIFO(lstat_of(fifo).st_mode));
  EXPECT_EQ(names_in(dir), std::set<std::string>{"pipe.bmp1"});
}

TEST_F(FileWriter, CharacterDevicesAreWrittenIntoAndNeverReplaced) {
  const struct stat before = lstat_of("/dev/null");
  ASSERT_TRUE(S_ISCHR(before.st_mode));
  EXPECT_EQ(write_file("/dev/null", bytes), "");
  // Through a link too, as /dev/stdout is one.
  fs::create_symlink("/dev/null", dir / "null.bmp1");
  EXPECT_EQ(write_file((dir / "null.bmp1").string(), bytes), "");
  const struct stat after = lstat_of("/dev/null");
  EXPECT_TRUE(S_ISCHR(after.st_mode));
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_rdev, before.st_rdev);
  EXPECT_TRUE(fs::is_symlink(dir / "null.bmp1"));
}

TEST_F(FileWriter, AnOpenPipeNamedThroughProcIsWrittenInto) {
  // /dev/stdout of a program in a pipeline is such a name: its link reads
  // "pipe:[...]", which only the kernel can follow.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const std::string name = "/proc/self/fd/" + std::to_string(ends[1]);
  const FileDestination d = resolve_destination(name);
  EXPECT_EQ(d.error, "");
  EXPECT_TRUE(d.exists);
  EXPECT_TRUE(S_ISFIFO(d.mode));
  EXPECT_EQ(write_file(name, bytes), "");
  ::close(ends[1]);
  Bytes got(64);
  const ssize_t n = ::read(ends[0], got.data(), got.size());
  ::close(ends[0]);
  ASSERT_GE(n, 0);
  got.resize(static_cast<std::size_t>(n));
  EXPECT_EQ(got, bytes);
}

TEST_F(FileWriter, ATerminalIsWrittenInto) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) GTEST_SKIP() << "no pseudo-terminals here";
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string terminal = ::ptsname(master);
  // No line ending among the bytes: the terminal would translate it.
  const Bytes text{'s', 'a', 'v', 'e', 'd'};
  EXPECT_EQ(write_file(terminal, text), "");
  std::array<char, 16> got{};
  ssize_t n = 0;
  for (int tries = 0; tries < 100 && n < 5; ++tries) {
    const ssize_t k = ::read(master, got.data() + n, got.size() - static_cast<std::size_t>(n));
    if (k > 0) n += k;
  }
  EXPECT_EQ(std::string(got.data(), static_cast<std::size_t>(n)), "saved");
  EXPECT_TRUE(S_ISCHR(lstat_of(terminal).st_mode));
  ::close(master);
}

// The umask decides a new file's mode; a replaced file keeps its own.
struct ModeCase {
  const char* name;
  mode_t umask;
  int old_mode;  // -1: no old file
  mode_t expected;
};

class FileModes : public FileWriter, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(FileModes, NewFilesFollowTheUmaskAndReplacedOnesKeepTheirMode) {
  const ModeCase& c = GetParam();
  const fs::path target = dir / "t.bmp1";
  if (c.old_mode >= 0) {
    put(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), static_cast<mode_t>(c.old_mode)), 0);
  }
  {
    UmaskScope mask(c.umask);
    ASSERT_EQ(write_file(target.string(), bytes), "");
  }
  EXPECT_EQ(mode_of(target), c.expected);
  EXPECT_EQ(read_all(target), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Umask, FileModes,
    ::testing::Values(ModeCase{"NewUnder022", 022, -1, 0644}, ModeCase{"NewUnder077", 077, -1, 0600},
                      ModeCase{"NewUnder002", 002, -1, 0664}, ModeCase{"NewUnder000", 0, -1, 0666},
                      ModeCase{"Replaced0600Under022", 022, 0600, 0600},
                      ModeCase{"Replaced0664Under077", 077, 0664, 0664},
                      ModeCase{"ReplacedReadOnly0444", 022, 0444, 0444},
                      ModeCase{"Replaced0640Under000", 0, 0640, 0640}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST_F(FileWriter, AReplacedFileKeepsItsOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  const fs::path target = dir / "t.bmp1";
  put(target, "old");
  ASSERT_EQ(::chown(target.c_str(), 4321, 8765), 0);
  ASSERT_EQ(write_file(target.string(), bytes), "");
  const struct stat st = lstat_of(target);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 8765u);
  EXPECT_EQ(read_all(target), bytes);
}

TEST_F(FileWriter, PreviewFilesArePrivateWhateverTheUmask) {
  UmaskScope mask(0);
  Store s;
  s.TEMPFILEPATH = dir.string();
  const std::string path = write_preview(s, "outimage", Surface(3, 2));
  EXPECT_EQ(mode_of(path), 0600u);
  EXPECT_EQ(read_all(path).size(), 54u + 3 * 2 * 4);
  // A preview that replaces an older one is private too.
  ::chmod(path.c_str(), 0666);
  EXPECT_EQ(write_preview(s, "outimage", Surface(3, 2)), path);
  EXPECT_EQ(mode_of(path), 0600u);
  EXPECT_EQ(names_in(dir), std::set<std::string>{"outimage0.bmp"});
}

TEST_F(FileWriter, DestinationsAreComparedByIdentityNotSpelling) {
  fs::create_directories(dir / "d");
  fs::create_symlink("d", dir / "link");
  put(dir / "d" / "a.png", "picture");
  fs::create_hard_link(dir / "d" / "a.png", dir / "hard.png");

  const auto at = [&](const fs::path& p) { return resolve_destination(p.string()); };
  // A new name, spelled through the folder and through its link.
  EXPECT_TRUE(same_file(at(dir / "d" / "a.bmp1"), at(dir / "link" / "a.bmp1")));
  EXPECT_TRUE(same_file(at(dir / "d" / "a.bmp1"), at(dir / "d" / ".." / "d" / "a.bmp1")));
  EXPECT_FALSE(same_file(at(dir / "d" / "a.bmp1"), at(dir / "d" / "b.bmp1")));
  // Existing files by their own identity: a link to it and a hard link.
  EXPECT_TRUE(same_file(at(dir / "d" / "a.png"), at(dir / "link" / "a.png")));
  EXPECT_TRUE(same_file(at(dir / "d" / "a.png"), at(dir / "hard.png")));
  EXPECT_FALSE(same_file(at(dir / "d" / "a.png"), at(dir / "d" / "a.bmp1")));
  // A dangling link is the name it holds.
  fs::create_symlink("d/later.bmp1", dir / "later.bmp1");
  EXPECT_TRUE(same_file(at(dir / "later.bmp1"), at(dir / "link" / "later.bmp1")));

  const FileDestination existing = at(dir / "link" / "a.png");
  EXPECT_TRUE(existing.exists);
  EXPECT_TRUE(S_ISREG(existing.mode));
  EXPECT_EQ(existing.path, (dir / "link" / "a.png").string());
  const FileDestination dangling = at(dir / "later.bmp1");
  EXPECT_FALSE(dangling.exists);
  EXPECT_EQ(dangling.path, (dir / "d" / "later.bmp1").string());
  EXPECT_EQ(dangling.name, "later.bmp1");
  // Unresolvable names are never "the same" as anything.
  const FileDestination lost = at(dir / "no" / "x.bmp1");
  EXPECT_EQ(lost.error, "No such file or directory");
  EXPECT_FALSE(same_file(lost, lost));
}
