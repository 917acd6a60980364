// The window thread of a build without a window: a task queue with periodic
// timers, run on the thread that calls Run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace talu {

class EventLoop {
 public:
  using Clock = std::chrono::steady_clock;

  void Post(std::function<void()> task);
  // Starts, or restarts, timer id; onTick runs on the loop's thread.
  void StartTimer(int id, std::chrono::milliseconds period, std::function<void()> onTick);
  void StopTimer(int id);
  // Runs tasks and ticks until Quit; the thread that calls it is the window thread.
  void Run();
  void Quit();

 private:
  struct Timer {
    std::chrono::milliseconds period;
    Clock::time_point due;
    std::function<void()> onTick;
  };

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_tasks;
  std::map<int, Timer> m_timers;
  bool m_quit = false;
};

}  // namespace talu
