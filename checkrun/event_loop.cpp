#include "checkrun/event_loop.h"

namespace talu {

void EventLoop::Post(std::function<void()> task) {
  {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
  }
  m_wake.notify_all();
}

void EventLoop::StartTimer(int id, std::chrono::milliseconds period, std::function<void()> onTick) {
  {
    std::lock_guard lock(m_mutex);
    m_timers[id] = Timer{period, Clock::now() + period, std::move(onTick)};
  }
  m_wake.notify_all();
}

void EventLoop::StopTimer(int id) {
  std::lock_guard lock(m_mutex);
  m_timers.erase(id);
}

void EventLoop::Run() {
  std::unique_lock lock(m_mutex);
  while (!m_quit) {
    if (!m_tasks.empty()) {
      std::function<void()> task = std::move(m_tasks.front());
      m_tasks.pop_front();
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    const auto now = Clock::now();
    auto earliest = Clock::time_point::max();
    int dueId = 0;
    bool anyDue = false;
    for (auto& [id, timer] : m_timers) {
      if (timer.due <= now) {
        dueId = id;
        anyDue = true;
        break;
      }
      if (timer.due < earliest) earliest = timer.due;
    }
    if (anyDue) {
      Timer& timer = m_timers[dueId];
      timer.due = now + timer.period;
      std::function<void()> onTick = timer.onTick;
      lock.unlock();
      onTick();
      lock.lock();
      continue;
    }
    if (earliest == Clock::time_point::max()) {
      m_wake.wait(lock);
    } else {
      m_wake.wait_until(lock, earliest);
    }
  }
}

void EventLoop::Quit() {
  {
    std::lock_guard lock(m_mutex);
    m_quit = true;
  }
  m_wake.notify_all();
}

}  // namespace talu
