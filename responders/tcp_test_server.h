// A TCP server on 127.0.0.1 that a test starts in-process: each accepted
// connection gets its own thread running the test's handler, so a test can
// play any peer (an HTTP server, a silent peer, one that closes early).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace talu::responders {

class TcpTestServer {
 public:
  // Runs once per connection on that connection's own thread. The server owns
  // the descriptor: the handler must not close it; the server closes it when
  // the handler returns.
  using Handler = std::function<void(int socketFd)>;

  explicit TcpTestServer(Handler handler);
  // Stops accepting, shuts every open connection down (so that handlers
  // blocked in a receive or send return) and joins every thread.
  ~TcpTestServer();

  TcpTestServer(const TcpTestServer&) = delete;
  TcpTestServer& operator=(const TcpTestServer&) = delete;

  // False when the listening socket could not be set up; port() is 0 then.
  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }
  std::size_t acceptedCount() const;

 private:
  struct Connection {
    int fd = -1;
    bool closed = false;
    std::thread thread;
  };

  void AcceptLoop();
  void Serve(Connection* connection);

  Handler handler_;
  int listenFd_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::list<Connection> connections_;  // a list: Serve keeps a pointer to its entry
  std::size_t accepted_ = 0;
  std::thread acceptThread_;
};

}  // namespace talu::responders
