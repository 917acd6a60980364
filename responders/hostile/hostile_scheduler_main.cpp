// A scheduler that floods: every new sender gets a torrent of datagrams of
// every size, from the scheduler's own address and port, many per second.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <list>
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
    "usage: talu-hostile-scheduler [--address A] [--port P] [--datagrams N] [--burst B]\n"
    "                              [--record FILE]\n"
    "  On UDP A:P (default 0.0.0.0:80), floods each new sender with N datagrams (default\n"
    "  10000), B of them (default 20) every 10 ms, cycling through sizes from 0 to 65507.\n"
    "  --record FILE    one line per flood started and ended\n";

constexpr unsigned long kDefaultDatagrams = 10000;
constexpr unsigned long kDefaultBurst = 20;
constexpr unsigned long kMostDatagrams = 10000000;
constexpr unsigned long kMostBurst = 10000;
// Paces the bursts: B datagrams per pause makes 100 B a second per sender.
constexpr std::chrono::milliseconds kBurstPause{10};
constexpr std::chrono::milliseconds kIdleWait{1000};
constexpr std::size_t kReceiveBuffer = 2048;
constexpr std::size_t kLargestDatagram = 65507;
// A few floods at once are plenty; more senders wait until one ends.
constexpr std::size_t kMostFloods = 16;
// The probe's header, echoed at the start of each datagram that has room.
constexpr std::size_t kEchoedBytes = 8;

struct Flood {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  unsigned long left = 0;
  unsigned long sent = 0;
  unsigned long failed = 0;
  std::size_t nextSize = 0;
};

std::string Describe(const Flood& flood) {
  return "to=" + FormatEndpoint(flood.address, flood.port) + " sent=" + std::to_string(flood.sent) +
         " failed=" + std::to_string(flood.failed);
}

void SendBurst(int socket, Flood& flood, unsigned long burst, const std::vector<std::uint8_t>& payload) {
  const auto sizes = talu::responders::hostile::SchedulerFloodSizes();
  for (unsigned long i = 0; i < burst && flood.left > 0; ++i, --flood.left) {
    const std::size_t size = sizes[flood.nextSize++ % sizes.size()];
    if (talu::platform::SendTo(socket, payload.data(), size, flood.address, flood.port) ==
        static_cast<long>(size)) {
      ++flood.sent;
    } else {
      ++flood.failed;
    }
  }
}

bool Flooding(const std::list<Flood>& floods, std::uint32_t address, std::uint16_t port) {
  return std::any_of(floods.begin(), floods.end(),
                     [&](const Flood& f) { return f.address == address && f.port == port; });
}

}  // namespace

int main(int argc, char** argv) {
  namespace platform = talu::platform;
  DaemonOptions options(kUsage, {"address", "port", "datagrams", "burst", "record"}, {});
  if (!options.Parse(argc, argv)) return 2;
  const auto address = options.Address("address", "0.0.0.0");
  const auto port = options.Number("port", 80, 1, 65535);
  const auto datagrams = options.Number("datagrams", kDefaultDatagrams, 1, kMostDatagrams);
  const auto burst = options.Number("burst", kDefaultBurst, 1, kMostBurst);
  if (!address || !port || !datagrams || !burst) return 2;
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;
  const int socket = talu::responders::hostile::OpenBoundUdp(*address, static_cast<std::uint16_t>(*port));
  if (socket < 0) return 1;

  std::vector<std::uint8_t> payload(kLargestDatagram, 0xA5);
  std::vector<std::uint8_t> request(kReceiveBuffer);
  std::list<Flood> floods;
  for (;;) {
    pollfd watched{socket, POLLIN, 0};
    const auto wait = floods.empty() ? kIdleWait : kBurstPause;
    if (::poll(&watched, 1, static_cast<int>(wait.count())) > 0) {
      Flood flood;
      const long received =
          platform::ReceiveFrom(socket, request.data(), request.size(), &flood.address, &flood.port);
      if (received >= 0 && floods.size() < kMostFloods && !Flooding(floods, flood.address, flood.port)) {
        std::copy_n(request.begin(), std::min<std::size_t>(kEchoedBytes, static_cast<std::size_t>(received)),
                    payload.begin());
        flood.left = *datagrams;
        floods.push_back(flood);
        record.Write("flood started to=" + FormatEndpoint(flood.address, flood.port) +
                     " request=" + std::to_string(received));
      }
    }
    // A burst after every wake-up, so that a stream of requests cannot stall the floods.
    for (auto it = floods.begin(); it != floods.end();) {
      SendBurst(socket, *it, *burst, payload);
      if (it->left == 0) {
        record.Write("flood ended " + Describe(*it));
        it = floods.erase(it);
      } else {
        ++it;
      }
    }
  }
}
