// The test twin of the program as a user runs it without a display: live in
// tmux, piped into another program, and twice at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr const char* kTwin = TALU_FAKES_BINARY;
// Generous bounds on waits for the twin; nothing here measures speed.
constexpr auto kWaitBound = 20s;
constexpr auto kPollPause = 50ms;

const char* const kWholeLanRun =
    "检查网络...\t连接Internet成功\n"
    "检查UPnP映射...\tUPnp映射成功\n"
    "检测网络类型...\t网络类型为:1\n"
    "检查与Talu调度通信...\t正常\n"
    "跳过与缓存调度检测...\t\n"
    "检查与高速调度通信...\t正常\n"
    "检测  P2P 协议通讯...\t正常\n"
    "检测  BT  协议通讯...\t正常\n"
    "检测 Http 协议通讯...\t正常\n";

std::string MakeTemporaryDirectory() {
  char pattern[] = "/tmp/talu-app-test-XXXXXX";
  return mkdtemp(pattern) ? pattern : "";
}

void RemoveTree(const std::string& directory) {
  if (directory.rfind("/tmp/talu-app-test-", 0) != 0) return;
  const std::string command = "rm -rf '" + directory + "'";
  [[maybe_unused]] const int status = std::system(command.c_str());
}

std::string ReadAll(int descriptor) {
  std::string text;
  char chunk[4096];
  ssize_t got;
  while ((got = read(descriptor, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
  return text;
}

// The environment of a user without a display, with a runtime directory of
// the test's own (so that parallel tests do not share a single-instance marker).
std::vector<std::string> NoDisplayEnvironment(const std::string& runtimeDirectory,
                                              const std::vector<std::string>& extra) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    const std::string name = variable.substr(0, variable.find('='));
    if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "XDG_RUNTIME_DIR" ||
        name == "LC_ALL" || name == "LANG" || name.rfind("LC_", 0) == 0 || name.rfind("TMUX", 0) == 0) {
      continue;
    }
    variables.push_back(variable);
  }
  variables.push_back("XDG_RUNTIME_DIR=" + runtimeDirectory);
  for (const std::string& variable : extra) variables.push_back(variable);
  return variables;
}

// The twin with standard output and standard error on pipes.
class PipedTwin {
 public:
  PipedTwin(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      const int devNull = open("/dev/null", O_RDONLY);
      dup2(devNull, STDIN_FILENO);
      std::vector<char*> argv{const_cast<char*>(kTwin)};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      std::vector<char*> envp;
      for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
      envp.push_back(nullptr);
      execve(kTwin, argv.data(), envp.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~PipedTwin() {
    if (m_pid > 0 && !m_ended) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
    if (m_err >= 0) close(m_err);
  }

  // Waits, bounded, for the end; false on time-out.
  bool Wait() {
    const auto deadline = std::chrono::steady_clock::now() + kWaitBound;
    while (!m_ended && std::chrono::steady_clock::now() < deadline) {
      if (HasEnded()) break;
      std::this_thread::sleep_for(kPollPause);
    }
    if (!m_ended) return false;
    m_stdout = ReadAll(m_out);
    m_stderr = ReadAll(m_err);
    return true;
  }
  bool HasEnded() {
    if (m_ended) return true;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_ended = true;
      m_status = status;
    }
    return m_ended;
  }
  void Signal(int number) { kill(m_pid, number); }
  int ExitCode() const { return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1; }
  const std::string& Out() const { return m_stdout; }
  const std::string& Err() const { return m_stderr; }

 private:
  pid_t m_pid = -1;
  int m_out = -1, m_err = -1;
  bool m_ended = false;
  int m_status = 0;
  std::string m_stdout, m_stderr;
};

class TwinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtimeDirectory = MakeTemporaryDirectory();
    ASSERT_FALSE(runtimeDirectory.empty());
  }
  void TearDown() override { RemoveTree(runtimeDirectory); }
  std::string runtimeDirectory;
};

using PipedOutputTest = TwinTest;

