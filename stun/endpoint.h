// An IPv4 address and port, both in host order: a STUN server, where a test
// goes, or the public endpoint a server reports. Address 0 means none.
#pragma once

#include <cstdint>

namespace talu::stun {

struct Ipv4Endpoint {
  std::uint16_t port = 0;
  std::uint32_t address = 0;

  friend bool operator==(const Ipv4Endpoint&, const Ipv4Endpoint&) = default;
};

}  // namespace talu::stun
