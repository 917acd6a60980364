#include "stun/nat_discovery.h"

#include <array>
#include <chrono>

#include "platform/clock.h"
#include "stun/binding_request.h"
#include "stun/diagnostics.h"
#include "stun/random_source.h"
#include "stun/server_address.h"
#include "stun/stun_codec.h"
#include "stun/udp_transport.h"

namespace talu::stun {

namespace {

// A gap after each send, so that requests never leave in a burst that a
// home router might drop; spun, not slept, to keep the send order tight.
constexpr std::int64_t kPacingMs = 10;
// The first wait of a run, and the first after test I is answered, only
// looks whether something is there, so that the next send pass goes at once.
constexpr std::chrono::milliseconds kPollWait{0};
// How long one silent wait lasts before it counts as a time-out.
constexpr std::chrono::milliseconds kAnswerWait{300};
// Time-outs in a row (since the start or test I's first answer) that end a
// run: about two seconds of asking before a test counts as unanswered.
constexpr int kTimeoutsToEnd = 7;
// Datagrams that keep arriving are no time-outs, so a peer that never stops
// sending would hold the run, the whole check and the exit that waits for it,
// for ever. No honest run comes near this: the slowest takes about 4 s.
constexpr std::int64_t kRunDeadlineMs = 10'000;

void PaceAfterSend() {
  const std::int64_t start = platform::ProcessClockMs();
  while (platform::ProcessClockMs() <= start + kPacingMs) {
  }
}

bool ChangesIp(std::uint8_t testNumber) { return testNumber == tests::kTestII; }
bool ChangesPort(std::uint8_t testNumber) { return testNumber == tests::kTestIII; }

bool IsSet(const Ipv4Endpoint& endpoint) { return endpoint.address != 0 && endpoint.port != 0; }

// Closes both sockets however the run ends.
struct SocketPair {
  platform::Socket a = platform::kInvalidSocket;
  platform::Socket b = platform::kInvalidSocket;
  ~SocketPair() {
    platform::CloseSocket(a);
    platform::CloseSocket(b);
  }
};

// The state of one run; everything lives on the calling thread's stack.
class NatTestRun {
 public:
  NatTestRun(const Ipv4Endpoint& server, Ipv4Endpoint* local, bool* preservesPort,
             bool* hairpins, std::uint16_t port, const SocketPair& sockets)
      : m_server(server),
        m_local(local),
        m_preservesPort(preservesPort),
        m_hairpins(hairpins),
        m_port(port),
        m_sockets(sockets),
        m_testI2Target(server) {
    if (m_hairpins) *m_hairpins = false;
  }

  // The send and receive loop; false when the readiness wait failed.
  bool Exchange() {
    const std::int64_t deadline = platform::ProcessClockMs() + kRunDeadlineMs;
    do {
      bool readyA = false;
      bool readyB = false;
      const std::chrono::milliseconds wait = m_timeouts == 0 ? kPollWait : kAnswerWait;
      const int ready = platform::WaitReadable(m_sockets.a, m_sockets.b, wait, &readyA, &readyB);
      if (ready < 0) {
        const int error = platform::LastSocketError();
        ErrorLog() << "Error " << error << " " << platform::SocketErrorText(error) << " in select";
        return false;
      }
      // A wake-up that names neither socket counts as a time-out, so that the
      // schedule still ends.
      if (ready == 0 || (!readyA && !readyB)) {
        ++m_timeouts;
        SendPass();
        continue;
      }
      if (readyA) TakeDatagram(m_sockets.a);
      if (readyB) TakeDatagram(m_sockets.b);
    } while (m_timeouts < kTimeoutsToEnd && platform::ProcessClockMs() < deadline);
    return true;
  }

