#include "responders/hostile/hostile_sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/socket.h"
#include "responders/daemon_support.h"

namespace talu::responders::hostile {

namespace {

int Fail(int socket, const char* what, std::uint32_t address, std::uint16_t port) {
  std::fprintf(stderr, "%s %s: %s\n", what, FormatEndpoint(address, port).c_str(), std::strerror(errno));
  if (socket >= 0) ::close(socket);
  return -1;
}

}  // namespace

int OpenSsdpListener(std::uint32_t interfaceAddress) {
  const int socket = platform::CreateSocket(platform::SocketType::Udp);
  if (socket < 0) return Fail(socket, "cannot create a socket for", kSsdpGroup, kSsdpPort);
  // The real gateway holds the port already; both must hear the searches.
  const int reuse = 1;
  if (::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
      !platform::BindIpv4(socket, 0, kSsdpPort)) {
    return Fail(socket, "cannot bind", 0, kSsdpPort);
  }
  ip_mreq membership{};
  membership.imr_multiaddr.s_addr = htonl(kSsdpGroup);
  membership.imr_interface.s_addr = htonl(interfaceAddress);
  if (::setsockopt(socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
    return Fail(socket, "cannot join the SSDP group on", interfaceAddress, kSsdpPort);
  }
  return socket;
}

int OpenBoundUdp(std::uint32_t address, std::uint16_t port) {
  const int socket = platform::CreateSocket(platform::SocketType::Udp);
  if (socket < 0 || !platform::BindIpv4(socket, address, port)) {
    return Fail(socket, "cannot bind UDP", address, port);
  }
  return socket;
}

}  // namespace talu::responders::hostile
