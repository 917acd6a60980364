#include "checkrun/windowless_run.h"

#include <future>

namespace talu {

namespace {

std::thread StartLoopThread(EventLoop& loop) { return std::thread([&loop] { loop.Run(); }); }

}  // namespace

WindowlessCheckRun::WindowlessCheckRun(const CheckWorkers& workers, ProbePacketTable packets,
                                       std::function<void(const Snapshot&)> onChange)
    : m_windowThread(StartLoopThread(m_loop)),
      m_windowTable(m_loop),
      m_dispatcher([this](std::function<void()> task) { m_loop.Post(std::move(task)); },
                   m_windowThread.get_id()),
      m_table(m_windowTable, m_dispatcher),
      m_state(m_table, workers, std::move(packets)) {
  m_windowTable.SetTickHandler([this](int timerId) { OnTimer(&m_state, timerId); });
  if (onChange) {
    m_windowTable.SetChangeHandler(
        [this, onChange = std::move(onChange)] { onChange(TakeOnWindowThread()); });
  }
}

WindowlessCheckRun::~WindowlessCheckRun() {
  Exit();
  m_loop.Quit();
  m_windowThread.join();
}

void WindowlessCheckRun::Open() {
  OnWindowThread([this] { StartCheckRun(&m_state, false); });
}

void WindowlessCheckRun::Recheck() {
  OnWindowThread([this] {
    if (!m_exited && m_windowTable.RecheckEnabled()) StartCheckRun(&m_state, true);
  });
}

void WindowlessCheckRun::Exit() {
  OnWindowThread([this] {
    if (m_exited) return;
    m_exited = true;
    m_dispatcher.RequestStop();
    StopChecksForExit(&m_state);
  });
}

WindowlessCheckRun::Snapshot WindowlessCheckRun::Take() {
  Snapshot snapshot;
  OnWindowThread([&] { snapshot = TakeOnWindowThread(); });
  return snapshot;
}

bool WindowlessCheckRun::RunHasEnded(const Snapshot& snapshot) {
  if (snapshot.recheckEnabled) return true;
  return snapshot.rows.size() == 1 && snapshot.rows[0].resultText == kInternetFailedText;
}

WindowlessCheckRun::Snapshot WindowlessCheckRun::TakeOnWindowThread() const {
  return Snapshot{m_windowTable.Rows(), m_windowTable.RecheckEnabled()};
}

void WindowlessCheckRun::OnWindowThread(const std::function<void()>& call) {
  std::promise<void> done;
  m_loop.Post([&] {
    call();
    done.set_value();
  });
  done.get_future().wait();
}

}  // namespace talu
