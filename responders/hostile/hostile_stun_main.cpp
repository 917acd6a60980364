// A STUN server that answers every request with garbage: messages cut
// short, attributes that lie about their lengths or overflow every fixed
// field, datagrams too large to take, and answers that claim other tests.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/socket.h"
#include "responders/daemon_support.h"
#include "responders/hostile/hostile_answers.h"
#include "responders/hostile/hostile_sockets.h"

namespace {

using talu::responders::DaemonOptions;
using talu::responders::FormatEndpoint;
using talu::responders::RecordLog;

constexpr const char* kUsage =
    "usage: talu-hostile-stun [--address A] [--port P] [--trickle-ms N] [--record FILE]\n"
    "  Answers every datagram on UDP A:P (default 0.0.0.0:3478) with the whole set of\n"
    "  hostile STUN answers, each echoing the request's transaction id where it has one.\n"
    "  --trickle-ms N   also send every sender seen one datagram that answers no test,\n"
    "                   every N ms, for as long as the daemon runs\n"
    "  --record FILE    one line per request ('-' for stdout)\n";

// Larger than any request the client builds; longer ones are cut, which
// only changes the echoed id of a datagram that was no request anyway.
constexpr std::size_t kRequestBuffer = 2048;
constexpr unsigned long kFastestTrickleMs = 1;
constexpr unsigned long kSlowestTrickleMs = 60000;
// Byte 0 of a transaction id that names none of the client's tests: the
// datagram is read and passed over, and only keeps the client's wait busy.
constexpr std::uint8_t kNoTestId = 9;
constexpr std::size_t kTrickleSize = 20;

using Endpoint = std::pair<std::uint32_t, std::uint16_t>;

class Trickle {
 public:
  void Add(const Endpoint& sender) {
    std::lock_guard<std::mutex> lock(mutex_);
    senders_.insert(sender);
  }
  // Runs until the process is killed.
  [[noreturn]] void Run(int socket, std::chrono::milliseconds period) {
    std::vector<std::uint8_t> datagram(kTrickleSize, 0);
    datagram[1] = 0x01;  // Binding Response
    datagram[4] = kNoTestId;
    for (;;) {
      std::this_thread::sleep_for(period);
      std::set<Endpoint> senders;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        senders = senders_;
      }
      for (const auto& [address, port] : senders) {
        talu::platform::SendTo(socket, datagram.data(), datagram.size(), address, port);
      }
    }
  }

 private:
  std::mutex mutex_;
  std::set<Endpoint> senders_;
};

}  // namespace

int main(int argc, char** argv) {
  namespace platform = talu::platform;
  namespace hostile = talu::responders::hostile;
  DaemonOptions options(kUsage, {"address", "port", "trickle-ms", "record"}, {});
  if (!options.Parse(argc, argv)) return 2;
  const auto address = options.Address("address", "0.0.0.0");
  const auto port = options.Number("port", 3478, 1, 65535);
  const auto trickleMs = options.Number("trickle-ms", 0, kFastestTrickleMs, kSlowestTrickleMs);
  if (!address || !port || !trickleMs) return 2;
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;
  const int socket = hostile::OpenBoundUdp(*address, static_cast<std::uint16_t>(*port));
  if (socket < 0) return 1;

  // Static: the trickle thread outlives every scope of main.
  static Trickle trickle;
  const bool trickling = options.Has("trickle-ms");
  if (trickling) {
    std::thread([socket, period = std::chrono::milliseconds(*trickleMs)] { trickle.Run(socket, period); })
        .detach();
  }
  std::vector<std::uint8_t> request(kRequestBuffer);
  for (;;) {
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    const long received = platform::ReceiveFrom(socket, request.data(), request.size(), &from, &fromPort);
    if (received < 0) continue;  // an ICMP error of an earlier answer, or a signal
    if (trickling) trickle.Add({from, fromPort});
    const auto answers =
        hostile::BuildHostileStunAnswers({request.data(), static_cast<std::size_t>(received)});
    std::size_t sent = 0;
    for (const auto& answer : answers) {
      if (platform::SendTo(socket, answer.bytes.data(), answer.bytes.size(), from, fromPort) ==
          static_cast<long>(answer.bytes.size())) {
        ++sent;
      }
    }
    record.Write("from=" + FormatEndpoint(from, fromPort) + " size=" + std::to_string(received) +
                 " test=" + (received >= 5 ? std::to_string(request[4]) : "none") +
                 " answers=" + std::to_string(sent) + "/" + std::to_string(answers.size()));
  }
}
