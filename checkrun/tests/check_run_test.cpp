#include "checkrun/check_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <memory>
#include <string>
#include <vector>

#include "checkrun/recording_table.h"
#include "checkrun/windowless_run.h"

namespace talu {
namespace {

using namespace std::chrono_literals;

// The fakes are plain functions, as real workers are; they reach the test
// through this state.
struct FakeWorld {
  ConnectionKind connection = Lan;
  std::atomic<int> started[9] = {};
  std::unique_ptr<std::latch> release;  // workers wait on it when set
  std::unique_ptr<std::latch> internetGate;
};
FakeWorld* g_world = nullptr;

ConnectionKind FakeInternetCheck() {
  if (g_world->internetGate) g_world->internetGate->wait();
  return g_world->connection;
}

template <int Row>
int FakeWorker(CheckRunState* dialog) {
  ++g_world->started[Row];
  dialog->ResultTable.SetResultText(Row, kCheckingMarker);
  if (g_world->release) g_world->release->wait();
  dialog->ResultTable.SetResultText(Row, "done " + std::to_string(Row));
  return 0;
}

CheckWorkers FakeWorkers() {
  CheckWorkers workers;
  workers.checkInternetConnection = FakeInternetCheck;
  workers.upnp = FakeWorker<1>;
  workers.natType = FakeWorker<2>;
  workers.scheduler = FakeWorker<3>;
  workers.highSpeedScheduler = FakeWorker<5>;
  workers.peerProtocol = FakeWorker<6>;
  workers.bt = FakeWorker<7>;
  workers.http = FakeWorker<8>;
  return workers;
}

const std::vector<std::string> kAllSteps = {
    "检查网络...",           "检查UPnP映射...",       "检测网络类型...",
    "检查与Talu调度通信...", "跳过与缓存调度检测...", "检查与高速调度通信...",
    "检测  P2P 协议通讯...", "检测  BT  协议通讯...", "检测 Http 协议通讯...",
};

class CheckRunTest : public ::testing::Test {
 protected:
  void SetUp() override { g_world = &world; }
  void TearDown() override { g_world = nullptr; }

  // Runs one sequence on this thread against a recording table.
  void RunSequence() {
    CheckRunState state(table, FakeWorkers(), MakeProbePacketTable());
    table.EnableRecheckButton(false);
    RunCheckSequence(&state);
  }

