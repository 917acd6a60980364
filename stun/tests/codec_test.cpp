#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "stun/stun_codec.h"
#include "stun/testing/log_capture.h"
#include "stun/tests/stun_bytes.h"

namespace talu::stun {
namespace {

using namespace testbytes;
using testing::ScopedLogCapture;
using Lines = std::vector<std::string>;

constexpr std::uint32_t kAddress = 0x01020304;  // 1.2.3.4
constexpr std::uint16_t kPort = 3478;
const Bytes kGoodAddress = AddressBytes(1, kPort, kAddress);
constexpr std::uint16_t kBindingResponse = 0x0101;

std::string Received(std::size_t size) {
  return "Received stun message: " + std::to_string(size) + " bytes";
}

struct DecodeResult {
  bool ok;
  StunRecord record;
  Lines lines;
};

DecodeResult Decode(const Bytes& bytes) {
  ScopedLogCapture capture;
  DecodeResult result{false, {}, {}};
  // Copied so that AddressSanitizer sees the exact end of the datagram.
  const std::vector<std::uint8_t> datagram(bytes);
  result.ok = DecodeStunPacket(datagram.data(), static_cast<std::uint32_t>(datagram.size()),
                               result.record);
  result.lines = capture.InfoLines();
  EXPECT_TRUE(capture.ErrorLines().empty());
  return result;
}

struct DecodeCase {
  const char* name;
  Bytes bytes;
  bool ok;
  Lines lines;  // after the "Received stun message" line
  std::function<void(const StunRecord&)> check = [](const StunRecord&) {};
};

void RunCases(const std::vector<DecodeCase>& cases) {
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodeResult result = Decode(c.bytes);
    EXPECT_EQ(result.ok, c.ok);
    Lines expected{Received(c.bytes.size())};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(result.lines, expected);
    c.check(result.record);
  }
}

TEST(StunDecode, HeaderAndLengths) {
  Bytes nineteen(19, 0);
  Bytes twentyEight = Message(kBindingResponse, {Attr(0x0003, U32(0))});
  twentyEight[2] = 0;
  twentyEight[3] = 12;
  RunCases({
      {"header alone", Message(kBindingResponse, {}), true, {},
       [](const StunRecord& r) {
         EXPECT_EQ(r.messageType, kBindingResponse);
         EXPECT_EQ(r.messageLength, 0);
         EXPECT_EQ(r.transactionId[0], 0x01);
         EXPECT_EQ(r.transactionId[15], 0xFF);
         EXPECT_FALSE(r.mappedAddressPresent || r.changeRequestPresent || r.xorOnly);
       }},
      {"19 bytes", nineteen, false, {"Bad message"},
       [](const StunRecord& r) { EXPECT_EQ(r.messageType, 0); }},
      {"header says 12 of 28", twentyEight, false,
       {"Message header length doesn't match message size: 12 - 28"},
       [](const StunRecord& r) {
         // The header stays stored: the NAT tests still read the id.
         EXPECT_EQ(r.messageType, kBindingResponse);
         EXPECT_EQ(r.messageLength, 12);
         EXPECT_EQ(r.transactionId[0], 0x01);
       }},
      {"attribute longer than the message",
       Message(kBindingResponse, {AttrClaiming(0x0001, 12, kGoodAddress)}), false,
       {"claims attribute is larger than size of message (attribute type=1)"}},
  });
}

// Fewer than four bytes left for an attribute head: the line shows the type
// from the bytes that are there, a missing byte as 0, and nothing past the
// datagram is read (AddressSanitizer would say so).
TEST(StunDecode, TruncatedAttributeHeadNeverReadsPastTheDatagram) {
  const Bytes mapped = Attr(0x0001, kGoodAddress);
  Bytes one = mapped, two = mapped, three = mapped;
  one.push_back(0x80);
  Append(two, {0x00, 0x22});
  Append(three, {0x80, 0x22, 0x00});
  const auto message = [](const Bytes& body) {
    Bytes out = U16(kBindingResponse);
    Append(out, U16(static_cast<std::uint16_t>(body.size())));
    Append(out, kTransactionId);
    Append(out, body);
    return out;
  };
  const std::string mappedLine = "MappedAddress = 1.2.3.4:3478";
  RunCases({
      {"one byte left", message(one), false,
       {mappedLine, "claims attribute is larger than size of message (attribute type=32768)"}},
      {"two bytes left", message(two), false,
       {mappedLine, "claims attribute is larger than size of message (attribute type=34)"}},
      {"three bytes left", message(three), false,
       {mappedLine, "claims attribute is larger than size of message (attribute type=32802)"}},
  });
}

TEST(StunDecode, UnknownTypesBelowAndAbove0x8000) {
  RunCases({
      {"0x8022 passed over",
       Message(kBindingResponse, {Attr(0x8022, Text("abcd")), Attr(0x0001, kGoodAddress)}), true,
       {"Unknown attribute: 32802", "MappedAddress = 1.2.3.4:3478"},
       [](const StunRecord& r) { EXPECT_TRUE(r.mappedAddressPresent); }},
      {"0x0030 refused",
       Message(kBindingResponse, {Attr(0x0030, Text("abcd")), Attr(0x0001, kGoodAddress)}), false,
       {"Unknown attribute: 48"},
       [](const StunRecord& r) { EXPECT_FALSE(r.mappedAddressPresent); }},
  });
}

TEST(StunDecode, AddressValues) {
  RunCases({
      {"every address attribute",
       Message(kBindingResponse,
               {Attr(0x0001, AddressBytes(1, 3478, 0x01020304, 7)),
                Attr(0x0002, AddressBytes(1, 5000, 0x0A000001)),
                Attr(0x0004, AddressBytes(1, 3478, 0xC0000201)),
                Attr(0x0005, AddressBytes(1, 3479, 0xC0000202)),
                Attr(0x000B, AddressBytes(1, 1, 0x7F000001)),
                Attr(0x0020, AddressBytes(1, 0x2112, 0x2112A442)),
                Attr(0x0050, AddressBytes(1, 9, 0xFFFFFFFF))}),
       true,
       {"MappedAddress = 1.2.3.4:3478", "ResponseAddress = 10.0.0.1:5000",
        "SourceAddress = 192.0.2.1:3478", "ChangedAddress = 192.0.2.2:3479",
        "XorMappedAddress = 33.18.164.66:8466", "SecondaryAddress = 255.255.255.255:9"},
       [](const StunRecord& r) {
         EXPECT_EQ(r.mappedAddress.reserved, 7);
         EXPECT_EQ(r.mappedAddress.family, 1);
         EXPECT_EQ(r.mappedAddress.port, 3478);
         EXPECT_EQ(r.mappedAddress.address, 0x01020304u);
         EXPECT_TRUE(r.reflectedFromPresent);
         EXPECT_EQ(r.reflectedFrom.address, 0x7F000001u);
         // Stored as it stands: no XOR is undone.
         EXPECT_EQ(r.xorMappedAddress.address, 0x2112A442u);
       }},
      {"ipv6 family", Message(kBindingResponse, {Attr(0x0001, AddressBytes(2, 1, 2, 9))}), false,
       {"ipv6 not supported", "problem parsing MappedAddress"},
       [](const StunRecord& r) {
         EXPECT_TRUE(r.mappedAddressPresent);
         EXPECT_EQ(r.mappedAddress.reserved, 9);
         EXPECT_EQ(r.mappedAddress.family, 2);
         EXPECT_EQ(r.mappedAddress.port, 0);
       }},
      {"20-byte address", Message(kBindingResponse, {Attr(0x0001, Bytes(20, 1))}), false,
       {"hdrLen wrong for Address", "problem parsing MappedAddress"}},
      {"family shown as a character", Message(kBindingResponse, {Attr(0x0004, AddressBytes('A', 1, 2))}),
       false, {"bad address family: A", "problem parsing SourceAddress"}},
      {"secondary address spelled as it has always been",
       Message(kBindingResponse, {Attr(0x0050, Bytes(4, 0))}), false,
       {"hdrLen wrong for Address", "problem parsing secondaryAddress"}},
      {"reflected-from refused", Message(kBindingResponse, {Attr(0x000B, AddressBytes(3, 1, 2))}),
       false, {"bad address family: \x03", "problem parsing ReflectedFrom"}},
  });
}

TEST(StunDecode, TextValues) {
  const std::string text252(252, 'x');
  RunCases({
      {"5 bytes", Message(kBindingResponse, {Attr(0x0006, Text("abcde"))}), false,
       {"Bad length string 5", "problem parsing Username"}},
      {"252 bytes", Message(kBindingResponse, {Attr(0x0006, Text(text252))}), true,
       {"Username = " + text252},
       [](const StunRecord& r) {
         EXPECT_EQ(r.username.length, 252);
         EXPECT_EQ(r.username.bytes[252], 0);
       }},
      {"256 bytes", Message(kBindingResponse, {Attr(0x0007, Bytes(256, 'y'))}), false,
       {"String is too large", "problem parsing Password"}},
      {"254 bytes: under 256 but not a multiple of 4",
       Message(kBindingResponse, {Attr(0x0022, Bytes(254, 'z'))}), false,
       {"Bad length string 254", "problem parsing ServerName"}},
      {"password and server name",
       Message(kBindingResponse, {Attr(0x0007, Text("pass")), Attr(0x0022, Text("srv1srv2"))}),
       true, {"Password = pass", "ServerName = srv1srv2"}},
      {"a text is shown up to its first NUL",
       Message(kBindingResponse, {Attr(0x0006, {'a', 'b', 0, 'c'})}), true, {"Username = ab"},
       [](const StunRecord& r) { EXPECT_EQ(r.username.length, 4); }},
  });
}

TEST(StunDecode, ErrorCodeUnknownListAndFixedSizes) {
  Bytes error4{0x00, 0x00, 0x04, 0x01};
  Bytes errorFull = error4;
  Append(errorFull, Text("Unauthorized"));
  Bytes errorUnmasked{0xAB, 0xCD, 0xFF, 0xFE};
  RunCases({
      {"ErrorCode with an empty reason", Message(kBindingResponse, {Attr(0x0009, error4)}), true,
       {"ErrorCode = 4 1 "},
       [](const StunRecord& r) { EXPECT_EQ(r.errorCode.reasonLength, 0); }},
      {"ErrorCode with a reason", Message(kBindingResponse, {Attr(0x0009, errorFull)}), true,
       {"ErrorCode = 4 1 Unauthorized"}},
      {"ErrorCode bytes unmasked", Message(kBindingResponse, {Attr(0x0009, errorUnmasked)}), true,
       {"ErrorCode = 255 254 "},
       [](const StunRecord& r) {
         EXPECT_EQ(r.errorCode.reserved, 0xABCD);
         EXPECT_EQ(r.errorCode.errorClass, 0xFF);
       }},
      {"ErrorCode of 259 bytes", Message(kBindingResponse, {Attr(0x0009, Bytes(259, 0x41))}), true,
       {"ErrorCode = 65 65 " + std::string(255, 'A')},
       [](const StunRecord& r) { EXPECT_EQ(r.errorCode.reasonLength, 255); }},
      {"ErrorCode of 260 bytes", Message(kBindingResponse, {Attr(0x0009, Bytes(260, 0x41))}),
       false, {"head on Error too large", "problem parsing ErrorCode"}},
      {"ErrorCode of 3 bytes", Message(kBindingResponse, {Attr(0x0009, Bytes(3, 0))}), false,
       {"problem parsing ErrorCode"}},
      {"UnknownAttribute of 8 bytes",
       Message(kBindingResponse, {Attr(0x000A, {0x00, 0x01, 0x80, 0x22, 0x00, 0x30, 0xFF, 0xFF})}),
       true, {},
       [](const StunRecord& r) {
         EXPECT_EQ(r.unknownAttributes.count, 4);
         EXPECT_EQ(r.unknownAttributes.types[1], 0x8022);
         EXPECT_EQ(r.unknownAttributes.types[3], 0xFFFF);
       }},
      {"UnknownAttribute of 6 bytes", Message(kBindingResponse, {Attr(0x000A, Bytes(6, 0))}), false,
       {"problem parsing UnknownAttribute"}},
      {"UnknownAttribute of 20 bytes", Message(kBindingResponse, {Attr(0x000A, Bytes(20, 0))}),
       false, {"problem parsing UnknownAttribute"}},
      {"ChangeRequest", Message(kBindingResponse, {Attr(0x0003, U32(6))}), true,
       {"ChangeRequest = 6"}},
      {"ChangeRequest of 8 bytes", Message(kBindingResponse, {Attr(0x0003, Bytes(8, 0))}), false,
       {"hdr length = 8 expecting 4", "Incorrect size for ChangeRequest",
        "problem parsing ChangeRequest"}},
      {"MessageIntegrity of 20 bytes", Message(kBindingResponse, {Attr(0x0008, Bytes(20, 0x5A))}),
       true, {},
       [](const StunRecord& r) {
         EXPECT_TRUE(r.messageIntegrityPresent);
         EXPECT_EQ(r.messageIntegrity[19], 0x5A);
       }},
      {"MessageIntegrity of 16 bytes", Message(kBindingResponse, {Attr(0x0008, Bytes(16, 0))}),
       false, {"MessageIntegrity must be 20 bytes", "problem parsing MessageIntegrity"}},
      {"xorOnly of any length", Message(kBindingResponse, {Attr(0x0021, Bytes(5, 9))}), true,
       {"xorOnly = true"}, [](const StunRecord& r) { EXPECT_TRUE(r.xorOnly); }},
  });
}

Bytes ReadCorpusFile(const std::string& name) {
  std::ifstream file(std::string(TALU_STUN_CORPUS_DIR) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// coturn's answers to tests I, II and III from 127.0.0.1:5000, captured from
// a coturn listening on 127.0.0.1 and 127.0.0.2: its SOFTWARE attribute
// (0x8022, padded to 24 bytes) is passed over.
TEST(StunDecode, CoturnAnswers) {
  struct Case {
    const char* file;
    std::uint8_t test;
    std::string source;
  } const cases[] = {
      {"coturn_test1.bin", 1, "127.0.0.1:3478"},
      {"coturn_test2.bin", 2, "127.0.0.2:3478"},
      {"coturn_test3.bin", 3, "127.0.0.1:3479"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Bytes bytes = ReadCorpusFile(c.file);
    ASSERT_EQ(bytes.size(), 84u);
    const DecodeResult result = Decode(bytes);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.lines, (Lines{Received(84), "MappedAddress = 127.0.0.1:5000",
                                   "SourceAddress = " + c.source,
                                   "ChangedAddress = 127.0.0.2:3479", "Unknown attribute: 32802"}));
    EXPECT_EQ(result.record.messageType, kBindingResponse);
    EXPECT_EQ(result.record.transactionId[0], c.test);
  }
}

// --- encoding ---------------------------------------------------------------------

struct EncodeResult {
  Bytes bytes;
  Lines lines;
};

EncodeResult Encode(const StunRecord& record, const TextValue& password, bool verbose) {
  ScopedLogCapture capture;
  std::array<std::uint8_t, kStunBufferSize> buffer{};
  const std::size_t length = EncodeStunPacket(record, buffer, password, verbose);
  return {Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), capture.InfoLines()};
}

StunRecord ChangeRequestOnly(std::uint32_t value) {
  StunRecord record;
  record.messageType = 0x0001;
  std::copy(kTransactionId.begin(), kTransactionId.end(), record.transactionId.begin());
  record.changeRequestPresent = true;
  record.changeRequest = value;
  return record;
}

TEST(StunEncode, ChangeRequestOnlyIs28BytesAndAPasswordAddsThePlaceholder) {
  const StunRecord record = ChangeRequestOnly(4);

  Bytes expected28{0x00, 0x01, 0x00, 0x08};
  Append(expected28, kTransactionId);
  Append(expected28, {0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04});
  EXPECT_EQ(Encode(record, TextValue{}, false).bytes, expected28);

  Bytes expected52{0x00, 0x01, 0x00, 0x20};
  Append(expected52, kTransactionId);
  Append(expected52, {0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04});
  Append(expected52, {0x00, 0x08, 0x00, 0x14});
  Append(expected52, Text("hmac-not-implemented"));
  const EncodeResult withPassword = Encode(record, MakeTextValue("secret"), true);
  EXPECT_EQ(withPassword.bytes, expected52);
  EXPECT_EQ(withPassword.lines, (Lines{"Encoding stun message: ", "Encoding ChangeRequest: 4",
                                       "HMAC with password: secret", ""}));
}

TEST(StunEncode, QuietUnlessVerbose) {
  EXPECT_TRUE(Encode(ChangeRequestOnly(0), MakeTextValue("pw"), false).lines.empty());
}

StunRecord EveryAttribute() {
  StunRecord r = ChangeRequestOnly(6);
  r.messageType = 0x0101;
  const auto address = [](std::uint8_t reserved, std::uint16_t port, std::uint32_t value) {
    return stun::AddressValue{reserved, 1, port, value};
  };
  r.mappedAddressPresent = true;
  r.mappedAddress = address(7, 3478, 0x01020304);
  r.responseAddressPresent = true;
  r.responseAddress = address(0, 1, 2);
  r.sourceAddressPresent = true;
  r.sourceAddress = address(0, 3478, 0xC0000201);
  r.changedAddressPresent = true;
  r.changedAddress = address(0, 3479, 0xC0000202);
  r.usernamePresent = true;
  r.username = MakeTextValue("user");
  r.passwordPresent = true;
  r.password = MakeTextValue(std::string(252, 'p'));
  r.errorCodePresent = true;
  r.errorCode.errorClass = 4;
  r.errorCode.number = 20;
  const std::string reason = "Stale Credentials";
  std::copy(reason.begin(), reason.end(), r.errorCode.reason.begin());
  r.errorCode.reasonLength = static_cast<std::uint16_t>(reason.size());
  r.unknownAttributesPresent = true;
  r.unknownAttributes.count = 2;
  r.unknownAttributes.types = {0x0030, 0x8001};
  r.reflectedFromPresent = true;
  r.reflectedFrom = address(0, 9, 0x0A000009);
  r.xorMappedAddressPresent = true;
  r.xorMappedAddress = address(0, 0x2112, 0x2112A442);
  r.xorOnly = true;
  r.serverNamePresent = true;
  r.serverName = MakeTextValue("srv1");
  r.secondaryAddressPresent = true;
  r.secondaryAddress = address(0, 5, 0x7F000005);
  return r;
}

TEST(StunEncode, VerboseLinesFollowTheWireOrder) {
  const EncodeResult result = Encode(EveryAttribute(), TextValue{}, true);
  EXPECT_EQ(result.lines,
            (Lines{"Encoding stun message: ", "Encoding MappedAddress: 1.2.3.4:3478",
                   "Encoding ResponseAddress: 0.0.0.2:1", "Encoding ChangeRequest: 6",
                   "Encoding SourceAddress: 192.0.2.1:3478",
                   "Encoding ChangedAddress: 192.0.2.2:3479", "Encoding Username: user",
                   "Encoding Password: " + std::string(252, 'p'),
                   "Encoding ErrorCode: class=4 number=20 reason=Stale Credentials",
                   "Encoding UnknownAttribute: ???", "Encoding ReflectedFrom: 10.0.0.9:9",
                   "Encoding XorMappedAddress: 33.18.164.66:8466", "Encoding xorOnly: ",
                   "Encoding ServerName: srv1", "Encoding SecondaryAddress: 127.0.0.5:5", ""}));
}

void ExpectSameAddress(const stun::AddressValue& a, const stun::AddressValue& b) {
  EXPECT_EQ(a.reserved, b.reserved);
  EXPECT_EQ(a.family, b.family);
  EXPECT_EQ(a.port, b.port);
  EXPECT_EQ(a.address, b.address);
}

void ExpectSameText(const TextValue& a, const TextValue& b) {
  ASSERT_EQ(a.length, b.length);
  EXPECT_TRUE(std::equal(a.bytes.begin(), a.bytes.begin() + a.length, b.bytes.begin()));
}

TEST(StunRoundTrip, DecodingWhatWasEncodedGivesTheValuesBack) {
  StunRecord original = EveryAttribute();
  original.messageIntegrityPresent = true;  // not carried: the encoder ignores it
  original.messageIntegrity.fill(0x77);
  original.xorMappedAddress.family = 9;  // families come back as 1
  const EncodeResult encoded = Encode(original, MakeTextValue("pw12"), false);
  const DecodeResult decoded = Decode(encoded.bytes);
  ASSERT_TRUE(decoded.ok);
  const StunRecord& r = decoded.record;
  EXPECT_EQ(r.messageType, original.messageType);
  EXPECT_EQ(r.transactionId, original.transactionId);
  EXPECT_EQ(r.messageLength, encoded.bytes.size() - kStunHeaderSize);
  ExpectSameAddress(r.mappedAddress, original.mappedAddress);
  ExpectSameAddress(r.responseAddress, original.responseAddress);
  ExpectSameAddress(r.sourceAddress, original.sourceAddress);
  ExpectSameAddress(r.changedAddress, original.changedAddress);
  ExpectSameAddress(r.reflectedFrom, original.reflectedFrom);
  ExpectSameAddress(r.secondaryAddress, original.secondaryAddress);
  EXPECT_EQ(r.xorMappedAddress.family, 1);
  EXPECT_EQ(r.xorMappedAddress.address, original.xorMappedAddress.address);
  EXPECT_EQ(r.changeRequest, 6u);
  ExpectSameText(r.username, original.username);
  ExpectSameText(r.password, original.password);
  ExpectSameText(r.serverName, original.serverName);
  EXPECT_EQ(r.errorCode.errorClass, 4);
  EXPECT_EQ(r.errorCode.number, 20);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.errorCode.reason.data())),
            "Stale Credentials");
  EXPECT_EQ(r.unknownAttributes.count, 2);
  EXPECT_EQ(r.unknownAttributes.types[1], 0x8001);
  EXPECT_TRUE(r.xorOnly);
  // The password's placeholder comes back in place of the record's own value.
  ASSERT_TRUE(r.messageIntegrityPresent);
  EXPECT_EQ(std::string(r.messageIntegrity.begin(), r.messageIntegrity.end()),
            "hmac-not-implemented");
}

