// The texts the client puts on the wire, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "upnp/device_description.h"
#include "upnp/soap_actions.h"
#include "upnp/ssdp_search.h"

namespace talu::upnp {
namespace {

TEST(SearchRequestTest, IsTheMSearchTextForEachServiceTypeInSearchOrder) {
  ASSERT_EQ(kSearchedServiceTypes[0], kWanPppServiceType);
  ASSERT_EQ(kSearchedServiceTypes[1], kWanIpServiceType);
  const std::string ppp = BuildSearchRequest(kWanPppServiceType);
  EXPECT_EQ(ppp,
            "M-SEARCH * HTTP/1.1\r\n"
            "HOST: 239.255.255.250:1900\r\n"
            "MAN: \"ssdp:discover\"\r\n"
            "MX: 6\r\n"
            "ST: urn:schemas-upnp-org:service:WANPPPConnection:1\r\n"
            "\r\n");
  EXPECT_EQ(ppp.size(), 133u);
  const std::string ip = BuildSearchRequest(kWanIpServiceType);
  EXPECT_EQ(ip.size(), 132u);
  EXPECT_EQ(ip.substr(78), "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n\r\n");
}

TEST(SearchRequestTest, AServiceTypeThatWouldOverflowTheBufferGivesNoRequest) {
  EXPECT_TRUE(BuildSearchRequest(std::string(1000, 'x')).empty());
}

TEST(DescriptionRequestTest, NamesThePathAndTheHostAndPort) {
  EXPECT_EQ(BuildDescriptionRequest("/rootDesc.xml", "192.168.1.1:5000"),
            "GET /rootDesc.xml HTTP/1.1\r\nHost: 192.168.1.1:5000\r\n\r\n");
}

TEST(DescriptionRequestTest, IsRefusedWhenItWouldNotFitItsBuffer) {
  // 25 bytes of fixed text: a request of exactly 255 characters still fits.
  const std::string hostAndPort = "192.168.1.1:5000";
  const std::string fits = "/" + std::string(255 - 25 - hostAndPort.size() - 1, 'p');
  ASSERT_TRUE(BuildDescriptionRequest(fits, hostAndPort));
  EXPECT_EQ(BuildDescriptionRequest(fits, hostAndPort)->size(), 255u);
  EXPECT_FALSE(BuildDescriptionRequest(fits + "p", hostAndPort));
}

PortMappingCall ExampleCall(std::string_view protocol) {
  PortMappingCall call;
  call.host = "192.168.1.1";
  call.port = 5000;
  call.controlUrl = "/ctl/IPConn";
  call.serviceType = kWanIpServiceType;
  call.protocol = protocol;
  call.externalPort = 20099;
  call.internalPort = 20099;
  call.internalClient = "192.168.1.100";
  call.description = "TaluNetworkCheck2.0";
  return call;
}

TEST(SoapRequestTest, DeletePortMappingIsByteForByteWithContentLength398) {
  const std::string body =
      "<?xml version=\"1.0\"?>\r\n"
      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
      "<s:Body>\r\n"
      "<u:DeletePortMapping xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">\r\n"
      "<NewRemoteHost></NewRemoteHost>\r\n"
      "<NewExternalPort>20099</NewExternalPort>\r\n"
      "<NewProtocol>TCP</NewProtocol>\r\n"
      "</u:DeletePortMapping>\r\n"
      "</s:Body>\r\n"
      "</s:Envelope>\r\n\r\n";
  ASSERT_EQ(body.size(), 398u);
  EXPECT_EQ(BuildSoapRequest(SoapAction::DeletePortMapping, ExampleCall("TCP")),
            "POST /ctl/IPConn HTTP/1.1\r\n"
            "HOST: 192.168.1.1:5000\r\n"
            "Content-Length: 398\r\n"
            "CONTENT-TYPE: text/xml;charset=\"utf-8\"\r\n"
            "SOAPACTION: \"urn:schemas-upnp-org:service:WANIPConnection:1#DeletePortMapping\"\r\n"
            "\r\n" +
                body);
}

TEST(SoapRequestTest, AddPortMappingIsByteForByteWithContentLength632) {
  const std::string body =
      "<?xml version=\"1.0\"?>\r\n"
      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
      "<s:Body>\r\n"
      "<u:AddPortMapping xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">\r\n"
      "<NewRemoteHost></NewRemoteHost>\r\n"
      "<NewExternalPort>20099</NewExternalPort>\r\n"
      "<NewProtocol>TCP</NewProtocol>\r\n"
      "<NewInternalPort>20099</NewInternalPort>\r\n"
      "<NewInternalClient>192.168.1.100</NewInternalClient>\r\n"
      "<NewEnabled>1</NewEnabled>\r\n"
      "<NewPortMappingDescription>TaluNetworkCheck2.0</NewPortMappingDescription>\r\n"
      "<NewLeaseDuration>0</NewLeaseDuration>\r\n"
      "</u:AddPortMapping>\r\n"
      "</s:Body>\r\n"
      "</s:Envelope>\r\n\r\n";
  ASSERT_EQ(body.size(), 632u);
  EXPECT_EQ(BuildSoapRequest(SoapAction::AddPortMapping, ExampleCall("TCP")),
            "POST /ctl/IPConn HTTP/1.1\r\n"
            "HOST: 192.168.1.1:5000\r\n"
            "Content-Length: 632\r\n"
            "CONTENT-TYPE: text/xml;charset=\"utf-8\"\r\n"
            "SOAPACTION: \"urn:schemas-upnp-org:service:WANIPConnection:1#AddPortMapping\"\r\n"
            "\r\n" +
                body);
}

TEST(SoapRequestTest, BodyLengthGrowsWithEachInsertedText) {
  // Fixed parts: 344 bytes for a delete, 541 for an add.
  PortMappingCall call = ExampleCall("UDP");
  call.serviceType = "st";
  call.externalPort = 7;
  call.internalPort = 65535;
  call.internalClient = "0.0.0.0";
  call.description = "";
  EXPECT_EQ(BuildSoapBody(SoapAction::DeletePortMapping, call).size(), 344u + 2 + 1 + 3);
  EXPECT_EQ(BuildSoapBody(SoapAction::AddPortMapping, call).size(), 541u + 2 + 1 + 5 + 3 + 7);
}

TEST(SoapRequestTest, CarriesThePppServiceTypeInTheActionHeaderAndElement) {
  PortMappingCall call = ExampleCall("TCP");
  call.serviceType = kWanPppServiceType;
  const std::string request = BuildSoapRequest(SoapAction::AddPortMapping, call);
  EXPECT_NE(request.find("SOAPACTION: \"urn:schemas-upnp-org:service:WANPPPConnection:1"
                         "#AddPortMapping\"\r\n"),
            std::string::npos);
  EXPECT_NE(request.find("<u:AddPortMapping "
                         "xmlns:u=\"urn:schemas-upnp-org:service:WANPPPConnection:1\">\r\n"),
            std::string::npos);
}

TEST(SoapRequestTest, AnEmptyControlUrlLeavesTwoSpacesInTheRequestLine) {
  PortMappingCall call = ExampleCall("TCP");
  call.controlUrl = "";
  EXPECT_EQ(BuildSoapRequest(SoapAction::DeletePortMapping, call).rfind("POST  HTTP/1.1\r\n", 0),
            0u);
}

TEST(SoapReplyTest, AnAddCountsAsAcceptedWhenTheReplySays200OkAnywhere) {
  EXPECT_TRUE(ReplyAcceptsAction("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_TRUE(ReplyAcceptsAction("HTTP/1.0 500 Error\r\n\r\n<status>200 OK</status>"));
  EXPECT_FALSE(ReplyAcceptsAction("HTTP/1.1 200 ok\r\n\r\n"));
  EXPECT_FALSE(ReplyAcceptsAction(""));
}

}  // namespace
}  // namespace talu::upnp
