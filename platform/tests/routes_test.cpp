#include "platform/routes.h"

#include <gtest/gtest.h>

namespace talu::platform {
namespace {

constexpr const char* kRouteTable =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth0\t00000000\t014DA8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "eth0\t004DA8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
    "ppp0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"
    "wlan0\t00000000\t0100000A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"  // not up
    "garbage line\n"
    "eth1\t00000000\tZZZZ\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";

TEST(DefaultRoutes, OnlyUpDefaultRoutesWithTheirGatewaysInHostOrder) {
  const auto routes = ParseDefaultRoutes(kRouteTable);
  ASSERT_EQ(routes.size(), 2u);
  EXPECT_EQ(routes[0].interfaceName, "eth0");
  EXPECT_EQ(routes[0].gateway, 0xC0A84D01u);  // 192.168.77.1
  EXPECT_EQ(routes[1].interfaceName, "ppp0");
  EXPECT_EQ(routes[1].gateway, 0u);
}

struct LinkCase {
  const char* name;
  std::vector<RouteLink> routes;
  bool lan;
  bool modem;
};

TEST(LinkState, RuleTable) {
  const InterfaceInfo upLan{true, false}, upPpp{true, true}, downLan{false, false},
      downPpp{false, true};
  const LinkCase cases[] = {
      {"no default route", {}, false, false},
      {"route through a down interface", {{{"eth0", 1}, downLan}}, false, false},
      {"route through an up LAN interface", {{{"eth0", 1}, upLan}}, true, false},
      {"route through an up PPP interface", {{{"ppp0", 0}, upPpp}}, false, true},
      {"PPP down, LAN up", {{{"ppp0", 0}, downPpp}, {{"eth0", 1}, upLan}}, true, false},
      {"both up: both reported", {{{"ppp0", 0}, upPpp}, {{"eth0", 1}, upLan}}, true, true},
  };
  for (const LinkCase& c : cases) {
    const LinkState state = LinkStateFromRoutes(c.routes);
    EXPECT_EQ(state.lan, c.lan) << c.name;
    EXPECT_EQ(state.modem, c.modem) << c.name;
  }
}

}  // namespace
}  // namespace talu::platform
