#include "platform/routes.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/socket.h"

namespace talu::platform {

namespace {

constexpr unsigned kRouteUp = 0x1;         // RTF_UP
constexpr unsigned kInterfaceUp = 0x1;     // IFF_UP
constexpr unsigned kHardwareTypePpp = 512;  // ARPHRD_PPP

bool ParseHex(std::string_view text, unsigned long* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseDecimal(std::string_view text, unsigned long* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, 10);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The kernel prints addresses as the hexadecimal of the 32-bit word in host
// memory, which holds the octets in network order.
std::uint32_t KernelWordToHostOrder(unsigned long word) {
  const auto b0 = static_cast<std::uint32_t>(word & 0xFF);
  const auto b1 = static_cast<std::uint32_t>((word >> 8) & 0xFF);
  const auto b2 = static_cast<std::uint32_t>((word >> 16) & 0xFF);
  const auto b3 = static_cast<std::uint32_t>((word >> 24) & 0xFF);
  return (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream file(path);
  std::string text;
  std::getline(file, text);
  return text;
}

}  // namespace

std::vector<DefaultRoute> ParseDefaultRoutes(std::string_view routeTable) {
  std::vector<DefaultRoute> routes;
  std::istringstream lines{std::string(routeTable)};
  std::string line;
  std::getline(lines, line);  // column headings
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) {
      continue;
    }
    unsigned long destinationWord = 0, gatewayWord = 0, flagWord = 0, maskWord = 0;
    if (!ParseHex(destination, &destinationWord) || !ParseHex(gateway, &gatewayWord) ||
        !ParseHex(flags, &flagWord) || !ParseHex(mask, &maskWord)) {
      continue;
    }
    if (destinationWord != 0 || maskWord != 0 || (flagWord & kRouteUp) == 0) continue;
    routes.push_back({name, KernelWordToHostOrder(gatewayWord)});
  }
  return routes;
}

std::vector<DefaultRoute> ReadDefaultRoutes() {
  std::ifstream file("/proc/net/route");
  std::stringstream text;
  text << file.rdbuf();
  return ParseDefaultRoutes(text.str());
}

InterfaceInfo ReadInterfaceInfo(const std::string& interfaceName) {
  InterfaceInfo info;
  if (interfaceName.empty() || interfaceName.find('/') != std::string::npos) return info;
  const std::string base = "/sys/class/net/" + interfaceName + "/";
  std::string flagText = ReadSmallFile(base + "flags");
  if (flagText.rfind("0x", 0) == 0) flagText.erase(0, 2);
  unsigned long flags = 0, type = 0;
  if (ParseHex(flagText, &flags)) info.up = (flags & kInterfaceUp) != 0;
  if (ParseDecimal(ReadSmallFile(base + "type"), &type)) info.pointToPoint = type == kHardwareTypePpp;
  return info;
}

LinkState LinkStateFromRoutes(const std::vector<RouteLink>& routes) {
  LinkState state;
  for (const RouteLink& link : routes) {
    if (!link.interface.up) continue;
    if (link.interface.pointToPoint) {
      state.modem = true;
    } else {
      state.lan = true;
    }
  }
  return state;
}

LinkState QueryLinkState() {
  std::vector<RouteLink> links;
  for (const DefaultRoute& route : ReadDefaultRoutes()) {
    links.push_back({route, ReadInterfaceInfo(route.interfaceName)});
  }
  return LinkStateFromRoutes(links);
}

std::vector<std::string> DefaultGatewayTexts() {
  std::vector<std::string> gateways;
  for (const DefaultRoute& route : ReadDefaultRoutes()) {
    if (route.gateway == 0) continue;
    std::string text = FormatDottedIpv4(route.gateway);
    if (std::find(gateways.begin(), gateways.end(), text) == gateways.end()) {
      gateways.push_back(std::move(text));
    }
  }
  return gateways;
}

}  // namespace talu::platform
