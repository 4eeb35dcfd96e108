#include "tessera/leftovers.h"

#include <limits.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace tessera {

namespace {

// As many paths as may be in the making at once: one temporary file for
// every worker of a batch (-j), the two of standard input's copy, and room.
constexpr std::size_t kSlots = 256;

// A slot's life: Free -> Writing (its holder fills the path) -> Held ->
// Free again on release, or -> Taken by the handler, which keeps it: the
// process is ending, and a holder that releases it then leaves it alone.
enum State : int { Free, Writing, Held, Taken };

struct Slot {
  std::atomic<int> state{Free};
  LeftoverKind kind = LeftoverKind::File;
  char path[PATH_MAX];
};

// Static storage: the handler must find it whatever else has been torn down,
// and slots never touched cost no memory.
std::array<Slot, kSlots> slots;
static_assert(std::atomic<int>::is_always_lock_free, "the handler may use only lock-free atomics");

// Set by the first handler to run. Threads in a LeftoverMaking scope are
// counted: the handler waits for them before it removes anything, and a
// thread that enters one after it began makes nothing (Dekker's order: the
// thread counts itself, then reads the flag; the handler sets the flag, then
// reads the count, so one of them sees the other).
std::atomic<bool> ending{false};
std::atomic<int> making{0};

void cleanup_signals(sigset_t& set) {
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
}

// The slots the handler took, for its second round (only one handler runs).
std::array<bool, kSlots> taken;

// Files first: a folder goes only once it is empty.
void remove_held() {
  for (std::size_t i = 0; i < kSlots; ++i) {
    int held = Held;
    taken[i] = slots[i].state.compare_exchange_strong(held, Taken);
    if (taken[i] && slots[i].kind == LeftoverKind::File) ::unlink(slots[i].path);
  }
  for (std::size_t i = 0; i < kSlots; ++i)
    if (taken[i] && slots[i].kind == LeftoverKind::Folder) ::rmdir(slots[i].path);
}

void on_signal(int signal) {
  if (ending.exchange(true)) {
    // The other signal's cleanup is under way on another thread, and ends
    // the process.
    for (;;) ::pause();
  }
  // A scope of making lasts an open() or a mkdtemp(); the limit only keeps
  // a stuck file system from holding the signal back for good.
  for (int waited = 0; making.load() > 0 && waited < 2000; ++waited) {
    const timespec ms{0, 1000000};
    ::nanosleep(&ms, nullptr);
  }
  remove_held();
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(signal, &dfl, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
}

}  // namespace

bool Leftover::hold(const std::string& path, LeftoverKind kind) {
  release();
  if (path.empty() || path.size() >= PATH_MAX) return false;
  for (std::size_t i = 0; i < kSlots; ++i) {
    int free = Free;
    if (!slots[i].state.compare_exchange_strong(free, Writing)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].kind = kind;
    slots[i].state.store(Held);
    slot_ = static_cast<int>(i);
    return true;
  }
  return false;
}

void Leftover::release() {
  if (slot_ < 0) return;
  int held = Held;
  slots[static_cast<std::size_t>(slot_)].state.compare_exchange_strong(held, Free);
  slot_ = -1;
}

LeftoverMaking::LeftoverMaking() {
  sigset_t set;
  cleanup_signals(set);
  ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
  making.fetch_add(1);
  if (ending.load()) {
    making.fetch_sub(1);
    // The process ends as soon as the handler is done; with the signals
    // blocked here, nothing wakes this thread before.
    for (;;) ::pause();
  }
}

LeftoverMaking::~LeftoverMaking() {
  making.fetch_sub(1);
  ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

void remove_leftovers_on_signals() {
  struct sigaction act {};
  act.sa_handler = on_signal;
  // Both signals wait while either's handler runs on this thread.
  cleanup_signals(act.sa_mask);
  act.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &act, nullptr);
  }
}

}  // namespace tessera
