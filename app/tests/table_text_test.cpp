#include "app/table_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talu {
namespace {

struct WidthCase {
  const char* text;
  int width;
};

TEST(DisplayWidthTest, CountsTerminalColumns) {
  const WidthCase cases[] = {
      {"", 0},
      {"Http", 4},
      {"检查网络...", 11},                // ideographs take two columns
      {"检测  BT  协议通讯...", 21},
      {"网络类型为:1", 12},              // the ASCII colon is narrow
      {"ＡＢ", 4},                       // full-width forms
      {"e\xCC\x81", 1},                  // a combining accent rides on its letter
      {"\xF0\x9F\x98\x80", 2},           // an emoji
      {"a\x1b[31mb", 6},                 // ESC is a control (0), "[31m" counts
      {"\xE6\xA3", 2},                   // a cut-off sequence: each byte one column
      {"\xC0\xAF", 2},                   // an overlong encoding is not a character
      {"\xED\xA0\x80", 3},               // nor is a surrogate
  };
  for (const WidthCase& c : cases) {
    EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
  }
}

TEST(TabSeparatedRowsTest, OneLinePerRowWithTheTwoTextsAndATab) {
  const std::vector<TableRow> rows = {{"检查网络...", "连接Internet成功"},
                                      {"跳过UPnP映射检查", ""}};
  EXPECT_EQ(TabSeparatedRows(rows), "检查网络...\t连接Internet成功\n跳过UPnP映射检查\t\n");
  EXPECT_EQ(TabSeparatedRows({}), "");
}

TEST(TabSeparatedRowsTest, TabsAndLineBreaksInsideATextCannotSplitTheRow) {
  EXPECT_EQ(TabSeparatedRows({{"a\tb", "c\r\nd"}}), "a b\tc  d\n");
}

TEST(PrintableTextTest, ControlsAndMalformedBytesNeverReachTheTerminal) {
  EXPECT_EQ(PrintableText("ok\x1b]0;title\x07"), "ok?]0;title?");
  EXPECT_EQ(PrintableText("\xE6\xA3"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(PrintableText("正在检测."), "正在检测.");
}

TEST(TruncateToWidthTest, NeverCutsACharacterInTwo) {
  EXPECT_EQ(TruncateToWidth("检查网络", 5), "检查");
  EXPECT_EQ(TruncateToWidth("检查网络", 8), "检查网络");
  EXPECT_EQ(TruncateToWidth("ab检", 3), "ab");
  EXPECT_EQ(TruncateToWidth("abc", 0), "");
}

// The terminal columns at which a line has a border character.
std::vector<int> BorderColumns(const std::string& line) {
  std::vector<int> columns;
  for (std::size_t offset = 0; offset < line.size();) {
    std::size_t length = 1;
    while (offset + length < line.size() && (line[offset + length] & 0xC0) == 0x80) ++length;
    const std::string character = line.substr(offset, length);
    if (character == "|" || character == "+") columns.push_back(DisplayWidth(line.substr(0, offset)));
    offset += length;
  }
  return columns;
}

TEST(BorderedTableLinesTest, TheBordersLineUpWhateverTheTexts) {
  const std::vector<TableRow> rows = {
      {"检查网络...", "连接Internet成功"},
      {"检测  P2P 协议通讯...", "正在检测......"},
      {"检测 Http 协议通讯...", "a result text longer than the minimum width of the column"},
      {"跳过与缓存调度检测...", ""},
  };
  const std::vector<std::string> lines = BorderedTableLines(rows);
  ASSERT_EQ(lines.size(), 3 + rows.size() + 1);
  const std::vector<int> columns = BorderColumns(lines[0]);
  ASSERT_EQ(columns.size(), 3u);
  for (const std::string& line : lines) {
    EXPECT_EQ(BorderColumns(line), columns) << line;
    EXPECT_EQ(DisplayWidth(line), columns.back() + 1) << line;
  }
  EXPECT_EQ(lines[1].rfind("| 检查步骤", 0), 0u);
  EXPECT_EQ(lines[3].rfind("| 检查网络... ", 0), 0u);
}

TEST(BorderedTableLinesTest, AnEmptyTableStillShowsTheHeader) {
  const std::vector<std::string> lines = BorderedTableLines({});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[1].find("检查结果"), std::string::npos);
}

}  // namespace
}  // namespace talu
