#include "checkrun/window_dispatcher.h"

#include <memory>

namespace talu {

namespace {

enum class CallPhase { Pending, Running, Done, Dropped };

}  // namespace

WindowDispatcher::WindowDispatcher(PostFunction post, std::thread::id windowThread)
    : m_post(std::move(post)), m_windowThread(windowThread) {}

bool WindowDispatcher::Call(const std::function<void()>& call) {
  if (OnWindowThread()) {
    call();
    return true;
  }
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return false;
  }
  auto phase = std::make_shared<CallPhase>(CallPhase::Pending);
  m_post([this, phase, &call] {
    {
      std::lock_guard lock(m_mutex);
      if (*phase == CallPhase::Dropped) return;
      *phase = CallPhase::Running;
    }
    call();
    {
      std::lock_guard lock(m_mutex);
      *phase = CallPhase::Done;
    }
    m_changed.notify_all();
  });
  std::unique_lock lock(m_mutex);
  // A call already running on the window thread is waited for even during
  // exit: it uses the caller's arguments and never blocks on the caller.
  m_changed.wait(lock, [&] {
    return *phase == CallPhase::Done || (m_stopped && *phase == CallPhase::Pending);
  });
  if (*phase == CallPhase::Done) return true;
  *phase = CallPhase::Dropped;
  return false;
}

void WindowDispatcher::RequestStop() {
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
  }
  m_changed.notify_all();
}

}  // namespace talu
