// The client object, its initialisation, the gateway set and the search
// schedule of a mapping run.
#include "upnp/upnp.h"

#include <array>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/routes.h"

namespace talu {

namespace {

using namespace std::chrono_literals;

constexpr const char* kMappingDescription = "TaluNetworkCheck2.0";
// Enough hops for a home network with a router or two behind the gateway;
// the search has no business further out.
constexpr int kSearchMulticastTtl = 6;
// Bounds every receive on the search socket, so that the receiving thread
// sees the end of its run within about this long.
constexpr std::chrono::milliseconds kSearchSocketTimeout = 100ms;
// The run's clock: a tick of 100 ms, a new search pass every 20 ticks (2 s,
// time for slow devices to answer), three passes in all. The run lasts about
// 4.1 s when no gateway passes both tests.
constexpr std::chrono::milliseconds kTick = 100ms;
constexpr int kTicksPerPass = 20;
constexpr int kSearchPasses = 3;
// How often the destructor of a test instance looks for its threads' end,
// and the end of a run for the end of a mapping test.
constexpr std::chrono::milliseconds kThreadEndPoll = 1ms;
// After the run has ended a mapping test makes at most two more actions:
// the one in flight and the removal of what it may have added. Each takes a
// connect, a send and a receive, each bounded by the action time-out; a
// receive that trickles in byte by byte is the only way past this bound.
constexpr int kSettleTimeouts = 6;

std::string DottedFromNetworkOrder(std::uint32_t networkOrder) {
  std::array<std::uint8_t, 4> octets{};
  std::memcpy(octets.data(), &networkOrder, octets.size());
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
         std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

}  // namespace

UpnpNetwork UpnpNetwork::Real() {
  UpnpNetwork network;
  network.defaultGateways = platform::DefaultGatewayTexts;
  return network;
}

CUpnp* CUpnp::GetInstance() {
  // Deliberately never deleted: receiving threads may outlive every run.
  static CUpnp* const instance = new CUpnp(UpnpNetwork::Real());
  return instance;
}

CUpnp::CUpnp(UpnpNetwork network) : m_network(std::move(network)) {}

CUpnp::~CUpnp() {
  m_stopped = 1;
  while (m_liveReceivers.load() != 0) platform::SleepFor(kThreadEndPoll);
  CloseSearchSocket();
}

void CUpnp::CloseSearchSocket() {
  if (m_socket == platform::kInvalidSocket) return;
  platform::CloseSocket(m_socket);
  m_socket = platform::kInvalidSocket;
}

bool CUpnp::Init(std::uint32_t localAddress) {
  // A thread of an earlier run may still be inside an exchange and read the
  // socket, the address and the description: none of them may change now.
  if (m_stopped == 0 || m_liveReceivers != 0) return false;
  m_strict = false;
  m_description = kMappingDescription;
  m_localAddress = DottedFromNetworkOrder(localAddress);
  CloseSearchSocket();
  m_socket = platform::CreateSocket(platform::SocketType::Udp);
  if (m_socket == platform::kInvalidSocket) return false;
  // Our own searches must not come back to us as if a device had sent them.
  if (!platform::SetMulticastTtl(m_socket, kSearchMulticastTtl) ||
      !platform::SetMulticastLoop(m_socket, false)) {
    CloseSearchSocket();
    return false;
  }
  // Without the time-outs the run only takes longer to notice its end.
  platform::SetReceiveTimeout(m_socket, kSearchSocketTimeout);
  platform::SetSendTimeout(m_socket, kSearchSocketTimeout);
  return true;
}

bool CUpnp::CollectGateways() {
  if (!m_network.defaultGateways) return false;
  bool found = false;
  for (const std::string& gateway : m_network.defaultGateways()) {
    if (gateway.empty() || gateway == "0.0.0.0") continue;
    m_gateways.insert(gateway);
    found = true;
  }
  return found;
}

std::vector<std::string> CUpnp::GatewayTexts() const {
  return {m_gateways.begin(), m_gateways.end()};
}

int CUpnp::MapPort(std::uint16_t internalPort, std::uint16_t externalPort) {
  if (m_stopped == 0) return -1;
  m_internalPort = internalPort;
  m_externalPort = externalPort;
  m_stopped = 0;
  m_tcpMapped = false;
  m_udpMapped = false;
  if (!CollectGateways() || !StartReceivingThread({m_gateways, internalPort, externalPort})) {
    m_stopped = 1;
    return -1;
  }
  const bool searched = SearchWindow();
  m_stopped = 1;
  // The outcome is the one at the end of the window; the wait only lets a
  // test in progress clean up.
  const bool passed = searched && m_tcpMapped && (m_udpMapped || !m_strict);
  WaitForMappingTestsToSettle();
  return passed ? 0 : -1;
}

void CUpnp::WaitForMappingTestsToSettle() {
  const std::int64_t deadline =
      platform::ProcessClockMs() + kSettleTimeouts * m_network.actionTimeout.count();
  while (m_mappingTestsInProgress.load() != 0 && platform::ProcessClockMs() < deadline) {
    platform::SleepFor(kThreadEndPoll);
  }
}

bool CUpnp::StartReceivingThread(SearchRun run) {
  ++m_liveReceivers;
  try {
    std::thread(SearchThreadProc, this, std::move(run)).detach();
  } catch (const std::system_error&) {
    --m_liveReceivers;
    return false;
  }
  return true;
}

// Sends the passes on their schedule until both tests passed or the last
// pass had its tick; false when a send failed.
bool CUpnp::SearchWindow() {
  int ticks = kTicksPerPass;
  int passesLeft = kSearchPasses;
  while (!(m_tcpMapped && m_udpMapped)) {
    if (ticks >= kTicksPerPass) {
      if (!upnp::SendSearchPass(m_socket, m_network.searchDestinations, m_gateways)) return false;
      --passesLeft;
      ticks = 0;
    }
    ++ticks;
    platform::SleepFor(kTick);
    if (passesLeft <= 0) break;
  }
  return true;
}

}  // namespace talu
