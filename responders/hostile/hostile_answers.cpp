#include "responders/hostile/hostile_answers.h"

#include <algorithm>
#include <array>
#include <random>

#include "platform/socket.h"

namespace talu::responders::hostile {

namespace {

constexpr std::size_t kStunHeaderSize = 20;
constexpr std::size_t kTransactionIdOffset = 4;
constexpr std::size_t kTransactionIdSize = 16;
constexpr std::uint16_t kBindingResponse = 0x0101;
constexpr std::uint16_t kMappedAddress = 0x0001;
constexpr std::uint16_t kChangedAddress = 0x0005;
constexpr std::uint16_t kUsername = 0x0006;
constexpr std::uint16_t kMessageIntegrity = 0x0008;
constexpr std::uint16_t kErrorCode = 0x0009;
constexpr std::uint16_t kUnknownAttributes = 0x000A;
// A mandatory type that no classic STUN client knows.
constexpr std::uint16_t kUnknownMandatory = 0x0033;
// An optional type (0x8000 and up) that a client may pass over.
constexpr std::uint16_t kUnknownOptional = 0x8028;
constexpr std::uint8_t kFamilyIpv4 = 1;
constexpr std::uint8_t kFamilyIpv6 = 2;
constexpr std::uint8_t kFamilyBogus = 0x7F;

// The client receives into 2048 bytes and keeps one for a terminator, so
// 2046 is the largest datagram it takes and 2047 the smallest it refuses.
constexpr std::size_t kLargestTakenStun = 2046;
constexpr std::size_t kSmallestRefusedStun = 2047;
// Several IP fragments on the lab's 1500-byte links.
constexpr std::size_t kFragmentedStun = 9000;
// Longer than every text and list the client's record can hold.
constexpr std::size_t kOversizedText = 1000;
constexpr std::size_t kOversizedReason = 600;
constexpr std::size_t kManyUnknownTypes = 100;
constexpr std::size_t kRandomBody = 200;
constexpr std::size_t kPureGarbage = 64;

// Addresses the answers point the client at: lab addresses only, so that
// the tests and hairpin probes they provoke stay inside the lab.
constexpr std::uint32_t kLabWanAddress = 0xC6336464;    // 198.51.100.100
constexpr std::uint32_t kPrimaryAltAddress = 0xC633640B;  // 198.51.100.11
constexpr std::uint32_t kLoopbackAddress = 0x7F000001;   // 127.0.0.1
constexpr std::uint16_t kClaimedPort = 4242;
constexpr std::uint16_t kStunAltPort = 3479;
// Byte 0 of the transaction id names the client's test: I(2) is 10 and the
// hairpin test 11; 2 and 3 are tests II and III.
constexpr std::array<std::uint8_t, 4> kSpoofedTestIds = {2, 3, 10, 11};

// Fixed seeds: a failing run must be repeatable byte for byte.
constexpr std::uint32_t kStunGarbageSeed = 0x5eed0001;
constexpr std::uint32_t kSsdpGarbageSeed = 0x5eed0002;

using Bytes = std::vector<std::uint8_t>;
using TransactionId = std::array<std::uint8_t, kTransactionIdSize>;

void PutU8(Bytes& out, std::uint8_t value) { out.push_back(value); }

void PutU16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void PutU32(Bytes& out, std::uint32_t value) {
  PutU16(out, static_cast<std::uint16_t>(value >> 16));
  PutU16(out, static_cast<std::uint16_t>(value & 0xFFFF));
}

void PutFill(Bytes& out, std::size_t count, std::uint8_t value) { out.insert(out.end(), count, value); }

void PutRandom(Bytes& out, std::size_t count, std::minstd_rand& random) {
  for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<std::uint8_t>(random() & 0xFF));
}

// The header with the length the attributes really have, unless a lie is asked for.
Bytes Message(const TransactionId& id, const Bytes& attributes, std::uint16_t type = kBindingResponse) {
  Bytes out;
  PutU16(out, type);
  PutU16(out, static_cast<std::uint16_t>(std::min<std::size_t>(attributes.size(), 0xFFFF)));
  out.insert(out.end(), id.begin(), id.end());
  out.insert(out.end(), attributes.begin(), attributes.end());
  return out;
}

void SetDeclaredLength(Bytes& message, std::uint16_t length) {
  message[2] = static_cast<std::uint8_t>(length >> 8);
  message[3] = static_cast<std::uint8_t>(length & 0xFF);
}

void PutAttributeHeader(Bytes& out, std::uint16_t type, std::uint16_t declaredLength) {
  PutU16(out, type);
  PutU16(out, declaredLength);
}

void PutAddressAttribute(Bytes& out, std::uint16_t type, std::uint8_t family, std::uint32_t address,
                         std::uint16_t port) {
  PutAttributeHeader(out, type, 8);
  PutU8(out, 0);
  PutU8(out, family);
  PutU16(out, port);
  PutU32(out, address);
}

Bytes PlausibleAnswer(const TransactionId& id, std::uint32_t mapped, std::uint32_t changed) {
  Bytes attributes;
  PutAddressAttribute(attributes, kMappedAddress, kFamilyIpv4, mapped, kClaimedPort);
  PutAddressAttribute(attributes, kChangedAddress, kFamilyIpv4, changed, kStunAltPort);
  return Message(id, attributes);
}

// An answer padded with empty optional attributes to exactly `total` bytes.
Bytes PaddedAnswer(const TransactionId& id, std::size_t total) {
  Bytes attributes;
  while (attributes.size() + 4 <= total - kStunHeaderSize) PutAttributeHeader(attributes, kUnknownOptional, 0);
  PutFill(attributes, total - kStunHeaderSize - attributes.size(), 0);
  return Message(id, attributes);
}

// One optional attribute whose value fills the datagram to `total` bytes.
Bytes OneBigAttribute(const TransactionId& id, std::size_t total) {
  Bytes attributes;
  const std::size_t valueSize = total - kStunHeaderSize - 4;
  PutAttributeHeader(attributes, kUnknownOptional, static_cast<std::uint16_t>(valueSize));
  PutFill(attributes, valueSize, 'x');
  return Message(id, attributes);
}

TransactionId EchoedId(std::span<const std::uint8_t> request) {
  TransactionId id{};
  if (request.size() >= kStunHeaderSize) {
    std::copy_n(request.begin() + kTransactionIdOffset, kTransactionIdSize, id.begin());
  }
  return id;
}

void AddTruncated(std::vector<HostileDatagram>& out, const TransactionId& id) {
  const Bytes whole = PlausibleAnswer(id, kLabWanAddress, kPrimaryAltAddress);
  out.push_back({"empty", {}});
  out.push_back({"header-cut-at-12", Bytes(whole.begin(), whole.begin() + 12)});
  out.push_back({"header-cut-at-19", Bytes(whole.begin(), whole.begin() + 19)});
  out.push_back({"attribute-header-cut", Bytes(whole.begin(), whole.begin() + kStunHeaderSize + 2)});
  out.push_back({"mapped-address-cut", Bytes(whole.begin(), whole.begin() + kStunHeaderSize + 4 + 5)});
  out.push_back({"changed-address-cut", Bytes(whole.begin(), whole.end() - 3)});
  Bytes overstated = Message(id, {});
  SetDeclaredLength(overstated, 0x0400);
  out.push_back({"length-overstated", overstated});
  Bytes understated = whole;
  SetDeclaredLength(understated, 4);
  out.push_back({"length-understated", understated});
}

void AddMalformedAttributes(std::vector<HostileDatagram>& out, const TransactionId& id) {
  Bytes shortAddress;
  PutAttributeHeader(shortAddress, kMappedAddress, 4);
  PutU32(shortAddress, kLabWanAddress);
  out.push_back({"mapped-address-short", Message(id, shortAddress)});

  Bytes ipv6;
  PutAttributeHeader(ipv6, kMappedAddress, 20);
  PutU8(ipv6, 0);
  PutU8(ipv6, kFamilyIpv6);
  PutU16(ipv6, kClaimedPort);
  PutFill(ipv6, 16, 0xFE);
  out.push_back({"mapped-address-ipv6", Message(id, ipv6)});

  Bytes bogusFamily;
  PutAddressAttribute(bogusFamily, kChangedAddress, kFamilyBogus, kLabWanAddress, kStunAltPort);
  out.push_back({"changed-address-bogus-family", Message(id, bogusFamily)});

  Bytes huge;
  PutAttributeHeader(huge, kUnknownMandatory, 0xFFFC);
  PutFill(huge, 8, 0xAA);
  out.push_back({"attribute-length-huge", Message(id, huge)});

  Bytes username;
  PutAttributeHeader(username, kUsername, static_cast<std::uint16_t>(kOversizedText));
  PutFill(username, kOversizedText, 'u');
  out.push_back({"username-oversized", Message(id, username)});

  Bytes reason;
  PutAttributeHeader(reason, kErrorCode, static_cast<std::uint16_t>(4 + kOversizedReason));
  PutU16(reason, 0);
  PutU8(reason, 4);
  PutU8(reason, 20);
  PutFill(reason, kOversizedReason, 'r');
  out.push_back({"error-reason-oversized", Message(id, reason)});

  Bytes unknown;
  PutAttributeHeader(unknown, kUnknownAttributes, static_cast<std::uint16_t>(2 * kManyUnknownTypes));
  for (std::size_t i = 0; i < kManyUnknownTypes; ++i) PutU16(unknown, static_cast<std::uint16_t>(0x0100 + i));
  out.push_back({"unknown-attributes-many", Message(id, unknown)});

  Bytes misaligned;
  PutAttributeHeader(misaligned, kUsername, 3);
  PutFill(misaligned, 3, 'm');
  PutAddressAttribute(misaligned, kMappedAddress, kFamilyIpv4, kLabWanAddress, kClaimedPort);
  out.push_back({"odd-length-then-mapped", Message(id, misaligned)});

  Bytes integrity;
  PutAttributeHeader(integrity, kMessageIntegrity, 4);
  PutFill(integrity, 4, 0x11);
  out.push_back({"message-integrity-short", Message(id, integrity)});
}

void AddSizes(std::vector<HostileDatagram>& out, const TransactionId& id, std::minstd_rand& random) {
  out.push_back({"tiny-attributes-largest-taken", PaddedAnswer(id, kLargestTakenStun)});
  out.push_back({"smallest-refused", OneBigAttribute(id, kSmallestRefusedStun)});
  Bytes fragmented = Message(id, {});
  PutRandom(fragmented, kFragmentedStun - kStunHeaderSize, random);
  out.push_back({"fragmented-random", fragmented});
}

void AddLies(std::vector<HostileDatagram>& out, const TransactionId& id,
             std::span<const std::uint8_t> request, std::minstd_rand& random) {
  for (const std::uint8_t test : kSpoofedTestIds) {
    TransactionId spoofed = id;
    spoofed[0] = test;
    out.push_back({"claims-test-" + std::to_string(test),
                   PlausibleAnswer(spoofed, kLabWanAddress, kPrimaryAltAddress)});
  }
  out.push_back({"points-at-loopback", PlausibleAnswer(id, kLoopbackAddress, kLoopbackAddress)});
  Bytes randomBody = Message(id, {});
  PutRandom(randomBody, kRandomBody, random);
  out.push_back({"random-body", randomBody});
  Bytes garbage;
  PutRandom(garbage, kPureGarbage, random);
  out.push_back({"pure-garbage", garbage});
  out.push_back({"request-echoed", Bytes(request.begin(), request.end())});
}

std::string Dotted(std::uint32_t address) { return platform::FormatDottedIpv4(address); }

constexpr std::string_view kWanIp = "urn:schemas-upnp-org:service:WANIPConnection:1";
constexpr std::string_view kWanPpp = "urn:schemas-upnp-org:service:WANPPPConnection:1";
// A LAN address that is nobody's default gateway.
constexpr std::uint32_t kForeignLanDevice = 0xC0A84DC8;  // 192.168.77.200
constexpr std::uint16_t kForeignDevicePort = 5000;
// A port on the gateway where nothing listens: the connect is refused.
constexpr std::uint16_t kDeadGatewayPort = 1;
constexpr std::size_t kSsdpBuffer = 1024;
constexpr std::size_t kOverlongLocation = 600;
constexpr std::size_t kGarbageShort = 7;
constexpr std::size_t kGarbageJumbo = 1400;

std::string AnswerWith(std::string_view status, std::string_view st, const std::string& locationLine) {
  std::string text = std::string(status) + "\r\nCACHE-CONTROL: max-age=120\r\nST: " + std::string(st) +
                     "\r\nUSN: uuid:00000000-0000-0000-0000-000000000000::" + std::string(st) +
                     "\r\nEXT:\r\nSERVER: Linux UPnP/1.1 Flood/1.0\r\n";
  text += locationLine;
  text += "\r\n";
  return text;
}

std::string Location(std::uint32_t host, std::uint16_t port) {
  return "LOCATION: http://" + Dotted(host) + ":" + std::to_string(port) + "/rootDesc.xml\r\n";
}

std::string RandomText(std::size_t count, std::minstd_rand& random) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text.push_back(static_cast<char>(random() & 0xFF));
  return text;
}

}  // namespace

