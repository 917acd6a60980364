// Carries calls from any thread over to the window thread and waits for them,
// so that every table operation happens there, one at a time.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace talu {

class WindowDispatcher {
 public:
  // post queues a task on the window thread's event loop.
  using PostFunction = std::function<void(std::function<void()>)>;

  WindowDispatcher(PostFunction post, std::thread::id windowThread);

  // Runs call on the window thread and returns once it has run there. A call
  // made on the window thread runs at once. Once exit has begun, a call that
  // has not started yet is dropped and false comes back: the window thread may
  // itself be waiting for the caller to end.
  bool Call(const std::function<void()>& call);

  // Exit: releases every waiting caller and drops every later call.
  void RequestStop();
  bool OnWindowThread() const { return std::this_thread::get_id() == m_windowThread; }

 private:
  PostFunction m_post;
  std::thread::id m_windowThread;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_stopped = false;
};

}  // namespace talu
