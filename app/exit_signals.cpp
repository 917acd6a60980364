#include "app/exit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>

namespace talu {

namespace {

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM};

// What the handler may touch: lock-free atomics only.
std::atomic<int> g_exitPipeWrite{-1};
std::atomic<int> g_lastExitSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction g_previousActions[std::size(kCaughtSignals)];

void OnExitSignal(int signalNumber) {
  const int savedErrno = errno;
  g_lastExitSignal = signalNumber;
  const int descriptor = g_exitPipeWrite;
  if (descriptor >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(descriptor, &byte, 1);
  }
  errno = savedErrno;
}

void MakeNonBlockingAndCloseOnExec(int descriptor) {
  fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
  fcntl(descriptor, F_SETFD, FD_CLOEXEC);
}

}  // namespace

WakePipe::WakePipe() {
  int ends[2];
  if (pipe(ends) != 0) return;  // Ring and Drain then do nothing
  m_read = ends[0];
  m_write = ends[1];
  MakeNonBlockingAndCloseOnExec(m_read);
  MakeNonBlockingAndCloseOnExec(m_write);
}

WakePipe::~WakePipe() {
  if (m_read >= 0) close(m_read);
  if (m_write >= 0) close(m_write);
}

void WakePipe::Ring() {
  if (m_write < 0) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(m_write, &byte, 1);
}

bool WakePipe::Drain() {
  constexpr std::size_t kDrainChunk = 64;
  bool rung = false;
  char bytes[kDrainChunk];
  while (m_read >= 0 && read(m_read, bytes, sizeof bytes) > 0) rung = true;
  return rung;
}

ExitSignals::ExitSignals() {
  g_lastExitSignal = 0;
  g_exitPipeWrite = m_pipe.WriteDescriptor();
  struct sigaction action = {};
  action.sa_handler = OnExitSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESTART: the front-ends' own blocking calls need not expect EINTR.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kCaughtSignals); ++i) {
    sigaction(kCaughtSignals[i], &action, &g_previousActions[i]);
  }
}

ExitSignals::~ExitSignals() {
  for (std::size_t i = 0; i < std::size(kCaughtSignals); ++i) {
    sigaction(kCaughtSignals[i], &g_previousActions[i], nullptr);
  }
  g_exitPipeWrite = -1;
}

int ExitSignals::TakeSignal() {
  m_pipe.Drain();
  return g_lastExitSignal.exchange(0);
}

}  // namespace talu