TEST_F(PipedOutputTest, PrintsTheFinishedTableOnceAsTabSeparatedLines) {
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    std::string expected;
  };
  const std::string modemRun = std::string(kWholeLanRun).replace(
      std::string(kWholeLanRun).find("检查UPnP映射...\tUPnp映射成功"),
      std::strlen("检查UPnP映射...\tUPnp映射成功"), "跳过UPnP映射检查\t");
  const Case cases[] = {
      {"a whole run", {"--scenario=lan", "--worker-ms=200"}, {}, kWholeLanRun},
      {"no Internet: row 0 alone", {"--scenario=offline"}, {}, "检查网络...\t连接Internet失败\n"},
      {"a modem link", {"--scenario=modem"}, {}, modemRun},
      // Not a UTF-8 locale: the texts come out in UTF-8 all the same.
      {"a C locale", {"--scenario=lan"}, {"LANG=C"}, kWholeLanRun},
      {"a Latin-1 locale", {"--scenario=lan"}, {"LC_ALL=en_US.ISO-8859-1"}, kWholeLanRun},
  };
  for (const Case& c : cases) {
    PipedTwin twin(c.arguments, NoDisplayEnvironment(runtimeDirectory, c.environment));
    ASSERT_TRUE(twin.Wait()) << c.what;
    EXPECT_EQ(twin.ExitCode(), 0) << c.what;
    EXPECT_EQ(twin.Out(), c.expected) << c.what;
  }
}

TEST_F(PipedOutputTest, DiagnosticsStayOnStandardError) {
  PipedTwin twin({"--diagnostic=nat: test diagnostic"}, NoDisplayEnvironment(runtimeDirectory, {}));
  ASSERT_TRUE(twin.Wait());
  EXPECT_EQ(twin.Out(), kWholeLanRun);
  EXPECT_EQ(twin.Err(), "nat: test diagnostic\n");
}

TEST_F(PipedOutputTest, ASignalBeforeTheEndRunsTheExitStepsAndPrintsNoTable) {
  for (const int signalNumber : {SIGTERM, SIGINT}) {
    PipedTwin twin({"--worker-ms=1500"}, NoDisplayEnvironment(runtimeDirectory, {}));
    std::this_thread::sleep_for(300ms);
    twin.Signal(signalNumber);
    ASSERT_TRUE(twin.Wait());
    EXPECT_EQ(twin.ExitCode(), 128 + signalNumber);
    EXPECT_EQ(twin.Out(), "");
  }
}

using SingleInstanceProcessTest = TwinTest;

TEST_F(SingleInstanceProcessTest, ASecondCopyEndsAtOnceSilentlyAndALaterOneRuns) {
  const auto environment = NoDisplayEnvironment(runtimeDirectory, {});
  PipedTwin first({"--worker-ms=3000"}, environment);
  // The first copy holds the marker once it writes its first row; give it a
  // moment to start.
  std::this_thread::sleep_for(500ms);
  PipedTwin second({"--worker-ms=0"}, environment);
  ASSERT_TRUE(second.Wait());
  EXPECT_FALSE(first.HasEnded()) << "the second copy should end while the first runs";
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_EQ(second.Out(), "");
  EXPECT_EQ(second.Err(), "");

  ASSERT_TRUE(first.Wait());
  EXPECT_EQ(first.Out(), kWholeLanRun);
  PipedTwin later({}, environment);
  ASSERT_TRUE(later.Wait());
  EXPECT_EQ(later.Out(), kWholeLanRun);
}

