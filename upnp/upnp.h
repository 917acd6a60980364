// The UPnP client: finds the home gateway by SSDP and proves, on a thread of
// its own, that it accepts a TCP and a UDP port mapping for this host,
// removing each mapping again. One instance per process.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "upnp/ssdp_search.h"

namespace talu {

// What the client reaches beyond its own sockets: the destinations of the
// searches and the source of the default gateways. The defaults are the
// real ones (the SSDP group and the IPv4 routing table); tests replace them
// with loopback addresses and a port of their own, so that no datagram ever
// leaves the machine.
struct UpnpNetwork {
  // A gateway carries out an action in well under a second; ten seconds per
  // step is for a busy one. The bound keeps a gateway that stops answering
  // from holding a mapping test, and the end of the run that waits for it,
  // for ever.
  static constexpr std::chrono::milliseconds kActionTimeout{10000};

  upnp::SearchDestinations searchDestinations;
  std::function<std::vector<std::string>()> defaultGateways;
  // Called on the receiving thread with the outcome of every answer that
  // arrived (0, -1 or -2); a test's window into the handling. May be empty.
  std::function<void(int result)> answerHandled;
  std::chrono::milliseconds actionTimeout = kActionTimeout;

  static UpnpNetwork Real();
};

// Thread lifetime: a receiving thread is detached, never joined. It may sit
// in a description fetch for as long as the device keeps the connection
// open (that socket has no time-out), outliving its run and even the check
// run. That is harmless: such a thread touches only its own stack, the
// atomics below and the fields that nothing writes while a receiving thread
// lives, and the process instance is never destroyed, so exit never waits
// for the thread and the thread never sees freed memory when the process
// ends. Once the run has ended such a thread starts nothing on the gateway.
//
// A mapping test, on the other hand, is waited for: when the run ends while
// one is in progress, MapPort returns only after the test has removed the
// mapping it may have added (each action step is bounded by the action
// time-out), so that leaving the program right after the UPnP step cannot
// leave a port forwarded to this host.
class CUpnp {
 public:
  // The process instance, created on first use and never destroyed. The first
  // call comes from the window thread before any worker exists.
  static CUpnp* GetInstance();

  explicit CUpnp(UpnpNetwork network);
  // Instances other than the process one are made by tests; destroying one
  // waits until its receiving threads have ended.
  virtual ~CUpnp();
  CUpnp(const CUpnp&) = delete;
  CUpnp& operator=(const CUpnp&) = delete;

  // localAddress: the octets in network order, as GetLocalAddress gives it.
  // True when the search socket is ready. Refused (false) while a run is in
  // progress or a receiving thread of an earlier run still lives.
  bool Init(std::uint32_t localAddress);
  // 0 when a gateway accepted the TCP mapping test, -1 when none did within
  // the search window or the call was refused. One call at a time.
  int MapPort(std::uint16_t internalPort, std::uint16_t externalPort);
  // Adds the default gateways to the set; true when this call found any.
  bool CollectGateways();

  // Read-outs for tests.
  std::string LocalAddressText() const { return m_localAddress; }
  std::vector<std::string> GatewayTexts() const;
  bool TcpMapped() const { return m_tcpMapped; }
  bool UdpMapped() const { return m_udpMapped; }
  bool Running() const { return m_stopped == 0; }
  int LiveReceivingThreads() const { return m_liveReceivers; }

 private:
  // What a receiving thread needs of its run, copied when the run starts so
  // that a later run can change the object while an old thread still lives.
  struct SearchRun {
    std::set<std::string> gateways;
    std::uint16_t internalPort = 0;
    std::uint16_t externalPort = 0;
  };
  enum class DeletePurpose { ClearEarlierMapping, RemoveOwnMapping };
  enum class AddVerdict { Accepted, Refused, Unknown };

  bool StartReceivingThread(SearchRun run);
  bool SearchWindow();
  static void SearchThreadProc(CUpnp* self, SearchRun run);
  int HandleSearchAnswer(const SearchRun& run);
  int HandleReceivedAnswer(const SearchRun& run, std::string_view datagram,
                           std::uint32_t senderAddress);
  int TestMappings(const SearchRun& run, const std::string& host, std::uint16_t port,
                   const std::string& serviceType, const std::string& controlUrl);
  void WaitForMappingTestsToSettle();
  AddVerdict AddPortMapping(const SearchRun& run, const std::string& host, const char* protocol,
                      const std::string& serviceType, std::uint16_t port,
                      const std::string& controlUrl);
  bool DeletePortMapping(const SearchRun& run, const std::string& host, const char* protocol,
                         const std::string& serviceType, std::uint16_t port,
                         const std::string& controlUrl, DeletePurpose purpose);
  void CloseSearchSocket();

  std::atomic<bool> m_tcpMapped{false};
  std::atomic<bool> m_udpMapped{false};
  // Never set in this system: a run succeeds on the TCP test alone, and a
  // delete does not look at the reply.
  bool m_strict = false;
  platform::Socket m_socket = platform::kInvalidSocket;
  // 1 while no run is in progress, 0 while MapPort runs.
  std::atomic<int> m_stopped{1};
  // Every gateway ever found stays: a run after an adapter went away still
  // asks its old gateway.
  std::set<std::string> m_gateways;
  std::uint16_t m_internalPort = 0;
  std::uint16_t m_externalPort = 0;
  std::string m_localAddress;
  std::string m_description;
  std::atomic<int> m_liveReceivers{0};
  std::atomic<int> m_mappingTestsInProgress{0};
  const UpnpNetwork m_network;
};

}  // namespace talu
