#include "responders/peer_message_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peerprobe/frame_codec.h"
#include "peerprobe/probe_packet.h"
#include "peerprobe/probe_packets.h"

namespace talu::responders {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Build(PacketBuilder builder) {
  Bytes buffer(1024);
  std::size_t length = buffer.size();
  builder(buffer.data(), &length);
  buffer.resize(length);
  return buffer;
}

Bytes Scramble(const Bytes& packet) {
  Bytes frame = packet;
  frame.resize(packet.size() + kFrameRoom);
  std::size_t length = packet.size();
  ScrambleFrame(frame.data(), &length);
  frame.resize(length);
  return frame;
}

// The request the client's HTTP probe sends, header text and all.
Bytes HttpPost(const Bytes& packet) {
  const std::string header =
      "POST /service HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: "
      "Keep-Alive\r\nContent-Length: " +
      std::to_string(packet.size()) +
      "\r\nHost: 127.0.0.1:8080\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT "
      "5.1; SV1;)\r\n\r\n";
  Bytes request(header.begin(), header.end());
  request.insert(request.end(), packet.begin(), packet.end());
  return request;
}

Bytes Wrap(Wrapping wrapping, const Bytes& packet) {
  switch (wrapping) {
    case Wrapping::Scrambled: return Scramble(packet);
    case Wrapping::Http: return HttpPost(packet);
    case Wrapping::Bare: return packet;
  }
  return packet;
}

const char* const kExpectedNames[kProbePacketCount] = {
    "handshake", "bitfield", "interested", "unchoke", "request", "piece", "have"};

// Every probe packet, in every wrapping, handed over whole, then one byte at
// a time (a stream may split anywhere), then all seven back to back.
class EveryWrapping : public testing::TestWithParam<Wrapping> {};

TEST_P(EveryWrapping, RecognisesEachProbePacketHoweverTheStreamSplitsIt) {
  const Wrapping wrapping = GetParam();
  const ProbePacketTable table = MakeProbePacketTable();
  Bytes stream;
  std::vector<Bytes> packets;
  for (std::size_t i = 0; i < kProbePacketCount; ++i) {
    packets.push_back(Build(table[i].builder));
    const Bytes wrapped = Wrap(wrapping, packets.back());
    stream.insert(stream.end(), wrapped.begin(), wrapped.end());

    for (const bool byteByByte : {false, true}) {
      PeerMessageReader reader;
      PeerMessage message;
      PeerMessageReader::Result result = PeerMessageReader::Result::NeedMore;
      if (byteByByte) {
        for (std::size_t at = 0; at < wrapped.size(); ++at) {
          ASSERT_EQ(result, PeerMessageReader::Result::NeedMore) << kExpectedNames[i] << " byte " << at;
          reader.Append(&wrapped[at], 1);
          result = reader.Next(&message);
        }
      } else {
        reader.Append(wrapped.data(), wrapped.size());
        result = reader.Next(&message);
      }
      ASSERT_EQ(result, PeerMessageReader::Result::Message) << kExpectedNames[i];
      EXPECT_EQ(message.wrapping, wrapping) << kExpectedNames[i];
      EXPECT_EQ(message.packet, packets.back()) << kExpectedNames[i];
      EXPECT_EQ(DescribePacket(message.packet), kExpectedNames[i]);
      EXPECT_EQ(reader.buffered(), 0u);
    }
  }

  PeerMessageReader reader;
  reader.Append(stream.data(), stream.size());
  for (std::size_t i = 0; i < kProbePacketCount; ++i) {
    PeerMessage message;
    ASSERT_EQ(reader.Next(&message), PeerMessageReader::Result::Message) << i;
    EXPECT_EQ(message.packet, packets[i]);
  }
  PeerMessage none;
  EXPECT_EQ(reader.Next(&none), PeerMessageReader::Result::NeedMore);
}

INSTANTIATE_TEST_SUITE_P(Wrappings, EveryWrapping,
                         testing::Values(Wrapping::Scrambled, Wrapping::Bare, Wrapping::Http),
                         [](const testing::TestParamInfo<Wrapping>& info) {
                           return std::string(WrappingName(info.param));
                         });

TEST(PeerMessageReader, ConnectionMayMixWrappings) {
  const Bytes handshake = Build(BuildHandshakePacket);
  const Bytes have = Build(BuildHavePacket);
  Bytes stream = Scramble(handshake);
  for (const Bytes& part : {have, HttpPost(have), Scramble(have)}) {
    stream.insert(stream.end(), part.begin(), part.end());
  }
  PeerMessageReader reader;
  reader.Append(stream.data(), stream.size());
  for (const Wrapping expected :
       {Wrapping::Scrambled, Wrapping::Bare, Wrapping::Http, Wrapping::Scrambled}) {
    PeerMessage message;
    ASSERT_EQ(reader.Next(&message), PeerMessageReader::Result::Message);
    EXPECT_EQ(message.wrapping, expected);
  }
}

TEST(PeerMessageReader, BytesThatFormNoMessageAreUnrecognisedOnceTheyCannotBeAFrame) {
  // Too long for any frame of the client, and no length field, handshake or
  // request line: waiting longer cannot make a message of it.
  Bytes noise(600, 0xA5);
  PeerMessageReader reader;
  PeerMessage message;
  reader.Append(noise.data(), 100);
  EXPECT_EQ(reader.Next(&message), PeerMessageReader::Result::NeedMore);
  reader.Append(noise.data() + 100, 500);
  EXPECT_EQ(reader.Next(&message), PeerMessageReader::Result::Unrecognised);
  EXPECT_EQ(reader.Discard(), 600u);
}

struct SizeCase {
  const char* name;
  Bytes bytes;
  long size;
  friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }
};

