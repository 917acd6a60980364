// SSDP discovery: the M-SEARCH request for a WAN connection service and one
// search pass, which asks the multicast group and every default gateway.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace talu::upnp {

inline constexpr std::string_view kWanPppServiceType =
    "urn:schemas-upnp-org:service:WANPPPConnection:1";
inline constexpr std::string_view kWanIpServiceType =
    "urn:schemas-upnp-org:service:WANIPConnection:1";
// PPP first: a DSL router that offers both is reached through the PPP link.
inline constexpr std::array<std::string_view, 2> kSearchedServiceTypes = {kWanPppServiceType,
                                                                          kWanIpServiceType};

// The SSDP group and port (host byte order). The gateways are asked at the
// same port by unicast as well: the multicast datagram leaves by one
// interface only and can be lost on the way, the unicast one reaches each
// gateway directly.
inline constexpr std::uint32_t kSsdpMulticastAddress = 0xEFFFFFFA;  // 239.255.255.250
inline constexpr std::uint16_t kSsdpPort = 1900;

// Where a pass sends its requests.
struct SearchDestinations {
  std::uint32_t multicastAddress = kSsdpMulticastAddress;
  std::uint16_t port = kSsdpPort;
};

// The request is formatted into a buffer of this size; nothing longer than
// a datagram of the search ever goes out.
inline constexpr std::size_t kSearchRequestCapacity = 1024;

// The M-SEARCH text for one service type, without a terminating NUL. The
// HOST header always names the SSDP group: it is what devices expect to
// see, wherever the datagram was actually sent. Empty when the text would
// not fit the request buffer.
std::string BuildSearchRequest(std::string_view serviceType);

// Sends each service type's request to the multicast address and then to
// each gateway, in the set's order. False at the first send that fails.
bool SendSearchPass(platform::Socket socket, const SearchDestinations& destinations,
                    const std::set<std::string>& gateways);

}  // namespace talu::upnp
