// The rules by which an SSDP answer is taken or rejected, and the control URL
// found in a device description.
#include "upnp/search_answer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "upnp/device_description.h"
#include "upnp/text_search.h"

namespace talu::upnp {
namespace {

const std::set<std::string> kGateways = {"10.0.0.1", "192.168.1.1"};

const std::string kIp = "urn:schemas-upnp-org:service:WANIPConnection:1";
const std::string kPpp = "urn:schemas-upnp-org:service:WANPPPConnection:1";

std::string Answer(const std::string& locationHeader, const std::string& stHeader,
                   const std::string& before = "") {
  return "HTTP/1.1 200 OK\r\n" + before + "CACHE-CONTROL: max-age=120\r\n" + stHeader +
         "\r\nUSN: uuid:1::" + kIp + "\r\n" + locationHeader + "\r\n\r\n";
}

const std::string kLocation = "LOCATION: http://192.168.1.1:5000/rootDesc.xml";
const std::string kSt = "ST: " + kIp;

TEST(SearchAnswerTest, TheExampleAnswerGivesHostPortAndPath) {
  const auto answer = ParseSearchAnswer(Answer(kLocation, kSt), kGateways);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->host, "192.168.1.1");
  EXPECT_EQ(answer->port, 5000);
  EXPECT_EQ(answer->hostAndPort, "192.168.1.1:5000");
  EXPECT_EQ(answer->path, "/rootDesc.xml");
  EXPECT_EQ(answer->serviceType, kIp);
  EXPECT_EQ(BuildDescriptionRequest(answer->path, answer->hostAndPort),
            "GET /rootDesc.xml HTTP/1.1\r\nHost: 192.168.1.1:5000\r\n\r\n");
}

struct AnswerCase {
  const char* name;
  std::string datagram;
  bool accepted;
  std::string host = "";
  int port = 0;
  std::string serviceType = "";
};

std::ostream& operator<<(std::ostream& out, const AnswerCase& c) { return out << c.name; }

class SearchAnswerRulesTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(SearchAnswerRulesTest, FollowsTheRule) {
  const AnswerCase& c = GetParam();
  const auto answer = ParseSearchAnswer(c.datagram, kGateways);
  ASSERT_EQ(answer.has_value(), c.accepted);
  if (!c.accepted) return;
  EXPECT_EQ(answer->host, c.host);
  EXPECT_EQ(answer->port, c.port);
  EXPECT_EQ(answer->serviceType, c.serviceType);
}

const std::string kLong(256, 'a');

INSTANTIATE_TEST_SUITE_P(
    Rules, SearchAnswerRulesTest,
    ::testing::Values(
        AnswerCase{"MixedCaseLocation", Answer("Location: http://192.168.1.1:5000/d.xml", kSt),
                   true, "192.168.1.1", 5000, kIp},
        AnswerCase{"LowerCaseLocationAndSt",
                   Answer("location: http://10.0.0.1:80/d.xml", "st: " + kIp), true, "10.0.0.1",
                   80, kIp},
        AnswerCase{"NoSpaceAfterTheColons",
                   Answer("LOCATION:http://192.168.1.1:5000/d.xml", "ST:" + kIp), true,
                   "192.168.1.1", 5000, kIp},
        AnswerCase{"TwoSpacesShiftThePrefixSkip",
                   Answer("LOCATION:  http://192.168.1.1:5000/d.xml", kSt), false},
        AnswerCase{"AHostHeaderBeforeStSuppliesTheServiceType",
                   Answer(kLocation, kSt, "HOST: 239.255.255.250:1900\r\n"), true, "192.168.1.1",
                   5000, "239.255.255.250:1900"},
        AnswerCase{"AHostHeaderInAnyCaseToo", Answer(kLocation, kSt, "host:x\r\n"), true,
                   "192.168.1.1", 5000, "x"},
        AnswerCase{"WanTypeOnlyInUsnIsEnoughAndStIsUsed",
                   Answer(kLocation, "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1"),
                   true, "192.168.1.1", 5000,
                   "urn:schemas-upnp-org:device:InternetGatewayDevice:1"},
        AnswerCase{"PppServiceType",
                   "HTTP/1.1 200 OK\r\nST: " + kPpp + "\r\n" + kLocation + "\r\n\r\n", true,
                   "192.168.1.1", 5000, kPpp},
        AnswerCase{"NoPortGivesNoDefault", Answer("LOCATION: http://192.168.1.1/d.xml", kSt),
                   false},
        AnswerCase{"HostNotAGateway", Answer("LOCATION: http://192.168.1.7:5000/d.xml", kSt),
                   false},
        AnswerCase{"GatewayTextMustMatchWhole",
                   Answer("LOCATION: http://192.168.1.10:5000/d.xml", kSt), false},
        AnswerCase{"NoPath", Answer("LOCATION: http://192.168.1.1:5000", kSt), false},
        AnswerCase{"No200Ok", "HTTP/1.1 404 Not Found\r\n" + kSt + "\r\n" + kLocation + "\r\n\r\n",
                   false},
        AnswerCase{"NoWanServiceType",
                   "HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\n" + kLocation + "\r\n\r\n", false},
        AnswerCase{"WanServiceTypeCaseMatters",
                   "HTTP/1.1 200 OK\r\nST: URN:SCHEMAS-UPNP-ORG:SERVICE:WANIPCONNECTION:1\r\n" +
                       kLocation + "\r\n\r\n",
                   false},
        AnswerCase{"NoLocation", "HTTP/1.1 200 OK\r\n" + kSt + "\r\n\r\n", false},
        AnswerCase{"NoSt", "HTTP/1.1 200 OK\r\nUSN: " + kIp + "\r\n" + kLocation + "\r\n\r\n",
                   false},
        AnswerCase{"LocationShorterThanThePrefix", Answer("LOCATION: http", kSt), false},
        AnswerCase{"LocationWithoutLineEnd",
                   "HTTP/1.1 200 OK\r\n" + kSt + "\r\nLOCATION: http://192.168.1.1:5000/d.xml",
                   false},
        AnswerCase{"StWithoutLineEnd",
                   "HTTP/1.1 200 OK\r\n" + kLocation + "\r\nST: " + kIp, false},
        AnswerCase{"PortBeyond65535", Answer("LOCATION: http://192.168.1.1:65536/d.xml", kSt),
                   false},
        AnswerCase{"HighestPort", Answer("LOCATION: http://192.168.1.1:65535/d.xml", kSt), true,
                   "192.168.1.1", 65535, kIp},
        AnswerCase{"LocationOf255Characters",
                   Answer("LOCATION: http://192.168.1.1:5000/" + std::string(255 - 24, 'p'), kSt),
                   true, "192.168.1.1", 5000, kIp},
        AnswerCase{"LocationOver255Characters",
                   Answer("LOCATION: http://192.168.1.1:5000/" + std::string(256 - 24, 'p'), kSt),
                   false},
        AnswerCase{"HostOver15Characters",
                   Answer("LOCATION: http://192.168.100.1000:5000/d.xml", kSt), false},
        AnswerCase{"StOver255Characters", Answer(kLocation, "ST: " + kLong), false},
        AnswerCase{"TextAfterANulIsNotSeen",
                   std::string("HTTP/1.1 200 OK\r\n") + kSt + std::string(1, '\0') + "\r\n" +
                       kLocation + "\r\n\r\n",
                   false},
        AnswerCase{"DatagramFillingTheBuffer",
                   Answer(kLocation, kSt) + std::string(1024 - Answer(kLocation, kSt).size(), ' '),
                   false},
        AnswerCase{"DatagramJustBelowTheBuffer",
                   Answer(kLocation, kSt) + std::string(1023 - Answer(kLocation, kSt).size(), ' '),
                   true, "192.168.1.1", 5000, kIp},
        AnswerCase{"Empty", "", false}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST(FindIgnoringAsciiCaseTest, FindsTheFirstOccurrenceInAnyCase) {
  EXPECT_EQ(FindIgnoringAsciiCase("xx Location: y", "LOCATION:"), 3u);
  EXPECT_EQ(FindIgnoringAsciiCase("HOST: a\r\nST: b", "st:"), 2u);
  EXPECT_EQ(FindIgnoringAsciiCase("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(FindIgnoringAsciiCase("", "a"), std::string_view::npos);
  // Only ASCII letters fold: bytes above 127 compare as they are.
  EXPECT_EQ(FindIgnoringAsciiCase("\xC3\xA9", "\xC3\x89"), std::string_view::npos);
}

struct ControlUrlCase {
  const char* name;
  std::string description;
  std::optional<std::string> controlUrl;
};

std::ostream& operator<<(std::ostream& out, const ControlUrlCase& c) { return out << c.name; }

class ControlUrlTest : public ::testing::TestWithParam<ControlUrlCase> {};

TEST_P(ControlUrlTest, IsTheFirstControlUrlAfterTheServiceType) {
  EXPECT_EQ(FindControlUrl(GetParam().description, kIp), GetParam().controlUrl);
}

const std::string kOtherService =
    "<service><serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
    "<controlURL>/ctl/CmnIfCfg</controlURL></service>";

INSTANTIATE_TEST_SUITE_P(
    Descriptions, ControlUrlTest,
    ::testing::Values(
        ControlUrlCase{"AfterAnotherService",
                       kOtherService + "<service><serviceType>" + kIp +
                           "</serviceType><controlURL>/ctl/IPConn</controlURL></service>",
                       "/ctl/IPConn"},
        ControlUrlCase{"ServiceTypeMissing", kOtherService, ""},
        ControlUrlCase{"NoControlUrlAfterTheServiceType",
                       "<controlURL>/before</controlURL><serviceType>" + kIp + "</serviceType>",
                       ""},
        ControlUrlCase{"UnclosedControlUrl", "<serviceType>" + kIp + "<controlURL>/ctl", ""},
        ControlUrlCase{"TagCaseMatters", kIp + "<CONTROLURL>/x</CONTROLURL>", ""},
        ControlUrlCase{"EmptyControlUrl", kIp + "<controlURL></controlURL>", ""},
        ControlUrlCase{"ControlUrlOf255Characters",
                       kIp + "<controlURL>" + std::string(255, 'c') + "</controlURL>",
                       std::string(255, 'c')},
        ControlUrlCase{"ControlUrlOver255Characters",
                       kIp + "<controlURL>" + std::string(256, 'c') + "</controlURL>",
                       std::nullopt}),
    [](const ::testing::TestParamInfo<ControlUrlCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace talu::upnp
