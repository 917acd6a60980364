#include "responders/tcp_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/socket.h"

namespace talu::responders {

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1
// Tests open a handful of connections at once; the backlog only has to hold
// those that arrive while the accept thread starts the previous one.
constexpr int kListenBacklog = 16;

}  // namespace

TcpTestServer::TcpTestServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = platform::CreateSocket(platform::SocketType::Tcp);
  if (listenFd_ == platform::kInvalidSocket) return;
  const int reuse = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  int wake[2];
  if (!platform::BindIpv4(listenFd_, kLoopback, 0) || ::listen(listenFd_, kListenBacklog) != 0 ||
      ::pipe2(wake, O_CLOEXEC) != 0) {
    platform::CloseSocket(listenFd_);
    listenFd_ = -1;
    return;
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  port_ = platform::LocalPort(listenFd_);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TcpTestServer::~TcpTestServer() {
  stopping_ = true;
  if (wakeWrite_ >= 0) {
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(wakeWrite_, &byte, 1);
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    // Under the lock so that no descriptor is shut down after its connection
    // thread closed it (and the number was handed to someone else).
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& connection : connections_) {
      if (!connection.closed) ::shutdown(connection.fd, SHUT_RDWR);
    }
  }
  // No new entries can appear now that the accept thread has ended.
  for (auto& connection : connections_) {
    if (connection.thread.joinable()) connection.thread.join();
  }
  if (listenFd_ >= 0) platform::CloseSocket(listenFd_);
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

std::size_t TcpTestServer::acceptedCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

void TcpTestServer::AcceptLoop() {
  while (!stopping_) {
    pollfd watched[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0 || stopping_) return;
    if ((watched[0].revents & POLLIN) == 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    ++accepted_;
    Connection& connection = connections_.emplace_back();
    connection.fd = fd;
    connection.thread = std::thread([this, entry = &connection] { Serve(entry); });
  }
}

void TcpTestServer::Serve(Connection* connection) {
  // The entry is complete once the accept thread releases the lock.
  int fd;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fd = connection->fd;
  }
  if (handler_) handler_(fd);
  std::lock_guard<std::mutex> lock(mutex_);
  ::close(fd);
  connection->closed = true;
}

}  // namespace talu::responders
