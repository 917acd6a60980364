// A classic STUN server on loopback for tests: four sockets, its primary
// address and port, the other port, the other address (127.0.0.2) and both,
// as a real server with two addresses has. It records every request with
// the kernel's arrival time and answers as the test's script says, so a test
// can play an open path, a NAT, a firewall dropping some answers, or junk.
//
// Its answers are built here from explicit bytes, not with the client's
// encoder, so that a fault in the codec cannot hide itself.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "stun/endpoint.h"

namespace talu::stun::testing {

enum class ServerSocket { Primary, OtherPort, OtherIp, OtherIpAndPort };

struct FakeStunRequest {
  std::vector<std::uint8_t> bytes;
  std::uint16_t messageType = 0;
  std::uint8_t testNumber = 0;  // byte 0 of the transaction id
  std::optional<std::uint32_t> changeRequest;
  Ipv4Endpoint from;
  ServerSocket arrivedAt = ServerSocket::Primary;
  std::chrono::microseconds kernelTime{0};  // when the kernel queued it
};

struct FakeStunAnswer {
  ServerSocket from = ServerSocket::Primary;
  std::vector<std::uint8_t> bytes;
  std::optional<Ipv4Endpoint> to;  // none: back to the request's sender
};

class FakeStunServer;
// Decides the answers to one request: none (dropped), one, or several.
using FakeStunScript =
    std::function<std::vector<FakeStunAnswer>(const FakeStunRequest&, const FakeStunServer&)>;

class FakeStunServer {
 public:
  static constexpr std::uint32_t kPrimaryAddress = 0x7F000001;  // 127.0.0.1
  static constexpr std::uint32_t kOtherAddress = 0x7F000002;    // 127.0.0.2
  // Bounds a test's wait for requests that should have arrived by then.
  static constexpr std::chrono::milliseconds kGenerousWait{10000};

  explicit FakeStunServer(FakeStunScript script = {});
  ~FakeStunServer();
  FakeStunServer(const FakeStunServer&) = delete;
  FakeStunServer& operator=(const FakeStunServer&) = delete;

  bool ok() const { return m_ok; }
  Ipv4Endpoint Endpoint(ServerSocket which) const;
  Ipv4Endpoint Primary() const { return Endpoint(ServerSocket::Primary); }

  void SetScript(FakeStunScript script);
  std::vector<FakeStunRequest> Requests() const;
  std::size_t CountOf(std::uint8_t testNumber) const;
  // True once count requests have arrived and been answered; false after the bound.
  bool WaitForCount(std::size_t count, std::chrono::milliseconds bound = kGenerousWait) const;
  // Sends bytes from one of the server's sockets, outside any script.
  void SendFrom(ServerSocket from, const std::vector<std::uint8_t>& bytes,
                const Ipv4Endpoint& to) const;

 private:
  void ServeLoop();
  void Handle(FakeStunRequest request);

  int m_sockets[4] = {-1, -1, -1, -1};
  std::uint16_t m_port = 0;
  std::uint16_t m_otherPort = 0;
  bool m_ok = false;
  std::atomic<bool> m_stopping{false};
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_handled;
  std::size_t m_handledCount = 0;
  FakeStunScript m_script;
  std::vector<FakeStunRequest> m_requests;
  std::thread m_thread;
};

// --- answers a script can give -------------------------------------------------

// The socket an RFC-abiding server answers from, by the request's ChangeRequest.
ServerSocket SocketAskedFor(const FakeStunRequest& request);

struct BindingResponseFields {
  std::optional<Ipv4Endpoint> mapped;
  std::optional<Ipv4Endpoint> source;
  std::optional<Ipv4Endpoint> changed;
};
// A Binding Response (0x0101) with the request's transaction id and the
// given address attributes, in the order classic servers write them.
std::vector<std::uint8_t> BindingResponse(const FakeStunRequest& request,
                                          const BindingResponseFields& fields);

// What a well-behaved server with no NAT in between answers: from the socket
// asked for, the sender as mapped address, the other address and port as
// changed address.
FakeStunAnswer StandardAnswer(const FakeStunRequest& request, const FakeStunServer& server);
// The same with another mapped address, as a translator in between makes it.
FakeStunAnswer AnswerMapping(const FakeStunRequest& request, const FakeStunServer& server,
                             const Ipv4Endpoint& mapped);

// A port p with p and p + 1 both free on every interface at the moment of asking.
std::uint16_t FindFreePortPair();

}  // namespace talu::stun::testing
