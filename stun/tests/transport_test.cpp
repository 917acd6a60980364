#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "platform/clock.h"
#include "platform/socket.h"
#include "stun/binding_request.h"
#include "stun/random_source.h"
#include "stun/testing/log_capture.h"
#include "stun/udp_transport.h"

namespace talu::stun {
namespace {

using testing::ScopedLogCapture;
using Lines = std::vector<std::string>;

constexpr std::uint32_t kLoopback = 0x7F000001;
// An address of no interface here (TEST-NET-3): binding to it must fail.
constexpr std::uint32_t kForeignAddress = 0xCB007109;  // 203.0.113.9
constexpr int kDrawsToCheck = 20000;

TEST(StunRandom, WordsKeepBits15And31ClearAndPortsStayInRange) {
  std::uint32_t seenBits = 0;
  for (int i = 0; i < kDrawsToCheck; ++i) {
    const std::uint32_t word = RandomWord();
    EXPECT_EQ(word & 0x80008000u, 0u);
    seenBits |= word;
    const std::uint16_t port = PickLocalPort();
    ASSERT_GE(port, 4096);
    ASSERT_LE(port, 8191);
  }
  EXPECT_EQ(seenBits, 0x7FFF7FFFu);  // every other bit does turn up
}

// Several threads drawing at once: ThreadSanitizer's job, and the words
// stay well formed.
TEST(StunRandom, DrawsFromManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::atomic<bool> malformed{false};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kDrawsToCheck / 4; ++i) {
        if (RandomWord() & 0x80008000u) malformed = true;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(malformed);
}

TEST(BindingRequest, TestNumberChangeFlagsAndUsername) {
  struct Case {
    bool changePort;
    bool changeIp;
    std::uint32_t expected;
  } const cases[] = {{false, false, 0}, {false, true, 4}, {true, false, 2}, {true, true, 6}};
  for (const Case& c : cases) {
    StunRecord record;
    record.xorOnly = true;  // cleared by the build
    BuildBindingRequest(record, c.changePort, c.changeIp, TextValue{}, 0);
    EXPECT_EQ(record.messageType, 0x0001);
    EXPECT_TRUE(record.changeRequestPresent);
    EXPECT_EQ(record.changeRequest, c.expected);
    EXPECT_FALSE(record.usernamePresent);
    EXPECT_FALSE(record.xorOnly);
  }
  StunRecord withName;
  BuildBindingRequest(withName, false, false, MakeTextValue("alice"), 0);
  EXPECT_TRUE(withName.usernamePresent);
  EXPECT_EQ(withName.username.length, 5);
  EXPECT_EQ(withName.username.bytes[4], 'e');
}

TEST(BindingRequest, TestNumberInByteZeroAndFreshRandomBytesElsewhere) {
  StunRecord first;
  StunRecord second;
  BuildBindingRequest(first, false, false, TextValue{}, 3);
  BuildBindingRequest(second, false, false, TextValue{}, 3);
  EXPECT_EQ(first.transactionId[0], 3);
  EXPECT_EQ(second.transactionId[0], 3);
  EXPECT_NE(std::vector<std::uint8_t>(first.transactionId.begin() + 1, first.transactionId.end()),
            std::vector<std::uint8_t>(second.transactionId.begin() + 1, second.transactionId.end()));
  for (std::size_t odd = 1; odd < kTransactionIdSize; odd += 2) {
    EXPECT_EQ(first.transactionId[odd] & 0x80, 0) << odd;  // bit 15 or 31 of a word
  }
}

// --- sockets ----------------------------------------------------------------------

struct OwnedSocket {
  platform::Socket socket;
  explicit OwnedSocket(platform::Socket s) : socket(s) {}
  ~OwnedSocket() { platform::CloseSocket(socket); }
};

TEST(OpenUdpSocket, LinesForEachWayItGoes) {
  OwnedSocket holder(platform::CreateSocket(platform::SocketType::Udp));
  ASSERT_TRUE(platform::BindIpv4(holder.socket, 0, 0));
  const std::uint16_t held = platform::LocalPort(holder.socket);

  ScopedLogCapture capture;
  EXPECT_EQ(OpenUdpSocket(0, held, true), platform::kInvalidSocket);
  EXPECT_EQ(capture.ErrorLines(), Lines{"Port " + std::to_string(held) + " for receiving UDP is in use"});

  capture.Clear();
  EXPECT_EQ(OpenUdpSocket(kForeignAddress, 0, false), platform::kInvalidSocket);
  EXPECT_TRUE(capture.ErrorLines().empty());
  EXPECT_TRUE(capture.InfoLines().empty());

  capture.Clear();
  EXPECT_EQ(OpenUdpSocket(kForeignAddress, 0, true), platform::kInvalidSocket);
  EXPECT_EQ(capture.InfoLines(), Lines{"Binding to interface 0x97100cb"});
  EXPECT_EQ(capture.ErrorLines(), Lines{"Cannot assign requested address"});

  capture.Clear();
  OwnedSocket opened(OpenUdpSocket(0x7F000003, 0, true));  // 127.0.0.3
  ASSERT_NE(opened.socket, platform::kInvalidSocket);
  EXPECT_EQ(capture.InfoLines(), (Lines{"Binding to interface 0x300007f",
                                        "Opened port 0 with fd " + std::to_string(opened.socket)}));
}

TEST(OpenUdpSocket, LoopbackMeansEveryInterface) {
  ScopedLogCapture capture;
  OwnedSocket opened(OpenUdpSocket(kLoopback, 0, true));
  ASSERT_NE(opened.socket, platform::kInvalidSocket);
  ASSERT_EQ(capture.InfoLines().size(), 1u);  // no "Binding to interface" line
  // Reachable through another loopback address, so bound to the wildcard.
  OwnedSocket sender(platform::CreateSocket(platform::SocketType::Udp));
  const std::uint8_t byte = 1;
  platform::SendTo(sender.socket, &byte, 1, 0x7F000007, platform::LocalPort(opened.socket));
  ASSERT_TRUE(platform::SetReceiveTimeout(opened.socket, std::chrono::milliseconds(10000)));
  std::uint8_t got = 0;
  EXPECT_EQ(platform::Receive(opened.socket, &got, 1), 1);
}

class ReceiveDatagramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(receiver.socket, platform::kInvalidSocket);
    ASSERT_TRUE(platform::SetReceiveTimeout(receiver.socket, std::chrono::milliseconds(10000)));
    port = platform::LocalPort(receiver.socket);
  }
  void SendOf(std::size_t size) {
    const std::vector<std::uint8_t> bytes(size, 0xAB);
    ASSERT_EQ(platform::SendTo(sender.socket, bytes.data(), bytes.size(), kLoopback, port),
              static_cast<long>(size));
  }

