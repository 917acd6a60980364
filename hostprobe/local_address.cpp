#include "hostprobe/local_address.h"

#include <array>
#include <cstring>

#include "platform/host_addresses.h"

namespace talu {

namespace {

std::array<std::uint8_t, 4> Octets(std::uint32_t networkOrder) {
  std::array<std::uint8_t, 4> octets{};
  std::memcpy(octets.data(), &networkOrder, 4);
  return octets;
}

// Private, loopback, link-local and "this network" addresses do not stand for
// the host on the Internet.
bool IsNonPublic(const std::array<std::uint8_t, 4>& o) {
  return o[0] == 0 || o[0] == 10 || o[0] == 127 || (o[0] == 169 && o[1] == 254) ||
         (o[0] == 172 && o[1] >= 16 && o[1] <= 31) || (o[0] == 192 && o[1] == 168);
}

}  // namespace

std::uint32_t NetworkOrderFromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const std::array<std::uint8_t, 4> octets{a, b, c, d};
  std::uint32_t value = 0;
  std::memcpy(&value, octets.data(), 4);
  return value;
}

std::uint32_t NetworkOrderFromHostOrder(std::uint32_t hostOrder) {
  return NetworkOrderFromOctets(static_cast<std::uint8_t>(hostOrder >> 24),
                                static_cast<std::uint8_t>(hostOrder >> 16),
                                static_cast<std::uint8_t>(hostOrder >> 8),
                                static_cast<std::uint8_t>(hostOrder));
}

std::uint32_t SelectLocalAddress(const std::vector<std::uint32_t>& networkOrderAddresses) {
  if (networkOrderAddresses.empty()) return 0;
  for (const std::uint32_t address : networkOrderAddresses) {
    if (!IsNonPublic(Octets(address))) return address;
  }
  return networkOrderAddresses.front();
}

std::uint32_t GetLocalAddress() {
  std::vector<std::uint32_t> addresses;
  for (const std::uint32_t hostOrder : platform::HostIpv4Addresses()) {
    addresses.push_back(NetworkOrderFromHostOrder(hostOrder));
  }
  return SelectLocalAddress(addresses);
}

}  // namespace talu
