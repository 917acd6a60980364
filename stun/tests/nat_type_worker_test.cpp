#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "checkrun/recording_table.h"
#include "stun/nat_type_worker.h"

namespace talu::stun {
namespace {

using Lines = std::vector<std::string>;

// Row texts and timer calls in the one order they happened, which the
// recording table keeps apart.
class EventOrderTable final : public ResultTable {
 public:
  void InsertRow(int, const std::string&) override {}
  void SetResultText(int row, const std::string& text) override {
    Record("row " + std::to_string(row) + " " + text);
  }
  std::string GetResultText(int) override { return {}; }
  void DeleteAllRows() override {}
  void EnableRecheckButton(bool) override {}
  void StartTimer(int id, std::chrono::milliseconds period) override {
    Record("start " + std::to_string(id) + " " + std::to_string(period.count()));
  }
  void StopTimer(int id) override { Record("stop " + std::to_string(id)); }
  void Mark(const std::string& event) { Record(event); }
  Lines Events() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
  }

 private:
  void Record(const std::string& event) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(event);
  }
  std::mutex m_mutex;
  Lines m_events;
};

const NatTypeServers kServers{"primary.example", "secondary.example"};

TEST(NatTypeStep, PrimaryAndSecondaryVerdicts) {
  struct Case {
    int primary;
    int secondary;
    const char* shown;
    bool secondaryAsked;
  } const cases[] = {
      {3, 99, "网络类型为:3", false},
      {0x1B, 99, "网络类型为:3", false},  // flag bits dropped
      {0, 99, "网络类型为:0", false},
      {0x15, 99, "网络类型为:5", false},
      {14, 7, "网络类型为:7", true},      // primary blocked: low bits 6
      {-1, 7, "网络类型为:7", true},      // primary failed: low bits 7
      {-1, 0x12, "网络类型为:2", true},
      {6, 14, "网络类型为:6", true},      // the secondary's code is shown whatever it is
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.primary);
    EventOrderTable table;
    const auto detect = [&](const std::string& server) {
      table.Mark("asked " + server);
      return server == kServers.primary ? c.primary : c.secondary;
    };
    RunNatTypeStep(table, kServers, detect);
    Lines expected{"row 2 正在检测.", "start 2 300", "asked primary.example"};
    if (c.secondaryAsked) expected.push_back("asked secondary.example");
    expected.push_back("stop 2");
    expected.push_back(std::string("row 2 ") + c.shown);
    EXPECT_EQ(table.Events(), expected);
  }
}

// Through the recording table the checks' other tests use: what row 2 showed
// in turn, and nothing written anywhere else.
TEST(NatTypeStep, RowTwoAloneAndTimerTwoAlone) {
  RecordingResultTable table;
  for (int row = 0; row <= 8; ++row) table.InsertRow(row, "step");
  RunNatTypeStep(table, kServers, [](const std::string&) { return 0x1A; });
  EXPECT_EQ(table.History(2), (Lines{"正在检测.", "网络类型为:2"}));
  for (int row : {0, 1, 3, 4, 5, 6, 7, 8}) EXPECT_TRUE(table.History(row).empty()) << row;
  EXPECT_EQ(table.TimerCalls(), (Lines{"start 2", "stop 2"}));
}

}  // namespace
}  // namespace talu::stun
