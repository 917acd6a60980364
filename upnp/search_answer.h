// Reading one answer to the SSDP search: is it a WAN connection service of a
// default gateway, and where is its description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace talu::upnp {

// The answer is received into a buffer of this size. A datagram that fills
// it may have been cut short, so it is rejected.
inline constexpr std::size_t kAnswerCapacity = 1024;
// The longest LOCATION and ST values, and the longest host text: a dotted
// IPv4 address has at most 15 characters.
inline constexpr std::size_t kMaxLocationLength = 255;
inline constexpr std::size_t kMaxServiceTypeLength = 255;
inline constexpr std::size_t kMaxHostLength = 15;

struct SearchAnswer {
  std::string host;         // the location's host, one of the gateways
  std::uint16_t port = 0;   // the location's port
  std::string serviceType;  // the ST value
  std::string hostAndPort;  // the location between its scheme and its path
  std::string path;         // the location from its first "/" on
};

// The answer's fields, or nothing when it is to be rejected: no "200 OK",
// no WAN service type anywhere in it, no LOCATION or ST header, a location
// without port or path, a host that is none of the gateways, or a field
// longer than its limit.
std::optional<SearchAnswer> ParseSearchAnswer(std::string_view datagram,
                                              const std::set<std::string>& gateways);

}  // namespace talu::upnp