  NatOutcome Classify(const LocalBindingTest& bindsLocally) const {
    // A mapped address that is none of ours means a translator in between.
    const bool behindNat = !bindsLocally(m_mapped.address);
    InfoLog() << "test I = " << Flag(m_testI);
    InfoLog() << "test II = " << Flag(m_testII);
    InfoLog() << "test III = " << Flag(m_testIII);
    InfoLog() << "test I(2) = " << Flag(m_testI2);
    InfoLog() << "is nat  = " << Flag(behindNat);
    InfoLog() << "mapped IP same = " << Flag(m_mappedIpSame);
    if (!m_testI) return NatOutcome::UdpBlocked;
    if (!behindNat) return m_testII ? NatOutcome::OpenInternet : NatOutcome::SymmetricFirewall;
    if (m_testII) return NatOutcome::FullCone;
    if (!m_mappedIpSame) return NatOutcome::SymmetricNat;
    return m_testIII ? NatOutcome::RestrictedCone : NatOutcome::PortRestrictedCone;
  }

 private:
  static const char* Flag(bool value) { return value ? "1" : "0"; }

  void Send(const Ipv4Endpoint& to, platform::Socket from, std::uint8_t testNumber) {
    SendProbe(to, TextValue{}, from, TextValue{}, testNumber, true);
  }

  void SendPass() {
    if (!m_testI) Send(m_server, m_sockets.a, tests::kTestI);
    if (m_testI && !m_testI2 && IsSet(m_testI2Target)) {
      Send(m_testI2Target, m_sockets.a, tests::kTestI2);
    }
    if (!m_testII) Send(m_server, m_sockets.b, tests::kTestII);
    if (!m_testIII) Send(m_server, m_sockets.b, tests::kTestIII);
    if (m_testI && !m_hairpinSeen && IsSet(m_mapped)) {
      Send(m_mapped, m_sockets.a, tests::kHairpin);
    }
  }

  void TakeDatagram(platform::Socket socket) {
    std::size_t size = m_buffer.size();
    if (!ReceiveDatagram(socket, m_buffer.data(), &size)) return;
    StunRecord record;
    // Whatever the decoder stored counts, even when it gave up part-way:
    // a header of 20 bytes is enough to tell which test answered.
    DecodeStunPacket(m_buffer.data(), static_cast<std::uint32_t>(size), record);
    InfoLog() << "Received message of type " << record.messageType
              << "  id=" << unsigned{record.transactionId[0]};
    Act(record);
  }

  void Act(const StunRecord& record) {
    switch (record.transactionId[0]) {
      case tests::kTestI: OnTestIAnswer(record); break;
      case tests::kTestII: m_testII = true; break;
      case tests::kTestIII: m_testIII = true; break;
      case tests::kTestI2: OnTestI2Answer(record); break;
      case tests::kHairpin:
        if (m_hairpins) *m_hairpins = true;
        m_hairpinSeen = true;
        break;
      default: break;
    }
  }

  void OnTestIAnswer(const StunRecord& record) {
    if (m_testI) return;
    m_mapped = {record.mappedAddress.port, record.mappedAddress.address};
    if (m_preservesPort) *m_preservesPort = m_mapped.port == m_port;
    m_testI2Target.address = record.changedAddress.address;  // the port stays the server's
    if (m_local) *m_local = m_mapped;
    m_timeouts = 0;  // the tests that test I opens get their own full schedule
    m_testI = true;
  }

  void OnTestI2Answer(const StunRecord& record) {
    if (m_testI2) return;
    m_mappedIpSame = record.mappedAddress.address == m_mapped.address &&
                     record.mappedAddress.port == m_mapped.port;
    m_testI2 = true;
  }

  const Ipv4Endpoint m_server;
  Ipv4Endpoint* const m_local;
  bool* const m_preservesPort;
  bool* const m_hairpins;
  const std::uint16_t m_port;
  const SocketPair& m_sockets;

