// The reachability page's stand-in: a plain-HTTP server that answers every
// request with a short page. The Internet check only needs a response to
// begin; it never reads the body.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/socket.h"
#include "responders/daemon_support.h"

namespace {

using talu::responders::DaemonOptions;
using talu::responders::FormatEndpoint;
using talu::responders::RecordLog;

constexpr const char* kUsage =
    "usage: talu-page-server [--address A] [--port P] [--record FILE]\n"
    "  Answers every HTTP request on TCP A:P (default 0.0.0.0:80) with 200 and a short page.\n"
    "  --record FILE  one line per request ('-' for stdout)\n";

constexpr std::chrono::milliseconds kRequestTimeout{10000};
constexpr std::size_t kMaxRequestHeader = 16384;
constexpr std::size_t kMaxConnections = 128;
constexpr const char* kBody = "online\n";

void Serve(int fd, const std::string& peer, RecordLog& record) {
  namespace platform = talu::platform;
  std::string request;
  char chunk[2048];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestHeader) {
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, static_cast<int>(kRequestTimeout.count())) <= 0) return;
    const long received = platform::Receive(fd, chunk, sizeof chunk);
    if (received <= 0) return;
    request.append(chunk, static_cast<std::size_t>(received));
  }
  const std::string requestLine = request.substr(0, request.find("\r\n"));
  const bool head = requestLine.rfind("HEAD ", 0) == 0;
  const std::string body = kBody;
  std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\nCache-Control: no-cache\r\n" +
                         "Connection: close\r\n\r\n";
  if (!head) response += body;
  platform::Send(fd, response.data(), response.size());
  record.Write("from=" + peer + " request=" + requestLine);
}

}  // namespace

int main(int argc, char** argv) {
  DaemonOptions options(kUsage, {"address", "port", "record"}, {});
  if (!options.Parse(argc, argv)) return 2;
  const auto address = options.Address("address", "0.0.0.0");
  const auto port = options.Number("port", 80, 1, 65535);
  if (!address || !port) return 2;
  RecordLog record(options.Text("record", ""));
  if (!record.ok()) return 1;
  return talu::responders::RunTcpDaemon(
      *address, static_cast<std::uint16_t>(*port), kMaxConnections,
      [&](int fd, std::uint32_t peerAddress, std::uint16_t peerPort) {
        Serve(fd, FormatEndpoint(peerAddress, peerPort), record);
      });
}
