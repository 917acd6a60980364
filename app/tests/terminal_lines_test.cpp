#include <gtest/gtest.h>

#include "app/table_text.h"
#include "app/terminal_front_end.h"

namespace talu {
namespace {

using Snapshot = WindowlessCheckRun::Snapshot;

TEST(RunHasEndedTest, EndsWhenRecheckComesBackOrTheInternetCheckFailed) {
  struct Case {
    const char* what;
    Snapshot snapshot;
    bool ended;
  };
  const Case cases[] = {
      {"just opened", {{}, false}, false},
      {"row 0 still checking", {{{"检查网络...", ""}}, false}, false},
      // Row 0 succeeded and row 1 is on its way: not the end.
      {"row 0 connected", {{{"检查网络...", "连接Internet成功"}}, false}, false},
      {"row 0 failed", {{{"检查网络...", "连接Internet失败"}}, false}, true},
      {"whole run", {{{"检查网络...", "连接Internet成功"}, {"跳过UPnP映射检查", ""}}, true}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(WindowlessCheckRun::RunHasEnded(c.snapshot), c.ended) << c.what;
}

TEST(LiveScreenLinesTest, OffersReCheckOnlyWhileTheButtonWouldBeEnabled) {
  const Snapshot running{{{"检查网络...", ""}}, false};
  const Snapshot finished{{{"检查网络...", "连接Internet成功"}}, true};
  const auto runningLines = LiveScreenLines(running, 200);
  const auto finishedLines = LiveScreenLines(finished, 200);
  EXPECT_EQ(runningLines.front(), "Talu网络环境检测 2.0");
  EXPECT_EQ(runningLines.back().find("重新检测"), std::string::npos);
  EXPECT_NE(runningLines.back().find("退出"), std::string::npos);
  EXPECT_NE(finishedLines.back().find("重新检测"), std::string::npos);
}

TEST(LiveScreenLinesTest, NoLineIsWiderThanTheTerminal) {
  const Snapshot snapshot{{{"检查网络...", "连接Internet成功"}}, true};
  for (const int width : {20, 41}) {
    for (const std::string& line : LiveScreenLines(snapshot, width)) {
      EXPECT_LE(DisplayWidth(line), width) << line;
    }
  }
}

}  // namespace
}  // namespace talu
