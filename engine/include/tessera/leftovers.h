// Files and folders that must not outlive an interrupted run: the temporary
// file a target is written through, the command line's copy of standard
// input. While a path is held here, SIGINT or SIGTERM removes it before the
// process ends by the signal, as it would have without a handler (a shell
// still sees 130 or 143).
//
// The handler may run on any thread at any moment, so the paths are kept
// ready in a fixed table of character arrays and claimed with atomics: it
// neither allocates nor locks, and calls only unlink, rmdir and the signal
// functions.
#pragma once

#include <signal.h>

#include <string>

namespace tessera {

enum class LeftoverKind { File, Folder };  // removed with unlink / rmdir (files first)

// One path held while the object lives (or until release). Holding fails,
// quietly, when the path does not fit a slot or every slot is taken: the
// path is then only as safe as without a handler.
class Leftover {
 public:
  Leftover() = default;
  ~Leftover() { release(); }
  Leftover(const Leftover&) = delete;
  Leftover& operator=(const Leftover&) = delete;

  bool hold(const std::string& path, LeftoverKind kind);
  // The path is gone, renamed or kept for good: no signal touches it now.
  void release();

 private:
  int slot_ = -1;
};

// Around the making of a path to hold: the file made and held inside is
// either removed by a signal's cleanup or never made. Meanwhile the signals
// wait in this thread, and a cleanup running on another waits for the scope
// to end; once a cleanup has begun, a thread entering one waits for the end
// of the process.
class LeftoverMaking {
 public:
  LeftoverMaking();
  ~LeftoverMaking();
  LeftoverMaking(const LeftoverMaking&) = delete;
  LeftoverMaking& operator=(const LeftoverMaking&) = delete;

 private:
  sigset_t saved_;  // the thread's signal mask before
};

// Installs the cleanup for SIGINT and SIGTERM, except for a signal the
// process was started ignoring (a background job's SIGINT stays ignored).
// Without it, holding paths costs little and does nothing.
void remove_leftovers_on_signals();

}  // namespace tessera
