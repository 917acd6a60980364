#include "platform/host_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <string>

#include "platform/routes.h"

namespace talu::platform {

namespace {

struct Candidate {
  std::uint32_t address;
  int rank;  // 0: default-route interface, 1: other, 2: loopback
};

}  // namespace

std::vector<std::uint32_t> HostIpv4Addresses() {
  std::vector<std::string> routeInterfaces;
  for (const DefaultRoute& route : ReadDefaultRoutes()) routeInterfaces.push_back(route.interfaceName);

  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  std::vector<Candidate> candidates;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    int rank = 1;
    if (entry->ifa_flags & IFF_LOOPBACK) {
      rank = 2;
    } else if (std::find(routeInterfaces.begin(), routeInterfaces.end(), entry->ifa_name) !=
               routeInterfaces.end()) {
      rank = 0;
    }
    candidates.push_back({ntohl(address->sin_addr.s_addr), rank});
  }
  freeifaddrs(list);
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.rank < b.rank; });
  std::vector<std::uint32_t> addresses;
  for (const Candidate& candidate : candidates) addresses.push_back(candidate.address);
  return addresses;
}

}  // namespace talu::platform
