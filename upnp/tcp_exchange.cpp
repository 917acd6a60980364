#include "upnp/tcp_exchange.h"

#include <vector>

#include "platform/socket.h"

namespace talu::upnp {

namespace {

// Reads until the peer closes or the buffer is full; false on a receive error.
bool ReceiveUntilClosedOrFull(platform::Socket socket, std::vector<char>& buffer,
                              std::size_t* received) {
  *received = 0;
  while (*received < buffer.size()) {
    const long piece =
        platform::Receive(socket, buffer.data() + *received, buffer.size() - *received);
    if (piece < 0) return false;
    if (piece == 0) return true;
    *received += static_cast<std::size_t>(piece);
  }
  return true;
}

}  // namespace

ExchangeOutcome ExchangeOverTcp(std::uint32_t address, std::uint16_t port, std::string_view request,
                                std::size_t replyCapacity,
                                std::optional<std::chrono::milliseconds> timeout) {
  ExchangeOutcome outcome;
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Tcp);
  if (socket == platform::kInvalidSocket) return outcome;
  if (timeout && (!platform::SetReceiveTimeout(socket, *timeout) ||
                  !platform::SetSendTimeout(socket, *timeout))) {
    platform::CloseSocket(socket);
    return outcome;
  }
  if (!platform::ConnectIpv4(socket, address, port)) {
    platform::CloseSocket(socket);
    return outcome;
  }
  if (platform::Send(socket, request.data(), request.size()) < 0) {
    platform::CloseSocket(socket);
    outcome.status = ExchangeStatus::SendFailed;
    return outcome;
  }
  std::vector<char> buffer(replyCapacity);
  std::size_t received = 0;
  const bool receivedAll = ReceiveUntilClosedOrFull(socket, buffer, &received);
  platform::CloseSocket(socket);
  if (!receivedAll) {
    outcome.status = ExchangeStatus::ReceiveFailed;
    return outcome;
  }
  outcome.status = ExchangeStatus::Completed;
  outcome.reply.assign(buffer.data(), received);
  outcome.filled = received == replyCapacity;
  return outcome;
}

}  // namespace talu::upnp
