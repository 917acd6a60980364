// One HTTP exchange as the gateway code makes it: a fresh TCP connection,
// the request in one send, and the reply read until the device closes the
// connection or the caller's buffer is full. Shared by the description fetch
// and the SOAP actions.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talu::upnp {

enum class ExchangeStatus {
  Completed,     // the reply was read to the device's close or to a full buffer
  NotConnected,  // no socket, or the connection was not established
  SendFailed,
  ReceiveFailed,
};

struct ExchangeOutcome {
  ExchangeStatus status = ExchangeStatus::NotConnected;
  // The bytes received, at most the capacity asked for.
  std::string reply;
  // True when the reply filled the whole capacity: more may have followed.
  bool filled = false;
};

// With a time-out, it bounds the connect, the send and each receive;
// without one the exchange lasts until the device closes the connection.
ExchangeOutcome ExchangeOverTcp(std::uint32_t address, std::uint16_t port, std::string_view request,
                                std::size_t replyCapacity,
                                std::optional<std::chrono::milliseconds> timeout = std::nullopt);

}  // namespace talu::upnp
