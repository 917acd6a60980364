// The client against a fake gateway on loopback: the search schedule, the
// handling of answers and descriptions, and the mapping test.
#include "upnp/upnp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "hostprobe/local_address.h"
#include "upnp/soap_actions.h"
#include "upnp/ssdp_search.h"
#include "upnp/tests/fake_network.h"

namespace talu::upnp::testing {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kFullPass = {
    "GET /rootDesc.xml",           "DeletePortMapping TCP 20099", "AddPortMapping TCP 20099",
    "DeletePortMapping TCP 20099", "DeletePortMapping UDP 20099", "AddPortMapping UDP 20099",
    "DeletePortMapping UDP 20099"};

// Polls, bounded, until the condition holds.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds bound = kGenerousWait) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// The receiving thread reports its last answer after MapPort may have
// returned; results are read once it has ended.
bool RunEnded(const CUpnp& client) {
  return Eventually([&] { return client.LiveReceivingThreads() == 0; });
}

TEST(UpnpInitTest, WritesTheLocalAddressAsDottedText) {
  struct Case {
    std::uint32_t address;
    const char* text;
  };
  for (const Case& c : {Case{NetworkOrderFromOctets(192, 168, 1, 100), "192.168.1.100"},
                        Case{NetworkOrderFromOctets(10, 0, 0, 7), "10.0.0.7"},
                        Case{0, "0.0.0.0"}}) {
    CUpnp client(UpnpNetwork{});
    EXPECT_TRUE(client.Init(c.address));
    EXPECT_EQ(client.LocalAddressText(), c.text);
  }
}

TEST(UpnpGatewaysTest, KeepsEachRealGatewayOnceInByteOrderAndForgetsNone) {
  std::vector<std::string> source = {"192.168.1.1", "", "0.0.0.0", "10.0.0.1", "192.168.1.1"};
  UpnpNetwork network;
  network.defaultGateways = [&] { return source; };
  CUpnp client(network);
  EXPECT_TRUE(client.CollectGateways());
  EXPECT_EQ(client.GatewayTexts(), (std::vector<std::string>{"10.0.0.1", "192.168.1.1"}));
  source = {"0.0.0.0"};
  EXPECT_FALSE(client.CollectGateways());
  source = {"172.16.0.1"};
  EXPECT_TRUE(client.CollectGateways());
  EXPECT_EQ(client.GatewayTexts(),
            (std::vector<std::string>{"10.0.0.1", "172.16.0.1", "192.168.1.1"}));
}

TEST(UpnpMapPortTest, WithoutAGatewayFailsAtOnceAndSendsNothing) {
  FakeNetwork net({}, {"0.0.0.0", ""});
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), -1);
  EXPECT_FALSE(client->Running());
  EXPECT_EQ(client->LiveReceivingThreads(), 0);
  // Anything sent would already be queued at the listener; give it time to look.
  EXPECT_FALSE(net.ssdp.WaitForSearches(1, 300ms));
}

TEST(UpnpMapPortTest, SendsThreePassesToTheGroupThenEachGatewayInByteOrder) {
  // The group at 127.0.0.3 and two gateways, all at one port.
  FakeSsdpListener listener({LoopbackAddress(3), LoopbackAddress(10), LoopbackAddress(2)}, {});
  ASSERT_TRUE(listener.ok());
  std::mutex sourceMutex;
  std::vector<std::string> source = {"127.0.0.10"};
  UpnpNetwork seam;
  seam.searchDestinations = {LoopbackAddress(3), listener.port()};
  seam.defaultGateways = [&] {
    std::lock_guard lock(sourceMutex);
    return source;
  };
  CUpnp client(seam);
  ASSERT_TRUE(client.Init(0));
  // A gateway found once stays: it is still asked after its adapter went.
  ASSERT_TRUE(client.CollectGateways());
  {
    std::lock_guard lock(sourceMutex);
    source = {"127.0.0.2"};
  }
  // Nobody answers: the run lasts its whole window.
  EXPECT_EQ(client.MapPort(20099, 20099), -1);
  ASSERT_TRUE(listener.WaitForSearches(18));

  const std::string ppp = BuildSearchRequest(kWanPppServiceType);
  const std::string ip = BuildSearchRequest(kWanIpServiceType);
  // "127.0.0.10" sorts before "127.0.0.2" byte by byte.
  const std::vector<std::pair<std::uint32_t, std::string>> onePass = {
      {LoopbackAddress(3), ppp},  {LoopbackAddress(10), ppp}, {LoopbackAddress(2), ppp},
      {LoopbackAddress(3), ip},   {LoopbackAddress(10), ip},  {LoopbackAddress(2), ip}};
  const auto searches = listener.Searches();
  ASSERT_EQ(searches.size(), 3 * onePass.size());
  for (std::size_t i = 0; i < searches.size(); ++i) {
    const auto& expected = onePass[i % onePass.size()];
    EXPECT_EQ(searches[i].to, expected.first) << "datagram " << i;
    EXPECT_EQ(searches[i].text, expected.second) << "datagram " << i;
  }
  EXPECT_TRUE(RunEnded(client));
}

