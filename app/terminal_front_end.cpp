#include "app/terminal_front_end.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "app/table_text.h"
#include "app/ui_texts.h"

namespace talu {

namespace {

using namespace std::chrono_literals;

// An Escape key arrives alone; the keys that send sequences starting with
// Escape (arrows, function keys) send the rest within a few milliseconds.
constexpr int kEscapeSequenceGapMs = 50;
// Diagnostics held back while the table is shown; past this, the oldest go.
constexpr std::size_t kKeptDiagnosticBytes = 1 << 20;
constexpr std::size_t kReadChunk = 256;
// Used when the terminal does not tell its width.
constexpr int kAssumedTerminalWidth = 80;

constexpr char kEscape = '\x1b';
constexpr char kCtrlC = '\x03';
constexpr const char* kEnterAlternateScreen = "\x1b[?1049h\x1b[?25l";
constexpr const char* kLeaveAlternateScreen = "\x1b[?25h\x1b[?1049l";
constexpr const char* kCursorHome = "\x1b[H";
constexpr const char* kClearLine = "\x1b[2K";
constexpr const char* kClearToEnd = "\x1b[J";

constexpr const char* kKeysWithRecheck = "Enter: 重新检测    q / Esc: 退出";
constexpr const char* kKeysWithoutRecheck = "q / Esc: 退出";

void WriteAll(int descriptor, const std::string& text) {
  std::size_t offset = 0;
  while (offset < text.size()) {
    const ssize_t written = write(descriptor, text.data() + offset, text.size() - offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the terminal has gone: nothing left to show
    offset += static_cast<std::size_t>(written);
  }
}

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kAssumedTerminalWidth;
}

// Waits until one of the descriptors is readable (-1 entries are ignored);
// timeoutMs < 0 waits without limit. Returns the readable flags.
struct Readable {
  bool input = false;
  bool change = false;
  bool signal = false;
};
Readable WaitForEvents(int input, int change, int signal, int timeoutMs) {
  pollfd fds[] = {{input, POLLIN, 0}, {change, POLLIN, 0}, {signal, POLLIN, 0}};
  if (poll(fds, 3, timeoutMs) <= 0) return {};
  constexpr short kReadyEvents = POLLIN | POLLHUP | POLLERR;
  return {(fds[0].revents & kReadyEvents) != 0, (fds[1].revents & kReadyEvents) != 0,
          (fds[2].revents & kReadyEvents) != 0};
}

bool InputFollowsWithin(int descriptor, int timeoutMs) {
  pollfd fd{descriptor, POLLIN, 0};
  return poll(&fd, 1, timeoutMs) > 0;
}

// The terminal as the live table needs it: keys one at a time without echo
// (Ctrl+C arrives as a key, so it exits through the same steps as q), and the
// alternate screen so that the user's scroll-back stays as it was.
class LiveTerminal {
 public:
  LiveTerminal() {
    m_rawInput = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &m_saved) == 0;
    if (m_rawInput) {
      termios raw = m_saved;
      raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
      raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
      raw.c_cc[VMIN] = 1;
      raw.c_cc[VTIME] = 0;
      tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
    }
    WriteAll(STDOUT_FILENO, kEnterAlternateScreen);
  }
  ~LiveTerminal() { Leave(); }
  LiveTerminal(const LiveTerminal&) = delete;
  LiveTerminal& operator=(const LiveTerminal&) = delete;

  void Draw(const std::vector<std::string>& lines) {
    std::string frame = kCursorHome;
    for (const std::string& line : lines) frame += kClearLine + line + "\r\n";
    frame += kClearToEnd;
    WriteAll(STDOUT_FILENO, frame);
  }

  // Back to the screen the user had; safe to call twice.
  void Leave() {
    if (m_left) return;
    m_left = true;
    WriteAll(STDOUT_FILENO, kLeaveAlternateScreen);
    if (m_rawInput) tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
  }

 private:
  termios m_saved{};
  bool m_rawInput = false;
  bool m_left = false;
};

// While the table is on the screen, lines written to standard error (the NAT
// detection's diagnostics) would land inside it. When standard error is the
// terminal, they are collected meanwhile and written out once the table is
// gone. A thread keeps the pipe drained, so a writer never waits on it.
class DiagnosticsHold {
 public:
  DiagnosticsHold() {
    if (!isatty(STDERR_FILENO)) return;
    int ends[2];
    if (pipe(ends) != 0) return;
    m_savedStderr = dup(STDERR_FILENO);
    if (m_savedStderr < 0 || dup2(ends[1], STDERR_FILENO) < 0) {
      close(ends[0]);
      close(ends[1]);
      if (m_savedStderr >= 0) close(m_savedStderr);
      m_savedStderr = -1;
      return;
    }
    close(ends[1]);
    m_reader = std::thread([this, readEnd = ends[0]] { Collect(readEnd); });
  }
  ~DiagnosticsHold() { Release(); }
  DiagnosticsHold(const DiagnosticsHold&) = delete;
  DiagnosticsHold& operator=(const DiagnosticsHold&) = delete;

  // Standard error goes to the terminal again, after what was held back.
  void Release() {
    if (m_savedStderr < 0) return;
    dup2(m_savedStderr, STDERR_FILENO);  // closes the last write end: the reader sees its end
    m_reader.join();
    WriteAll(m_savedStderr, m_held);
    close(m_savedStderr);
    m_savedStderr = -1;
  }

