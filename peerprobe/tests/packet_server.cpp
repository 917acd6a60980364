#include "peerprobe/tests/packet_server.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <optional>
#include <thread>

#include "peerprobe/frame_codec.h"
#include "peerprobe/probe_packet.h"
#include "schedprobe/tests/probe_test_support.h"

namespace talu::probe_test {

namespace {

// Longer than the probe's own 5 s receive time-out, so the probe always gives
// up first; it only keeps a broken test from hanging.
constexpr long kServerReceiveTimeoutSeconds = 10;
constexpr std::size_t kReadChunk = 2048;
constexpr char kHeadEnd[] = "\r\n\r\n";
constexpr char kContentLengthField[] = "\r\nContent-Length: ";

std::optional<std::size_t> ContentLength(const std::string& head) {
  const std::size_t at = head.find(kContentLengthField);
  if (at == std::string::npos) return std::nullopt;
  std::size_t value = 0;
  bool anyDigit = false;
  for (std::size_t i = at + sizeof kContentLengthField - 1; i < head.size(); ++i) {
    const char digit = head[i];
    if (digit < '0' || digit > '9') break;
    value = value * 10 + static_cast<std::size_t>(digit - '0');
    anyDigit = true;
  }
  return anyDigit ? std::optional<std::size_t>(value) : std::nullopt;
}

// One exchange, once the bytes so far hold all of it. The expected size tells
// when a frame or a bare packet is whole, since neither carries its length in
// a form that holds for all seven.
std::optional<ReceivedExchange> WholeExchange(const std::vector<std::uint8_t>& bytes,
                                              PacketWrapping wrapping, std::size_t expectedSize) {
  ReceivedExchange exchange;
  exchange.wireSize = bytes.size();
  switch (wrapping) {
    case PacketWrapping::Bare:
      if (bytes.size() < expectedSize) return std::nullopt;
      exchange.packet = bytes;
      return exchange;
    case PacketWrapping::ScrambledFrame:
      if (!UnscrambleFrame(bytes.data(), bytes.size(), &exchange.packet) ||
          exchange.packet.size() < expectedSize) {
        return std::nullopt;
      }
      return exchange;
    case PacketWrapping::HttpPost: {
      const std::string text(bytes.begin(), bytes.end());
      const std::size_t headEnd = text.find(kHeadEnd);
      if (headEnd == std::string::npos) return std::nullopt;
      exchange.httpHead = text.substr(0, headEnd + sizeof kHeadEnd - 1);
      const std::size_t bodySize = ContentLength(exchange.httpHead).value_or(expectedSize);
      if (bytes.size() < exchange.httpHead.size() + bodySize) return std::nullopt;
      exchange.packet.assign(bytes.begin() + static_cast<std::ptrdiff_t>(exchange.httpHead.size()),
                             bytes.end());
      return exchange;
    }
  }
  return std::nullopt;
}

std::optional<ReceivedExchange> ReadExchange(int socketFd, PacketWrapping wrapping,
                                             std::size_t expectedSize) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[kReadChunk];
  for (;;) {
    if (auto exchange = WholeExchange(bytes, wrapping, expectedSize)) return exchange;
    const long got = ::recv(socketFd, chunk, sizeof chunk, 0);
    if (got <= 0) return std::nullopt;
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
}

void DrainUntilClosed(int socketFd) {
  std::uint8_t chunk[kReadChunk];
  while (::recv(socketFd, chunk, sizeof chunk, 0) > 0) {
  }
}

}  // namespace

std::vector<PacketShape> ExpectedPacketShapes() {
  std::vector<PacketShape> shapes;
  for (const ProbePacket& packet : MakeProbePacketTable()) {
    std::vector<std::uint8_t> buffer(1024);
    std::size_t length = buffer.size();
    packet.builder(buffer.data(), &length);
    shapes.push_back({length, {buffer.begin(), buffer.begin() + kIdentifyingBytes}});
  }
  return shapes;
}

PacketServer::PacketServer(PacketWrapping wrapping, ServerBehaviour behaviour)
    : m_wrapping(wrapping),
      m_behaviour(behaviour),
      m_shapes(ExpectedPacketShapes()),
      m_server([this](int socketFd) { Serve(socketFd); }) {}

std::vector<ReceivedExchange> PacketServer::received() {
  std::lock_guard lock(m_mutex);
  return m_received;
}

void PacketServer::Serve(int socketFd) {
  timeval bound{kServerReceiveTimeoutSeconds, 0};
  setsockopt(socketFd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  std::size_t answered = 0;
  for (const PacketShape& shape : m_shapes) {
    std::optional<ReceivedExchange> exchange = ReadExchange(socketFd, m_wrapping, shape.size);
    if (!exchange) return;
    {
      std::lock_guard lock(m_mutex);
      m_received.push_back(std::move(*exchange));
    }
    if (!m_behaviour.answers) {
      DrainUntilClosed(socketFd);
      return;
    }
    std::this_thread::sleep_for(m_behaviour.answerDelay);
    const std::uint8_t reply = 1;
    if (::send(socketFd, &reply, 1, MSG_NOSIGNAL) != 1) return;
    if (++answered == m_behaviour.answersBeforeClosing) return;
  }
  DrainUntilClosed(socketFd);
}

TcpProbeSettings AimedAt(TcpProbeSettings settings, std::uint16_t port) {
  settings.serverHost = kLoopbackHost;
  settings.serverPort = port;
  return settings;
}

}  // namespace talu::probe_test
