// Reads a STUN server text, "host" or "host:port", into an endpoint.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "stun/endpoint.h"

namespace talu::stun {

inline constexpr std::uint16_t kDefaultStunPort = 3478;

// Looks a host name up; the first IPv4 address in host order, or none.
using NameResolver = std::function<std::optional<std::uint32_t>(const std::string& name)>;

// False when the text's port is outside 1024..65534; endpoint is then left as
// it was and no name is looked up. A digit-led host is parsed as a dotted
// address (255.255.255.255 when malformed), never looked up; a name that
// does not resolve gives the built-in fallback address.
bool ResolveStunServer(const std::string& text, Ipv4Endpoint& endpoint);
// The same with the name lookup supplied by the caller.
bool ResolveStunServer(const std::string& text, Ipv4Endpoint& endpoint,
                       const NameResolver& resolveName);

}  // namespace talu::stun
