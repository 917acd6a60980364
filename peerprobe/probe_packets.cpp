#include "peerprobe/probe_packets.h"

#include <cstring>

#include "schedprobe/probe_identity.h"
#include "schedprobe/probe_random.h"

namespace talu {

namespace {

// The handshake's first byte is 19, the length of the classic protocol
// string, although our string "TALU protocol" has 13 characters; peers key on
// the 19. The zero bytes after the string keep the ContentId at offset 28.
constexpr std::uint8_t kHandshakeFirstByte = 19;
constexpr char kProtocolName[] = "TALU protocol";
constexpr std::size_t kProtocolNameLength = 13;
constexpr std::size_t kHandshakeContentIdOffset = 28;
constexpr std::size_t kHandshakePeerIdOffset = 48;

constexpr std::uint8_t kInterestedId = 2;
constexpr std::uint8_t kUnchokeId = 1;
constexpr std::uint8_t kRequestId = 6;
constexpr std::uint8_t kPieceId = 7;
constexpr std::uint8_t kHaveId = 4;
constexpr std::uint8_t kBitfieldId = 5;
constexpr std::uint32_t kRequestedBlockLength = 16384;
constexpr char kPiecePayload[] = "hello world!";
constexpr std::size_t kPiecePayloadLength = 12;

// Piece indexes are a draw taken modulo 65535 (not 65536), which leaves
// every draw as it is.
std::uint32_t DrawPieceIndex() { return static_cast<std::uint32_t>(ProbeRandom() % 65535); }

void PutBigEndian32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 24);
  at[1] = static_cast<std::uint8_t>(value >> 16);
  at[2] = static_cast<std::uint8_t>(value >> 8);
  at[3] = static_cast<std::uint8_t>(value);
}

void Clear(std::uint8_t* buffer, const std::size_t* length) { std::memset(buffer, 0, *length); }

// Writes the length field and the message id. Bitfield and piece count the
// whole packet in their length field, the other messages only what follows it.
void WriteMessageHead(std::uint8_t* buffer, std::uint32_t lengthField, std::uint8_t id) {
  PutBigEndian32(buffer, lengthField);
  buffer[4] = id;
}

}  // namespace

void BuildHandshakePacket(std::uint8_t* buffer, std::size_t* length) {
  Clear(buffer, length);
  buffer[0] = kHandshakeFirstByte;
  std::memcpy(buffer + 1, kProtocolName, kProtocolNameLength);
  DecodeContentId(buffer + kHandshakeContentIdOffset);
  GeneratePeerId(buffer + kHandshakePeerIdOffset);
  *length = kHandshakePacketSize;
}

void BuildBitfieldPacket(std::uint8_t* buffer, std::size_t* length) {
  Clear(buffer, length);
  WriteMessageHead(buffer, kBitfieldPacketSize, kBitfieldId);
  *length = kBitfieldPacketSize;
}

void BuildInterestedPacket(std::uint8_t* buffer, std::size_t* length) {
  Clear(buffer, length);
  WriteMessageHead(buffer, 1, kInterestedId);
  *length = kInterestedPacketSize;
}

void BuildUnchokePacket(std::uint8_t* buffer, std::size_t* length) {
  Clear(buffer, length);
  WriteMessageHead(buffer, 1, kUnchokeId);
  *length = kUnchokePacketSize;
}

void BuildRequestPacket(std::uint8_t* buffer, std::size_t* length) {
  Clear(buffer, length);
  WriteMessageHead(buffer, 13, kRequestId);
  PutBigEndian32(buffer + 5, DrawPieceIndex());
  PutBigEndian32(buffer + 9, 0);
  PutBigEndian32(buffer + 13, kRequestedBlockLength);
  *length = kRequestPacketSize;
}

void BuildPiecePacket(std::uint8_t* buffer, std::size_t* length) {
  Clear(buffer, length);
  WriteMessageHead(buffer, kPiecePacketSize, kPieceId);
  PutBigEndian32(buffer + 5, DrawPieceIndex());
  PutBigEndian32(buffer + 9, 0);
  std::memcpy(buffer + 13, kPiecePayload, kPiecePayloadLength);
  *length = kPiecePacketSize;
}

void BuildHavePacket(std::uint8_t* buffer, std::size_t* length) {
  Clear(buffer, length);
  WriteMessageHead(buffer, 5, kHaveId);
  PutBigEndian32(buffer + 5, DrawPieceIndex());
  *length = kHavePacketSize;
}

ProbePacketTable MakeProbePacketTable() {
  return {{
      {BuildHandshakePacket, "HS 包"},
      {BuildBitfieldPacket, "BF 包"},
      {BuildInterestedPacket, "ITr 包"},
      {BuildUnchokePacket, "UC 包"},
      {BuildRequestPacket, "RQ 包"},
      {BuildPiecePacket, "PC 包"},
      {BuildHavePacket, "HV 包"},
  }};
}

}  // namespace talu
