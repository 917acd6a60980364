// Host-name resolution, safe to call from several threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talu::platform {

// The first IPv4 address that the name resolves to, in host byte order.
std::optional<std::uint32_t> ResolveIpv4(const std::string& hostName);

}  // namespace talu::platform
