#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <string>

#include "platform/socket.h"
#include "responders/tcp_test_server.h"
#include "responders/udp_test_responder.h"

namespace talu::responders {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr std::chrono::milliseconds kGenerousWait{10000};

platform::Socket ConnectTo(std::uint16_t port) {
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Tcp);
  platform::SetReceiveTimeout(socket, kGenerousWait);
  EXPECT_TRUE(platform::ConnectIpv4(socket, kLoopback, port));
  return socket;
}

TEST(TcpTestServer, RunsTheHandlerForEachConnectionAtTheSameTime) {
  TcpTestServer server([](int fd) {
    char buffer[64];
    const long received = platform::Receive(fd, buffer, sizeof buffer);
    if (received > 0) platform::Send(fd, buffer, static_cast<std::size_t>(received));
  });
  ASSERT_TRUE(server.ok());
  // Both connections are open before either sends: a server serving them one
  // after the other would leave the first receive below waiting.
  const platform::Socket first = ConnectTo(server.port());
  const platform::Socket second = ConnectTo(server.port());
  for (const auto& [socket, text] : {std::pair{second, std::string("two")}, {first, "one"}}) {
    ASSERT_EQ(platform::Send(socket, text.data(), text.size()), static_cast<long>(text.size()));
    char reply[64] = {};
    ASSERT_EQ(platform::Receive(socket, reply, sizeof reply), static_cast<long>(text.size()));
    EXPECT_EQ(std::string(reply), text);
  }
  EXPECT_EQ(server.acceptedCount(), 2u);
  platform::CloseSocket(first);
  platform::CloseSocket(second);
}

TEST(TcpTestServer, DestructorReturnsWhileAHandlerIsBlockedInAReceive) {
  std::atomic<bool> handlerEnded{false};
  platform::Socket client;
  {
    TcpTestServer server([&](int fd) {
      char byte;
      platform::Receive(fd, &byte, 1);  // the client never sends
      handlerEnded = true;
    });
    client = ConnectTo(server.port());
    // Make sure the connection is being served before the server goes away.
    while (server.acceptedCount() == 0) std::this_thread::yield();
  }
  EXPECT_TRUE(handlerEnded);
  // The server side closed the connection: the client sees the end.
  char byte;
  EXPECT_EQ(platform::Receive(client, &byte, 1), 0);
  platform::CloseSocket(client);
}

TEST(TcpTestServer, ClosesTheConnectionWhenTheHandlerReturns) {
  TcpTestServer server([](int fd) { platform::Send(fd, "x", 1); });
  const platform::Socket client = ConnectTo(server.port());
  char buffer[8];
  EXPECT_EQ(platform::Receive(client, buffer, sizeof buffer), 1);
  EXPECT_EQ(platform::Receive(client, buffer, sizeof buffer), 0);
  platform::CloseSocket(client);
}

struct PolicyCase {
  const char* name;
  AnswerPolicy policy;
  std::vector<bool> answered;  // per datagram sent, in order
  friend void PrintTo(const PolicyCase& c, std::ostream* os) { *os << c.name; }
};

class UdpTestResponderPolicy : public testing::TestWithParam<PolicyCase> {};

TEST_P(UdpTestResponderPolicy, AnswersExactlyTheDatagramsThePolicyNames) {
  const PolicyCase& c = GetParam();
  UdpTestResponder responder(c.policy);
  ASSERT_TRUE(responder.ok());
  const platform::Socket client = platform::CreateSocket(platform::SocketType::Udp);
  ASSERT_TRUE(platform::BindIpv4(client, kLoopback, 0));
  // Short: a missing answer is expected in some rows, and the responder has
  // already sent any answer once WaitForCount returns.
  platform::SetReceiveTimeout(client, std::chrono::milliseconds(200));
  for (std::size_t i = 0; i < c.answered.size(); ++i) {
    const std::uint8_t datagram[3] = {0xAB, static_cast<std::uint8_t>(i), 0x00};
    ASSERT_EQ(platform::SendTo(client, datagram, sizeof datagram, kLoopback, responder.port()), 3);
    ASSERT_TRUE(responder.WaitForCount(i + 1));
    std::uint8_t reply[16];
    const long received = platform::ReceiveFrom(client, reply, sizeof reply, nullptr, nullptr);
    EXPECT_EQ(received > 0, c.answered[i]) << "datagram " << i + 1;
    if (received > 0) {
      EXPECT_EQ(received, 3);
      EXPECT_EQ(reply[1], i);
    }
  }
  const auto received = responder.received();
  ASSERT_EQ(received.size(), c.answered.size());
  EXPECT_EQ(received[0].fromAddress, kLoopback);
  EXPECT_EQ(received[0].fromPort, platform::LocalPort(client));
  EXPECT_EQ(received.back().bytes, (std::vector<std::uint8_t>{0xAB, static_cast<std::uint8_t>(c.answered.size() - 1), 0x00}));
  platform::CloseSocket(client);
}

INSTANTIATE_TEST_SUITE_P(
    Policies, UdpTestResponderPolicy,
    testing::Values(PolicyCase{"Always", AnswerPolicy::Always(), {true, true}},
                    PolicyCase{"Never", AnswerPolicy::Never(), {false, false, false}},
                    PolicyCase{"FromThird", AnswerPolicy::FromNth(3), {false, false, true, true}}),
    [](const testing::TestParamInfo<PolicyCase>& info) { return std::string(info.param.name); });

TEST(UdpTestResponder, ReplyMakerShapesTheAnswer) {
  UdpTestResponder responder(AnswerPolicy::Always(), [](const ReceivedDatagram& datagram) {
    return std::vector<std::uint8_t>{static_cast<std::uint8_t>(datagram.bytes.size())};
  });
  const platform::Socket client = platform::CreateSocket(platform::SocketType::Udp);
  platform::SetReceiveTimeout(client, kGenerousWait);
  const std::uint8_t datagram[28] = {};
  platform::SendTo(client, datagram, sizeof datagram, kLoopback, responder.port());
  std::uint8_t reply[4];
  ASSERT_EQ(platform::ReceiveFrom(client, reply, sizeof reply, nullptr, nullptr), 1);
  EXPECT_EQ(reply[0], 28);
  platform::CloseSocket(client);
}

}  // namespace
}  // namespace talu::responders