TEST(UpnpMapPortTest, APassingGatewayGetsSixActionsInOrderAndKeepsNoMapping) {
  FakeNetwork net;
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), 0);
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_TRUE(client->TcpMapped());
  EXPECT_TRUE(client->UdpMapped());
  EXPECT_EQ(net.http.Exchanges(), kFullPass);
  EXPECT_TRUE(net.http.Mappings().empty());
  EXPECT_EQ(net.results.Take(), std::vector<int>{0});

  const auto requests = net.http.Requests();
  ASSERT_EQ(requests.size(), kFullPass.size());
  const std::string hostAndPort = std::string(kGatewayText) + ":" + std::to_string(net.http.port());
  EXPECT_EQ(requests[0], "GET /rootDesc.xml HTTP/1.1\r\nHost: " + hostAndPort + "\r\n\r\n");
  PortMappingCall add;
  add.host = kGatewayText;
  add.port = net.http.port();
  add.controlUrl = "/ctl/IPConn";
  add.serviceType = kIpServiceType;
  add.protocol = "UDP";
  add.externalPort = 20099;
  add.internalPort = 20099;
  add.internalClient = "192.168.1.100";
  add.description = "TaluNetworkCheck2.0";
  EXPECT_EQ(requests[5], BuildSoapRequest(SoapAction::AddPortMapping, add));
}

TEST(UpnpMapPortTest, ASecondCallWhileARunIsInProgressIsRefusedAndLeavesItAlone) {
  GatewayBehaviour behaviour;
  behaviour.stalledAddProtocols = {"TCP"};
  FakeNetwork net(behaviour);
  auto client = net.MakeClient();
  auto release = net.ReleaseHeldOnExit();
  auto first = std::async(std::launch::async, [&] { return client->MapPort(20099, 20099); });
  ASSERT_TRUE(net.http.WaitForHeldConnections(1));
  EXPECT_EQ(client->MapPort(20100, 20100), -1);
  EXPECT_FALSE(client->Init(0));
  EXPECT_TRUE(client->Running());
  net.http.ReleaseHeldConnections();
  EXPECT_EQ(first.get(), 0);
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_EQ(net.http.Exchanges(), kFullPass);
}

TEST(UpnpMapPortTest, AGatewayThatRefusesUdpStillPassesOnTcpAndRetriesUdpAlone) {
  GatewayBehaviour behaviour;
  behaviour.acceptedProtocols = {"TCP"};
  FakeNetwork net(behaviour);
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), 0);
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_TRUE(client->TcpMapped());
  EXPECT_FALSE(client->UdpMapped());
  EXPECT_TRUE(net.http.Mappings().empty());
  // The first answer tests both protocols; the next pass's answer tries UDP
  // alone. (The last pass's answer may meet the end of the run.)
  const auto exchanges = net.http.Exchanges();
  const std::vector<std::string> laterAnswer = {
      "GET /rootDesc.xml", "DeletePortMapping UDP 20099", "AddPortMapping UDP 20099"};
  ASSERT_GE(exchanges.size(), 9u);
  EXPECT_TRUE(std::equal(kFullPass.begin(), kFullPass.end() - 1, exchanges.begin()));
  EXPECT_TRUE(std::equal(laterAnswer.begin(), laterAnswer.end(), exchanges.begin() + 6));
  EXPECT_EQ(std::count_if(exchanges.begin() + 4, exchanges.end(),
                          [](const std::string& e) { return e.find("TCP") != std::string::npos; }),
            0);
  const auto results = net.results.Take();
  EXPECT_GE(results.size(), 2u);
  EXPECT_EQ(std::count(results.begin(), results.end(), -2), static_cast<long>(results.size()));
}

TEST(UpnpMapPortTest, AGatewayThatRefusesEveryMappingFails) {
  GatewayBehaviour behaviour;
  behaviour.acceptedProtocols = {};
  FakeNetwork net(behaviour);
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), -1);
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_FALSE(client->TcpMapped());
  const auto exchanges = net.http.Exchanges();
  ASSERT_GE(exchanges.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(exchanges.begin(), exchanges.begin() + 3),
            std::vector<std::string>(kFullPass.begin(), kFullPass.begin() + 3));
  EXPECT_EQ(std::count(exchanges.begin(), exchanges.end(), "DeletePortMapping UDP 20099"), 0);
}

