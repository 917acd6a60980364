#include "peerprobe/tcp_probe.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>

#include "config/build_config.h"
#include "peerprobe/frame_codec.h"
#include "peerprobe/probe_packets.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "platform/socket.h"

namespace talu {

namespace {

using platform::Socket;
using namespace std::chrono_literals;

// A peer that has not answered a packet within five seconds is treated as
// blocked. The send time-out also bounds the connect on this platform, so it
// is set before connecting.
constexpr std::chrono::milliseconds kReceiveTimeout{5000};
constexpr std::chrono::milliseconds kSendTimeout{5000};
// Room for the largest packet with its frame, or with its HTTP head.
constexpr std::size_t kSendBufferSize = 1024;
constexpr std::size_t kRequestBufferSize = 1024;
// Replies are never read, only noticed; one receive call per packet.
constexpr std::size_t kReceiveBufferSize = 1024;
static_assert(kLargestProbePacketSize + kFrameRoom <= kSendBufferSize);

// The three rows talk to the same server at the same time; unequal pauses
// keep their exchanges from arriving in lockstep.
constexpr std::chrono::milliseconds kPeerProtocolPause = 500ms;
constexpr std::chrono::milliseconds kBtPause = 600ms;
constexpr std::chrono::milliseconds kHttpPause = 700ms;

// The server keys on this Host value, not on the name it was reached by.
constexpr char kHttpRequestFormat[] =
    "POST /service HTTP/1.1\r\n"
    "Accept: */*\r\n"
    "Cache-Control: no-cache\r\n"
    "Connection: Keep-Alive\r\n"
    "Content-Length: %d\r\n"
    "Host: %s:%d\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1;)\r\n"
    "\r\n";
constexpr char kHttpHostName[] = "127.0.0.1";
constexpr int kHttpHostPort = 8080;

constexpr const char* kCreateSocketFailedText = "创建TCP套接字失败";
constexpr const char* kResolveFailedText = "解析Stun域名失败";
constexpr const char* kConnectFailedText = "连接Stun失败";
constexpr const char* kProgressPrefix = "正在检测 ";
constexpr const char* kSendFailedPrefix = "发送 ";
constexpr const char* kReceiveFailedPrefix = "接收 ";
constexpr const char* kFailedSuffix = "失败";
constexpr const char* kNormalText = "正常";

// Everything one exchange touches, on the probe's own stack.
struct ExchangeBuffers {
  std::array<std::uint8_t, kSendBufferSize> packet{};
  std::size_t length = kSendBufferSize;  // the builder's capacity in, the packet's size out
  std::array<char, kRequestBufferSize> request{};
  std::array<std::uint8_t, kReceiveBufferSize> reply{};

