#include "schedprobe/udp_probe.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "checkrun/recording_table.h"
#include "platform/socket.h"
#include "responders/udp_test_responder.h"
#include "schedprobe/tests/probe_test_support.h"

namespace talu {
namespace {

using namespace std::chrono_literals;
using probe_test::kLoopbackHost;
using probe_test::OpenDescriptorCount;
using probe_test::WaitForDescriptorCount;
using responders::AnswerPolicy;
using responders::ReceivedDatagram;
using responders::UdpTestResponder;

const std::string kChecking = "正在检测.";
const std::string kNormal = "正常";
const std::string kResendTwo = "接收超时,第2次重新发送";
const std::string kResendThree = "接收超时,第3次重新发送";
const std::string kResendFour = "接收超时,第4次重新发送";
const std::string kResendFive = "接收超时,第5次重新发送";
const std::string kCommunicationFailed = "通信失败";

// Row 3's own settings, aimed at a responder on the loopback address.
UdpProbeSettings SchedulerProbeAt(std::uint16_t port) {
  UdpProbeSettings settings = SchedulerProbeSettings();
  settings.host = kLoopbackHost;
  settings.port = port;
  return settings;
}

class UdpProbeTest : public ::testing::Test {
 protected:
  std::vector<std::string> Row3() { return table.History(rows::kScheduler); }

  RecordingResultTable table;
  CheckRunState state{table, CheckWorkers{}, MakeProbePacketTable()};
};

struct AnswerCase {
  const char* name;
  AnswerPolicy policy;
  bool emptyAnswer;
  std::vector<std::string> texts;
  std::size_t sends;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const AnswerCase& answer, std::ostream* out) { *out << answer.name; }

class UdpProbeAnswerTest : public UdpProbeTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(UdpProbeAnswerTest, ShowsEachResendAndSendsTheSameDatagramEveryTime) {
  const AnswerCase& answer = GetParam();
  UdpTestResponder::Reply reply;
  if (answer.emptyAnswer) reply = [](const ReceivedDatagram&) { return std::vector<std::uint8_t>{}; };
  UdpTestResponder responder(answer.policy, reply);
  ASSERT_TRUE(responder.ok());
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  EXPECT_EQ(RunUdpProbe(&state, SchedulerProbeAt(responder.port())), 0);

  EXPECT_EQ(Row3(), answer.texts);
  const std::vector<ReceivedDatagram> received = responder.received();
  ASSERT_EQ(received.size(), answer.sends);
  for (const ReceivedDatagram& datagram : received) {
    EXPECT_EQ(datagram.bytes.size(), kSchedulerProbeDatagramSize);
    EXPECT_EQ(datagram.bytes, received.front().bytes) << "a resend must repeat the first datagram";
  }
  EXPECT_TRUE(WaitForDescriptorCount(descriptorsBefore)) << "the probe left its socket open";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UdpProbeAnswerTest,
    ::testing::Values(
        AnswerCase{"AnsweredAtOnce", AnswerPolicy::Always(), false, {kChecking, kNormal}, 1},
        AnswerCase{"ZeroLengthAnswer", AnswerPolicy::Always(), true, {kChecking, kNormal}, 1},
        AnswerCase{"AnsweredOnlyOnTheThirdSend",
                   AnswerPolicy::FromNth(3),
                   false,
                   {kChecking, kResendTwo, kResendThree, kNormal},
                   3},
        AnswerCase{"NeverAnswered",
                   AnswerPolicy::Never(),
                   false,
                   {kChecking, kResendTwo, kResendThree, kResendFour, kResendFive,
                    kCommunicationFailed},
                   5}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(UdpProbeTest, AnAnswerFromAnotherSenderCounts) {
  UdpTestResponder silent(AnswerPolicy::Never());
  ASSERT_TRUE(silent.ok());
  std::thread probe([&] { RunUdpProbe(&state, SchedulerProbeAt(silent.port())); });

  ASSERT_TRUE(silent.WaitForCount(1));
  const std::uint16_t probePort = silent.received().front().fromPort;
  const platform::Socket stranger = platform::CreateSocket(platform::SocketType::Udp);
  constexpr std::uint32_t kOtherLoopbackAddress = 0x7F000002;  // 127.0.0.2
  ASSERT_TRUE(platform::BindIpv4(stranger, kOtherLoopbackAddress, 0));
  const std::uint8_t byte = 1;
  EXPECT_EQ(platform::SendTo(stranger, &byte, 1, 0x7F000001, probePort), 1);
  probe.join();
  platform::CloseSocket(stranger);

  EXPECT_EQ(Row3(), (std::vector<std::string>{kChecking, kNormal}));
  EXPECT_EQ(silent.receivedCount(), 1u);
}

TEST_F(UdpProbeTest, AnUnresolvableHostEndsBeforeAnySocket) {
  UdpProbeSettings settings = SchedulerProbeSettings();
  settings.host = probe_test::kUnresolvableHost;
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  RunUdpProbe(&state, settings);

  EXPECT_EQ(Row3(), (std::vector<std::string>{kChecking, "解析域名失败"}));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

TEST_F(UdpProbeTest, ASocketThatCannotBeCreatedIsReported) {
  probe_test::CheckTableTypeWhileDescriptorsAreFree(state.ResultTable);
  {
    probe_test::NoFreeDescriptors exhausted;
    ASSERT_TRUE(exhausted.ok());
    RunUdpProbe(&state, SchedulerProbeAt(kSchedulerProbePort));
  }
  EXPECT_EQ(Row3(), (std::vector<std::string>{kChecking, "创建UDP套接字失败"}));
}

// Port 0 is refused by the sender's own stack (EINVAL here), so the error is
// one that is not a time-out and nothing leaves the machine.
TEST_F(UdpProbeTest, ASendErrorOtherThanTheTimeOutShowsItsNumberWithoutRetrying) {
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  RunUdpProbe(&state, SchedulerProbeAt(0));

  EXPECT_EQ(Row3(), (std::vector<std::string>{kChecking, "发送数据失败:" + std::to_string(EINVAL)}));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// A signal without SA_RESTART makes the blocked receive fail with EINTR, the
// one receive error other than the time-out that loopback can produce.
extern "C" void IgnoreSignal(int) {}

TEST_F(UdpProbeTest, AReceiveErrorOtherThanTheTimeOutFailsAtOnceWithoutResending) {
  struct sigaction interrupting {};
  interrupting.sa_handler = IgnoreSignal;
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &interrupting, &previous), 0);
  UdpTestResponder silent(AnswerPolicy::Never());
  ASSERT_TRUE(silent.ok());
  const std::size_t descriptorsBefore = OpenDescriptorCount();

  std::thread probe([&] { RunUdpProbe(&state, SchedulerProbeAt(silent.port())); });
  ASSERT_TRUE(silent.WaitForCount(1));
  // A signal that lands between the send and the receive interrupts
  // nothing, so keep signalling until the probe has ended. Each one comes
  // well inside the 5 s receive time-out.
  constexpr auto kSignalInterval = 100ms;
  while (table.History(rows::kScheduler).size() < 2) {
    pthread_kill(probe.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(kSignalInterval);
  }
  probe.join();
  sigaction(SIGUSR1, &previous, nullptr);

  EXPECT_EQ(Row3(), (std::vector<std::string>{kChecking, kCommunicationFailed}));
  EXPECT_EQ(silent.receivedCount(), 1u);
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << "the probe left its socket open";
}

}  // namespace
}  // namespace talu