// A tmux server of the test's own, with one pane running the twin. A small
// script runs it and keeps its exit status, which tmux itself does not always
// learn before it marks the pane dead.
class TmuxPane {
 public:
  TmuxPane(const std::string& directory, const std::vector<std::string>& environment,
           const std::string& twinArguments) {
    const std::string name = directory + "/pane-" + std::to_string(++s_panes);
    m_socket = name + ".sock";
    m_statusFile = name + ".status";
    const std::string config = name + ".conf";
    const std::string script = name + ".sh";
    std::ofstream(config) << "set -g remain-on-exit on\nset -g status off\n";
    std::ofstream runner(script);
    runner << "env -i";
    for (const std::string& variable : environment) runner << " '" << variable << "'";
    runner << " " << kTwin << " " << twinArguments << "\necho $? > '" << m_statusFile << "'\n";
    runner.close();
    Tmux("-f '" + config + "' new-session -d -x 100 -y 30 -s twin 'sh " + script + "'");
  }
  std::string Tmux(const std::string& arguments) const {
    const std::string command = "tmux -u -S '" + m_socket + "' " + arguments + " 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char chunk[4096];
      std::size_t got;
      while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
      pclose(pipe);
    }
    return output;
  }
  std::string Screen() const { return Tmux("capture-pane -p -t twin"); }
  // The screen and what scrolled off it.
  std::string ScreenAndHistory() const { return Tmux("capture-pane -p -S - -t twin"); }
  void SendKeys(const std::string& keys) const { Tmux("send-keys -t twin " + keys); }
  bool Dead() const { return Tmux("display-message -p -t twin '#{pane_dead}'") == "1\n"; }
  // The twin's exit status once the pane is dead.
  std::string ExitStatus() const {
    std::ifstream file(m_statusFile);
    std::string status;
    std::getline(file, status);
    return status;
  }
  // The twin itself: the one child of the pane's shell.
  std::string TwinPid() const {
    const std::string shell = Tmux("display-message -p -t twin '#{pane_pid}'");
    std::string pid;
    if (FILE* pipe = popen(("pgrep -P " + shell).c_str(), "r")) {
      char line[32] = {};
      if (fgets(line, sizeof line, pipe)) pid = line;
      pclose(pipe);
    }
    while (!pid.empty() && pid.back() == '\n') pid.pop_back();
    return pid;
  }

  // Waits, bounded, until the screen satisfies the predicate; returns the
  // last screen seen.
  template <typename Predicate>
  std::string WaitForScreen(Predicate predicate, bool* satisfied) const {
    const auto deadline = std::chrono::steady_clock::now() + kWaitBound;
    std::string screen;
    while (std::chrono::steady_clock::now() < deadline) {
      screen = Screen();
      if (predicate(screen)) {
        *satisfied = true;
        return screen;
      }
      std::this_thread::sleep_for(kPollPause);
    }
    *satisfied = false;
    return screen;
  }
  bool WaitUntilDead() const {
    const auto deadline = std::chrono::steady_clock::now() + kWaitBound;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Dead()) return true;
      std::this_thread::sleep_for(kPollPause);
    }
    return false;
  }

 private:
  // A server of its own per pane: a new one on the socket of one that is
  // still shutting down could meet the old one.
  static inline int s_panes = 0;
  std::string m_socket;
  std::string m_statusFile;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Terminal columns of the border characters on a line, by the C library's
// own character widths (independent of the program's).
std::vector<int> BorderColumns(const std::string& line) {
  std::vector<int> columns;
  std::mbstate_t state{};
  int column = 0;
  for (std::size_t offset = 0; offset < line.size();) {
    wchar_t character;
    const std::size_t length = std::mbrtowc(&character, line.data() + offset, line.size() - offset, &state);
    if (length == 0 || length > line.size()) return {};
    if (character == L'|' || character == L'+') columns.push_back(column);
    const int width = wcwidth(character);
    column += width > 0 ? width : 0;
    offset += length;
  }
  return columns;
}

// Every line of the table has its borders at the same columns: three of them.
::testing::AssertionResult TableIsAligned(const std::string& screen) {
  std::vector<int> expected;
  int tableLines = 0;
  for (const std::string& line : Lines(screen)) {
    if (line.empty() || (line[0] != '|' && line[0] != '+')) continue;
    const std::vector<int> columns = BorderColumns(line);
    if (expected.empty()) expected = columns;
    if (columns != expected || columns.size() != 3) {
      return ::testing::AssertionFailure() << "misaligned line: " << line << "\n" << screen;
    }
    ++tableLines;
  }
  if (tableLines < 5) return ::testing::AssertionFailure() << "no table:\n" << screen;
  return ::testing::AssertionSuccess();
}

