// A program run in a child process of the test's own, for what sh -c cannot
// give it: limits or capabilities changed just before exec, a standard input
// the test keeps writing to, a signal sent while it runs, and a wait that
// ends after a time limit instead of hanging the test.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace tessera::test_support {

struct ChildSetup {
  std::string folder;  // where it runs; "" for the test's own
  // Its standard input, -1 for /dev/null. Made O_CLOEXEC like every other
  // descriptor of the test, or the child would hold a pipe's writing end too
  // and never see the end of its input.
  int input = -1;
  std::string output, errors;  // files for standard output and error; "" for /dev/null
  std::vector<std::pair<std::string, std::string>> environment;  // variables set or replaced
  // Runs in the child just before exec: only calls that are safe after fork
  // (setrlimit, prctl, sigaction), nothing that allocates.
  std::function<void()> before_exec;
};

// Starts argv[0] (a path) with the arguments; the process id, or -1.
inline pid_t start_child(const std::vector<std::string>& argv, const ChildSetup& setup = {}) {
  // Everything the child needs is made before the fork: after it, only
  // async-signal-safe calls.
  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : setup.environment) replaced = replaced || entry.rfind(name + "=", 0) == 0;
    if (!replaced) env_text.push_back(entry);
  }
  for (const auto& [name, value] : setup.environment) env_text.push_back(name + "=" + value);
  std::vector<char*> env, args;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> arg_text = argv;
  for (std::string& a : arg_text) args.push_back(a.data());
  args.push_back(nullptr);
  const std::string out = setup.output.empty() ? "/dev/null" : setup.output;
  const std::string err = setup.errors.empty() ? "/dev/null" : setup.errors;

  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  // A test run started in the background may ignore SIGINT; the program
  // must meet the signals as a shell's foreground job would.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGINT, &dfl, nullptr);
  ::sigaction(SIGTERM, &dfl, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Only the copies as 0, 1 and 2 outlive the exec.
  const int in = setup.input >= 0 ? setup.input : ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
  if (!setup.folder.empty() && ::chdir(setup.folder.c_str()) != 0) ::_exit(126);
  if (setup.before_exec) setup.before_exec();
  ::execve(args[0], args.data(), env.data());
  ::_exit(127);
}

// The child's wait status once it has ended, or nothing when it has not
// ended within the limit; it is then killed and reaped, so no test leaves a
// process behind. usage: what it used (its peak memory, ru_maxrss in KiB).
inline std::optional<int> wait_for_child(pid_t pid, std::chrono::milliseconds limit, rusage* usage = nullptr) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = ::wait4(pid, &status, WNOHANG, usage);
    if (done == pid) return status;
    if (done < 0) return std::nullopt;
    if (std::chrono::steady_clock::now() >= until) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Polls until the condition holds or the limit has passed; whether it held.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// "exit 1", "killed by signal 15 (Terminated)": for failure messages.
inline std::string status_text(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" + ::strsignal(WTERMSIG(status)) + ")";
  return "status " + std::to_string(status);
}

}  // namespace tessera::test_support
