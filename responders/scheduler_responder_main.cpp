// The scheduler service's stand-in: answers the client's UDP probes.
// A deployment runs one per scheduler host; the lab runs two.
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "platform/socket.h"
#include "responders/daemon_support.h"

namespace {

using talu::responders::DaemonOptions;
using talu::responders::FormatEndpoint;
using talu::responders::HexBytes;
using talu::responders::RecordLog;

constexpr const char* kUsage =
    "usage: talu-scheduler-responder [--address A] [--port P] [--silent | --answer-from N]\n"
    "                                [--record FILE]\n"
    "  Answers every datagram on UDP A:P (default 0.0.0.0:80) with its first 8 bytes.\n"
    "  --silent         read and record, never answer\n"
    "  --answer-from N  answer a sender only from its Nth datagram on (1 = always)\n"
    "  --record FILE    one line per datagram ('-' for stdout)\n";

// The probe's datagrams carry an 8-byte header; echoing just that much keeps
// the answer shorter than any request, so the service amplifies nothing.
constexpr std::size_t kAnswerSize = 8;
constexpr std::size_t kMaxDatagram = 2048;
// Senders counted for --answer-from; beyond this the counts start afresh,
// which costs a resending client one more try at worst.
constexpr std::size_t kMaxTrackedSenders = 65536;
constexpr std::size_t kRecordedBytes = 64;

}  // namespace

int main(int argc, char** argv) {
  namespace platform = talu::platform;
  DaemonOptions options(kUsage, {"address", "port", "answer-from", "record"}, {"silent"});
  if (!options.Parse(argc, argv)) return 2;
  const auto address = options.Address("address", "0.0.0.0");
  const auto port = options.Number("port", 80, 1, 65535);
  const auto answerFrom = options.Number("answer-from", 1, 1, 1000000);
  if (!address || !port || !answerFrom) return 2;
  const bool silent = options.Has("silent");
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;

  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Udp);
  if (socket == platform::kInvalidSocket ||
      !platform::BindIpv4(socket, *address, static_cast<std::uint16_t>(*port))) {
    std::fprintf(stderr, "cannot bind UDP %s: %s\n",
                 FormatEndpoint(*address, static_cast<std::uint16_t>(*port)).c_str(),
                 platform::SocketErrorText(platform::LastSocketError()).c_str());
    return 1;
  }

  std::map<std::pair<std::uint32_t, std::uint16_t>, unsigned long> seen;
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  for (;;) {
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    const long received = platform::ReceiveFrom(socket, buffer.data(), buffer.size(), &from, &fromPort);
    if (received < 0) continue;  // an ICMP error of an earlier answer, or a signal
    if (seen.size() >= kMaxTrackedSenders) seen.clear();
    const unsigned long sequence = ++seen[{from, fromPort}];
    const bool answer = !silent && sequence >= *answerFrom;
    if (answer) {
      platform::SendTo(socket, buffer.data(),
                       std::min(kAnswerSize, static_cast<std::size_t>(received)), from, fromPort);
    }
    record.Write("from=" + FormatEndpoint(from, fromPort) + " n=" + std::to_string(sequence) +
                 " size=" + std::to_string(received) + " answer=" + (answer ? "sent" : "none") +
                 " bytes=" + HexBytes(buffer.data(), static_cast<std::size_t>(received), kRecordedBytes));
  }
}
