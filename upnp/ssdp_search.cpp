#include "upnp/ssdp_search.h"

namespace talu::upnp {

namespace {

// MX 6: devices spread their answers over up to 6 s; the run listens for a
// little over 4 s and sends three passes, so most devices answer in time.
constexpr std::string_view kSearchRequestHead =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 6\r\n"
    "ST: ";
constexpr std::string_view kSearchRequestTail = "\r\n\r\n";

bool SendRequest(platform::Socket socket, const std::string& request, std::uint32_t address,
                 std::uint16_t port) {
  return platform::SendTo(socket, request.data(), request.size(), address, port) >= 0;
}

}  // namespace

std::string BuildSearchRequest(std::string_view serviceType) {
  std::string request;
  request.reserve(kSearchRequestCapacity);
  request.append(kSearchRequestHead).append(serviceType).append(kSearchRequestTail);
  // The formatted text and its terminator must fit the request buffer.
  if (request.size() >= kSearchRequestCapacity) return {};
  return request;
}

bool SendSearchPass(platform::Socket socket, const SearchDestinations& destinations,
                    const std::set<std::string>& gateways) {
  for (const std::string_view serviceType : kSearchedServiceTypes) {
    const std::string request = BuildSearchRequest(serviceType);
    if (!SendRequest(socket, request, destinations.multicastAddress, destinations.port)) {
      return false;
    }
    for (const std::string& gateway : gateways) {
      if (!SendRequest(socket, request, platform::ParseDottedIpv4(gateway), destinations.port)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace talu::upnp
