// The hostile peers are only worth their lab time if they are what they
// claim: held here against the client's own parsers, so that a flood that
// quietly became acceptable, or a STUN answer that points outside the lab,
// shows up before any lab run.
#include "responders/hostile/hostile_answers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>

#include "platform/socket.h"
#include "stun/stun_codec.h"
#include "upnp/device_description.h"
#include "upnp/search_answer.h"

namespace talu::responders::hostile {
namespace {

constexpr std::uint32_t kGateway = 0xC0A84D01;  // 192.168.77.1
const std::string kGatewayText = "192.168.77.1";
constexpr std::string_view kWanIp = "urn:schemas-upnp-org:service:WANIPConnection:1";
constexpr std::string_view kWanPpp = "urn:schemas-upnp-org:service:WANPPPConnection:1";
// What the client's STUN receive path takes: a 2048-byte buffer with one
// byte kept for the terminator.
constexpr std::size_t kLargestStunTaken = 2046;

// A classic Binding Request for test I, as the client sends it: id byte 0
// names the test, ChangeRequest is always present.
std::vector<std::uint8_t> TestOneRequest() {
  std::vector<std::uint8_t> request = {0x00, 0x01, 0x00, 0x08};
  for (std::uint8_t i = 0; i < 16; ++i) request.push_back(static_cast<std::uint8_t>(0x40 + i));
  request[4] = 1;
  const std::array<std::uint8_t, 8> changeRequest = {0x00, 0x03, 0x00, 0x04, 0, 0, 0, 0};
  request.insert(request.end(), changeRequest.begin(), changeRequest.end());
  return request;
}

const HostileDatagram& Named(const std::vector<HostileDatagram>& answers, const std::string& name) {
  const auto found = std::find_if(answers.begin(), answers.end(),
                                  [&](const HostileDatagram& d) { return d.name == name; });
  if (found == answers.end()) throw std::runtime_error("no hostile answer named " + name);
  return *found;
}

bool InsideLab(std::uint32_t address) {
  const bool labWan = (address >> 8) == 0xC63364;   // 198.51.100.0/24
  const bool labLan = (address >> 8) == 0xC0A84D;   // 192.168.77.0/24
  const bool loopback = (address >> 24) == 0x7F;
  return address == 0 || labWan || labLan || loopback;
}

TEST(HostileStunAnswers, TheClientsDecoderSurvivesEveryOneItTakesAndKeepsItsRecordInBounds) {
  for (const auto& answer : BuildHostileStunAnswers(TestOneRequest())) {
    if (answer.bytes.size() > kLargestStunTaken) continue;
    SCOPED_TRACE(answer.name);
    stun::StunRecord record;
    stun::DecodeStunPacket(answer.bytes.data(), static_cast<std::uint32_t>(answer.bytes.size()), record);
    EXPECT_LE(record.username.length, stun::kTextCapacity);
    EXPECT_LT(record.errorCode.reasonLength, stun::kTextCapacity);
    EXPECT_LE(record.unknownAttributes.count, stun::kMaxUnknownTypes);
  }
}

TEST(HostileStunAnswers, EveryAddressTheClientCouldBeSentToStaysInsideTheLab) {
  for (const auto& answer : BuildHostileStunAnswers(TestOneRequest())) {
    if (answer.bytes.size() > kLargestStunTaken) continue;
    SCOPED_TRACE(answer.name);
    stun::StunRecord record;
    stun::DecodeStunPacket(answer.bytes.data(), static_cast<std::uint32_t>(answer.bytes.size()), record);
    if (record.mappedAddressPresent) {
      EXPECT_TRUE(InsideLab(record.mappedAddress.address));
    }
    if (record.changedAddressPresent) {
      EXPECT_TRUE(InsideLab(record.changedAddress.address));
    }
  }
}

TEST(HostileStunAnswers, CutAndLyingMessagesAreRefusedAndPlausibleOnesAreTaken) {
  const auto answers = BuildHostileStunAnswers(TestOneRequest());
  struct Case {
    const char* name;
    bool decodes;
  };
  const Case cases[] = {
      {"header-cut-at-19", false},     {"attribute-header-cut", false},
      {"mapped-address-cut", false},   {"changed-address-cut", false},
      {"length-overstated", false},    {"attribute-length-huge", false},
      {"claims-test-2", true},         {"claims-test-11", true},
      {"points-at-loopback", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& answer = Named(answers, c.name);
    stun::StunRecord record;
    EXPECT_EQ(stun::DecodeStunPacket(answer.bytes.data(), static_cast<std::uint32_t>(answer.bytes.size()), record),
              c.decodes);
  }
}

TEST(HostileStunAnswers, SizesStraddleTheClientsLimitAndIdsAreEchoedOrSpoofed) {
  const auto request = TestOneRequest();
  const auto answers = BuildHostileStunAnswers(request);
  EXPECT_TRUE(Named(answers, "empty").bytes.empty());
  EXPECT_EQ(Named(answers, "tiny-attributes-largest-taken").bytes.size(), kLargestStunTaken);
  EXPECT_EQ(Named(answers, "smallest-refused").bytes.size(), kLargestStunTaken + 1);
  const auto& spoofed = Named(answers, "claims-test-10").bytes;
  EXPECT_EQ(spoofed[4], 10);
  EXPECT_TRUE(std::equal(spoofed.begin() + 5, spoofed.begin() + 20, request.begin() + 5));
  const auto& echoed = Named(answers, "odd-length-then-mapped").bytes;
  EXPECT_TRUE(std::equal(echoed.begin() + 4, echoed.begin() + 20, request.begin() + 4));
}

TEST(HostileStunAnswers, ARequestTooShortForAnIdStillGetsTheWholeSet) {
  const std::vector<std::uint8_t> stub = {0x00, 0x01};
  const auto answers = BuildHostileStunAnswers(stub);
  EXPECT_EQ(answers.size(), BuildHostileStunAnswers(TestOneRequest()).size());
  EXPECT_EQ(Named(answers, "request-echoed").bytes, stub);
}

// The client receives into 1024 bytes: longer datagrams reach its parser cut.
std::string AsReceived(const std::string& text) { return text.substr(0, upnp::kAnswerCapacity); }

TEST(SsdpFlood, EachAnswerIsTakenOrRefusedByTheClientsParserAsItsEntrySays) {
  const std::set<std::string> gateways = {kGatewayText};
  const auto mix = BuildSsdpFloodAnswers(kGateway);
  for (const auto& answer : mix) {
    SCOPED_TRACE(answer.name);
    const auto parsed = upnp::ParseSearchAnswer(AsReceived(answer.text), gateways);
    EXPECT_EQ(parsed.has_value(), answer.parserAccepts);
    // A taken one must lead nowhere but to a dead port of the gateway.
    if (parsed) {
      EXPECT_EQ(parsed->host, kGatewayText);
      EXPECT_NE(parsed->port, 5000);
    }
  }
}

TEST(SsdpFlood, TheMixHasGarbageAndForeignAnswersOfEveryLength) {
  const auto mix = BuildSsdpFloodAnswers(kGateway);
  const auto longest = std::max_element(mix.begin(), mix.end(), [](const auto& a, const auto& b) {
    return a.text.size() < b.text.size();
  });
  EXPECT_GT(longest->text.size(), upnp::kAnswerCapacity);
  EXPECT_TRUE(std::any_of(mix.begin(), mix.end(), [](const auto& a) { return a.text.empty(); }));
  EXPECT_TRUE(std::any_of(mix.begin(), mix.end(),
                          [](const auto& a) { return a.text.size() == upnp::kAnswerCapacity; }));
}

TEST(FakeGateway, ItsSearchAnswerIsTakenAndPointsAtItsOwnPort) {
  const std::set<std::string> gateways = {kGatewayText};
  for (const std::string_view type : {kWanIp, kWanPpp}) {
    SCOPED_TRACE(std::string(type));
    const auto parsed = upnp::ParseSearchAnswer(BuildGatewaySearchAnswer(type, kGateway, 5001), gateways);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->host, kGatewayText);
    EXPECT_EQ(parsed->port, 5001);
    EXPECT_EQ(parsed->serviceType, type);
  }
}

TEST(FakeGateway, SearchTypesAreReadOnlyFromWanSearches) {
  const auto search = [](std::string_view st) {
    return "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 6\r\nST: " +
           std::string(st) + "\r\n\r\n";
  };
  EXPECT_EQ(SearchedWanServiceType(search(kWanIp)), kWanIp);
  EXPECT_EQ(SearchedWanServiceType(search(kWanPpp)), kWanPpp);
  EXPECT_EQ(SearchedWanServiceType(search("upnp:rootdevice")), "");
  EXPECT_EQ(SearchedWanServiceType("NOTIFY * HTTP/1.1\r\nNT: " + std::string(kWanIp) + "\r\n\r\n"), "");
}

TEST(FakeGateway, TheDescriptionIsOversizedButUsableWithinTheClientsBuffer) {
  constexpr std::size_t kBody = 3u << 20;
  const std::string reply = BuildOversizedDescriptionReply(kBody);
  const std::size_t bodyStart = reply.find("\r\n\r\n") + 4;
  EXPECT_EQ(reply.size() - bodyStart, kBody);
  EXPECT_NE(reply.find("Content-Length: " + std::to_string(kBody) + "\r\n"), std::string::npos);
  // Cut where the client stops reading, it would still name a control URL:
  // what refuses it is the size alone.
  const std::string_view seen(reply.data(), upnp::kDescriptionCapacity);
  EXPECT_TRUE(upnp::IsDescriptionReplyOk(seen));
  EXPECT_EQ(upnp::FindControlUrl(seen, kWanIp), "/ctl/IPConn");
}

}  // namespace
}  // namespace talu::responders::hostile
