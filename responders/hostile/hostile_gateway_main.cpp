// A fake gateway at the router's LAN address: it answers the SSDP search
// like a real one, but its device description is several megabytes long.
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
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
    "usage: talu-hostile-gateway --address G [--http-port P] [--description-bytes N]\n"
    "                            [--record FILE]\n"
    "  Answers SSDP searches for a WAN connection service on the interface holding G\n"
    "  with a description at http://G:P/ (default port 5001), and serves on TCP G:P a\n"
    "  description of N bytes (default 8 MiB) to every request.\n"
    "  --record FILE    one line per search and per description served\n";

constexpr unsigned long kDefaultHttpPort = 5001;
constexpr unsigned long kDefaultDescriptionBytes = 8ul << 20;
constexpr unsigned long kMostDescriptionBytes = 1ul << 30;
constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kSearchBuffer = 2048;
// The request is one short GET; more than this without its blank line is
// no request of the client's.
constexpr std::size_t kMaxRequestBytes = 4096;
// Enough for a client that reads at all; a client that stopped reading is
// let go instead of holding a thread for ever.
constexpr std::chrono::milliseconds kSocketPatience{10000};

std::string ReadRequestHead(int fd) {
  std::string head;
  std::vector<char> chunk(kMaxRequestBytes);
  while (head.size() < kMaxRequestBytes && head.find("\r\n\r\n") == std::string::npos) {
    const long received = talu::platform::Receive(fd, chunk.data(), kMaxRequestBytes - head.size());
    if (received <= 0) break;
    head.append(chunk.data(), static_cast<std::size_t>(received));
  }
  return head;
}

// Sends as much of the reply as the client takes; returns the bytes sent.
std::size_t SendWhatIsTaken(int fd, const std::string& reply) {
  std::size_t sent = 0;
  while (sent < reply.size()) {
    const long piece = talu::platform::Send(fd, reply.data() + sent, reply.size() - sent);
    if (piece <= 0) break;
    sent += static_cast<std::size_t>(piece);
  }
  return sent;
}

void ServeDescription(int fd, const std::string& peer, const std::string& reply, RecordLog& record) {
  talu::platform::SetReceiveTimeout(fd, kSocketPatience);
  talu::platform::SetSendTimeout(fd, kSocketPatience);
  const std::string head = ReadRequestHead(fd);
  const std::string requestLine = head.substr(0, head.find("\r\n"));
  const std::size_t sent = SendWhatIsTaken(fd, reply);
  record.Write("description from=" + peer + " request=\"" + requestLine + "\" sent=" +
               std::to_string(sent) + "/" + std::to_string(reply.size()));
}

void AnswerSearches(int socket, std::uint32_t gateway, std::uint16_t httpPort, RecordLog& record) {
  std::vector<char> search(kSearchBuffer);
  for (;;) {
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    const long received =
        talu::platform::ReceiveFrom(socket, search.data(), search.size(), &from, &fromPort);
    if (received <= 0) continue;
    const std::string type = talu::responders::hostile::SearchedWanServiceType(
        std::string_view(search.data(), static_cast<std::size_t>(received)));
    if (type.empty()) continue;
    const std::string answer = talu::responders::hostile::BuildGatewaySearchAnswer(type, gateway, httpPort);
    talu::platform::SendTo(socket, answer.data(), answer.size(), from, fromPort);
    record.Write("search from=" + FormatEndpoint(from, fromPort) + " st=" + type);
  }
}

}  // namespace

int main(int argc, char** argv) {
  namespace hostile = talu::responders::hostile;
  DaemonOptions options(kUsage, {"address", "http-port", "description-bytes", "record"}, {});
  if (!options.Parse(argc, argv)) return 2;
  const auto gateway = options.Address("address", "");
  const auto httpPort = options.Number("http-port", kDefaultHttpPort, 1, 65535);
  const auto bodyBytes =
      options.Number("description-bytes", kDefaultDescriptionBytes, 0, kMostDescriptionBytes);
  if (!gateway || !httpPort || !bodyBytes) return 2;
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;
  const int ssdp = hostile::OpenSsdpListener(*gateway);
  if (ssdp < 0) return 1;

  const std::string reply = hostile::BuildOversizedDescriptionReply(*bodyBytes);
  const auto port = static_cast<std::uint16_t>(*httpPort);
  // Detached: the daemon runs until it is killed.
  std::thread([&] { AnswerSearches(ssdp, *gateway, port, record); }).detach();
  const int status = talu::responders::RunTcpDaemon(
      *gateway, port, kMaxConnections, [&](int fd, std::uint32_t peerAddress, std::uint16_t peerPort) {
        ServeDescription(fd, FormatEndpoint(peerAddress, peerPort), reply, record);
      });
  // The search thread still uses main's locals: leave without destroying them.
  std::_Exit(status);
}