  FakeWorld world;
  RecordingResultTable table;
};

TEST_F(CheckRunTest, NotConnectedEndsAtRowZeroWithRecheckStillDisabled) {
  world.connection = NotConnected;
  RunSequence();
  EXPECT_EQ(table.StepTexts(), std::vector<std::string>{"检查网络..."});
  EXPECT_EQ(table.GetResultText(0), "连接Internet失败");
  EXPECT_FALSE(table.RecheckEnabled());
  for (int row = 1; row < 9; ++row) EXPECT_EQ(world.started[row], 0) << row;
}

TEST_F(CheckRunTest, ModemSkipsTheUpnpStepAndRunsTheRest) {
  world.connection = Modem;
  RunSequence();
  std::vector<std::string> steps = kAllSteps;
  steps[1] = "跳过UPnP映射检查";
  EXPECT_EQ(table.StepTexts(), steps);
  EXPECT_EQ(table.GetResultText(0), "连接Internet成功");
  EXPECT_EQ(table.GetResultText(1), "");
  EXPECT_EQ(world.started[1], 0);
  for (int row : {2, 3, 5, 6, 7, 8}) EXPECT_EQ(table.GetResultText(row), "done " + std::to_string(row));
  EXPECT_EQ(table.GetResultText(4), "");
  EXPECT_TRUE(table.RecheckEnabled());
}

TEST_F(CheckRunTest, LanRunsEveryWorkerAfterItsRowAndWaitsForThemAll) {
  world.connection = Lan;
  RunSequence();  // returns only after WaitForWorkers
  EXPECT_EQ(table.StepTexts(), kAllSteps);
  for (int row : {1, 2, 3, 5, 6, 7, 8}) {
    EXPECT_EQ(world.started[row], 1) << row;
    const auto history = table.History(row);
    ASSERT_EQ(history.size(), 2u) << row;
    EXPECT_EQ(history[0], "正在检测.");
    EXPECT_EQ(history[1], "done " + std::to_string(row));
  }
  EXPECT_TRUE(table.RecheckEnabled());
}

TEST_F(CheckRunTest, StopDuringTheInternetCheckLetsRowZeroFinishAndStartsNothing) {
  world.internetGate = std::make_unique<std::latch>(1);
  CheckRunState state(table, FakeWorkers(), MakeProbePacketTable());
  table.EnableRecheckButton(false);
  std::thread sequencer(RunCheckSequence, &state);
  state.m_bRunning = false;
  world.internetGate->count_down();
  sequencer.join();
  EXPECT_EQ(table.StepTexts(), std::vector<std::string>{"检查网络..."});
  EXPECT_EQ(table.GetResultText(0), "连接Internet成功");
  EXPECT_FALSE(table.RecheckEnabled());
}

// Exit lands while row 1 is being set up: the table clears the stop flag as
// the row goes in, so the flag is false when the sequencer next looks at it.
class ExitOnRowTable final : public ResultTable {
 public:
  ExitOnRowTable(RecordingResultTable& inner, int row) : m_inner(inner), m_row(row) {}
  std::atomic<bool>* stopFlag = nullptr;
  void InsertRow(int row, const std::string& step) override {
    m_inner.InsertRow(row, step);
    if (row == m_row) *stopFlag = false;
  }
  void SetResultText(int row, const std::string& text) override { m_inner.SetResultText(row, text); }
  std::string GetResultText(int row) override { return m_inner.GetResultText(row); }
  void DeleteAllRows() override { m_inner.DeleteAllRows(); }
  void EnableRecheckButton(bool enabled) override { m_inner.EnableRecheckButton(enabled); }
  void StartTimer(int id, std::chrono::milliseconds period) override { m_inner.StartTimer(id, period); }
  void StopTimer(int id) override { m_inner.StopTimer(id); }

