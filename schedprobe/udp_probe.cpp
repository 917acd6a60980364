#include "schedprobe/udp_probe.h"

#include <array>
#include <chrono>
#include <optional>

#include "config/build_config.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "platform/socket.h"

namespace talu {

namespace {

using platform::Socket;

// A scheduler that has not answered within five seconds is treated as not
// answering at all; the same bound keeps a stuck send from hanging the row.
constexpr std::chrono::milliseconds kReceiveTimeout{5000};
constexpr std::chrono::milliseconds kSendTimeout{5000};
// Five tries ride out a short outage or a lost datagram without keeping the
// row busy for more than half a minute.
constexpr int kMaxSendAttempts = 5;
constexpr int kMaxReceiveWaits = 5;
// Gives a send queue that is full a moment to drain before the next try.
constexpr std::chrono::milliseconds kPauseAfterSendTimeout{1000};
// Answers are never read, only noticed; anything longer is cut short, which
// still counts as an answer.
constexpr std::size_t kReceiveBufferSize = 1024;
// Bind to whatever local address and port the system picks.
constexpr std::uint32_t kAnyLocalAddress = 0;
constexpr std::uint16_t kAnyLocalPort = 0;

constexpr const char* kResolveFailedText = "解析域名失败";
constexpr const char* kCreateSocketFailedText = "创建UDP套接字失败";
constexpr const char* kSendFailedPrefix = "发送数据失败:";
constexpr const char* kSendTimedOutText = "发送数据连续5次超时";
constexpr const char* kCommunicationFailedText = "通信失败";
constexpr const char* kNormalText = "正常";

struct Destination {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

enum class SendOutcome { Sent, Failed, TimedOutEveryTime };

// Shown after each resend; the number is the ordinal of the send being made,
// so the first resend reads 2.
std::string ResendText(int sendOrdinal) {
  return "接收超时,第" + std::to_string(sendOrdinal) + "次重新发送";
}

long SendDatagram(Socket socket, const std::array<std::uint8_t, kProbeDatagramCapacity>& datagram,
                  std::size_t size, const Destination& destination) {
  return platform::SendTo(socket, datagram.data(), size, destination.address, destination.port);
}

// Only a time-out is worth another try; any other error is final and its
// number is kept for the row's text.
SendOutcome SendWithRetries(Socket socket,
                            const std::array<std::uint8_t, kProbeDatagramCapacity>& datagram,
                            std::size_t size, const Destination& destination, int* sendError) {
  for (int attempt = 1; attempt <= kMaxSendAttempts; ++attempt) {
    if (SendDatagram(socket, datagram, size, destination) >= 0) return SendOutcome::Sent;
    const int error = platform::LastSocketError();
    if (!platform::IsTimeoutError(error)) {
      *sendError = error;
      return SendOutcome::Failed;
    }
    platform::SleepFor(kPauseAfterSendTimeout);
  }
  return SendOutcome::TimedOutEveryTime;
}

// True once any datagram arrives, whatever its size, content or sender.
// Each receive time-out but the last resends the same datagram.
bool AwaitAnswer(CheckRunState* dialog, int row, Socket socket,
                 const std::array<std::uint8_t, kProbeDatagramCapacity>& datagram,
                 std::size_t size, const Destination& destination) {
  std::array<std::uint8_t, kReceiveBufferSize> answer{};
  for (int wait = 1;; ++wait) {
    std::uint32_t fromAddress = 0;
    std::uint16_t fromPort = 0;
    if (platform::ReceiveFrom(socket, answer.data(), answer.size(), &fromAddress, &fromPort) >= 0) {
      return true;
    }
    if (!platform::IsTimeoutError(platform::LastSocketError())) return false;
    if (wait == kMaxReceiveWaits) return false;
    SendDatagram(socket, datagram, size, destination);  // a failed resend shows as the next time-out
    dialog->ResultTable.SetResultText(row, ResendText(wait + 1));
  }
}

void CloseAndReport(CheckRunState* dialog, int row, Socket socket, const std::string& text) {
  platform::CloseSocket(socket);
  dialog->ResultTable.SetResultText(row, text);
}

}  // namespace

int RunUdpProbe(CheckRunState* dialog, const UdpProbeSettings& settings) {
  ResultTable& table = dialog->ResultTable;
  const int row = settings.row;
  table.SetResultText(row, kCheckingMarker);

  const std::optional<std::uint32_t> address = platform::ResolveIpv4(settings.host);
  if (!address) {
    table.SetResultText(row, kResolveFailedText);
    return 0;
  }
  const Socket socket = platform::CreateSocket(platform::SocketType::Udp);
  if (socket == platform::kInvalidSocket) {
    table.SetResultText(row, kCreateSocketFailedText);
    return 0;
  }
  // Should one of these fail, the sends and receives below still fail or
  // time out on their own terms, so their results are not needed.
  platform::SetReceiveTimeout(socket, kReceiveTimeout);
  platform::SetSendTimeout(socket, kSendTimeout);
  platform::BindIpv4(socket, kAnyLocalAddress, kAnyLocalPort);

  const Destination destination{*address, settings.port};
  const ProbeDatagram& kind = settings.datagram;
  std::array<std::uint8_t, kProbeDatagramCapacity> datagram{};
  if (kind.build == nullptr || kind.size > datagram.size()) {
    // A builder that would write past the buffer is never called.
    CloseAndReport(dialog, row, socket, kCommunicationFailedText);
    return 0;
  }
  kind.build(datagram.data());

  int sendError = 0;
  switch (SendWithRetries(socket, datagram, kind.size, destination, &sendError)) {
    case SendOutcome::Sent:
      break;
    case SendOutcome::Failed:
      CloseAndReport(dialog, row, socket, kSendFailedPrefix + std::to_string(sendError));
      return 0;
    case SendOutcome::TimedOutEveryTime:
      CloseAndReport(dialog, row, socket, kSendTimedOutText);
      return 0;
  }

  if (AwaitAnswer(dialog, row, socket, datagram, kind.size, destination)) {
    table.SetResultText(row, kNormalText);
    platform::CloseSocket(socket);
  } else {
    CloseAndReport(dialog, row, socket, kCommunicationFailedText);
  }
  return 0;
}

UdpProbeSettings SchedulerProbeSettings() {
  return {rows::kScheduler, config::kSchedulerHost, kSchedulerDatagram, kSchedulerProbePort};
}

UdpProbeSettings HighSpeedSchedulerProbeSettings() {
  return {rows::kHighSpeedScheduler, config::kHighSpeedSchedulerHost, kHighSpeedDatagram,
          kSchedulerProbePort};
}

int RunSchedulerProbe(CheckRunState* dialog) {
  return RunUdpProbe(dialog, SchedulerProbeSettings());
}

int RunHighSpeedSchedulerProbe(CheckRunState* dialog) {
  return RunUdpProbe(dialog, HighSpeedSchedulerProbeSettings());
}

}  // namespace talu
