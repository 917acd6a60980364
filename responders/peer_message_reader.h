// Splits the byte stream of one peer-protocol connection into messages,
// whichever of the client's three wrappings each one arrives in: inside a
// scrambled frame, bare, or as the body of an HTTP request. A connection
// may mix them; each message is recognised on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talu::responders {

enum class Wrapping { Scrambled, Bare, Http };

const char* WrappingName(Wrapping wrapping);

struct PeerMessage {
  Wrapping wrapping = Wrapping::Bare;
  std::vector<std::uint8_t> packet;  // the peer message itself, unwrapped
  std::string httpMethod;            // Http only
  std::string httpTarget;            // Http only
};

// The message's name: "handshake", "keep-alive", "bitfield", "interested",
// ..., "message-<id>" for an id without a name, "invalid" for bytes that are
// no complete peer message.
std::string DescribePacket(const std::vector<std::uint8_t>& packet);

// Size of the bare peer message that starts at bytes: 0 while more bytes are
// needed to tell, -1 when the bytes cannot start one.
long BarePacketSize(const std::uint8_t* bytes, std::size_t available);

class PeerMessageReader {
 public:
  enum class Result {
    Message,       // *message holds the next message; its bytes are consumed
    NeedMore,      // the buffered bytes may still become a message
    Unrecognised,  // the buffered bytes are no message; Discard() them
  };

  void Append(const std::uint8_t* bytes, std::size_t length);
  Result Next(PeerMessage* message);
  // Drops everything buffered and returns how much that was.
  std::size_t Discard();
  std::size_t buffered() const { return buffer_.size(); }

 private:
  bool TakeScrambled(PeerMessage* message);
  Result TakeHttp(PeerMessage* message);
  void Consume(std::size_t count);

  std::vector<std::uint8_t> buffer_;
};

// What the responder sends back for a message, already wrapped as the
// message was: a handshake is answered with a handshake for the same
// content, every other message with a keep-alive; an HTTP request gets a
// 200 response carrying that answer (404 for another target than /service).
std::vector<std::uint8_t> BuildAnswer(const PeerMessage& message);

}  // namespace talu::responders