TEST(UpnpMapPortTest, ADescriptionWithoutTheServiceSendsTheActionsToAnEmptyTarget) {
  GatewayBehaviour behaviour;
  behaviour.description = DeviceDescription(kPppServiceType, "/ctl/PPPConn");
  FakeNetwork net(behaviour);
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), -1);
  ASSERT_TRUE(RunEnded(*client));
  const auto requests = net.http.Requests();
  const auto exchanges = net.http.Exchanges();
  ASSERT_GE(requests.size(), 3u);
  // The gateway answers the empty target with an error: the first delete
  // passes all the same, the add fails.
  EXPECT_EQ(requests[1].rfind("POST  HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(requests[2].rfind("POST  HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(std::vector<std::string>(exchanges.begin(), exchanges.begin() + 3),
            std::vector<std::string>(kFullPass.begin(), kFullPass.begin() + 3));
  const auto results = net.results.Take();
  EXPECT_FALSE(results.empty());
  EXPECT_TRUE(std::all_of(results.begin(), results.end(), [](int r) { return r == -2; }));
}

TEST(UpnpMapPortTest, ADeviceThatIsNoGatewayIsPassedOverForTheNextAnswer) {
  FakeNetwork net;
  // A media server answers the group first; its location names a host that
  // is no gateway, so its description is never fetched.
  FakeGatewayHttp mediaServer;
  const std::string mediaLocation =
      "http://127.0.0.9:" + std::to_string(mediaServer.port()) + "/desc.xml";
  net.SetGroupAnswers([&](const std::string& searchedType) -> std::vector<std::string> {
    return {SearchAnswerText(mediaLocation, searchedType)};
  });
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), 0);
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_EQ(mediaServer.connectionCount(), 0u);
  EXPECT_EQ(net.http.Exchanges(), kFullPass);
  const auto results = net.results.Take();
  ASSERT_FALSE(results.empty());
  EXPECT_EQ(results.back(), 0);
  EXPECT_EQ(std::count(results.begin(), results.end(), -2), static_cast<long>(results.size() - 1));
  EXPECT_GE(results.size(), 2u);
}

TEST(UpnpMapPortTest, GarbageAndOversizedAnswersAreRejectedAndTheGatewayStillPasses) {
  FakeNetwork net;
  const std::string loc = net.Location();
  const std::vector<std::string> garbage = {
      std::string(1, '\0'),
      std::string("\xff\xfe\x00\x01 LOCATION:\r\n", 16),
      std::string("HTTP/1.1 200 OK\r\nST: ") + kIpServiceType + "\r\nLOCATION: http://",
      std::string("HTTP/1.1 200 OK\r\nLOCATION: ") + loc + "\r\nST: " + kIpServiceType,
      SearchAnswerText("http://127.0.0.1:" + std::string(300, '9') + "/x", kIpServiceType),
      SearchAnswerText(loc + std::string(300, 'p'), kIpServiceType),
      SearchAnswerText(loc, std::string(kIpServiceType) + std::string(300, 's')),
      SearchAnswerText(loc, kIpServiceType) + std::string(1200, ' '),
      std::string("HTTP/1.1 200 OK\r\nST: ") + kIpServiceType + "\r\nLOCATION: http://" +
          std::string(600, '1') + ":1/\r\n\r\n",
  };
  net.SetGroupAnswers([&](const std::string&) { return garbage; });
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), 0);
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_EQ(net.http.Exchanges(), kFullPass);
  const auto results = net.results.Take();
  // Two searches reached the group before the gateway's answer came.
  std::vector<int> expected(2 * garbage.size(), -2);
  expected.push_back(0);
  EXPECT_EQ(results, expected);
}

TEST(UpnpMapPortTest, AnOversizedDescriptionIsRejectedBeforeAnyAction) {
  GatewayBehaviour behaviour;
  behaviour.description = DeviceDescription(kIpServiceType, "/ctl/IPConn") + std::string(9000, ' ');
  FakeNetwork net(behaviour);
  auto client = net.MakeClient();
  EXPECT_EQ(client->MapPort(20099, 20099), -1);
  ASSERT_TRUE(RunEnded(*client));
  const auto exchanges = net.http.Exchanges();
  EXPECT_FALSE(exchanges.empty());
  EXPECT_EQ(exchanges, std::vector<std::string>(exchanges.size(), "GET /rootDesc.xml"));
  EXPECT_EQ(net.results.Take(), std::vector<int>(exchanges.size(), -2));
}

