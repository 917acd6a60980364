#include "peerprobe/tcp_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "checkrun/recording_table.h"
#include "peerprobe/probe_packets.h"
#include "peerprobe/tests/packet_server.h"
#include "platform/socket.h"
#include "schedprobe/tests/probe_test_support.h"

namespace talu {
namespace {

using namespace std::chrono_literals;
using probe_test::AimedAt;
using probe_test::ExpectedPacketShapes;
using probe_test::kIdentifyingBytes;
using probe_test::OpenDescriptorCount;
using probe_test::PacketServer;
using probe_test::PacketShape;
using probe_test::ReceivedExchange;
using probe_test::ServerBehaviour;
using probe_test::WaitForDescriptorCount;

const std::string kChecking = "正在检测.";
const std::vector<std::string> kProgressTexts = {
    "正在检测 HS 包", "正在检测 BF 包", "正在检测 ITr 包", "正在检测 UC 包",
    "正在检测 RQ 包", "正在检测 PC 包", "正在检测 HV 包",
};

// "正在检测." and then the progress texts of the first count packets.
std::vector<std::string> CheckingThroughPacket(std::size_t count) {
  std::vector<std::string> texts{kChecking};
  texts.insert(texts.end(), kProgressTexts.begin(),
               kProgressTexts.begin() + static_cast<std::ptrdiff_t>(count));
  return texts;
}

std::string ExpectedHttpHead(std::size_t bodySize) {
  return "POST /service HTTP/1.1\r\n"
         "Accept: */*\r\n"
         "Cache-Control: no-cache\r\n"
         "Connection: Keep-Alive\r\n"
         "Content-Length: " +
         std::to_string(bodySize) +
         "\r\n"
         "Host: 127.0.0.1:8080\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1;)\r\n"
         "\r\n";
}

void ExpectIsPacket(const ReceivedExchange& exchange, const PacketShape& shape, std::size_t index) {
  ASSERT_EQ(exchange.packet.size(), shape.size) << "packet " << index;
  EXPECT_EQ(std::vector<std::uint8_t>(exchange.packet.begin(),
                                      exchange.packet.begin() + kIdentifyingBytes),
            shape.leadingBytes)
      << "packet " << index;
}

class TcpProbeTest : public ::testing::Test {
 protected:
  std::vector<std::string> History(int row) { return table.History(row); }

  RecordingResultTable table;
  CheckRunState state{table, CheckWorkers{}, MakeProbePacketTable()};
};

struct RowCase {
  const char* name;
  TcpProbeSettings (*settings)();
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RowCase& row, std::ostream* out) { *out << row.name; }

class TcpProbeRowTest : public TcpProbeTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(TcpProbeRowTest, AnsweredServerSeesTheSevenPacketsAndTheRowShowsEachOne) {
  const TcpProbeSettings settings = GetParam().settings();
  PacketServer server(settings.wrapping, ServerBehaviour{});
  ASSERT_TRUE(server.ok());
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  EXPECT_EQ(RunTcpProbe(&state, AimedAt(settings, server.port())), 0);