std::vector<HostileDatagram> BuildHostileStunAnswers(std::span<const std::uint8_t> request) {
  const TransactionId id = EchoedId(request);
  std::minstd_rand random(kStunGarbageSeed);
  std::vector<HostileDatagram> out;
  AddTruncated(out, id);
  AddMalformedAttributes(out, id);
  AddSizes(out, id, random);
  AddLies(out, id, request, random);
  return out;
}

std::vector<FloodAnswer> BuildSsdpFloodAnswers(std::uint32_t gateway) {
  const std::string ok = "HTTP/1.1 200 OK";
  const std::string gatewayText = Dotted(gateway);
  std::minstd_rand random(kSsdpGarbageSeed);
  std::vector<FloodAnswer> out;
  out.push_back({"empty", "", false});
  out.push_back({"garbage-short", RandomText(kGarbageShort, random), false});
  out.push_back({"garbage-jumbo", RandomText(kGarbageJumbo, random), false});
  out.push_back({"root-device-only", AnswerWith(ok, "upnp:rootdevice", Location(gateway, kForeignDevicePort)), false});
  out.push_back({"foreign-device", AnswerWith(ok, kWanIp, Location(kForeignLanDevice, kForeignDevicePort)), false});
  out.push_back({"host-too-long",
                 AnswerWith(ok, kWanIp, "LOCATION: http://" + gatewayText + "0000000:5000/rootDesc.xml\r\n"), false});
  out.push_back({"no-location", AnswerWith(ok, kWanIp, ""), false});
  out.push_back({"no-port", AnswerWith(ok, kWanIp, "LOCATION: http://" + gatewayText + "/rootDesc.xml\r\n"), false});
  out.push_back({"location-overlong",
                 AnswerWith(ok, kWanIp, "LOCATION: http://" + gatewayText + ":5000/" +
                                            std::string(kOverlongLocation, 'p') + "\r\n"),
                 false});
  out.push_back({"two-spaces", AnswerWith(ok, kWanPpp, "LOCATION:  http://" + gatewayText + ":5000/x\r\n"), false});
  out.push_back({"not-found", AnswerWith("HTTP/1.1 404 Not Found", kWanIp, Location(gateway, kForeignDevicePort)), false});
  out.push_back({"notify", "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: " + std::string(kWanIp) +
                               "\r\nNTS: ssdp:alive\r\n" + Location(gateway, kForeignDevicePort) + "\r\n",
                 false});
  out.push_back({"search-echo", "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
                                "MX: 6\r\nST: " + std::string(kWanIp) + "\r\n\r\n",
                 false});
  // Fills the client's whole buffer, the location still open at its end.
  std::string unterminated = AnswerWith(ok, kWanIp, "");
  unterminated.resize(unterminated.size() - 2);
  unterminated += "LOCATION: http://" + gatewayText + ":5000/";
  unterminated.resize(kSsdpBuffer, 'u');
  out.push_back({"fills-buffer-unterminated", unterminated, false});
  out.push_back({"dead-gateway-port", AnswerWith(ok, kWanIp, Location(gateway, kDeadGatewayPort)), true});
  return out;
}

