// The peer-protocol server's stand-in on TCP 8080 of the primary STUN host:
// decodes whatever wrapping each message of the client's probes comes in
// and answers it in the same wrapping.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "responders/daemon_support.h"
#include "responders/peer_message_reader.h"

namespace {

using talu::responders::DaemonOptions;
using talu::responders::FormatEndpoint;
using talu::responders::PeerMessage;
using talu::responders::PeerMessageReader;
using talu::responders::RecordLog;

constexpr const char* kUsage =
    "usage: talu-peer-responder [--address A] [--port P] [--silent | --close-after N]\n"
    "                           [--record FILE]\n"
    "  Answers every peer-protocol message on TCP A:P (default 0.0.0.0:8080), whether\n"
    "  it comes in a scrambled frame, bare, or as the body of an HTTP POST.\n"
    "  --silent         read and record, never answer\n"
    "  --close-after N  close each connection after its Nth answer (0: at once)\n"
    "  --record FILE    one line per message ('-' for stdout)\n";

// The client waits 5 s for each answer and sends its next message at most
// a second later; a connection idle for much longer has been abandoned.
constexpr std::chrono::milliseconds kIdleTimeout{30000};
// Bytes that have formed no message after this pause never will: a sender
// that waits for an answer has sent its message whole.
constexpr std::chrono::milliseconds kQuietGap{1000};
constexpr std::size_t kMaxConnections = 256;
constexpr std::size_t kReceiveChunk = 4096;

struct Settings {
  bool silent = false;
  bool closeAfter = false;
  unsigned long closeAfterCount = 0;
};

void Serve(int fd, const std::string& peer, const Settings& settings, RecordLog& record) {
  namespace platform = talu::platform;
  PeerMessageReader reader;
  unsigned long answers = 0;
  std::vector<std::uint8_t> chunk(kReceiveChunk);
  if (settings.closeAfter && settings.closeAfterCount == 0) {
    record.Write("from=" + peer + " event=closed answers=0");
    return;
  }
  for (;;) {
    pollfd watched{fd, POLLIN, 0};
    const auto wait = reader.buffered() ? kQuietGap : kIdleTimeout;
    const int ready = ::poll(&watched, 1, static_cast<int>(wait.count()));
    if (ready == 0) {
      if (reader.buffered() == 0) {
        record.Write("from=" + peer + " event=idle");
        return;
      }
      record.Write("from=" + peer + " message=unrecognised size=" + std::to_string(reader.Discard()));
      continue;
    }
    if (ready < 0) continue;
    const long received = platform::Receive(fd, chunk.data(), chunk.size());
    if (received <= 0) {
      record.Write("from=" + peer + " event=end answers=" + std::to_string(answers) +
                   (reader.buffered() ? " leftover=" + std::to_string(reader.buffered()) : ""));
      return;
    }
    reader.Append(chunk.data(), static_cast<std::size_t>(received));
    for (;;) {
      PeerMessage message;
      const auto result = reader.Next(&message);
      if (result == PeerMessageReader::Result::NeedMore) break;
      if (result == PeerMessageReader::Result::Unrecognised) {
        record.Write("from=" + peer + " message=unrecognised size=" + std::to_string(reader.Discard()));
        break;
      }
      std::string line = "from=" + peer + " wrapping=" + WrappingName(message.wrapping) +
                         " message=" + talu::responders::DescribePacket(message.packet) +
                         " size=" + std::to_string(message.packet.size());
      if (message.wrapping == talu::responders::Wrapping::Http) {
        line += " request=" + message.httpMethod + ":" + message.httpTarget;
      }
      if (settings.silent) {
        record.Write(line + " answer=none");
        continue;
      }
      const std::vector<std::uint8_t> answer = BuildAnswer(message);
      const bool sent = platform::Send(fd, answer.data(), answer.size()) ==
                        static_cast<long>(answer.size());
      ++answers;
      record.Write(line + (sent ? " answer=sent" : " answer=failed"));
      if (settings.closeAfter && answers >= settings.closeAfterCount) {
        record.Write("from=" + peer + " event=closed answers=" + std::to_string(answers));
        return;
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  DaemonOptions options(kUsage, {"address", "port", "close-after", "record"}, {"silent"});
  if (!options.Parse(argc, argv)) return 2;
  const auto address = options.Address("address", "0.0.0.0");
  const auto port = options.Number("port", 8080, 1, 65535);
  const auto closeAfter = options.Number("close-after", 0, 0, 1000000);
  if (!address || !port || !closeAfter) return 2;
  Settings settings;
  settings.silent = options.Has("silent");
  settings.closeAfter = options.Has("close-after");
  settings.closeAfterCount = *closeAfter;
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;

  return talu::responders::RunTcpDaemon(
      *address, static_cast<std::uint16_t>(*port), kMaxConnections,
      [&](int fd, std::uint32_t peerAddress, std::uint16_t peerPort) {
        Serve(fd, FormatEndpoint(peerAddress, peerPort), settings, record);
      });
}
