// Row 1: what the UPnP step shows, and the port it asks for.
#include "upnp/upnp_worker.h"

#include <gtest/gtest.h>

#include "checkrun/recording_table.h"
#include "hostprobe/local_address.h"
#include "upnp/tests/fake_network.h"

namespace talu {
namespace {

using upnp::testing::FakeNetwork;

TEST(UpnpPortTest, Is19999PlusTheLastOctetOfTheLocalAddress) {
  struct Case {
    std::uint32_t address;
    std::uint16_t port;
  };
  for (const Case& c : {Case{NetworkOrderFromOctets(192, 168, 1, 23), 20022},
                        Case{NetworkOrderFromOctets(203, 0, 113, 0), 19999},
                        Case{NetworkOrderFromOctets(10, 1, 2, 255), 20254},
                        Case{0, 19999}}) {
    EXPECT_EQ(UpnpPortForLocalAddress(c.address), c.port) << c.address;
  }
}

std::uint32_t Address192_168_1_100() { return NetworkOrderFromOctets(192, 168, 1, 100); }

class UpnpStepTest : public ::testing::Test {
 protected:
  RecordingResultTable table;
  CheckRunState state{table, CheckWorkers{}, ProbePacketTable{}};
};

TEST_F(UpnpStepTest, AGatewayThatMapsShowsSuccessAfterTheMarker) {
  FakeNetwork net;
  auto client = net.MakeClient();
  EXPECT_EQ(RunUpnpStep(&state, *client, Address192_168_1_100), 0);
  EXPECT_EQ(table.History(rows::kUpnp), (std::vector<std::string>{"正在检测.", "UPnp映射成功"}));
  EXPECT_EQ(table.TimerCalls(), (std::vector<std::string>{"start 1", "stop 1"}));
  // The port comes from the address asked for now: .100 gives 20099.
  const auto exchanges = net.http.Exchanges();
  ASSERT_GE(exchanges.size(), 3u);
  EXPECT_EQ(exchanges[2], "AddPortMapping TCP 20099");
  EXPECT_NE(net.http.Requests()[2].find("<NewInternalPort>20099</NewInternalPort>"),
            std::string::npos);
}

TEST_F(UpnpStepTest, NoGatewayShowsFailureAfterTheMarker) {
  FakeNetwork net({}, {});
  auto client = net.MakeClient();
  EXPECT_EQ(RunUpnpStep(&state, *client, Address192_168_1_100), 0);
  EXPECT_EQ(table.History(rows::kUpnp), (std::vector<std::string>{"正在检测.", "UPnp映射失败"}));
  EXPECT_EQ(table.TimerCalls(), (std::vector<std::string>{"start 1", "stop 1"}));
}

}  // namespace
}  // namespace talu
