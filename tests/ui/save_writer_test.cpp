// The window's two saves and its previews go through the one file writer:
// links are followed, FIFOs written into, folders refused, modes kept.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

namespace fs = std::filesystem;

mode_t mode_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

class UmaskScope {
 public:
  explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskScope() { ::umask(old_); }

 private:
  mode_t old_;
};

TEST_F(WindowTest, SavesFollowLinksIntoAnotherFolder) {
  open(sample_copy());
  f->ProcessButton.click();
  fs::create_directories(dir / "assets");
  std::ofstream(dir / "assets" / "snake.bmp1") << "old";
  ::chmod((dir / "assets" / "snake.bmp1").c_str(), 0640);
  fs::create_symlink("assets/snake.bmp1", dir / "demo_snake_600x450.bmp1");
  // A dangling link: the export is created where it points.
  fs::create_symlink("assets/snake_out.bmp", dir / "demo_snake_600x450_out.bmp");
  f->SaveExec.click();
  f->SaveBMP.click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Saved BMP1 file to " + (dir / "demo_snake_600x450.bmp1").string() + ".");
  EXPECT_EQ(messages[1], "Saved BMP file to " + (dir / "demo_snake_600x450_out.bmp").string() + ".");
  EXPECT_TRUE(fs::is_symlink(dir / "demo_snake_600x450.bmp1"));
  EXPECT_TRUE(fs::is_symlink(dir / "demo_snake_600x450_out.bmp"));
  EXPECT_EQ(fs::file_size(dir / "assets" / "snake.bmp1"), 9032u);
  EXPECT_EQ(mode_of(dir / "assets" / "snake.bmp1"), 0640u);
  EXPECT_EQ(fs::file_size(dir / "assets" / "snake_out.bmp"), 54u + 320 * 200 * 4);
}

TEST_F(WindowTest, SavesWriteIntoAFifoAndRefuseAFolder) {
  open(sample_copy());
  f->ProcessButton.click();
  const fs::path fifo = dir / "demo_snake_600x450_out.bmp";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The reading end is open before the save, as a program reading the FIFO
  // would have it; the window refuses a FIFO that nothing reads.
  const int read_end = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(read_end, 0);
  ::fcntl(read_end, F_SETFL, ::fcntl(read_end, F_GETFL) & ~O_NONBLOCK);
  std::vector<char> received;
  std::thread reader([&] {
    // Until the save opens its end a read finds no writer and returns 0 at
    // once; wait for the first bytes (or give up, so that a save that never
    // writes fails the test instead of hanging it).
    pollfd ready{read_end, POLLIN, 0};
    if (::poll(&ready, 1, 20000) <= 0) return;
    char buffer[65536];
    for (ssize_t n; (n = ::read(read_end, buffer, sizeof buffer)) > 0;) received.insert(received.end(), buffer, buffer + n);
  });
  f->SaveBMP.click();
  reader.join();
  ::close(read_end);
  EXPECT_EQ(received.size(), 54u + 320 * 200 * 4);
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  fs::create_directories(dir / "demo_snake_600x450.bmp1");
  f->SaveExec.click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], "Could not save " + (dir / "demo_snake_600x450.bmp1").string() + ": is a folder.");
  EXPECT_TRUE(fs::is_directory(dir / "demo_snake_600x450.bmp1"));
}

TEST_F(WindowTest, SavesRefuseAFifoThatNothingReadsAtOnce) {
  open(sample_copy());
  f->ProcessButton.click();
  const fs::path fifo = dir / "demo_snake_600x450.bmp1";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Should the save wait after all, a late reader ends the wait, so that the
  // test fails on the time instead of hanging.
  std::thread late_reader([&] {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (fd >= 0) ::close(fd);
  });
  const auto start = std::chrono::steady_clock::now();
  f->SaveExec.click();
  const auto took = std::chrono::steady_clock::now() - start;
  late_reader.join();
  EXPECT_LT(took, std::chrono::seconds(2));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Could not save " + fifo.string() + ": no program is reading it.");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO stays as it was";
}

TEST_F(WindowTest, SavesKeepTheUsersModesAndPreviewsArePrivate) {
  open(sample_copy());
  {
    UmaskScope mask(077);
    f->ProcessButton.click();
    f->SaveExec.click();
    f->SaveBMP.click();
  }
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(mode_of(dir / "demo_snake_600x450.bmp1"), 0600u);
  EXPECT_EQ(mode_of(dir / "demo_snake_600x450_out.bmp"), 0600u);
  ASSERT_FALSE(previews().empty());
  for (const std::string& name : previews()) EXPECT_EQ(mode_of(dir / "tmp" / name), 0600u) << name;

  // Saved again under a loose umask, the replaced files keep their modes.
  ::chmod((dir / "demo_snake_600x450_out.bmp").c_str(), 0644);
  {
    UmaskScope mask(0);
    f->SaveExec.click();
    f->SaveBMP.click();
    f->ProcessButton.click();
  }
  EXPECT_EQ(mode_of(dir / "demo_snake_600x450.bmp1"), 0600u);
  EXPECT_EQ(mode_of(dir / "demo_snake_600x450_out.bmp"), 0644u);
  for (const std::string& name : previews()) EXPECT_EQ(mode_of(dir / "tmp" / name), 0600u) << name;
}

}  // namespace
}  // namespace tessera::testing