TEST(StunRoundTrip, ReservedByteSurvivesAndUnevenTextIsRefusedOnTheWayBack) {
  const DecodeResult first =
      Decode(Message(kBindingResponse, {Attr(0x0001, AddressBytes(1, 3478, kAddress, 7))}));
  ASSERT_TRUE(first.ok);
  const EncodeResult again = Encode(first.record, TextValue{}, false);
  Bytes expected = U16(kBindingResponse);
  Append(expected, U16(12));
  Append(expected, kTransactionId);
  Append(expected, Attr(0x0001, AddressBytes(1, 3478, kAddress, 7)));
  EXPECT_EQ(again.bytes, expected);

  StunRecord uneven = ChangeRequestOnly(0);
  uneven.serverNamePresent = true;
  uneven.serverName = MakeTextValue("coturn");
  const EncodeResult encoded = Encode(uneven, TextValue{}, false);
  EXPECT_EQ(encoded.bytes.size(), 20u + 8 + 4 + 6);
  const DecodeResult decoded = Decode(encoded.bytes);
  EXPECT_FALSE(decoded.ok);
  EXPECT_EQ(decoded.lines.back(), "problem parsing ServerName");
}

// A record that breaks its invariants still cannot make the encoder write
// outside its buffer or read outside a value.
TEST(StunEncode, OutOfRangeLengthsAreCutToTheValueCapacity) {
  StunRecord record = ChangeRequestOnly(0);
  record.usernamePresent = true;
  record.username.length = 60000;
  record.errorCodePresent = true;
  record.errorCode.reasonLength = 60000;
  record.unknownAttributesPresent = true;
  record.unknownAttributes.count = 60000;
  const EncodeResult encoded = Encode(record, TextValue{}, false);
  EXPECT_EQ(encoded.bytes.size(), 20u + 8 + (4 + 256) + (4 + 4 + 255) + (4 + 16));

  std::array<std::uint8_t, 24> small{};
  ScopedLogCapture capture;
  EXPECT_EQ(EncodeStunPacket(record, small, TextValue{}, false), small.size());
}

}  // namespace
}  // namespace talu::stun
