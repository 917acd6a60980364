#include "stun/testing/fake_stun_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

namespace talu::stun::testing {

namespace {

// Bounds how long the destructor waits for the serving thread.
constexpr int kStopPollMs = 50;
// Larger than anything a test sends, so nothing is cut short unnoticed.
constexpr std::size_t kMaxDatagram = 65536;
// Tries at finding a port free on both of the server's addresses.
constexpr int kPortAttempts = 50;
constexpr std::uint16_t kBindingResponse = 0x0101;

constexpr std::size_t Index(ServerSocket which) { return static_cast<std::size_t>(which); }

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr.s_addr = htonl(address);
  return result;
}

int BoundSocket(std::uint32_t address, std::uint16_t port) {
  const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return -1;
  const sockaddr_in local = MakeAddress(address, port);
  const int on = 1;
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::setsockopt(socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
    ::close(socket);
    return -1;
  }
  return socket;
}

std::uint16_t BoundPort(int socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length);
  return ntohs(local.sin_port);
}

// One port bound on both addresses; the two sockets go to first and second.
bool BindOnBothAddresses(int& first, int& second, std::uint16_t& port) {
  for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
    first = BoundSocket(FakeStunServer::kPrimaryAddress, 0);
    if (first < 0) return false;
    port = BoundPort(first);
    second = BoundSocket(FakeStunServer::kOtherAddress, port);
    if (second >= 0) return true;
    ::close(first);
  }
  first = second = -1;
  return false;
}

std::uint16_t ReadU16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

std::uint32_t ReadU32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
         (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  PutU16(out, static_cast<std::uint16_t>(value >> 16));
  PutU16(out, static_cast<std::uint16_t>(value));
}

void PutAddress(std::vector<std::uint8_t>& out, std::uint16_t type, const Ipv4Endpoint& endpoint) {
  PutU16(out, type);
  PutU16(out, 8);
  out.push_back(0);  // reserved
  out.push_back(1);  // IPv4
  PutU16(out, endpoint.port);
  PutU32(out, endpoint.address);
}

// The ChangeRequest of a request, where its attributes can be walked.
std::optional<std::uint32_t> FindChangeRequest(const std::vector<std::uint8_t>& bytes) {
  std::size_t at = 20;
  while (at + 4 <= bytes.size()) {
    const std::uint16_t type = ReadU16(bytes, at);
    const std::uint16_t length = ReadU16(bytes, at + 2);
    if (at + 4 + length > bytes.size()) break;
    if (type == 0x0003 && length == 4) return ReadU32(bytes, at + 4);
    at += 4 + length;
  }
  return std::nullopt;
}

FakeStunRequest Describe(std::vector<std::uint8_t> bytes, const sockaddr_in& from,
                         ServerSocket arrivedAt, std::chrono::microseconds kernelTime) {
  FakeStunRequest request;
  if (bytes.size() >= 20) {
    request.messageType = ReadU16(bytes, 0);
    request.testNumber = bytes[4];
    request.changeRequest = FindChangeRequest(bytes);
  }
  request.bytes = std::move(bytes);
  request.from = {ntohs(from.sin_port), ntohl(from.sin_addr.s_addr)};
  request.arrivedAt = arrivedAt;
  request.kernelTime = kernelTime;
  return request;
}

std::chrono::microseconds KernelTime(msghdr& message) {
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SCM_TIMESTAMPNS) {
      timespec stamp{};
      std::memcpy(&stamp, CMSG_DATA(item), sizeof stamp);
      return std::chrono::microseconds(std::int64_t{stamp.tv_sec} * 1'000'000 +
                                       stamp.tv_nsec / 1000);
    }
  }
  return std::chrono::microseconds(0);
}

}  // namespace

FakeStunServer::FakeStunServer(FakeStunScript script) : m_script(std::move(script)) {
  if (!m_script) {
    m_script = [](const FakeStunRequest& request, const FakeStunServer& server) {
      return std::vector<FakeStunAnswer>{StandardAnswer(request, server)};
    };
  }
  if (!BindOnBothAddresses(m_sockets[Index(ServerSocket::Primary)],
                           m_sockets[Index(ServerSocket::OtherIp)], m_port) ||
      !BindOnBothAddresses(m_sockets[Index(ServerSocket::OtherPort)],
                           m_sockets[Index(ServerSocket::OtherIpAndPort)], m_otherPort)) {
    return;
  }
  m_ok = true;
  m_thread = std::thread([this] { ServeLoop(); });
}

FakeStunServer::~FakeStunServer() {
  m_stopping = true;
  if (m_thread.joinable()) m_thread.join();
  for (int socket : m_sockets) {
    if (socket >= 0) ::close(socket);
  }
}

