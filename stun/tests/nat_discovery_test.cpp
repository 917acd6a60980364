#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/socket.h"
#include "stun/nat_discovery.h"
#include "stun/testing/fake_stun_server.h"
#include "stun/testing/log_capture.h"

namespace talu::stun {
namespace {

using testing::BindingResponse;
using testing::FakeStunAnswer;
using testing::FakeStunRequest;
using testing::FakeStunScript;
using testing::FakeStunServer;
using testing::ScopedLogCapture;
using testing::ServerSocket;
using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// The client binds here in most scenarios, so that a request sent to a
// "public" address that is not its own does not find its way back.
constexpr std::uint32_t kClientInterface = 0x7F000003;  // 127.0.0.3
// The address a simulated translator gives the client: on loopback, so that
// nothing leaves the machine, and taken as not the host's own.
constexpr std::uint32_t kPublicAddress = 0x7F000009;  // 127.0.0.9
// A symmetric translator's other mapping, for the server's other address.
constexpr std::uint16_t kSymmetricPortShift = 1000;
// Six waits of 300 ms come after the first time-out: a run lasts at least this.
constexpr std::chrono::milliseconds kShortestRun{1800};
// Bounds a whole run generously on a loaded machine; not a speed.
constexpr std::chrono::seconds kRunBound{60};

bool NotThePublicAddress(std::uint32_t address) { return address != kPublicAddress; }

// How the path between client and server behaves, as a server script.
struct Path {
  bool answerTestII = true;  // answers from the other IP get through
  bool answerTestIII = true;  // answers from the other port get through
  bool translated = false;  // mapped address kPublicAddress, port kept
  bool symmetric = false;  // another mapped port towards the server's other IP
  bool changedAddress = true;  // the server names its other address
};

bool AsksForOtherIp(const FakeStunRequest& request) {
  return (request.changeRequest.value_or(0) & kChangeIpFlag) != 0;
}
bool AsksForOtherPortOnly(const FakeStunRequest& request) {
  return request.changeRequest.value_or(0) == kChangePortFlag;
}

FakeStunScript Script(Path path) {
  return [path](const FakeStunRequest& request, const FakeStunServer& server) {
    std::vector<FakeStunAnswer> answers;
    if (AsksForOtherIp(request) && !path.answerTestII) return answers;
    if (AsksForOtherPortOnly(request) && !path.answerTestIII) return answers;
    Ipv4Endpoint mapped = request.from;
    if (path.translated) mapped.address = kPublicAddress;
    if (path.symmetric && request.arrivedAt == ServerSocket::OtherIp) {
      mapped.port = static_cast<std::uint16_t>(mapped.port + kSymmetricPortShift);
    }
    const ServerSocket from = testing::SocketAskedFor(request);
    testing::BindingResponseFields fields{mapped, server.Endpoint(from), std::nullopt};
    if (path.changedAddress) fields.changed = server.Endpoint(ServerSocket::OtherIpAndPort);
    answers.push_back({from, BindingResponse(request, fields), std::nullopt});
    return answers;
  };
}

FakeStunScript Silent() {
  return [](const FakeStunRequest&, const FakeStunServer&) { return std::vector<FakeStunAnswer>{}; };
}

struct RunResult {
  NatOutcome outcome;
  Ipv4Endpoint local;
  bool preservesPort;
  bool hairpins;
  std::uint16_t p;
  Lines info;
  Lines errors;
  Clock::duration elapsed;
};

RunResult RunAgainst(const FakeStunServer& server, std::uint32_t interfaceAddress,
                     const LocalBindingTest& bindsLocally) {
  RunResult result{};
  result.p = testing::FindFreePortPair();
  EXPECT_NE(result.p, 0);
  result.local = {0, interfaceAddress};
  ScopedLogCapture capture;
  const Clock::time_point start = Clock::now();
  result.outcome = RunNatTests(server.Primary(), &result.local, &result.preservesPort,
                               &result.hairpins, result.p, bindsLocally);
  result.elapsed = Clock::now() - start;
  result.info = capture.InfoLines();
  result.errors = capture.ErrorLines();
  return result;
}

Lines LastLines(const Lines& lines, std::size_t count) {
  return Lines(lines.end() - static_cast<long>(std::min(count, lines.size())), lines.end());
}

TEST(RunNatTests, EveryOutcomeFromThePathItFinds) {
  struct Case {
    const char* name;
    Path path;
    NatOutcome outcome;
    bool preservesPort;
    Lines flags;  // the six closing lines
  } const cases[] = {
      {"open Internet", {}, NatOutcome::OpenInternet, true,
       {"test I = 1", "test II = 1", "test III = 1", "test I(2) = 1", "is nat  = 0",
        "mapped IP same = 1"}},
      {"symmetric firewall", {.answerTestII = false}, NatOutcome::SymmetricFirewall, true,
       {"test I = 1", "test II = 0", "test III = 1", "test I(2) = 1", "is nat  = 0",
        "mapped IP same = 1"}},
      {"full cone", {.translated = true}, NatOutcome::FullCone, true,
       {"test I = 1", "test II = 1", "test III = 1", "test I(2) = 1", "is nat  = 1",
        "mapped IP same = 1"}},
      {"restricted cone", {.answerTestII = false, .translated = true}, NatOutcome::RestrictedCone,
       true,
       {"test I = 1", "test II = 0", "test III = 1", "test I(2) = 1", "is nat  = 1",
        "mapped IP same = 1"}},
      {"port-restricted cone",
       {.answerTestII = false, .answerTestIII = false, .translated = true},
       NatOutcome::PortRestrictedCone, true,
       {"test I = 1", "test II = 0", "test III = 0", "test I(2) = 1", "is nat  = 1",
        "mapped IP same = 1"}},
      {"symmetric, test III answered",
       {.answerTestII = false, .translated = true, .symmetric = true}, NatOutcome::SymmetricNat,
       true,
       {"test I = 1", "test II = 0", "test III = 1", "test I(2) = 1", "is nat  = 1",
        "mapped IP same = 0"}},
      {"symmetric, test III unanswered",
       {.answerTestII = false, .answerTestIII = false, .translated = true, .symmetric = true},
       NatOutcome::SymmetricNat, true,
       {"test I = 1", "test II = 0", "test III = 0", "test I(2) = 1", "is nat  = 1",
        "mapped IP same = 0"}},
      // Without ChangedAddress test I(2) is never sent: taken for a cone.
      {"no changed address",
       {.answerTestII = false, .translated = true, .symmetric = true, .changedAddress = false},
       NatOutcome::RestrictedCone, true,
       {"test I = 1", "test II = 0", "test III = 1", "test I(2) = 0", "is nat  = 1",
        "mapped IP same = 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeStunServer server(Script(c.path));
    ASSERT_TRUE(server.ok());
    const RunResult run = RunAgainst(server, kClientInterface, NotThePublicAddress);
    EXPECT_EQ(run.outcome, c.outcome);
    EXPECT_EQ(run.preservesPort, c.preservesPort);
    EXPECT_EQ(LastLines(run.info, 6), c.flags);
    EXPECT_TRUE(run.errors.empty()) << run.errors.front();
    const Ipv4Endpoint expectedMapped{run.p, c.path.translated ? kPublicAddress : kClientInterface};
    EXPECT_EQ(run.local, expectedMapped);
    // Test I(2) goes to the changed address with the server's own port.
    for (const FakeStunRequest& request : server.Requests()) {
      if (request.testNumber == tests::kTestI2) {
        EXPECT_EQ(request.arrivedAt, ServerSocket::OtherIp);
      }
    }
    EXPECT_EQ(server.CountOf(tests::kTestI2) > 0, c.path.changedAddress);
  }
}

// Every test is answered at once, and still the run waits out its schedule.
TEST(RunNatTests, OpenPathHairpinsAndKeepsItsScheduleAfterTheAnswers) {
  FakeStunServer server;
  ASSERT_TRUE(server.ok());
  const RunResult run = RunAgainst(server, 0, BindsLocally);
  EXPECT_EQ(run.outcome, NatOutcome::OpenInternet);
  EXPECT_TRUE(run.hairpins);  // the hairpin request came straight back to socket A
  EXPECT_TRUE(run.preservesPort);
  EXPECT_EQ(run.local, (Ipv4Endpoint{run.p, 0x7F000001}));
  EXPECT_GE(run.elapsed, kShortestRun);
  EXPECT_LT(run.elapsed, kRunBound);
  // Each test answered once: one request each.
  for (std::uint8_t test : {tests::kTestI, tests::kTestII, tests::kTestIII, tests::kTestI2}) {
    EXPECT_EQ(server.CountOf(test), 1u) << int{test};
  }
  const std::string opened = "Opened port " + std::to_string(run.p) + " with fd ";
  EXPECT_TRUE(run.info.size() > 1 && run.info[0].starts_with(opened));
  EXPECT_TRUE(run.info.size() > 1 && run.info[1].starts_with(
                                         "Opened port " + std::to_string(run.p + 1) + " with fd "));
  EXPECT_NE(std::find(run.info.begin(), run.info.end(), "Received message of type 257  id=1"),
            run.info.end());
  EXPECT_NE(std::find(run.info.begin(), run.info.end(), "Received message of type 1  id=11"),
            run.info.end());
}

struct DetectCase {
  const char* name;
  Path path;
  std::uint32_t interfaceAddress;
  int expected;
};

TEST(DetectNetworkType, ReportedValuesCarryTheHairpinAndPortFlags) {
  const DetectCase cases[] = {
      {"open Internet, hairpin back, port kept", {}, 0, 0x10},
      {"firewall drops test II's answer", {.answerTestII = false}, 0, 0x15},
      {"restricted cone, no hairpin", {.answerTestII = false, .translated = true},
       kClientInterface, 0x1A},
  };
  for (const DetectCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeStunServer server(Script(c.path));
    ASSERT_TRUE(server.ok());
    const NatRunSetup setup{c.interfaceAddress, testing::FindFreePortPair(), NotThePublicAddress};
    ScopedLogCapture capture;
    const std::string text = "127.0.0.1:" + std::to_string(server.Primary().port);
    EXPECT_EQ(DetectNetworkType(text, setup), c.expected);
  }
}

// With nothing coming back: tests I, II and III seven times each, 28 bytes,
// from the right socket, paced, over about two seconds; then 6 + 8.
TEST(DetectNetworkType, NoAnswersAtAll) {
  FakeStunServer server(Silent());
  ASSERT_TRUE(server.ok());
  const std::uint16_t p = testing::FindFreePortPair();
  ScopedLogCapture capture;
  const Clock::time_point start = Clock::now();
  const int value =
      DetectNetworkType("127.0.0.1:" + std::to_string(server.Primary().port), {0, p, BindsLocally});
  const Clock::duration elapsed = Clock::now() - start;
  EXPECT_EQ(value, 14);
  EXPECT_GE(elapsed, kShortestRun);
  EXPECT_LT(elapsed, kRunBound);
  ASSERT_TRUE(server.WaitForCount(21));
  const std::vector<FakeStunRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 21u);
  EXPECT_EQ(server.CountOf(tests::kTestI), 7u);
  EXPECT_EQ(server.CountOf(tests::kTestII), 7u);
  EXPECT_EQ(server.CountOf(tests::kTestIII), 7u);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const FakeStunRequest& request = requests[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(request.bytes.size(), 28u);
    EXPECT_EQ(request.messageType, 0x0001);
    EXPECT_EQ(request.arrivedAt, ServerSocket::Primary);
    const std::uint8_t test = request.testNumber;
    const std::uint8_t passOrder[] = {tests::kTestI, tests::kTestII, tests::kTestIII};
    EXPECT_EQ(test, passOrder[i % 3]);  // one pass after another
    EXPECT_EQ(request.from.port, test == tests::kTestI ? p : p + 1);
    EXPECT_EQ(request.changeRequest, test == tests::kTestI   ? 0u
                                     : test == tests::kTestII ? kChangeIpFlag
                                                             : kChangePortFlag);
    if (i > 0) {
      // The pacing spins more than 10 ms on a millisecond clock after each send.
      EXPECT_GE(request.kernelTime - requests[i - 1].kernelTime, std::chrono::microseconds(9500));
      // A fresh id on every repetition.
      EXPECT_NE(std::vector<std::uint8_t>(request.bytes.begin() + 5, request.bytes.begin() + 20),
                std::vector<std::uint8_t>(requests[i - 1].bytes.begin() + 5,
                                          requests[i - 1].bytes.begin() + 20));
    }
  }
  const std::string aboutToSend =
      "About to send msg of len 28 to 127.0.0.1:" + std::to_string(server.Primary().port);
  const Lines info = capture.InfoLines();
  EXPECT_EQ(std::count(info.begin(), info.end(), aboutToSend), 21);
}

TEST(DetectNetworkType, RefusedTextOrBusyPortSendsNothing) {
  FakeStunServer server;
  ASSERT_TRUE(server.ok());
  {
    ScopedLogCapture capture;
    EXPECT_EQ(DetectNetworkType("127.0.0.1:80"), 0);
    EXPECT_TRUE(capture.InfoLines().empty());
  }
  for (int busy = 0; busy < 2; ++busy) {
    SCOPED_TRACE(busy == 0 ? "p in use" : "p + 1 in use");
    const std::uint16_t p = testing::FindFreePortPair();
    const platform::Socket holder = platform::CreateSocket(platform::SocketType::Udp);
    ASSERT_TRUE(platform::BindIpv4(holder, 0, static_cast<std::uint16_t>(p + busy)));
    ScopedLogCapture capture;
    EXPECT_EQ(DetectNetworkType("127.0.0.1:" + std::to_string(server.Primary().port),
                                {0, p, BindsLocally}),
              -1);
    platform::CloseSocket(holder);
    EXPECT_EQ(capture.ErrorLines(),
              (Lines{"Port " + std::to_string(p + busy) + " for receiving UDP is in use",
                     "Some problem opening port/interface to send on"}));
  }
  EXPECT_TRUE(server.Requests().empty());
}

// Odd answers: what counts is byte 0 of the id of whatever was stored.
TEST(RunNatTests, AnswersThatDoNotDecodeStillCountByTheirFirstIdByte) {
  // Test II's "answer": a 24-byte datagram whose header says 0, sent to
  // socket A instead of B. It does not decode, and still counts.
  const auto junkTestIIAnswer = [](const FakeStunRequest& request, const FakeStunServer& server) {
    if (!AsksForOtherIp(request)) return Script({})(request, server);
    std::vector<std::uint8_t> junk(24, 0x55);
    junk[2] = junk[3] = 0;
    junk[4] = tests::kTestII;
    const Ipv4Endpoint socketA{static_cast<std::uint16_t>(request.from.port - 1),
                               request.from.address};
    return std::vector<FakeStunAnswer>{{ServerSocket::Primary, junk, socketA}};
  };
  FakeStunServer server(junkTestIIAnswer);
  ASSERT_TRUE(server.ok());
  const RunResult run = RunAgainst(server, kClientInterface, BindsLocally);
  EXPECT_EQ(run.outcome, NatOutcome::OpenInternet);
  EXPECT_NE(std::find(run.info.begin(), run.info.end(),
                      "Message header length doesn't match message size: 0 - 24"),
            run.info.end());
}

TEST(RunNatTests, MappedAddressThatDidNotDecodeLeavesNoMappedEndpoint) {
  const auto ipv6Mapped = [](const FakeStunRequest& request, const FakeStunServer& server) {
    std::vector<FakeStunAnswer> answers = Script({})(request, server);
    answers[0].bytes[20 + 5] = kFamilyIpv6;  // the MappedAddress family byte
    return answers;
  };
  FakeStunServer server(ipv6Mapped);
  ASSERT_TRUE(server.ok());
  const RunResult run = RunAgainst(server, kClientInterface, BindsLocally);
  EXPECT_EQ(run.outcome, NatOutcome::OpenInternet);  // address 0 binds locally
  EXPECT_EQ(run.local, (Ipv4Endpoint{0, 0}));
  EXPECT_FALSE(run.preservesPort);
  EXPECT_EQ(server.CountOf(tests::kHairpin), 0u);
  EXPECT_EQ(server.CountOf(tests::kTestI2), 0u);  // ChangedAddress came after the failure
}

TEST(RunNatTests, AnswerShorterThanAHeaderIsPassedOver) {
  const auto shortTestIAnswer = [](const FakeStunRequest& request, const FakeStunServer& server) {
    std::vector<FakeStunAnswer> answers = Script({})(request, server);
    if (request.testNumber == tests::kTestI) answers[0].bytes.resize(19);
    return answers;
  };
  FakeStunServer server(shortTestIAnswer);
  ASSERT_TRUE(server.ok());
  const RunResult run = RunAgainst(server, kClientInterface, BindsLocally);
  EXPECT_EQ(run.outcome, NatOutcome::UdpBlocked);
  EXPECT_EQ(server.CountOf(tests::kTestI), 7u);
}

// Datagrams that keep coming are not time-outs: no send pass, no end of run.
TEST(RunNatTests, ArrivingDatagramsHoldTheScheduleOpen) {
  constexpr int kJunkCount = 12;
  constexpr std::chrono::milliseconds kJunkInterval{100};  // well inside one 300 ms wait
  FakeStunServer server(Silent());
  ASSERT_TRUE(server.ok());
  const std::uint16_t p = testing::FindFreePortPair();
  Clock::time_point lastJunk;
  std::thread junkSender([&] {
    const std::vector<std::uint8_t> junk(20, 0x63);  // id byte 0x63: no test of ours
    for (int i = 0; i < kJunkCount; ++i) {
      std::this_thread::sleep_for(kJunkInterval);
      server.SendFrom(ServerSocket::OtherIpAndPort, junk, {p, 0x7F000001});
      lastJunk = Clock::now();
    }
  });
  Ipv4Endpoint local;
  ScopedLogCapture capture;
  const NatOutcome outcome = RunNatTests(server.Primary(), &local, nullptr, nullptr, p);
  const Clock::time_point end = Clock::now();
  junkSender.join();
  EXPECT_EQ(outcome, NatOutcome::UdpBlocked);
  EXPECT_GE(end, lastJunk);
  EXPECT_EQ(server.CountOf(tests::kTestI), 7u);
}

// A peer that never stops sending cannot hold the run for ever: past its
// deadline the run ends like one whose tests went unanswered.
TEST(RunNatTests, EndlessDatagramsEndAtTheRunDeadline) {
  constexpr std::chrono::milliseconds kJunkInterval{100};
  constexpr auto kGenerousBound = std::chrono::seconds(30);
  FakeStunServer server(Silent());
  ASSERT_TRUE(server.ok());
  const std::uint16_t p = testing::FindFreePortPair();
  std::atomic<bool> stop{false};
  std::thread junkSender([&] {
    const std::vector<std::uint8_t> junk(20, 0x63);  // id byte 0x63: no test of ours
    while (!stop) {
      std::this_thread::sleep_for(kJunkInterval);
      server.SendFrom(ServerSocket::OtherIpAndPort, junk, {p, 0x7F000001});
    }
  });
  Ipv4Endpoint local;
  ScopedLogCapture capture;
  const Clock::time_point start = Clock::now();
  const NatOutcome outcome = RunNatTests(server.Primary(), &local, nullptr, nullptr, p);
  const Clock::duration elapsed = Clock::now() - start;
  stop = true;
  junkSender.join();
  EXPECT_EQ(outcome, NatOutcome::UdpBlocked);
  EXPECT_LT(elapsed, kGenerousBound);
}

}  // namespace
}  // namespace talu::stun
