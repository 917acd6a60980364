#include "checkrun/window_dispatcher.h"

#include <gtest/gtest.h>

#include <future>

#include "checkrun/event_loop.h"

namespace talu {
namespace {

using namespace std::chrono_literals;

TEST(WindowDispatcher, CallsRunOnTheWindowThreadAndDropAfterStop) {
  EventLoop loop;
  std::thread window([&] { loop.Run(); });
  WindowDispatcher dispatcher([&](std::function<void()> task) { loop.Post(std::move(task)); },
                              window.get_id());
  std::thread::id ranOn;
  EXPECT_TRUE(dispatcher.Call([&] { ranOn = std::this_thread::get_id(); }));
  EXPECT_EQ(ranOn, window.get_id());

  // The window thread blocks (as exit does while it waits for workers); a
  // caller waiting on it is released by the stop, its call never runs.
  std::promise<void> windowBusy, windowFree;
  loop.Post([&] {
    windowBusy.set_value();
    windowFree.get_future().wait();
  });
  windowBusy.get_future().wait();
  bool ran = false;
  auto caller = std::async(std::launch::async, [&] { return dispatcher.Call([&] { ran = true; }); });
  EXPECT_EQ(caller.wait_for(100ms), std::future_status::timeout);
  dispatcher.RequestStop();
  ASSERT_EQ(caller.wait_for(10s), std::future_status::ready);
  EXPECT_FALSE(caller.get());
  EXPECT_FALSE(dispatcher.Call([&] { ran = true; }));
  windowFree.set_value();
  loop.Quit();
  window.join();
  EXPECT_FALSE(ran);
}

TEST(EventLoop, TimersTickUntilStopped) {
  EventLoop loop;
  std::thread window([&] { loop.Run(); });
  std::atomic<int> ticks{0};
  std::promise<void> threeTicks;
  loop.Post([&] {
    loop.StartTimer(1, 5ms, [&] {
      if (++ticks == 3) {
        loop.StopTimer(1);
        threeTicks.set_value();
      }
    });
  });
  EXPECT_EQ(threeTicks.get_future().wait_for(10s), std::future_status::ready);
  loop.Quit();
  window.join();
  EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace talu