  void Reset() {
    packet.fill(0);
    request.fill(0);
    length = kSendBufferSize;
  }
};

struct WireBytes {
  const void* bytes = nullptr;
  std::size_t size = 0;
};

enum class ExchangeOutcome { Answered, SendFailed, ReceiveFailed };

std::optional<WireBytes> WrapAsFrame(ExchangeBuffers& buffers) {
  if (buffers.length + kFrameRoom > buffers.packet.size()) return std::nullopt;
  ScrambleFrame(buffers.packet.data(), &buffers.length);
  return WireBytes{buffers.packet.data(), buffers.length};
}

std::optional<WireBytes> WrapAsHttpRequest(ExchangeBuffers& buffers) {
  const std::size_t headSize =
      FormatHttpRequestHead(buffers.request.data(), buffers.request.size(), buffers.length);
  if (headSize == 0 || headSize + buffers.length > buffers.request.size()) return std::nullopt;
  std::memcpy(buffers.request.data() + headSize, buffers.packet.data(), buffers.length);
  return WireBytes{buffers.request.data(), headSize + buffers.length};
}

// What goes on the wire for the packet now in buffers; nothing when the
// wrapping would not fit its buffer.
std::optional<WireBytes> WrapPacket(PacketWrapping wrapping, ExchangeBuffers& buffers) {
  switch (wrapping) {
    case PacketWrapping::ScrambledFrame:
      return WrapAsFrame(buffers);
    case PacketWrapping::Bare:
      return WireBytes{buffers.packet.data(), buffers.length};
    case PacketWrapping::HttpPost:
      return WrapAsHttpRequest(buffers);
  }
  return std::nullopt;
}

// One send and one receive. A packet that cannot be built or wrapped counts
// as a failed send: nothing of it reached the server.
ExchangeOutcome ExchangePacket(Socket socket, const ProbePacket& packet, PacketWrapping wrapping,
                               ExchangeBuffers& buffers) {
  if (packet.builder == nullptr) return ExchangeOutcome::SendFailed;
  packet.builder(buffers.packet.data(), &buffers.length);
  if (buffers.length > buffers.packet.size()) return ExchangeOutcome::SendFailed;
  const std::optional<WireBytes> wire = WrapPacket(wrapping, buffers);
  if (!wire || platform::Send(socket, wire->bytes, wire->size) <= 0) {
    return ExchangeOutcome::SendFailed;
  }
  // No bytes means the server closed the connection: as much a failure as an error.
  if (platform::Receive(socket, buffers.reply.data(), buffers.reply.size()) <= 0) {
    return ExchangeOutcome::ReceiveFailed;
  }
  return ExchangeOutcome::Answered;
}

void CloseAndReport(CheckRunState* dialog, int row, Socket socket, const std::string& text) {
  platform::CloseSocket(socket);
  dialog->ResultTable.SetResultText(row, text);
}

// True when every packet of the table was answered; otherwise the socket is
// closed and the failing packet's text is shown.
bool ExchangeAllPackets(CheckRunState* dialog, const TcpProbeSettings& settings, Socket socket) {
  ExchangeBuffers buffers;
  std::string progress = kProgressPrefix;
  for (const ProbePacket& packet : dialog->ProbePacketTable) {
    progress += packet.name;
    dialog->ResultTable.SetResultText(settings.row, progress);
    switch (ExchangePacket(socket, packet, settings.wrapping, buffers)) {
      case ExchangeOutcome::Answered:
        break;
      case ExchangeOutcome::SendFailed:
        CloseAndReport(dialog, settings.row, socket, kSendFailedPrefix + packet.name + kFailedSuffix);
        return false;
      case ExchangeOutcome::ReceiveFailed:
        CloseAndReport(dialog, settings.row, socket,
                       kReceiveFailedPrefix + packet.name + kFailedSuffix);
        return false;
    }
    progress = kProgressPrefix;
    buffers.Reset();
    platform::SleepFor(settings.pause);
  }
  return true;
}

}  // namespace

std::size_t FormatHttpRequestHead(char* buffer, std::size_t capacity, std::size_t bodySize) {
  if (buffer == nullptr || capacity == 0 || bodySize > static_cast<std::size_t>(INT_MAX)) return 0;
  const int written = std::snprintf(buffer, capacity, kHttpRequestFormat,
                                    static_cast<int>(bodySize), kHttpHostName, kHttpHostPort);
  if (written < 0 || static_cast<std::size_t>(written) >= capacity) return 0;
  return static_cast<std::size_t>(written);
}

int RunTcpProbe(CheckRunState* dialog, const TcpProbeSettings& settings) {
  ResultTable& table = dialog->ResultTable;
  const int row = settings.row;
  table.SetResultText(row, kCheckingMarker);

  const Socket socket = platform::CreateSocket(platform::SocketType::Tcp);
  if (socket == platform::kInvalidSocket) {
    table.SetResultText(row, kCreateSocketFailedText);
    return 0;
  }
  // Should one of these fail, the calls below still fail on their own terms.
  platform::SetReceiveTimeout(socket, kReceiveTimeout);
  platform::SetSendTimeout(socket, kSendTimeout);

  const std::optional<std::uint32_t> server = platform::ResolveIpv4(settings.serverHost);
  if (!server) {
    CloseAndReport(dialog, row, socket, kResolveFailedText);
    return 0;
  }
  if (!platform::ConnectIpv4(socket, *server, settings.serverPort)) {
    CloseAndReport(dialog, row, socket, kConnectFailedText);
    return 0;
  }
  if (ExchangeAllPackets(dialog, settings, socket)) {
    table.SetResultText(row, kNormalText);
    platform::CloseSocket(socket);
  }
  return 0;
}

TcpProbeSettings PeerProtocolProbeSettings() {
  return {rows::kPeerProtocol, PacketWrapping::ScrambledFrame, kPeerProtocolPause,
          config::kPrimaryStunHost, kPeerProtocolPort};
}

TcpProbeSettings BtProbeSettings() {
  return {rows::kBt, PacketWrapping::Bare, kBtPause, config::kPrimaryStunHost, kPeerProtocolPort};
}

TcpProbeSettings HttpProbeSettings() {
  return {rows::kHttp, PacketWrapping::HttpPost, kHttpPause, config::kPrimaryStunHost,
          kPeerProtocolPort};
}

int RunPeerProtocolProbe(CheckRunState* dialog) {
  return RunTcpProbe(dialog, PeerProtocolProbeSettings());
}

int RunBtProbe(CheckRunState* dialog) { return RunTcpProbe(dialog, BtProbeSettings()); }

int RunHttpProbe(CheckRunState* dialog) { return RunTcpProbe(dialog, HttpProbeSettings()); }

}  // namespace talu
