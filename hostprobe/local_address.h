// The one local IPv4 address that stands for this host: a public one if the
// host has any.
#pragma once

#include <cstdint>
#include <vector>

namespace talu {

// Both take and give the address as held in a socket address: the octets in
// dotted order in memory (network byte order). 0 means none.
std::uint32_t SelectLocalAddress(const std::vector<std::uint32_t>& networkOrderAddresses);
std::uint32_t GetLocalAddress();

// Helpers for the network-order value.
std::uint32_t NetworkOrderFromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
std::uint32_t NetworkOrderFromHostOrder(std::uint32_t hostOrder);

}  // namespace talu
