// A home gateway played in-process on loopback addresses, for the tests of
// the UPnP client: the SSDP side answers searches, the HTTP side serves a
// device description and carries out AddPortMapping and DeletePortMapping
// on a table of its own. It also does what a real gateway daemon will not:
// keep the description connection open, answer with oversized or garbage
// datagrams, accept one protocol and refuse the other, stall an action.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "responders/tcp_test_server.h"

namespace talu::upnp::testing {

// 127.0.0.<last>, host byte order.
constexpr std::uint32_t LoopbackAddress(std::uint8_t last) { return 0x7F000000u | last; }

// A wait that a test may use for "it should have happened by now": generous,
// since a loaded machine can stall a thread for a long while.
inline constexpr std::chrono::milliseconds kGenerousWait{15000};

// UDP sockets on several loopback addresses sharing one port: the test's
// "multicast group" and its gateways. Each search is recorded with the
// address it was sent to and answered with the datagrams the test gives.
class FakeSsdpListener {
 public:
  // The datagrams that answer one search, sent back from the address that
  // received it, in order.
  using Answers =
      std::function<std::vector<std::string>(std::uint32_t listenAddress, const std::string& search)>;

  struct Search {
    std::uint32_t to = 0;  // host byte order
    std::string text;
  };

  FakeSsdpListener(std::vector<std::uint32_t> addresses, Answers answers);
  ~FakeSsdpListener();
  FakeSsdpListener(const FakeSsdpListener&) = delete;
  FakeSsdpListener& operator=(const FakeSsdpListener&) = delete;

  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }
  // Every search so far, in the order they were sent (kernel receive time).
  std::vector<Search> Searches() const;
  bool WaitForSearches(std::size_t count, std::chrono::milliseconds bound = kGenerousWait) const;

 private:
  struct Received {
    std::int64_t kernelTimeNs = 0;
    Search search;
  };
  bool BindAll(const std::vector<std::uint32_t>& addresses);
  void ReceiveLoop();
  void ReceiveOne(std::size_t socketIndex);

  Answers answers_;
  std::vector<int> sockets_;
  std::vector<std::uint32_t> addresses_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<Received> received_;
  std::thread thread_;
};

// The search's ST value, empty when it has none.
std::string SearchedServiceType(const std::string& search);

// An SSDP answer as gateways write it.
std::string SearchAnswerText(const std::string& location, const std::string& serviceType);

// A device description with a WAN connection service of the given type and
// control URL, after another service with a control URL of its own.
std::string DeviceDescription(const std::string& serviceType, const std::string& controlUrl);

struct GatewayBehaviour {
  std::string descriptionPath = "/rootDesc.xml";
  std::string description;  // the body; DeviceDescription(WANIPConnection:1, controlPath) when empty
  std::string controlPath = "/ctl/IPConn";
  // After sending the description, keep the connection open until
  // ReleaseHeldConnections (or the fake's end).
  bool holdDescriptionConnection = false;
  // AddPortMapping answers 200 OK for an accepted protocol, error 718 otherwise.
  std::set<std::string> acceptedProtocols = {"TCP", "UDP"};
  // An AddPortMapping for one of these is answered only after
  // ReleaseHeldConnections: the action is then still in progress.
  std::set<std::string> stalledAddProtocols;
  // An AddPortMapping for one of these is carried out but never answered:
  // the connection stays open until ReleaseHeldConnections or the client
  // gives up.
  std::set<std::string> silentAddProtocols;
  // DeletePortMapping of a missing entry: false answers error 714 (as most
  // gateways do), true answers 200 OK (as some do).
  bool deleteMissingAnswersOk = false;
};

// The HTTP side, on 127.0.0.1.
class FakeGatewayHttp {
 public:
  explicit FakeGatewayHttp(GatewayBehaviour behaviour = {});
  ~FakeGatewayHttp();
  FakeGatewayHttp(const FakeGatewayHttp&) = delete;
  FakeGatewayHttp& operator=(const FakeGatewayHttp&) = delete;

  bool ok() const { return server_->ok(); }
  std::uint16_t port() const { return server_->port(); }
  std::size_t connectionCount() const { return server_->acceptedCount(); }
  // "GET /rootDesc.xml", "DeletePortMapping TCP 20099", "AddPortMapping UDP
  // 20099", ... in the order the requests arrived.
  std::vector<std::string> Exchanges() const;
  // Each request's bytes as received.
  std::vector<std::string> Requests() const;
  // "TCP 20099": protocol and external port of each mapping now in the table.
  std::set<std::string> Mappings() const;
  bool WaitForExchanges(std::size_t count, std::chrono::milliseconds bound = kGenerousWait) const;
  // Number of connections held open right now.
  std::size_t HeldConnections() const {
    std::lock_guard lock(mutex_);
    return held_;
  }
  bool WaitForHeldConnections(std::size_t count,
                              std::chrono::milliseconds bound = kGenerousWait) const;
  void ReleaseHeldConnections();

 private:
  void Serve(int fd);
  std::string Answer(const std::string& request);
  bool CarryOutSilently(const std::string& request);
  std::string AnswerAction(const std::string& request);
  void HoldUntilReleased(int fd);
  void CountHeld(int change);
  void Record(const std::string& request, const std::string& exchange);

  GatewayBehaviour behaviour_;
  std::atomic<bool> released_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> exchanges_;
  std::vector<std::string> requests_;
  std::set<std::string> mappings_;
  std::size_t held_ = 0;
  // Last member: its destructor joins the connection threads, which use the
  // fields above.
  std::unique_ptr<responders::TcpTestServer> server_;
};

}  // namespace talu::upnp::testing