  OwnedSocket receiver{OpenUdpSocket(kLoopback, 0, false)};
  OwnedSocket sender{platform::CreateSocket(platform::SocketType::Udp)};
  std::uint16_t port = 0;
  std::array<std::uint8_t, 2048> buffer{};
};

TEST_F(ReceiveDatagramTest, SizesAtTheEdgeOfTheBuffer) {
  ScopedLogCapture capture;
  SendOf(2046);
  std::size_t size = buffer.size();
  buffer.fill(0xFF);
  ASSERT_TRUE(ReceiveDatagram(receiver.socket, buffer.data(), &size));
  EXPECT_EQ(size, 2046u);
  EXPECT_EQ(buffer[2046], 0);  // terminated right after the datagram

  SendOf(2047);
  size = buffer.size();
  EXPECT_FALSE(ReceiveDatagram(receiver.socket, buffer.data(), &size));
  SendOf(0);
  size = buffer.size();
  EXPECT_FALSE(ReceiveDatagram(receiver.socket, buffer.data(), &size));
  EXPECT_EQ(capture.InfoLines(),
            (Lines{"Received a message that was too large", "socket closed? zero len"}));
  EXPECT_TRUE(capture.ErrorLines().empty());
}

TEST(ReceiveDatagram, FailuresOfTheReceiveItself) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  OwnedSocket unconnected(platform::CreateSocket(platform::SocketType::Tcp));
  std::array<std::uint8_t, 64> buffer{};
  ScopedLogCapture capture;
  std::size_t size = buffer.size();
  EXPECT_FALSE(ReceiveDatagram(pipeEnds[0], buffer.data(), &size));
  size = buffer.size();
  EXPECT_FALSE(ReceiveDatagram(unconnected.socket, buffer.data(), &size));
  EXPECT_EQ(capture.ErrorLines(),
            (Lines{"Error fd not a socket", "Socket Error=" + std::to_string(ENOTCONN)}));
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST(SendDatagram, WholeDatagramOrALine) {
  OwnedSocket receiver(OpenUdpSocket(kLoopback, 0, false));
  OwnedSocket sender(platform::CreateSocket(platform::SocketType::Udp));
  const std::uint8_t bytes[28] = {0, 1};
  ScopedLogCapture capture;
  EXPECT_TRUE(SendDatagram(sender.socket, bytes, sizeof bytes, kLoopback,
                           platform::LocalPort(receiver.socket), true));
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  EXPECT_FALSE(SendDatagram(pipeEnds[1], bytes, sizeof bytes, kLoopback, 9, true));
  EXPECT_EQ(capture.ErrorLines(),
            Lines{"err " + std::to_string(ENOTSOCK) + " " + platform::SocketErrorText(ENOTSOCK) +
                  " in send"});
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

// A refused destination is what the tests find out about, not a fault.
TEST(SendDatagram, RefusedDestinationIsQuiet) {
  OwnedSocket closed(OpenUdpSocket(kLoopback, 0, false));
  const std::uint16_t closedPort = platform::LocalPort(closed.socket);
  platform::CloseSocket(closed.socket);
  closed.socket = platform::kInvalidSocket;

  OwnedSocket sender(platform::CreateSocket(platform::SocketType::Udp));
  ASSERT_TRUE(platform::ConnectIpv4(sender.socket, kLoopback, closedPort));
  const std::uint8_t bytes[4] = {};
  ScopedLogCapture capture;
  bool refused = false;
  // The refusal arrives with the first datagram's ICMP answer; bounded generously.
  for (int attempt = 0; attempt < 500 && !refused; ++attempt) {
    refused = !SendDatagram(sender.socket, bytes, sizeof bytes, kLoopback, closedPort, true);
    if (!refused) platform::SleepFor(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(refused);
  EXPECT_TRUE(capture.ErrorLines().empty());
}

}  // namespace
}  // namespace talu::stun
