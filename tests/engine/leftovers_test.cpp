// What SIGINT and SIGTERM remove on their way out: the paths held, a file
// writer's temporary file in the middle of its write, and nothing else. Each
// case runs in a forked child that the signal ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "support/child_process.h"
#include "support/scratch.h"
#include "tessera/file_writer.h"
#include "tessera/leftovers.h"

namespace fs = std::filesystem;
using namespace tessera;
using namespace tessera::test_support;
using namespace std::chrono_literals;

namespace {

std::set<std::string> names_in(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// Forks a child that installs the cleanup, runs work and tells the parent
// it has got as far as it will go (by a byte on a pipe) before it waits for
// the signal; the signal is then sent. The child's wait status, or nothing
// when it did not get there or did not end.
std::optional<int> stopped_child(int signal, const std::function<void(int ready)>& work,
                                 const std::function<void()>& before_signal = [] {}) {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &dfl, nullptr);
    ::sigaction(SIGTERM, &dfl, nullptr);
    remove_leftovers_on_signals();
    work(ready[1]);
    ::_exit(3);  // work returned: it should have waited for the signal
  }
  ::close(ready[1]);
  pollfd p{ready[0], POLLIN, 0};
  char byte = 0;
  const bool there = ::poll(&p, 1, 20000) == 1 && ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  if (there) {
    before_signal();
    ::kill(pid, signal);
  }
  const std::optional<int> status = wait_for_child(pid, 20s);
  return there ? status : std::nullopt;
}

void tell_and_wait(int ready) {
  if (::write(ready, "r", 1) != 1) ::_exit(4);
  for (;;) ::pause();
}

struct WriteCase {
  const char* name;
  int signal;
  bool replacing;  // an old file has the name
};

class InterruptedWrite : public ::testing::TestWithParam<WriteCase> {
 protected:
  ScratchDir scratch_{"tessera-leftovers"};
  const fs::path dir = scratch_.path();
};

// The signal comes while the body writes into the temporary file: the
// temporary goes, and an old file stays as it was.
TEST_P(InterruptedWrite, RemovesTheTemporaryAndKeepsTheOldFile) {
  const WriteCase& c = GetParam();
  const fs::path target = dir / "title.bmp1";
  if (c.replacing) std::ofstream(target) << "the old file";
  std::set<std::string> during;
  const std::optional<int> status = stopped_child(
      c.signal,
      [&](int ready) {
        write_file(target.string(), [&](int fd) {
          if (::write(fd, "half", 4) != 4) ::_exit(5);
          tell_and_wait(ready);
          return std::string();
        });
      },
      [&] { during = names_in(dir); });
  ASSERT_TRUE(status.has_value()) << "the child did not get to the write, or did not end";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal) << status_text(*status);
  // The temporary was there while the body wrote, or the test proves nothing.
  EXPECT_EQ(during.size(), c.replacing ? 2u : 1u);
  const std::set<std::string> expected = c.replacing ? std::set<std::string>{"title.bmp1"} : std::set<std::string>{};
  EXPECT_EQ(names_in(dir), expected);
  if (c.replacing) {
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "the old file");
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedWrite,
                         ::testing::Values(WriteCase{"InterruptANewFile", SIGINT, false},
                                           WriteCase{"TerminateAReplacement", SIGTERM, true}),
                         [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

// Held files and folders go (a folder after the file in it); what was
// released, and what was never held, stays.
TEST(Leftovers, OnlyWhatIsStillHeldIsRemoved) {
  ScratchDir scratch("tessera-leftovers");
  const fs::path dir = scratch.path();
  const std::optional<int> status = stopped_child(SIGTERM, [&](int ready) {
    Leftover folder, inside, file, released;
    {
      const LeftoverMaking making;
      fs::create_directories(dir / "copy");
      folder.hold((dir / "copy").string(), LeftoverKind::Folder);
    }
    for (const auto& [leftover, name] :
         {std::pair{&inside, "copy/picture"}, {&file, "held.tmp"}, {&released, "kept.bmp1"}}) {
      const LeftoverMaking making;
      std::ofstream(dir / name) << name;
      leftover->hold((dir / name).string(), LeftoverKind::File);
    }
    std::ofstream(dir / "never_held.bmp1") << "x";
    released.release();
    tell_and_wait(ready);
  });
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM) << status_text(*status);
  EXPECT_EQ(names_in(dir), (std::set<std::string>{"kept.bmp1", "never_held.bmp1"}));
}

}  // namespace