 private:
  void Collect(int readEnd) {
    char chunk[kReadChunk];
    for (;;) {
      const ssize_t got = read(readEnd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      m_held.append(chunk, static_cast<std::size_t>(got));
      if (m_held.size() > kKeptDiagnosticBytes) {
        m_held.erase(0, m_held.size() - kKeptDiagnosticBytes);
      }
    }
    close(readEnd);
  }

  int m_savedStderr = -1;
  std::thread m_reader;
  std::string m_held;  // the reader's until it has been joined
};

enum class KeyAction { None, Recheck, Exit };

// Reads what the keyboard sent and tells what it asks for.
KeyAction ReadKeys(int input, bool* inputClosed) {
  char bytes[kReadChunk];
  const ssize_t got = read(input, bytes, sizeof bytes);
  if (got <= 0) {
    if (got == 0 || (errno != EINTR && errno != EAGAIN)) *inputClosed = true;
    return KeyAction::None;
  }
  KeyAction action = KeyAction::None;
  for (ssize_t i = 0; i < got; ++i) {
    const char key = bytes[i];
    if (key == 'q' || key == 'Q' || key == kCtrlC) return KeyAction::Exit;
    if (key == '\r' || key == '\n') action = KeyAction::Recheck;
    if (key == kEscape) {
      const bool lastOfChunk = i + 1 == got;
      if (lastOfChunk && !InputFollowsWithin(input, kEscapeSequenceGapMs)) return KeyAction::Exit;
      // The start of a key's sequence: the rest of it means nothing here.
      if (lastOfChunk) {
        [[maybe_unused]] const ssize_t rest = read(input, bytes, sizeof bytes);
      }
      break;
    }
  }
  return action;
}

WindowlessCheckRun::Snapshot OpenRun(const CheckSuite& suite, WindowlessCheckRun& run) {
  if (suite.prepareOnOpen) suite.prepareOnOpen();
  run.Open();
  return run.Take();
}

int RunPiped(const CheckSuite& suite, ExitSignals& exitSignals) {
  WakePipe changed;
  WindowlessCheckRun run(suite.workers, MakeProbePacketTable(),
                         [&changed](const WindowlessCheckRun::Snapshot&) { changed.Ring(); });
  WindowlessCheckRun::Snapshot snapshot = OpenRun(suite, run);
  while (!WindowlessCheckRun::RunHasEnded(snapshot)) {
    const Readable ready = WaitForEvents(-1, changed.ReadDescriptor(), exitSignals.ReadDescriptor(), -1);
    if (ready.signal) {
      const int signalNumber = exitSignals.TakeSignal();
      if (signalNumber != 0) {
        // Stopped before the run ended: no table, and a status that says so.
        run.Exit();
        constexpr int kKilledBySignalBase = 128;
        return kKilledBySignalBase + signalNumber;
      }
    }
    changed.Drain();
    snapshot = run.Take();
  }
  WriteAll(STDOUT_FILENO, TabSeparatedRows(snapshot.rows));
  run.Exit();
  return 0;
}

int RunLive(const CheckSuite& suite, ExitSignals& exitSignals) {
  WakePipe changed;
  WindowlessCheckRun run(suite.workers, MakeProbePacketTable(),
                         [&changed](const WindowlessCheckRun::Snapshot&) { changed.Ring(); });
  LiveTerminal terminal;
  DiagnosticsHold diagnostics;
  WindowlessCheckRun::Snapshot snapshot = OpenRun(suite, run);
  terminal.Draw(LiveScreenLines(snapshot, TerminalWidth()));

  int input = STDIN_FILENO;
  bool exitRequested = false;
  while (!exitRequested) {
    const Readable ready =
        WaitForEvents(input, changed.ReadDescriptor(), exitSignals.ReadDescriptor(), -1);
    if (ready.signal && exitSignals.TakeSignal() != 0) exitRequested = true;
    if (ready.input) {
      bool inputClosed = false;
      const KeyAction action = ReadKeys(input, &inputClosed);
      if (inputClosed) input = -1;  // no keyboard: only a signal ends the program
      if (action == KeyAction::Exit) exitRequested = true;
      if (action == KeyAction::Recheck) run.Recheck();  // ignored while re-check is disabled
    }
    if (ready.change || ready.input) {
      changed.Drain();
      snapshot = run.Take();
      terminal.Draw(LiveScreenLines(snapshot, TerminalWidth()));
    }
  }

  // The exit steps: the table goes at once, then the workers are waited for.
  // What it last showed stays on the user's screen, for a support request.
  terminal.Leave();
  diagnostics.Release();
  std::string lastTable;
  for (const std::string& line : BorderedTableLines(snapshot.rows)) lastTable += line + "\n";
  WriteAll(STDOUT_FILENO, lastTable);
  run.Exit();
  return 0;
}

}  // namespace

std::vector<std::string> LiveScreenLines(const WindowlessCheckRun::Snapshot& snapshot,
                                         int maxWidth) {
  std::vector<std::string> lines{ui::kMainTitle};
  for (std::string& line : BorderedTableLines(snapshot.rows)) lines.push_back(std::move(line));
  lines.push_back(snapshot.recheckEnabled ? kKeysWithRecheck : kKeysWithoutRecheck);
  for (std::string& line : lines) line = TruncateToWidth(line, maxWidth);
  return lines;
}

int RunTerminalFrontEnd(const CheckSuite& suite, ExitSignals& exitSignals) {
  return isatty(STDOUT_FILENO) ? RunLive(suite, exitSignals) : RunPiped(suite, exitSignals);
}

}  // namespace talu
