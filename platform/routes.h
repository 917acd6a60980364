// The IPv4 routing table's default routes and the interfaces they leave by:
// the source of the link kind and of the default gateways.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talu::platform {

struct DefaultRoute {
  std::string interfaceName;
  std::uint32_t gateway = 0;  // host byte order; 0 for a route without a gateway
};

// Parses the text of /proc/net/route; lines that do not parse are skipped.
std::vector<DefaultRoute> ParseDefaultRoutes(std::string_view routeTable);
std::vector<DefaultRoute> ReadDefaultRoutes();

struct InterfaceInfo {
  bool up = false;
  bool pointToPoint = false;  // a PPP link: the modem of a dial-up or DSL connection
};
InterfaceInfo ReadInterfaceInfo(const std::string& interfaceName);

// What the link-state query reports: like a connected-state flags word.
struct LinkState {
  bool lan = false;
  bool modem = false;
};

// A default route through an up PPP interface counts as a modem link, through
// any other up interface as a LAN link; routes through down interfaces count
// as nothing.
struct RouteLink {
  DefaultRoute route;
  InterfaceInfo interface;
};
LinkState LinkStateFromRoutes(const std::vector<RouteLink>& routes);
LinkState QueryLinkState();

// Dotted texts of the default routes' gateways, each once, none 0.0.0.0.
std::vector<std::string> DefaultGatewayTexts();

}  // namespace talu::platform
