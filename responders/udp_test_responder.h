// A UDP peer on 127.0.0.1 that a test starts in-process: it records every
// datagram it receives and answers as its policy says, so a test can play a
// server that answers, stays silent, or answers only after some resends.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace talu::responders {

struct ReceivedDatagram {
  std::vector<std::uint8_t> bytes;
  std::uint32_t fromAddress = 0;  // host byte order
  std::uint16_t fromPort = 0;
};

struct AnswerPolicy {
  enum class Kind { Always, Never, FromNth };
  Kind kind = Kind::Always;
  std::size_t nth = 1;  // FromNth: the first datagram answered, counting from 1

  static AnswerPolicy Always() { return {Kind::Always, 1}; }
  static AnswerPolicy Never() { return {Kind::Never, 0}; }
  static AnswerPolicy FromNth(std::size_t n) { return {Kind::FromNth, n}; }

  // Whether the datagram with this 1-based sequence number gets an answer.
  bool Answers(std::size_t sequence) const {
    switch (kind) {
      case Kind::Always: return true;
      case Kind::Never: return false;
      case Kind::FromNth: return sequence >= nth;
    }
    return false;
  }
};

class UdpTestResponder {
 public:
  // Builds the answer to one datagram; the default echoes it back.
  using Reply = std::function<std::vector<std::uint8_t>(const ReceivedDatagram&)>;

  // A wait that a test may use for "the datagram should have arrived by now":
  // generous, since a loaded machine can stall a thread for a long while.
  static constexpr std::chrono::milliseconds kGenerousWait{10000};

  explicit UdpTestResponder(AnswerPolicy policy = AnswerPolicy::Always(), Reply reply = {});
  ~UdpTestResponder();

  UdpTestResponder(const UdpTestResponder&) = delete;
  UdpTestResponder& operator=(const UdpTestResponder&) = delete;

  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }

  void SetPolicy(AnswerPolicy policy);
  std::vector<ReceivedDatagram> received() const;
  std::size_t receivedCount() const;
  std::size_t answeredCount() const;
  // True once at least count datagrams have arrived and been dealt with (an
  // answer that the policy asks for is already sent); false after the bound.
  bool WaitForCount(std::size_t count, std::chrono::milliseconds bound = kGenerousWait) const;

 private:
  void ReceiveLoop();

  int socket_ = -1;
  std::uint16_t port_ = 0;
  Reply reply_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  AnswerPolicy policy_;
  std::vector<ReceivedDatagram> received_;
  std::size_t answered_ = 0;
  std::size_t handled_ = 0;  // received and, where the policy says so, answered
  std::thread thread_;
};

}  // namespace talu::responders