std::string SearchedWanServiceType(std::string_view search) {
  if (search.rfind("M-SEARCH", 0) != 0) return "";
  for (const std::string_view type : {kWanIp, kWanPpp}) {
    const std::string header = "ST: " + std::string(type) + "\r\n";
    if (search.find(header) != std::string_view::npos) return std::string(type);
  }
  return "";
}

std::string BuildGatewaySearchAnswer(std::string_view serviceType, std::uint32_t gateway,
                                     std::uint16_t httpPort) {
  return AnswerWith("HTTP/1.1 200 OK", serviceType, Location(gateway, httpPort));
}

std::string BuildOversizedDescriptionReply(std::size_t bodyBytes) {
  const std::string head =
      "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
      "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
      "<serviceList><service><serviceType>" + std::string(kWanIp) +
      "</serviceType><controlURL>/ctl/IPConn</controlURL></service></serviceList></device>\r\n<!-- ";
  const std::string tail = " -->\r\n</root>\r\n";
  std::string body = head;
  if (bodyBytes > head.size() + tail.size()) body.append(bodyBytes - head.size() - tail.size(), 'f');
  body += tail;
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::span<const std::size_t> SchedulerFloodSizes() {
  static constexpr std::array<std::size_t, 10> kSizes = {0, 1, 8, 1023, 1024, 1025, 1472, 4000, 20000, 65507};
  return kSizes;
}

}  // namespace talu::responders::hostile
