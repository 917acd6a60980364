// The five probes of rows 3, 5, 6, 7 and 8 at once, each with its own row's
// settings, against slow peers that behave differently per row: a probe that
// wrote into another's row would show there a sequence that is not its own.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "checkrun/recording_table.h"
#include "peerprobe/tcp_probe.h"
#include "peerprobe/tests/packet_server.h"
#include "responders/udp_test_responder.h"
#include "schedprobe/tests/probe_test_support.h"
#include "schedprobe/udp_probe.h"

namespace talu {
namespace {

using namespace std::chrono_literals;
using probe_test::AimedAt;
using probe_test::PacketServer;
using probe_test::ServerBehaviour;
using responders::AnswerPolicy;
using responders::ReceivedDatagram;
using responders::UdpTestResponder;

// Slow enough that the probes' exchanges overlap throughout.
constexpr auto kSlowAnswer = 200ms;

std::vector<std::uint8_t> EchoSlowly(const ReceivedDatagram& datagram) {
  std::this_thread::sleep_for(kSlowAnswer);
  return datagram.bytes;
}

UdpProbeSettings AimedAt(UdpProbeSettings settings, std::uint16_t port) {
  settings.host = probe_test::kLoopbackHost;
  settings.port = port;
  return settings;
}

std::vector<std::string> Texts(std::initializer_list<const char*> texts) {
  return {texts.begin(), texts.end()};
}

TEST(ConcurrentProbesTest, FiveProbesAtOnceEachWriteOnlyTheirOwnRow) {
  UdpTestResponder scheduler(AnswerPolicy::Always(), EchoSlowly);
  UdpTestResponder highSpeed(AnswerPolicy::FromNth(2), EchoSlowly);
  PacketServer frames(PacketWrapping::ScrambledFrame, ServerBehaviour{.answerDelay = kSlowAnswer});
  PacketServer bare(PacketWrapping::Bare,
                    ServerBehaviour{.answersBeforeClosing = 4, .answerDelay = kSlowAnswer});
  PacketServer http(PacketWrapping::HttpPost,
                    ServerBehaviour{.answersBeforeClosing = 6, .answerDelay = kSlowAnswer});
  ASSERT_TRUE(scheduler.ok() && highSpeed.ok() && frames.ok() && bare.ok() && http.ok());
  RecordingResultTable table;
  CheckRunState state(table, CheckWorkers{}, MakeProbePacketTable());

  std::vector<std::thread> probes;
  probes.emplace_back(RunUdpProbe, &state, AimedAt(SchedulerProbeSettings(), scheduler.port()));
  probes.emplace_back(RunUdpProbe, &state,
                      AimedAt(HighSpeedSchedulerProbeSettings(), highSpeed.port()));
  probes.emplace_back(RunTcpProbe, &state, AimedAt(PeerProtocolProbeSettings(), frames.port()));
  probes.emplace_back(RunTcpProbe, &state, AimedAt(BtProbeSettings(), bare.port()));
  probes.emplace_back(RunTcpProbe, &state, AimedAt(HttpProbeSettings(), http.port()));
  for (std::thread& probe : probes) probe.join();

  EXPECT_EQ(table.History(rows::kScheduler), Texts({"正在检测.", "正常"}));
  EXPECT_EQ(table.History(rows::kHighSpeedScheduler),
            Texts({"正在检测.", "接收超时,第2次重新发送", "正常"}));
  EXPECT_EQ(table.History(rows::kPeerProtocol),
            Texts({"正在检测.", "正在检测 HS 包", "正在检测 BF 包", "正在检测 ITr 包",
                   "正在检测 UC 包", "正在检测 RQ 包", "正在检测 PC 包", "正在检测 HV 包",
                   "正常"}));

  std::vector<std::string> bt = table.History(rows::kBt);
  ASSERT_EQ(bt.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(bt.begin(), bt.end() - 1),
            Texts({"正在检测.", "正在检测 HS 包", "正在检测 BF 包", "正在检测 ITr 包",
                   "正在检测 UC 包", "正在检测 RQ 包"}));
  EXPECT_TRUE(bt.back() == "接收 RQ 包失败" || bt.back() == "发送 RQ 包失败") << bt.back();

  std::vector<std::string> httpRow = table.History(rows::kHttp);
  ASSERT_EQ(httpRow.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(httpRow.begin(), httpRow.end() - 1),
            Texts({"正在检测.", "正在检测 HS 包", "正在检测 BF 包", "正在检测 ITr 包",
                   "正在检测 UC 包", "正在检测 RQ 包", "正在检测 PC 包", "正在检测 HV 包"}));
  EXPECT_TRUE(httpRow.back() == "接收 HV 包失败" || httpRow.back() == "发送 HV 包失败")
      << httpRow.back();

  for (const int untouched : {rows::kInternet, rows::kUpnp, rows::kNatType, rows::kCacheScheduler}) {
    EXPECT_TRUE(table.History(untouched).empty()) << "row " << untouched;
  }
  // Each peer saw its own row's traffic: the datagram sizes and the wrappings
  // it could take apart tell the rows' settings apart.
  for (const ReceivedDatagram& datagram : scheduler.received()) {
    EXPECT_EQ(datagram.bytes.size(), kSchedulerProbeDatagramSize);
  }
  for (const ReceivedDatagram& datagram : highSpeed.received()) {
    EXPECT_EQ(datagram.bytes.size(), kHighSpeedProbeDatagramSize);
  }
  EXPECT_EQ(frames.received().size(), 7u);
  EXPECT_EQ(bare.received().size(), 4u);
  EXPECT_EQ(http.received().size(), 6u);
}

}  // namespace
}  // namespace talu