class BareSize : public testing::TestWithParam<SizeCase> {};

TEST_P(BareSize, FollowsTheClientsLengthFields) {
  EXPECT_EQ(BarePacketSize(GetParam().bytes.data(), GetParam().bytes.size()), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BareSize,
    testing::Values(
        // The bitfield and piece packets count their own length field.
        SizeCase{"BitfieldCountsWholePacket", {0, 0, 0, 70, 5}, 70},
        SizeCase{"PieceCountsWholePacket", {0, 0, 2, 13, 7}, 525},
        SizeCase{"RequestCountsBytesAfterLength", {0, 0, 0, 13, 6}, 17},
        SizeCase{"KeepAlive", {0, 0, 0, 0}, 4},
        SizeCase{"LengthWithoutIdYet", {0, 0, 0, 13}, 0},
        SizeCase{"HandshakeNameSoFar", {0x13, 'T', 'A', 'L'}, 0},
        SizeCase{"HandshakeName", {0x13, 'T', 'A', 'L', 'U', ' ', 'p', 'r', 'o', 't', 'o', 'c', 'o', 'l'}, 68},
        SizeCase{"OtherProtocolName", {0x13, 'B', 'i', 't'}, -1},
        SizeCase{"HugeLength", {0x12, 0x34, 0, 0, 1}, -1},
        SizeCase{"Text", {'P', 'O', 'S', 'T'}, -1}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(BuildAnswer, AnswersInTheWrappingOfTheMessage) {
  const Bytes handshake = Build(BuildHandshakePacket);
  PeerMessage message;
  message.packet = handshake;

  message.wrapping = Wrapping::Bare;
  const Bytes bare = BuildAnswer(message);
  ASSERT_EQ(bare.size(), kHandshakePacketSize);
  EXPECT_EQ(DescribePacket(bare), "handshake");
  // The same content, another peer.
  EXPECT_TRUE(std::equal(bare.begin() + 28, bare.begin() + 48, handshake.begin() + 28));
  EXPECT_FALSE(std::equal(bare.begin() + 48, bare.end(), handshake.begin() + 48));

  message.wrapping = Wrapping::Scrambled;
  const Bytes frame = BuildAnswer(message);
  Bytes unscrambled;
  ASSERT_TRUE(UnscrambleFrame(frame.data(), frame.size(), &unscrambled));
  EXPECT_EQ(unscrambled, bare);

  message.packet = Build(BuildInterestedPacket);
  message.wrapping = Wrapping::Http;
  message.httpMethod = "POST";
  message.httpTarget = "/service";
  const Bytes response = BuildAnswer(message);
  const std::string text(response.begin(), response.end());
  EXPECT_EQ(text.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("Content-Length: 4\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 4), std::string(4, '\0'));

  message.httpTarget = "/other";
  const Bytes notFound = BuildAnswer(message);
  EXPECT_EQ(std::string(notFound.begin(), notFound.end()).rfind("HTTP/1.1 404", 0), 0u);
}

}  // namespace
}  // namespace talu::responders
