#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talu::platform {

const int SocketErrors::kAddressInUse = EADDRINUSE;
const int SocketErrors::kAddressNotAvailable = EADDRNOTAVAIL;
const int SocketErrors::kConnectionRefused = ECONNREFUSED;
const int SocketErrors::kConnectionReset = ECONNRESET;
const int SocketErrors::kAddressFamilyNotSupported = EAFNOSUPPORT;
const int SocketErrors::kHostDown = EHOSTDOWN;
const int SocketErrors::kHostUnreachable = EHOSTUNREACH;
const int SocketErrors::kNotASocket = ENOTSOCK;

namespace {

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr.s_addr = htonl(address);
  return result;
}

bool SetTimeout(Socket socket, int option, std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  return setsockopt(socket, SOL_SOCKET, option, &value, sizeof value) == 0;
}

}  // namespace

Socket CreateSocket(SocketType type) {
  const int kind = type == SocketType::Udp ? SOCK_DGRAM : SOCK_STREAM;
  const int protocol = type == SocketType::Udp ? IPPROTO_UDP : IPPROTO_TCP;
  const int socket = ::socket(AF_INET, kind | SOCK_CLOEXEC, protocol);
  return socket < 0 ? kInvalidSocket : socket;
}

void CloseSocket(Socket socket) {
  if (socket != kInvalidSocket) ::close(socket);
}

bool SetReceiveTimeout(Socket socket, std::chrono::milliseconds timeout) {
  return SetTimeout(socket, SO_RCVTIMEO, timeout);
}

bool SetSendTimeout(Socket socket, std::chrono::milliseconds timeout) {
  return SetTimeout(socket, SO_SNDTIMEO, timeout);
}

bool SetMulticastTtl(Socket socket, int ttl) {
  return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
}

bool SetMulticastLoop(Socket socket, bool loop) {
  const int value = loop ? 1 : 0;
  return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_LOOP, &value, sizeof value) == 0;
}

bool BindIpv4(Socket socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in local = MakeAddress(address, port);
  return ::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool ConnectIpv4(Socket socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in remote = MakeAddress(address, port);
  int result;
  do {
    result = ::connect(socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

std::uint16_t LocalPort(Socket socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

long SendTo(Socket socket, const void* bytes, std::size_t length, std::uint32_t address,
            std::uint16_t port) {
  const sockaddr_in remote = MakeAddress(address, port);
  return ::sendto(socket, bytes, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&remote),
                  sizeof remote);
}

long ReceiveFrom(Socket socket, void* buffer, std::size_t capacity, std::uint32_t* fromAddress,
                 std::uint16_t* fromPort) {
  sockaddr_in remote{};
  socklen_t length = sizeof remote;
  const long received =
      ::recvfrom(socket, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&remote), &length);
  if (received >= 0) {
    if (fromAddress) *fromAddress = ntohl(remote.sin_addr.s_addr);
    if (fromPort) *fromPort = ntohs(remote.sin_port);
  }
  return received;
}

long Send(Socket socket, const void* bytes, std::size_t length) {
  // A peer that has closed must show up as a failed send, not as SIGPIPE.
  return ::send(socket, bytes, length, MSG_NOSIGNAL);
}

long Receive(Socket socket, void* buffer, std::size_t capacity) {
  return ::recv(socket, buffer, capacity, 0);
}

int WaitReadable(Socket first, Socket second, std::chrono::milliseconds timeout, bool* firstReady,
                 bool* secondReady) {
  // poll rather than select: no FD_SETSIZE limit on the descriptor numbers.
  pollfd watched[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
  const int ready = ::poll(watched, 2, static_cast<int>(timeout.count()));
  if (ready >= 0) {
    if (firstReady) *firstReady = (watched[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    if (secondReady) *secondReady = (watched[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
  }
  return ready;
}

int LastSocketError() { return errno; }

std::string SocketErrorText(int error) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

bool IsTimeoutError(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

std::uint32_t ParseDottedIpv4(const std::string& text) {
  return ntohl(inet_addr(text.c_str()));
}

std::string FormatDottedIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

}  // namespace talu::platform
