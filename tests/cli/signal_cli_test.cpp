// tessera-convert stopped by SIGINT or SIGTERM while it copies a picture from
// standard input: it ends by the signal, as a shell expects of it (130,
// 143), and leaves neither its copy nor a temporary target behind.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera::test_support;
using namespace std::chrono_literals;

namespace {

struct SignalCase {
  const char* name;
  int signal;
};

class StoppedBySignal : public ScratchFolderTest, public ::testing::WithParamInterface<SignalCase> {
 protected:
  StoppedBySignal() : ScratchFolderTest("tessera_signal_") {}

  void SetUp() override {
    ScratchFolderTest::SetUp();
    // A write into the pipe after the program has gone must fail, not end
    // the test.
    old_pipe_ = ::signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override {
    ::signal(SIGPIPE, old_pipe_);
    ScratchFolderTest::TearDown();
  }

  // Everything in a folder, by name.
  static std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) out.push_back(e.path().lexically_relative(folder));
    return out;
  }

 private:
  sighandler_t old_pipe_ = SIG_DFL;
};

TEST_P(StoppedBySignal, WhileReadingStandardInputLeavesNothingBehind) {
  const fs::path temp = dir_ / "tmp", out = dir_ / "out";
  fs::create_directories(temp);
  fs::create_directories(out);
  int pipe_fd[2];
  ASSERT_EQ(::pipe2(pipe_fd, O_CLOEXEC), 0);
  ChildSetup setup;
  setup.input = pipe_fd[0];
  setup.errors = (dir_ / "err.txt").string();
  setup.environment = {{"TMPDIR", temp.string()}};
  const pid_t pid = start_child({kBinary, "-", "-o", (out / "frame.bmp1").string()}, setup);
  ::close(pipe_fd[0]);
  ASSERT_GT(pid, 0);

  // The first part of a picture, and then the pipe stays open: the program
  // waits for the rest with its copy under way.
  const auto png = read_all(kSamples / "demo_snake_600x450.png");
  ASSERT_GT(png.size(), 70000u);
  ASSERT_EQ(::write(pipe_fd[1], png.data(), 70000), 70000);
  fs::path copy;
  const bool copying = eventually(
      [&] {
        for (const auto& e : fs::directory_iterator(temp))
          if (e.path().filename().string().rfind("tessera-stdin-", 0) == 0 && fs::exists(e.path() / "picture") &&
              fs::file_size(e.path() / "picture") > 0) {
            copy = e.path();
            return true;
          }
        return false;
      },
      20s);
  EXPECT_TRUE(copying) << "no copy of standard input under way in " << temp;

  ASSERT_EQ(::kill(pid, GetParam().signal), 0);
  const std::optional<int> status = wait_for_child(pid, 20s);
  ::close(pipe_fd[1]);
  ASSERT_TRUE(status.has_value()) << "still running 20 s after the signal";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == GetParam().signal) << status_text(*status);
  EXPECT_EQ(names_in(temp), std::vector<std::string>{}) << "left in the temporary folder";
  EXPECT_EQ(names_in(out), std::vector<std::string>{}) << "left in the target's folder";
  EXPECT_EQ(read_text(dir_ / "err.txt"), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedBySignal,
                         ::testing::Values(SignalCase{"Interrupt", SIGINT}, SignalCase{"Terminate", SIGTERM}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

}  // namespace