  std::vector<std::string> expected = CheckingThroughPacket(kProbePacketCount);
  expected.push_back("正常");
  EXPECT_EQ(History(settings.row), expected);
  EXPECT_EQ(server.acceptedCount(), 1u) << "one connection for all seven packets";
  const std::vector<ReceivedExchange> received = server.received();
  const std::vector<PacketShape> shapes = ExpectedPacketShapes();
  ASSERT_EQ(received.size(), shapes.size());
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    ExpectIsPacket(received[i], shapes[i], i);
    switch (settings.wrapping) {
      case PacketWrapping::ScrambledFrame:
        EXPECT_GT(received[i].wireSize, shapes[i].size) << "packet " << i << " went out unframed";
        break;
      case PacketWrapping::Bare:
        EXPECT_EQ(received[i].wireSize, shapes[i].size);
        break;
      case PacketWrapping::HttpPost:
        EXPECT_EQ(received[i].httpHead, ExpectedHttpHead(shapes[i].size));
        EXPECT_EQ(received[i].wireSize, received[i].httpHead.size() + shapes[i].size);
        break;
    }
  }
  EXPECT_TRUE(WaitForDescriptorCount(descriptorsBefore)) << "the probe left its socket open";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TcpProbeRowTest,
    ::testing::Values(RowCase{"PeerProtocolFrames", PeerProtocolProbeSettings},
                      RowCase{"BareBtMessages", BtProbeSettings},
                      RowCase{"HttpPostBodies", HttpProbeSettings}),
    [](const ::testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

TEST_F(TcpProbeTest, ASilentServerFailsTheFirstPacketAfterTheReceiveTimeOut) {
  PacketServer server(PacketWrapping::Bare, ServerBehaviour{.answers = false});
  ASSERT_TRUE(server.ok());
  const std::size_t descriptorsBefore = OpenDescriptorCount();
  const auto start = std::chrono::steady_clock::now();

  RunTcpProbe(&state, AimedAt(BtProbeSettings(), server.port()));

  // A lower bound only: the probe must have waited out its time-out.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 4500ms);
  std::vector<std::string> expected = CheckingThroughPacket(1);
  expected.push_back("接收 HS 包失败");
  EXPECT_EQ(History(rows::kBt), expected);
  EXPECT_EQ(server.received().size(), 1u);
  EXPECT_TRUE(WaitForDescriptorCount(descriptorsBefore));
}

TEST_F(TcpProbeTest, AServerThatClosesAfterItsFourthAnswerEndsTheProbeOnTheFifthPacket) {
  PacketServer server(PacketWrapping::ScrambledFrame, ServerBehaviour{.answersBeforeClosing = 4});
  ASSERT_TRUE(server.ok());
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  RunTcpProbe(&state, AimedAt(PeerProtocolProbeSettings(), server.port()));

  std::vector<std::string> history = History(rows::kPeerProtocol);
  ASSERT_FALSE(history.empty());
  const std::string final = history.back();
  history.pop_back();
  EXPECT_EQ(history, CheckingThroughPacket(5));
  // Whichever of the send and the receive first learns of the closing.
  EXPECT_TRUE(final == "接收 RQ 包失败" || final == "发送 RQ 包失败") << final;
  EXPECT_EQ(server.received().size(), 4u);
  EXPECT_TRUE(WaitForDescriptorCount(descriptorsBefore));
}

TEST_F(TcpProbeTest, ARefusedConnectionIsReported) {
  // Bound but not listening: a connect to it is refused at once.
  const platform::Socket closedPort = platform::CreateSocket(platform::SocketType::Tcp);
  ASSERT_TRUE(platform::BindIpv4(closedPort, 0x7F000001, 0));
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  RunTcpProbe(&state, AimedAt(HttpProbeSettings(), platform::LocalPort(closedPort)));

  EXPECT_EQ(History(rows::kHttp), (std::vector<std::string>{kChecking, "连接Stun失败"}));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
  platform::CloseSocket(closedPort);
}

TEST_F(TcpProbeTest, AnUnresolvableServerIsReportedAndItsSocketClosed) {
  TcpProbeSettings settings = BtProbeSettings();
  settings.serverHost = probe_test::kUnresolvableHost;
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  RunTcpProbe(&state, settings);

  EXPECT_EQ(History(rows::kBt), (std::vector<std::string>{kChecking, "解析Stun域名失败"}));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// The socket comes before the name: with no descriptor to spare the probe
// fails on the socket even for a name that would not resolve.
TEST_F(TcpProbeTest, ASocketThatCannotBeCreatedIsReportedBeforeTheNameIsResolved) {
  TcpProbeSettings settings = BtProbeSettings();
  settings.serverHost = probe_test::kUnresolvableHost;
  probe_test::CheckTableTypeWhileDescriptorsAreFree(state.ResultTable);
  {
    probe_test::NoFreeDescriptors exhausted;
    ASSERT_TRUE(exhausted.ok());
    RunTcpProbe(&state, settings);
  }
  EXPECT_EQ(History(rows::kBt), (std::vector<std::string>{kChecking, "创建TCP套接字失败"}));
}

TEST(HttpRequestHeadTest, IsTheExactHeadForTheBodySize) {
  char head[1024];
  for (const std::size_t bodySize : {kInterestedPacketSize, kHandshakePacketSize, kPiecePacketSize}) {
    const std::string expected = ExpectedHttpHead(bodySize);
    ASSERT_EQ(FormatHttpRequestHead(head, sizeof head, bodySize), expected.size());
    EXPECT_EQ(std::string(head, expected.size()), expected);
  }
}

TEST(HttpRequestHeadTest, RefusesABufferWithoutRoomForTheHeadAndItsTerminator) {
  const std::size_t headSize = ExpectedHttpHead(kPiecePacketSize).size();
  std::vector<char> buffer(headSize + 1, 'x');
  EXPECT_EQ(FormatHttpRequestHead(buffer.data(), headSize, kPiecePacketSize), 0u);
  EXPECT_EQ(buffer[headSize], 'x') << "wrote past the capacity it was given";
  EXPECT_EQ(FormatHttpRequestHead(buffer.data(), headSize + 1, kPiecePacketSize), headSize);
  EXPECT_EQ(FormatHttpRequestHead(buffer.data(), 0, kPiecePacketSize), 0u);
}

}  // namespace
}  // namespace talu
