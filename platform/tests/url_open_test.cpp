#include "platform/url_open.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "responders/tcp_test_server.h"

namespace talu::platform {
namespace {

using namespace std::chrono_literals;

// A proxy named in the environment would take the loopback requests elsewhere.
class UrlOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  }
  static std::string UrlFor(std::uint16_t port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/check";
  }
  const UrlOpenSettings quick{"Example", 2000ms, 3000ms};
};

std::string ReadRequest(int fd) {
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const long n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  return request;
}

void SendText(int fd, const std::string& text) { send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

TEST_F(UrlOpenTest, AnyStatusCountsAsOpenedAndTheRequestAsksPastCaches) {
  for (const char* status : {"200 OK", "404 Not Found", "500 Internal Server Error"}) {
    std::string request;
    responders::TcpTestServer server([&](int fd) {
      request = ReadRequest(fd);
      SendText(fd, std::string("HTTP/1.1 ") + status + "\r\nContent-Length: 2\r\n\r\nok");
    });
    EXPECT_TRUE(OpenUrl(UrlFor(server.port()), quick)) << status;
    EXPECT_NE(request.find("GET /check HTTP/1.1\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("User-Agent: Example\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("Cache-Control: no-cache\r\n"), std::string::npos) << request;
  }
}

TEST_F(UrlOpenTest, RefusedPortAndSilentServerDoNotCount) {
  std::uint16_t closedPort;
  {
    responders::TcpTestServer gone([](int) {});
    closedPort = gone.port();
  }
  EXPECT_FALSE(OpenUrl(UrlFor(closedPort), quick));

  responders::TcpTestServer silent([](int fd) {
    ReadRequest(fd);
    char byte;
    recv(fd, &byte, 1, 0);  // until the client gives up and closes
  });
  EXPECT_FALSE(OpenUrl(UrlFor(silent.port()), quick));
}

TEST_F(UrlOpenTest, TheBodyIsNotRead) {
  std::atomic<bool> closedBeforeBody{false};
  responders::TcpTestServer server([&](int fd) {
    ReadRequest(fd);
    SendText(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n");
    char byte;
    // The client hangs up once it has the headers; the body was never sent.
    closedBeforeBody = recv(fd, &byte, 1, 0) == 0;
  });
  EXPECT_TRUE(OpenUrl(UrlFor(server.port()), {"Example", 2000ms, 30000ms}));
  for (int i = 0; i < 500 && !closedBeforeBody; ++i) usleep(10000);
  EXPECT_TRUE(closedBeforeBody);
}

}  // namespace
}  // namespace talu::platform