Ipv4Endpoint FakeStunServer::Endpoint(ServerSocket which) const {
  switch (which) {
    case ServerSocket::Primary: return {m_port, kPrimaryAddress};
    case ServerSocket::OtherPort: return {m_otherPort, kPrimaryAddress};
    case ServerSocket::OtherIp: return {m_port, kOtherAddress};
    case ServerSocket::OtherIpAndPort: return {m_otherPort, kOtherAddress};
  }
  return {};
}

void FakeStunServer::SetScript(FakeStunScript script) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_script = std::move(script);
}

std::vector<FakeStunRequest> FakeStunServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

std::size_t FakeStunServer::CountOf(std::uint8_t testNumber) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::size_t count = 0;
  for (const FakeStunRequest& request : m_requests) count += request.testNumber == testNumber;
  return count;
}

bool FakeStunServer::WaitForCount(std::size_t count, std::chrono::milliseconds bound) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_handled.wait_for(lock, bound, [&] { return m_handledCount >= count; });
}

void FakeStunServer::SendFrom(ServerSocket from, const std::vector<std::uint8_t>& bytes,
                              const Ipv4Endpoint& to) const {
  const sockaddr_in remote = MakeAddress(to.address, to.port);
  ::sendto(m_sockets[Index(from)], bytes.data(), bytes.size(), 0,
           reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
}

void FakeStunServer::ServeLoop() {
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  while (!m_stopping) {
    pollfd watched[4];
    for (std::size_t i = 0; i < 4; ++i) watched[i] = {m_sockets[i], POLLIN, 0};
    if (::poll(watched, 4, kStopPollMs) <= 0) continue;
    for (std::size_t i = 0; i < 4; ++i) {
      if (!(watched[i].revents & POLLIN)) continue;
      sockaddr_in from{};
      iovec part{buffer.data(), buffer.size()};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec)) + 64];
      msghdr message{};
      message.msg_name = &from;
      message.msg_namelen = sizeof from;
      message.msg_iov = &part;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      const long received = ::recvmsg(m_sockets[i], &message, MSG_DONTWAIT);
      if (received < 0) continue;
      std::vector<std::uint8_t> bytes(buffer.begin(), buffer.begin() + received);
      Handle(Describe(std::move(bytes), from, static_cast<ServerSocket>(i), KernelTime(message)));
    }
  }
}

void FakeStunServer::Handle(FakeStunRequest request) {
  FakeStunScript script;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);
    script = m_script;
  }
  for (const FakeStunAnswer& answer : script(request, *this)) {
    SendFrom(answer.from, answer.bytes, answer.to.value_or(request.from));
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_handledCount;
  m_handled.notify_all();
}

ServerSocket SocketAskedFor(const FakeStunRequest& request) {
  const std::uint32_t flags = request.changeRequest.value_or(0);
  const bool otherIp = (flags & 0x4) != 0;
  const bool otherPort = (flags & 0x2) != 0;
  if (otherIp && otherPort) return ServerSocket::OtherIpAndPort;
  if (otherIp) return ServerSocket::OtherIp;
  if (otherPort) return ServerSocket::OtherPort;
  // No change asked: answer from where it came in (test I(2) reaches the other IP).
  return request.arrivedAt;
}

std::vector<std::uint8_t> BindingResponse(const FakeStunRequest& request,
                                          const BindingResponseFields& fields) {
  std::vector<std::uint8_t> out;
  PutU16(out, kBindingResponse);
  PutU16(out, 0);
  for (std::size_t i = 0; i < 16; ++i) {
    out.push_back(i + 4 < request.bytes.size() ? request.bytes[i + 4] : 0);
  }
  if (fields.mapped) PutAddress(out, 0x0001, *fields.mapped);
  if (fields.source) PutAddress(out, 0x0004, *fields.source);
  if (fields.changed) PutAddress(out, 0x0005, *fields.changed);
  const std::size_t length = out.size() - 20;
  out[2] = static_cast<std::uint8_t>(length >> 8);
  out[3] = static_cast<std::uint8_t>(length);
  return out;
}

FakeStunAnswer AnswerMapping(const FakeStunRequest& request, const FakeStunServer& server,
                             const Ipv4Endpoint& mapped) {
  const ServerSocket from = SocketAskedFor(request);
  return {from,
          BindingResponse(request, {mapped, server.Endpoint(from),
                                    server.Endpoint(ServerSocket::OtherIpAndPort)}),
          std::nullopt};
}

FakeStunAnswer StandardAnswer(const FakeStunRequest& request, const FakeStunServer& server) {
  return AnswerMapping(request, server, request.from);
}

std::uint16_t FindFreePortPair() {
  for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
    const int first = BoundSocket(0, 0);
    if (first < 0) return 0;
    const std::uint16_t port = BoundPort(first);
    const int second = port < 65535 ? BoundSocket(0, static_cast<std::uint16_t>(port + 1)) : -1;
    ::close(first);
    if (second >= 0) {
      ::close(second);
      return port;
    }
  }
  return 0;
}

}  // namespace talu::stun::testing
