#include "platform/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace talu::platform {

std::optional<std::uint32_t> ResolveIpv4(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answers = nullptr;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &answers) != 0 || answers == nullptr) {
    return std::nullopt;
  }
  std::optional<std::uint32_t> first;
  for (const addrinfo* answer = answers; answer; answer = answer->ai_next) {
    if (answer->ai_family == AF_INET && answer->ai_addr) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr);
      first = ntohl(address->sin_addr.s_addr);
      break;
    }
  }
  freeaddrinfo(answers);
  return first;
}

}  // namespace talu::platform