class LiveTableTest : public TwinTest {
 protected:
  void SetUp() override {
    TwinTest::SetUp();
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
  }
  // A plain environment: no display, and no locale, so that the program's
  // own UTF-8 fallback is what the table relies on.
  std::vector<std::string> Environment() const {
    return {"PATH=/usr/bin:/bin", "TERM=tmux-256color", "XDG_RUNTIME_DIR=" + runtimeDirectory};
  }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
bool RunFinished(const std::string& screen) {
  return Contains(screen, "Enter: 重新检测") && Contains(screen, "检测 Http 协议通讯...");
}

TEST_F(LiveTableTest, TheTableStaysAlignedWhileItFillsAndEnterRunsItAgain) {
  TmuxPane pane(runtimeDirectory, Environment(), "--worker-ms=1500");
  bool ok = false;
  std::string screen = pane.WaitForScreen(
      [](const std::string& s) { return Contains(s, "检测 Http 协议通讯...") && Contains(s, "正在检测."); }, &ok);
  ASSERT_TRUE(ok) << screen;
  EXPECT_TRUE(TableIsAligned(screen));
  EXPECT_TRUE(Contains(screen, "Talu网络环境检测 2.0"));
  EXPECT_FALSE(Contains(screen, "重新检测")) << "re-check offered during the run";

  // Enter during the run changes nothing.
  pane.SendKeys("Enter");
  screen = pane.WaitForScreen(RunFinished, &ok);
  ASSERT_TRUE(ok) << screen;
  EXPECT_TRUE(TableIsAligned(screen));
  EXPECT_TRUE(Contains(screen, "UPnp映射成功"));
  EXPECT_FALSE(Contains(screen, "正在检测"));

  pane.SendKeys("Enter");
  screen = pane.WaitForScreen([](const std::string& s) { return Contains(s, "正在检测."); }, &ok);
  ASSERT_TRUE(ok) << "Enter did not start a new run:\n" << screen;
  EXPECT_TRUE(TableIsAligned(screen));
  screen = pane.WaitForScreen(RunFinished, &ok);
  ASSERT_TRUE(ok) << screen;

  pane.SendKeys("q");
  ASSERT_TRUE(pane.WaitUntilDead());
  EXPECT_EQ(pane.ExitStatus(), "0");
  // The last table stays on the normal screen after the exit.
  screen = pane.Screen();
  EXPECT_TRUE(TableIsAligned(screen)) << screen;
  EXPECT_TRUE(Contains(screen, "网络类型为:1"));
}

TEST_F(LiveTableTest, EveryExitKeyEndsTheProgramAfterItsWorkers) {
  for (const char* key : {"q", "Escape", "C-c"}) {
    TmuxPane pane(runtimeDirectory, Environment(), "--worker-ms=1000");
    bool ok = false;
    const std::string screen =
        pane.WaitForScreen([](const std::string& s) { return Contains(s, "正在检测."); }, &ok);
    ASSERT_TRUE(ok) << key << "\n" << screen;
    pane.SendKeys(key);
    ASSERT_TRUE(pane.WaitUntilDead()) << key;
    EXPECT_EQ(pane.ExitStatus(), "0") << key;
  }
}

TEST_F(LiveTableTest, ArrowKeysDoNotCountAsEscape) {
  TmuxPane pane(runtimeDirectory, Environment(), "--worker-ms=300");
  bool ok = false;
  pane.WaitForScreen(RunFinished, &ok);
  ASSERT_TRUE(ok);
  pane.SendKeys("Up");
  pane.SendKeys("Down");
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(pane.Dead());
  pane.SendKeys("q");
  EXPECT_TRUE(pane.WaitUntilDead());
}

TEST_F(LiveTableTest, DiagnosticsWaitUntilTheTableIsGone) {
  TmuxPane pane(runtimeDirectory, Environment(), "--worker-ms=300 '--diagnostic=nat: test diagnostic'");
  bool ok = false;
  std::string screen = pane.WaitForScreen(RunFinished, &ok);
  ASSERT_TRUE(ok) << screen;
  EXPECT_FALSE(Contains(screen, "nat: test diagnostic")) << screen;
  EXPECT_TRUE(TableIsAligned(screen));
  pane.SendKeys("q");
  ASSERT_TRUE(pane.WaitUntilDead());
  EXPECT_TRUE(Contains(pane.ScreenAndHistory(), "nat: test diagnostic")) << pane.ScreenAndHistory();
}

TEST_F(LiveTableTest, ASignalRunsTheSameExitSteps) {
  TmuxPane pane(runtimeDirectory, Environment(), "--worker-ms=800");
  bool ok = false;
  pane.WaitForScreen([](const std::string& s) { return Contains(s, "正在检测."); }, &ok);
  ASSERT_TRUE(ok);
  const std::string pid = pane.TwinPid();
  ASSERT_FALSE(pid.empty());
  ASSERT_EQ(std::system(("kill -TERM " + pid).c_str()), 0);
  ASSERT_TRUE(pane.WaitUntilDead());
  EXPECT_EQ(pane.ExitStatus(), "0");
}

}  // namespace
