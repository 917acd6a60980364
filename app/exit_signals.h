// SIGINT and SIGTERM turned into something an event loop can wait for: the
// handler only writes a byte to a pipe (the self-pipe pattern), and the front
// end runs its ordinary exit steps when the pipe becomes readable.
#pragma once

#include <atomic>

namespace talu {

// A pipe that any thread, or a signal handler, can ring; the owner waits for
// its read end to become readable. Both ends are non-blocking.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  // Async-signal-safe. A full pipe already wakes the reader, so the byte is
  // dropped then.
  void Ring();
  // Empties the pipe; returns whether it had been rung.
  bool Drain();
  int ReadDescriptor() const { return m_read; }
  int WriteDescriptor() const { return m_write; }

 private:
  int m_read = -1;
  int m_write = -1;
};

// Installs the handlers for as long as it lives, restoring the previous ones
// afterwards. One at a time per process.
class ExitSignals {
 public:
  ExitSignals();
  ~ExitSignals();
  ExitSignals(const ExitSignals&) = delete;
  ExitSignals& operator=(const ExitSignals&) = delete;

  int ReadDescriptor() const { return m_pipe.ReadDescriptor(); }
  // Empties the pipe; the number of the last signal caught, 0 for none.
  int TakeSignal();

 private:
  WakePipe m_pipe;
};

}  // namespace talu
