#include "responders/peer_message_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "peerprobe/frame_codec.h"
#include "peerprobe/probe_packets.h"

namespace talu::responders {

namespace {

constexpr std::uint8_t kHandshakeFirstByte = 0x13;
constexpr std::string_view kProtocolName = "TALU protocol";
constexpr std::size_t kProtocolNameOffset = 1;
constexpr std::size_t kContentIdOffset = 28;
constexpr std::size_t kIdSize = 20;
constexpr std::size_t kLengthFieldSize = 4;
// The client's bitfield (5) and piece (7) messages count their length field
// in their length, unlike every other message; the decoder has to know.
constexpr std::uint8_t kBitfieldId = 5;
constexpr std::uint8_t kPieceId = 7;
// A request for 16 KiB asks for a piece of that size plus its header; any
// longer length field is no message of this protocol.
constexpr std::uint32_t kMaxMessageLength = 16384 + 9;
// The largest frame the client sends is its 525-byte piece packet plus 32
// bytes of frame; bytes that are no message by then never will be one.
constexpr std::size_t kMaxFrameSize = kPiecePacketSize + kFrameRoom;
// Frames shorter than this are scrambled whole; for longer ones the
// scrambled part ends here and the frame's length no longer matters to it.
constexpr std::size_t kFullyScrambledPrefix = 4 + kMaxScrambledBlock;
constexpr std::size_t kMaxHttpHeader = 8192;

constexpr const char* kMessageNames[] = {"choke",   "unchoke", "interested", "not-interested",
                                         "have",    "bitfield", "request",   "piece",
                                         "cancel"};

std::uint32_t GetBigEndian32(const std::uint8_t* at) {
  return (static_cast<std::uint32_t>(at[0]) << 24) | (static_cast<std::uint32_t>(at[1]) << 16) |
         (static_cast<std::uint32_t>(at[2]) << 8) | static_cast<std::uint32_t>(at[3]);
}

void AppendText(std::vector<std::uint8_t>* bytes, std::string_view text) {
  bytes->insert(bytes->end(), text.begin(), text.end());
}

bool IsCompletePacket(const std::vector<std::uint8_t>& packet) {
  return !packet.empty() && BarePacketSize(packet.data(), packet.size()) ==
                                static_cast<long>(packet.size());
}

std::string ToLower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

const char* WrappingName(Wrapping wrapping) {
  switch (wrapping) {
    case Wrapping::Scrambled: return "scrambled";
    case Wrapping::Bare: return "bare";
    case Wrapping::Http: return "http";
  }
  return "?";
}

long BarePacketSize(const std::uint8_t* bytes, std::size_t available) {
  if (available == 0) return 0;
  if (bytes[0] == kHandshakeFirstByte) {
    // 19 although the name has 13 characters: the first byte alone does not
    // tell a handshake from a length field, the name after it does.
    const std::size_t known = std::min(available - 1, kProtocolName.size());
    if (std::memcmp(bytes + kProtocolNameOffset, kProtocolName.data(), known) != 0) return -1;
    return known < kProtocolName.size() ? 0 : static_cast<long>(kHandshakePacketSize);
  }
  if (available < kLengthFieldSize) {
    // A length field's top bytes are zero for every message of this protocol.
    for (std::size_t i = 0; i < available && i < 2; ++i) {
      if (bytes[i] != 0) return -1;
    }
    return 0;
  }
  const std::uint32_t length = GetBigEndian32(bytes);
  if (length > kMaxMessageLength) return -1;
  if (length == 0) return static_cast<long>(kLengthFieldSize);  // keep-alive
  if (available == kLengthFieldSize) return 0;
  const std::uint8_t id = bytes[kLengthFieldSize];
  if (id == kBitfieldId || id == kPieceId) {
    return length > kLengthFieldSize ? static_cast<long>(length) : -1;
  }
  return static_cast<long>(length + kLengthFieldSize);
}

std::string DescribePacket(const std::vector<std::uint8_t>& packet) {
  if (!IsCompletePacket(packet)) return "invalid";
  if (packet[0] == kHandshakeFirstByte) return "handshake";
  if (packet.size() == kLengthFieldSize) return "keep-alive";
  const std::uint8_t id = packet[kLengthFieldSize];
  if (id < std::size(kMessageNames)) return kMessageNames[id];
  return "message-" + std::to_string(id);
}

void PeerMessageReader::Append(const std::uint8_t* bytes, std::size_t length) {
  buffer_.insert(buffer_.end(), bytes, bytes + length);
}

std::size_t PeerMessageReader::Discard() {
  const std::size_t count = buffer_.size();
  buffer_.clear();
  return count;
}

void PeerMessageReader::Consume(std::size_t count) {
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
}

bool PeerMessageReader::TakeScrambled(PeerMessage* message) {
  // A frame does not say how long it is; the packet inside does. Short
  // frames are tried at every length, since the scrambled part depends on
  // it; a longer one is decoded from its fixed-size scrambled prefix, which
  // names the padding and the packet's header. A wrong length fails the
  // check of the repeated keys (64 bits), so a mistaken match is no concern.
  std::vector<std::uint8_t> packet;
  const std::size_t shortest = kFrameOverhead + kLengthFieldSize;
  const std::size_t tried = std::min(buffer_.size(), kFullyScrambledPrefix - 1);
  for (std::size_t length = shortest; length <= tried; ++length) {
    if (UnscrambleFrame(buffer_.data(), length, &packet) && IsCompletePacket(packet)) {
      message->wrapping = Wrapping::Scrambled;
      message->packet = std::move(packet);
      Consume(length);
      return true;
    }
  }
  if (buffer_.size() < kFullyScrambledPrefix) return false;
  if (!UnscrambleFrame(buffer_.data(), buffer_.size(), &packet)) return false;
  const long size = BarePacketSize(packet.data(), packet.size());
  if (size <= 0) return false;
  const std::size_t frameLength = buffer_.size() - packet.size() + static_cast<std::size_t>(size);
  if (frameLength > buffer_.size()) return false;  // the rest is still on its way
  packet.resize(static_cast<std::size_t>(size));
  message->wrapping = Wrapping::Scrambled;
  message->packet = std::move(packet);
  Consume(frameLength);
  return true;
}

PeerMessageReader::Result PeerMessageReader::TakeHttp(PeerMessage* message) {
  const std::string_view text(reinterpret_cast<const char*>(buffer_.data()), buffer_.size());
  const std::size_t headerEnd = text.find("\r\n\r\n");
  if (headerEnd == std::string_view::npos) {
    return buffer_.size() < kMaxHttpHeader ? Result::NeedMore : Result::Unrecognised;
  }
  const std::string_view head = text.substr(0, headerEnd);
  const std::size_t lineEnd = head.find("\r\n");
  const std::string_view requestLine = head.substr(0, lineEnd);
  const std::size_t firstSpace = requestLine.find(' ');
  const std::size_t secondSpace = requestLine.find(' ', firstSpace + 1);
  if (secondSpace == std::string_view::npos) return Result::Unrecognised;

  std::size_t contentLength = 0;
  std::size_t at = lineEnd;
  while (at != std::string_view::npos && at < head.size()) {
    const std::size_t next = head.find("\r\n", at + 2);
    const std::string_view line = head.substr(at + 2, next == std::string_view::npos
                                                          ? std::string_view::npos
                                                          : next - at - 2);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos &&
        ToLower(std::string(line.substr(0, colon))) == "content-length") {
      contentLength = std::strtoul(std::string(line.substr(colon + 1)).c_str(), nullptr, 10);
    }
    at = next;
  }
  if (contentLength > kMaxMessageLength + kLengthFieldSize) return Result::Unrecognised;
  const std::size_t total = headerEnd + 4 + contentLength;
  if (buffer_.size() < total) return Result::NeedMore;
  message->wrapping = Wrapping::Http;
  message->httpMethod = std::string(requestLine.substr(0, firstSpace));
  message->httpTarget = std::string(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
  message->packet.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(headerEnd + 4),
                         buffer_.begin() + static_cast<std::ptrdiff_t>(total));
  Consume(total);
  return Result::Message;
}

PeerMessageReader::Result PeerMessageReader::Next(PeerMessage* message) {
  *message = PeerMessage{};
  if (buffer_.empty()) return Result::NeedMore;
  if (TakeScrambled(message)) return Result::Message;

  const long bareSize = BarePacketSize(buffer_.data(), buffer_.size());
  if (bareSize > 0 && buffer_.size() >= static_cast<std::size_t>(bareSize)) {
    message->wrapping = Wrapping::Bare;
    message->packet.assign(buffer_.begin(), buffer_.begin() + bareSize);
    Consume(static_cast<std::size_t>(bareSize));
    return Result::Message;
  }
  if (bareSize >= 0) return Result::NeedMore;

  // A request line starts with a method in capitals and a space.
  std::size_t method = 0;
  while (method < buffer_.size() && method < 8 && std::isupper(buffer_[method])) ++method;
  if (method >= 3 && (method == buffer_.size() || buffer_[method] == ' ')) return TakeHttp(message);

  // Possibly a frame of which only a part has come.
  return buffer_.size() < kMaxFrameSize ? Result::NeedMore : Result::Unrecognised;
}

std::vector<std::uint8_t> BuildAnswer(const PeerMessage& message) {
  std::vector<std::uint8_t> answer;
  if (DescribePacket(message.packet) == "handshake") {
    answer.assign(kHandshakePacketSize, 0);
    answer[0] = kHandshakeFirstByte;
    std::memcpy(answer.data() + kProtocolNameOffset, kProtocolName.data(), kProtocolName.size());
    std::memcpy(answer.data() + kContentIdOffset, message.packet.data() + kContentIdOffset, kIdSize);
    constexpr std::string_view kResponderPeerId = "TALU-RESPONDER-00001";
    static_assert(kResponderPeerId.size() == kIdSize);
    std::memcpy(answer.data() + kContentIdOffset + kIdSize, kResponderPeerId.data(), kIdSize);
  } else {
    answer.assign(kLengthFieldSize, 0);  // keep-alive
  }

  switch (message.wrapping) {
    case Wrapping::Bare: return answer;
    case Wrapping::Scrambled: {
      std::size_t length = answer.size();
      answer.resize(length + kFrameRoom);
      ScrambleFrame(answer.data(), &length);
      answer.resize(length);
      return answer;
    }
    case Wrapping::Http: {
      const bool known = message.httpMethod == "POST" && message.httpTarget == "/service";
      if (!known) answer.clear();
      std::vector<std::uint8_t> response;
      AppendText(&response, known ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n");
      AppendText(&response, "Content-Type: application/octet-stream\r\nContent-Length: " +
                                std::to_string(answer.size()) +
                                "\r\nConnection: Keep-Alive\r\n\r\n");
      response.insert(response.end(), answer.begin(), answer.end());
      return response;
    }
  }
  return answer;
}

}  // namespace talu::responders
