// A peer-protocol server for the TCP probe tests: it takes the probe's
// exchanges apart as the given wrapping says, records the bare packets (and
// the HTTP heads), and answers, stays silent or closes as told.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "peerprobe/tcp_probe.h"
#include "responders/tcp_test_server.h"

namespace talu::probe_test {

struct ReceivedExchange {
  std::vector<std::uint8_t> packet;  // the bare packet, unwrapped
  std::string httpHead;              // HttpPost only: everything up to the blank line
  std::size_t wireSize = 0;          // what the probe sent for it
};

struct ServerBehaviour {
  bool answers = true;                     // false: reads everything, answers nothing
  std::size_t answersBeforeClosing = 7;    // closes right after this many answers
  std::chrono::milliseconds answerDelay{0};
};

// Size and leading bytes of one of the seven packets, which identify it: the
// rest of some packets is drawn at random.
struct PacketShape {
  std::size_t size = 0;
  std::vector<std::uint8_t> leadingBytes;
};
inline constexpr std::size_t kIdentifyingBytes = 5;  // length field and message id
std::vector<PacketShape> ExpectedPacketShapes();

class PacketServer {
 public:
  PacketServer(PacketWrapping wrapping, ServerBehaviour behaviour);

  bool ok() const { return m_server.ok(); }
  std::uint16_t port() const { return m_server.port(); }
  std::vector<ReceivedExchange> received();
  std::size_t acceptedCount() const { return m_server.acceptedCount(); }

 private:
  void Serve(int socketFd);

  const PacketWrapping m_wrapping;
  const ServerBehaviour m_behaviour;
  const std::vector<PacketShape> m_shapes;
  std::mutex m_mutex;
  std::vector<ReceivedExchange> m_received;
  responders::TcpTestServer m_server;  // last: its threads use the members above
};

// Aims a probe's own settings at a server on the loopback address.
TcpProbeSettings AimedAt(TcpProbeSettings settings, std::uint16_t port);

}  // namespace talu::probe_test
