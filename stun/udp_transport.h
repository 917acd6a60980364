// Three thin operations on the client's UDP sockets, each writing its own
// failure lines. All block on the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/socket.h"

namespace talu::stun {

// An IPv4 UDP socket bound to port (0: any) on the interface; 0 and
// 127.0.0.1 mean every interface. kInvalidSocket on failure.
platform::Socket OpenUdpSocket(std::uint32_t interfaceAddress, std::uint16_t port, bool verbose);

// One datagram into buffer. *size is the capacity on entry and the byte count
// on return; the byte after the datagram is set to NUL, so a datagram must
// leave two bytes of the capacity free. Call only on a readable socket.
bool ReceiveDatagram(platform::Socket socket, std::uint8_t* buffer, std::size_t* size);

// True only when the whole datagram went out.
bool SendDatagram(platform::Socket socket, const std::uint8_t* bytes, std::size_t length,
                  std::uint32_t address, std::uint16_t port, bool verbose);

}  // namespace talu::stun