 private:
  RecordingResultTable& m_inner;
  int m_row;
};

TEST_F(CheckRunTest, ExitAfterTheUpnpWorkerStartedInsertsNoFurtherRowAndWaitsForIt) {
  world.release = std::make_unique<std::latch>(1);
  ExitOnRowTable exitingTable(table, 1);
  CheckRunState state(exitingTable, FakeWorkers(), MakeProbePacketTable());
  exitingTable.stopFlag = &state.m_bRunning;
  table.EnableRecheckButton(false);
  state.m_hSequencer = std::thread(RunCheckSequence, &state);
  ASSERT_TRUE(table.WaitForText(1, kCheckingMarker, 10s));
  auto exit = std::async(std::launch::async, [&] { StopChecksForExit(&state); });
  EXPECT_EQ(exit.wait_for(200ms), std::future_status::timeout);  // still waiting for UPnP
  world.release->count_down();
  ASSERT_EQ(exit.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(table.StepTexts(), (std::vector<std::string>{"检查网络...", "检查UPnP映射..."}));
  EXPECT_EQ(table.History(1).back(), "done 1");
  EXPECT_EQ(world.started[2], 0);
  EXPECT_FALSE(table.RecheckEnabled());
}

TEST_F(CheckRunTest, WaitForWorkersFromTwoThreadsReleasesEachThreadOnce) {
  world.release = std::make_unique<std::latch>(1);
  CheckRunState state(table, FakeWorkers(), MakeProbePacketTable());
  std::thread sequencer(RunCheckSequence, &state);  // ends in WaitForWorkers
  ASSERT_TRUE(table.WaitForText(8, kCheckingMarker, 10s));
  // The second caller finds the walk in progress and returns at once.
  auto second = std::async(std::launch::async, [&] { WaitForWorkers(&state); });
  EXPECT_EQ(second.wait_for(10s), std::future_status::ready);
  world.release->count_down();
  sequencer.join();
  EXPECT_TRUE(table.RecheckEnabled());
  EXPECT_FALSE(state.m_hHttpWorker.joinable());
  EXPECT_FALSE(state.m_hNatTypeWorker.joinable());
}

TEST(Animation, MarkerRowsGainADotUpToSixThenStartOver) {
  RecordingResultTable table;
  CheckRunState state(table, {}, MakeProbePacketTable());
  const std::vector<std::string> before = {
      "连接Internet成功", "正在检测.",     "正在检测......", "正常",
      "",                 "正在检测 HS 包", "x正在检测.y",   "正在检测..",  "网络类型为:3"};
  for (int row = 0; row < 9; ++row) {
    table.InsertRow(row, "step");
    table.SetResultText(row, before[static_cast<std::size_t>(row)]);
  }
  table.SetResultText(0, "正在检测.");  // row 0 is never animated

  EXPECT_FALSE(OnTimer(&state, 3));
  EXPECT_EQ(table.GetResultText(1), "正在检测.");

  EXPECT_TRUE(OnTimer(&state, kUpnpTimerId));
  const std::vector<std::string> after = {
      "正在检测.",  "正在检测..",     "正在检测.", "正常",
      "",          "正在检测 HS 包", "x正在检测.y.", "正在检测...", "网络类型为:3"};
  for (int row = 0; row < 9; ++row) {
    EXPECT_EQ(table.GetResultText(row), after[static_cast<std::size_t>(row)]) << row;
  }
  for (int tick = 0; tick < 5; ++tick) OnTimer(&state, kNatTypeTimerId);
  EXPECT_EQ(table.GetResultText(1), "正在检测.");  // 2 dots + 5 ticks: 1, 2, ... 6, 1
  EXPECT_TRUE(OnTimer(&state, kNatTypeTimerId));
  EXPECT_EQ(table.GetResultText(1), "正在检测..");
}

// Through the real window thread: the run, its timers and exit.
class WindowlessTest : public CheckRunTest {};

TEST_F(WindowlessTest, RunFinishesAndRecheckStartsAnotherOnAnEmptiedTable) {
  WindowlessCheckRun run(FakeWorkers(), MakeProbePacketTable());
  run.Open();
  for (int i = 0; i < 1000 && !run.Take().recheckEnabled; ++i) std::this_thread::sleep_for(10ms);
  auto snapshot = run.Take();
  ASSERT_TRUE(snapshot.recheckEnabled);
  ASSERT_EQ(snapshot.rows.size(), 9u);
  EXPECT_EQ(snapshot.rows[8].resultText, "done 8");

  world.release = std::make_unique<std::latch>(1);
  run.Recheck();
  snapshot = run.Take();
  EXPECT_FALSE(snapshot.recheckEnabled);
  run.Recheck();  // ignored while disabled: still one run
  world.release->count_down();
  for (int i = 0; i < 1000 && !run.Take().recheckEnabled; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(world.started[2], 2);
  EXPECT_EQ(run.Take().rows.size(), 9u);
}

TEST_F(WindowlessTest, ExitWhileWorkersAreBlockedInTableWritesDoesNotDeadlock) {
  world.release = std::make_unique<std::latch>(1);
  WindowlessCheckRun run(FakeWorkers(), MakeProbePacketTable());
  run.Open();
  for (int i = 0; i < 1000 && world.started[8] == 0; ++i) std::this_thread::sleep_for(10ms);
  auto exit = std::async(std::launch::async, [&] { run.Exit(); });
  std::this_thread::sleep_for(100ms);  // let exit reach its wait on the workers
  world.release->count_down();        // every worker now writes while the window thread waits
  ASSERT_EQ(exit.wait_for(20s), std::future_status::ready);
  EXPECT_FALSE(run.State().m_bRunning);
  for (int row : {1, 2, 3, 5, 6, 7, 8}) EXPECT_EQ(world.started[row], 1);
}

}  // namespace
}  // namespace talu