TEST(UpnpMapPortTest, ADescriptionKeptOpenHoldsTheHandlerButNotTheRun) {
  GatewayBehaviour behaviour;
  behaviour.holdDescriptionConnection = true;
  FakeNetwork net(behaviour);
  auto client = net.MakeClient();
  auto release = net.ReleaseHeldOnExit();
  EXPECT_EQ(client->MapPort(20099, 20099), -1);
  // The run is over, its receiving thread still waits for the description.
  EXPECT_EQ(net.http.HeldConnections(), 1u);
  EXPECT_EQ(client->LiveReceivingThreads(), 1);
  EXPECT_FALSE(client->Init(0));
  net.http.ReleaseHeldConnections();
  ASSERT_TRUE(RunEnded(*client));
  // The description then completes, but the run has ended: no action is sent.
  EXPECT_EQ(net.http.Exchanges(), std::vector<std::string>{"GET /rootDesc.xml"});
  EXPECT_EQ(net.results.Take(), std::vector<int>{-2});
  EXPECT_TRUE(client->Init(0));
}

TEST(UpnpMapPortTest, ARunEndingDuringAnAddWaitsUntilThatMappingIsRemoved) {
  GatewayBehaviour behaviour;
  behaviour.stalledAddProtocols = {"TCP"};
  FakeNetwork net(behaviour);
  auto client = net.MakeClient();
  auto release = net.ReleaseHeldOnExit();
  auto run = std::async(std::launch::async, [&] { return client->MapPort(20099, 20099); });
  ASSERT_TRUE(net.http.WaitForHeldConnections(1));
  // The window closes while the TCP add is still in progress; the run does
  // not return before the test has cleaned up.
  ASSERT_TRUE(Eventually([&] { return !client->Running(); }));
  EXPECT_EQ(run.wait_for(200ms), std::future_status::timeout);
  net.http.ReleaseHeldConnections();
  // The outcome is the one at the end of the window.
  EXPECT_EQ(run.get(), -1);
  EXPECT_TRUE(net.http.Mappings().empty());
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_EQ(net.http.Exchanges(), std::vector<std::string>(kFullPass.begin(), kFullPass.begin() + 4));
  // The flag is set all the same; UDP is not tried once the run has ended.
  EXPECT_TRUE(client->TcpMapped());
  EXPECT_FALSE(client->UdpMapped());
}

TEST(UpnpMapPortTest, AnAddThatGetsNoReplyIsRemovedAgain) {
  GatewayBehaviour behaviour;
  behaviour.silentAddProtocols = {"TCP"};
  FakeNetwork net(behaviour);
  auto client = net.MakeClient(300ms);
  auto release = net.ReleaseHeldOnExit();
  EXPECT_EQ(client->MapPort(20099, 20099), -1);
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_TRUE(net.http.Mappings().empty());
  const auto exchanges = net.http.Exchanges();
  ASSERT_GE(exchanges.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(exchanges.begin(), exchanges.begin() + 4),
            std::vector<std::string>(kFullPass.begin(), kFullPass.begin() + 4));
  EXPECT_FALSE(client->TcpMapped());
  const auto results = net.results.Take();
  EXPECT_EQ(results, std::vector<int>(results.size(), -2));
}

TEST(UpnpMapPortTest, ARunAfterAPassingRunPassesAgain) {
  FakeNetwork net;
  auto client = net.MakeClient();
  ASSERT_EQ(client->MapPort(20099, 20099), 0);
  // The first run's thread has ended before the next run starts its own.
  ASSERT_TRUE(RunEnded(*client));
  EXPECT_EQ(client->MapPort(20099, 20099), 0);
  ASSERT_TRUE(RunEnded(*client));
  std::vector<std::string> twice = kFullPass;
  twice.insert(twice.end(), kFullPass.begin(), kFullPass.end());
  EXPECT_EQ(net.http.Exchanges(), twice);
}

FakeNetwork* g_keptNetwork = nullptr;
CUpnp* g_keptClient = nullptr;

// Exit must not wait for a receiving thread stuck in an exchange, and the
// process must end cleanly with that thread still blocked.
TEST(UpnpProcessEndTest, AThreadStuckInADescriptionFetchDoesNotHoldUpExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        GatewayBehaviour behaviour;
        behaviour.holdDescriptionConnection = true;
        // Left alive on purpose, as the process instance is.
        g_keptNetwork = new FakeNetwork(behaviour);
        g_keptClient = new CUpnp(g_keptNetwork->Seam());
        FakeNetwork* net = g_keptNetwork;
        CUpnp* client = g_keptClient;
        client->Init(0);
        const int result = client->MapPort(20099, 20099);
        const bool stillHeld = net->http.HeldConnections() == 1 && client->LiveReceivingThreads() == 1;
        std::exit(result == -1 && stillHeld ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace talu::upnp::testing
