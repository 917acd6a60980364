// A peer-protocol server that answers each message with a megabyte: the
// proper answer, then filler, pushed as fast as the client's window takes.
#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
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
    "usage: talu-hostile-peer [--address A] [--port P] [--answer-bytes N] [--record FILE]\n"
    "  On TCP A:P (default 0.0.0.0:8080), answers every peer-protocol message with its\n"
    "  proper answer followed by filler up to N bytes (default 1 MiB).\n"
    "  --record FILE    one line per connection ('-' for stdout)\n";

constexpr unsigned long kDefaultAnswerBytes = 1ul << 20;
constexpr unsigned long kMostAnswerBytes = 1ul << 30;
constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kReceiveChunk = 4096;
constexpr std::size_t kFillerChunk = 64 * 1024;
// The client pauses at most 700 ms between exchanges and waits 5 s for an
// answer; a connection quiet for much longer has been abandoned.
constexpr std::chrono::milliseconds kIdleTimeout{30000};

struct OwedAnswer {
  std::vector<std::uint8_t> answer;  // the proper answer, sent first
  std::size_t answerSent = 0;
  std::size_t fillerLeft = 0;
};

struct Session {
  PeerMessageReader reader;
  std::deque<OwedAnswer> owed;
  unsigned long messages = 0;
  unsigned long long bytesOwed = 0;
  unsigned long long bytesSent = 0;
};

// Queues an answer for every whole message read so far.
void QueueAnswers(Session& session, unsigned long answerBytes) {
  for (;;) {
    PeerMessage message;
    const auto result = session.reader.Next(&message);
    if (result == PeerMessageReader::Result::NeedMore) return;
    if (result == PeerMessageReader::Result::Unrecognised) {
      session.reader.Discard();
      return;
    }
    OwedAnswer owed;
    owed.answer = talu::responders::BuildAnswer(message);
    owed.fillerLeft = answerBytes > owed.answer.size() ? answerBytes - owed.answer.size() : 0;
    session.bytesOwed += owed.answer.size() + owed.fillerLeft;
    session.owed.push_back(std::move(owed));
    ++session.messages;
  }
}

// Sends from the oldest owed answer until the socket would block. False
// when the connection is gone.
bool SendOwed(int fd, Session& session, const std::vector<std::uint8_t>& filler) {
  while (!session.owed.empty()) {
    OwedAnswer& front = session.owed.front();
    const bool inAnswer = front.answerSent < front.answer.size();
    const std::uint8_t* bytes = inAnswer ? front.answer.data() + front.answerSent : filler.data();
    const std::size_t length =
        inAnswer ? front.answer.size() - front.answerSent : std::min(front.fillerLeft, filler.size());
    if (length == 0) {
      session.owed.pop_front();
      continue;
    }
    const long sent = talu::platform::Send(fd, bytes, length);
    if (sent < 0) return talu::platform::IsTimeoutError(talu::platform::LastSocketError());
    if (inAnswer) {
      front.answerSent += static_cast<std::size_t>(sent);
    } else {
      front.fillerLeft -= static_cast<std::size_t>(sent);
    }
    session.bytesSent += static_cast<unsigned long long>(sent);
  }
  return true;
}

std::string Serve(int fd, unsigned long answerBytes, Session& session) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return "no-nonblocking";
  const std::vector<std::uint8_t> filler(kFillerChunk, 'Z');
  std::vector<std::uint8_t> chunk(kReceiveChunk);
  for (;;) {
    pollfd watched{fd, static_cast<short>(POLLIN | (session.owed.empty() ? 0 : POLLOUT)), 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(kIdleTimeout.count()));
    if (ready == 0) return "idle";
    if (ready < 0) continue;
    if (watched.revents & (POLLIN | POLLHUP | POLLERR)) {
      const long received = talu::platform::Receive(fd, chunk.data(), chunk.size());
      if (received == 0) return "closed-by-client";
      if (received < 0 && !talu::platform::IsTimeoutError(talu::platform::LastSocketError())) {
        return "receive-error";
      }
      if (received > 0) {
        session.reader.Append(chunk.data(), static_cast<std::size_t>(received));
        QueueAnswers(session, answerBytes);
      }
    }
    if (!SendOwed(fd, session, filler)) return "send-error";
  }
}

}  // namespace

int main(int argc, char** argv) {
  DaemonOptions options(kUsage, {"address", "port", "answer-bytes", "record"}, {});
  if (!options.Parse(argc, argv)) return 2;
  const auto address = options.Address("address", "0.0.0.0");
  const auto port = options.Number("port", 8080, 1, 65535);
  const auto answerBytes = options.Number("answer-bytes", kDefaultAnswerBytes, 1, kMostAnswerBytes);
  if (!address || !port || !answerBytes) return 2;
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;
  return talu::responders::RunTcpDaemon(
      *address, static_cast<std::uint16_t>(*port), kMaxConnections,
      [&](int fd, std::uint32_t peerAddress, std::uint16_t peerPort) {
        Session session;
        const std::string end = Serve(fd, *answerBytes, session);
        record.Write("from=" + FormatEndpoint(peerAddress, peerPort) + " messages=" +
                     std::to_string(session.messages) + " owed=" + std::to_string(session.bytesOwed) +
                     " sent=" + std::to_string(session.bytesSent) + " end=" + end);
      });
}
