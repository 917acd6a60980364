// A home network on loopback for the client tests: a "multicast group" at
// 127.0.0.250, a gateway at 127.0.0.1 whose SSDP side answers the
// WANIPConnection search with its location, and the gateway's HTTP side.
#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hostprobe/local_address.h"
#include "upnp/testing/fake_gateway.h"
#include "upnp/upnp.h"

namespace talu::upnp::testing {

inline constexpr std::uint32_t kGroupAddress = LoopbackAddress(250);
inline constexpr std::uint32_t kGatewayAddress = LoopbackAddress(1);
// Plain arrays, not strings: a fake's thread may still read them while the
// process ends (the process-end test leaves one running on purpose).
inline constexpr char kGatewayText[] = "127.0.0.1";
inline constexpr char kIpServiceType[] = "urn:schemas-upnp-org:service:WANIPConnection:1";
inline constexpr char kPppServiceType[] = "urn:schemas-upnp-org:service:WANPPPConnection:1";

// The answers each listening address gives to one search.
using AnswerRule = std::function<std::vector<std::string>(const std::string& searchedType)>;

// Results of the answers the client handled, as the test seam reports them.
class AnswerResults {
 public:
  void Add(int result) {
    std::lock_guard lock(m_mutex);
    m_results.push_back(result);
  }
  std::vector<int> Take() const {
    std::lock_guard lock(m_mutex);
    return m_results;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<int> m_results;
};

class FakeNetwork {
 public:
  explicit FakeNetwork(GatewayBehaviour behaviour = {},
                       std::vector<std::string> gateways = {kGatewayText})
      : http(std::move(behaviour)),
        m_gateways(std::move(gateways)),
        m_gatewayAnswers([this](const std::string& searchedType) -> std::vector<std::string> {
          if (searchedType != kIpServiceType) return {};
          return {SearchAnswerText(Location(), kIpServiceType)};
        }),
        ssdp({kGroupAddress, kGatewayAddress}, [this](std::uint32_t to, const std::string& search) {
          const AnswerRule rule = RuleFor(to);
          return rule ? rule(SearchedServiceType(search)) : std::vector<std::string>{};
        }) {}

  // The group stays silent and the gateway answers the WANIPConnection
  // search with its location, unless a test says otherwise.
  void SetGroupAnswers(AnswerRule rule) {
    std::lock_guard lock(m_mutex);
    m_groupAnswers = std::move(rule);
  }
  void SetGatewayAnswers(AnswerRule rule) {
    std::lock_guard lock(m_mutex);
    m_gatewayAnswers = std::move(rule);
  }

  // Declared after the client, it lets held connections go before the
  // client's destructor waits for its receiving threads.
  struct ReleaseOnExit {
    FakeGatewayHttp& http;
    ~ReleaseOnExit() { http.ReleaseHeldConnections(); }
  };
  ReleaseOnExit ReleaseHeldOnExit() { return {http}; }

  std::string Location() const {
    return std::string("http://") + kGatewayText + ":" + std::to_string(http.port()) + "/rootDesc.xml";
  }

  UpnpNetwork Seam() {
    UpnpNetwork network;
    network.searchDestinations.multicastAddress = kGroupAddress;
    network.searchDestinations.port = ssdp.port();
    network.defaultGateways = [this] {
      std::lock_guard lock(m_mutex);
      return m_gateways;
    };
    network.answerHandled = [this](int result) { results.Add(result); };
    return network;
  }
  void SetGateways(std::vector<std::string> gateways) {
    std::lock_guard lock(m_mutex);
    m_gateways = std::move(gateways);
  }

  // A client on this network, set up with 192.168.1.100 as its address.
  std::unique_ptr<CUpnp> MakeClient(
      std::chrono::milliseconds actionTimeout = UpnpNetwork::kActionTimeout) {
    UpnpNetwork seam = Seam();
    seam.actionTimeout = actionTimeout;
    auto client = std::make_unique<CUpnp>(seam);
    client->Init(NetworkOrderFromOctets(192, 168, 1, 100));
    return client;
  }

  FakeGatewayHttp http;
  AnswerResults results;

 private:
  AnswerRule RuleFor(std::uint32_t to) {
    std::lock_guard lock(m_mutex);
    return to == kGroupAddress ? m_groupAnswers : m_gatewayAnswers;
  }

  std::mutex m_mutex;
  std::vector<std::string> m_gateways;
  AnswerRule m_groupAnswers;
  AnswerRule m_gatewayAnswers;

 public:
  // Last: its thread uses the rules above.
  FakeSsdpListener ssdp;
};

}  // namespace talu::upnp::testing