  bool m_testI = false;
  bool m_testII = false;
  bool m_testIII = false;
  bool m_testI2 = false;
  bool m_hairpinSeen = false;
  Ipv4Endpoint m_mapped;
  Ipv4Endpoint m_testI2Target;
  bool m_mappedIpSame = true;
  int m_timeouts = 0;
  std::array<std::uint8_t, kStunBufferSize> m_buffer{};
};

}  // namespace

bool BindsLocally(std::uint32_t address) {
  const platform::Socket socket = OpenUdpSocket(address, 0, false);
  if (socket == platform::kInvalidSocket) return false;
  platform::CloseSocket(socket);
  return true;
}

void SendProbe(const Ipv4Endpoint& server, const TextValue& password, platform::Socket socket,
               const TextValue& username, std::uint8_t testNumber, bool verbose) {
  StunRecord request;
  BuildBindingRequest(request, ChangesPort(testNumber), ChangesIp(testNumber), username,
                      testNumber);
  std::array<std::uint8_t, kStunBufferSize> buffer{};
  const std::size_t length = EncodeStunPacket(request, buffer, password, verbose);
  if (verbose) {
    InfoLog() << "About to send msg of len " << length << " to "
              << EndpointText{server.port, server.address};
  }
  // A lost or refused request is simply sent again on the next pass.
  SendDatagram(socket, buffer.data(), length, server.address, server.port, verbose);
  PaceAfterSend();
}

NatOutcome RunNatTests(const Ipv4Endpoint& server, Ipv4Endpoint* local, bool* preservesPort,
                       bool* hairpins, std::uint16_t port) {
  return RunNatTests(server, local, preservesPort, hairpins, port, BindsLocally);
}

NatOutcome RunNatTests(const Ipv4Endpoint& server, Ipv4Endpoint* local, bool* preservesPort,
                       bool* hairpins, std::uint16_t port, const LocalBindingTest& bindsLocally) {
  const std::uint16_t p = port == 0 ? PickLocalPort() : port;
  const std::uint32_t interfaceAddress = local ? local->address : 0;
  SocketPair sockets;
  // Both opened before either is looked at: each says for itself why not.
  sockets.a = OpenUdpSocket(interfaceAddress, p, true);
  sockets.b = OpenUdpSocket(interfaceAddress, static_cast<std::uint16_t>(p + 1), true);
  if (sockets.a == platform::kInvalidSocket || sockets.b == platform::kInvalidSocket) {
    ErrorLog() << "Some problem opening port/interface to send on";
    return NatOutcome::ProbeFailure;
  }
  NatTestRun run(server, local, preservesPort, hairpins, p, sockets);
  if (!run.Exchange()) return NatOutcome::ProbeFailure;
  return run.Classify(bindsLocally);
}

int ReportedCode(NatOutcome outcome) {
  if (outcome == NatOutcome::ProbeFailure) return kProbeFailureValue;
  const int value = static_cast<int>(outcome);
  if (value < static_cast<int>(NatOutcome::OpenInternet) ||
      value > static_cast<int>(NatOutcome::UdpBlocked)) {
    return kUndeterminedCode;
  }
  return value - 1;
}

int DetectNetworkType(const std::string& serverText) {
  return DetectNetworkType(serverText, NatRunSetup{});
}

int DetectNetworkType(const std::string& serverText, const NatRunSetup& setup) {
  Ipv4Endpoint server;
  // A refused text leaves the address at 0: nothing to ask, nothing sent.
  if (!ResolveStunServer(serverText, server) || server.address == 0) return 0;
  Ipv4Endpoint local{0, setup.interfaceAddress};
  bool preservesPort = false;
  bool hairpins = false;
  const NatOutcome outcome =
      RunNatTests(server, &local, &preservesPort, &hairpins, setup.localPort, setup.bindsLocally);
  int value = ReportedCode(outcome);
  if (value == kProbeFailureValue) return value;  // no flags on a failed run
  if (!hairpins) value |= kNoHairpinFlag;
  if (preservesPort) value |= kPortPreservedFlag;
  return value;
}

}  // namespace talu::stun
