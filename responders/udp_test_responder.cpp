#include "responders/udp_test_responder.h"

#include "platform/socket.h"

namespace talu::responders {

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1
// How often the receive thread looks at the stop flag; it bounds how long
// the destructor waits, nothing else.
constexpr std::chrono::milliseconds kStopPollInterval{50};
// Larger than any datagram a test sends, so none is cut short unnoticed.
constexpr std::size_t kMaxDatagram = 65536;

}  // namespace

UdpTestResponder::UdpTestResponder(AnswerPolicy policy, Reply reply)
    : reply_(std::move(reply)), policy_(policy) {
  if (!reply_) reply_ = [](const ReceivedDatagram& datagram) { return datagram.bytes; };
  socket_ = platform::CreateSocket(platform::SocketType::Udp);
  if (socket_ == platform::kInvalidSocket) return;
  if (!platform::BindIpv4(socket_, kLoopback, 0) ||
      !platform::SetReceiveTimeout(socket_, kStopPollInterval)) {
    platform::CloseSocket(socket_);
    socket_ = -1;
    return;
  }
  port_ = platform::LocalPort(socket_);
  thread_ = std::thread([this] { ReceiveLoop(); });
}

UdpTestResponder::~UdpTestResponder() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  platform::CloseSocket(socket_);
}

void UdpTestResponder::SetPolicy(AnswerPolicy policy) {
  std::lock_guard<std::mutex> lock(mutex_);
  policy_ = policy;
}

std::vector<ReceivedDatagram> UdpTestResponder::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::size_t UdpTestResponder::receivedCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_.size();
}

std::size_t UdpTestResponder::answeredCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answered_;
}

bool UdpTestResponder::WaitForCount(std::size_t count, std::chrono::milliseconds bound) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, bound, [&] { return handled_ >= count; });
}

void UdpTestResponder::ReceiveLoop() {
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  while (!stopping_) {
    ReceivedDatagram datagram;
    const long received = platform::ReceiveFrom(socket_, buffer.data(), buffer.size(),
                                                 &datagram.fromAddress, &datagram.fromPort);
    if (received < 0) continue;  // the poll interval passed, or an ICMP error surfaced
    datagram.bytes.assign(buffer.begin(), buffer.begin() + received);
    bool answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back(datagram);
      answer = policy_.Answers(received_.size());
    }
    if (answer) {
      const std::vector<std::uint8_t> reply = reply_(datagram);
      platform::SendTo(socket_, reply.data(), reply.size(), datagram.fromAddress, datagram.fromPort);
    }
    {
      // Waiters learn of the datagram only once its answer is out, so a test
      // that saw the count can rely on the answer having been sent.
      std::lock_guard<std::mutex> lock(mutex_);
      if (answer) ++answered_;
      ++handled_;
    }
    arrived_.notify_all();
  }
}

}  // namespace talu::responders
