#include "stun/udp_transport.h"

#include <ios>

#include "stun/diagnostics.h"

namespace talu::stun {

namespace {

constexpr std::uint32_t kLoopbackAddress = 0x7F000001;  // 127.0.0.1
constexpr std::uint32_t kAnyAddress = 0;

// Loopback is bound as the wildcard: requests then leave on whichever
// interface routes to the server.
std::uint32_t BindAddressFor(std::uint32_t interfaceAddress) {
  return interfaceAddress == kLoopbackAddress ? kAnyAddress : interfaceAddress;
}

// The address as its network-order bytes read as a little-endian number,
// which is how the line has always shown it (192.168.1.2 is 0x201a8c0).
std::uint32_t WireOrderAsLittleEndian(std::uint32_t address) {
  return ((address >> 24) & 0xFF) | (((address >> 16) & 0xFF) << 8) |
         (((address >> 8) & 0xFF) << 16) | ((address & 0xFF) << 24);
}

void ReportBindFailure(int error, std::uint16_t port, bool verbose) {
  if (error == 0) {
    ErrorLog() << "Could not bind socket";
  } else if (error == platform::SocketErrors::kAddressInUse) {
    ErrorLog() << "Port " << port << " for receiving UDP is in use";
  } else if (error == platform::SocketErrors::kAddressNotAvailable) {
    // Expected when the local-binding test asks for an address not ours.
    if (verbose) ErrorLog() << "Cannot assign requested address";
  } else {
    ErrorLog() << "Could not bind UDP receive port" << "Error=" << error << " "
               << platform::SocketErrorText(error);
  }
}

void ReportReceiveFailure(int error) {
  if (error == platform::SocketErrors::kNotASocket) {
    ErrorLog() << "Error fd not a socket";
  } else if (error == platform::SocketErrors::kConnectionReset) {
    ErrorLog() << "Error connection reset - host not reachable";
  } else {
    ErrorLog() << "Socket Error=" << error;
  }
}

void ReportSendFailure(int error) {
  if (error == platform::SocketErrors::kAddressFamilyNotSupported) {
    ErrorLog() << "err EAFNOSUPPORT in send";
  } else if (error == platform::SocketErrors::kConnectionRefused ||
             error == platform::SocketErrors::kHostDown ||
             error == platform::SocketErrors::kHostUnreachable) {
    // An unreachable server is what the tests are there to find out: no line.
  } else {
    ErrorLog() << "err " << error << " " << platform::SocketErrorText(error) << " in send";
  }
}

}  // namespace

platform::Socket OpenUdpSocket(std::uint32_t interfaceAddress, std::uint16_t port, bool verbose) {
  const platform::Socket socket = platform::CreateSocket(platform::SocketType::Udp);
  if (socket == platform::kInvalidSocket) {
    ErrorLog() << "Could not create a UDP socket:" << platform::LastSocketError();
    return platform::kInvalidSocket;
  }
  const std::uint32_t local = BindAddressFor(interfaceAddress);
  if (local != kAnyAddress && verbose) {
    InfoLog() << "Binding to interface 0x" << std::hex << WireOrderAsLittleEndian(local);
  }
  if (!platform::BindIpv4(socket, local, port)) {
    const int error = platform::LastSocketError();
    ReportBindFailure(error, port, verbose);
    platform::CloseSocket(socket);
    return platform::kInvalidSocket;
  }
  if (verbose) InfoLog() << "Opened port " << port << " with fd " << static_cast<unsigned>(socket);
  return socket;
}

bool ReceiveDatagram(platform::Socket socket, std::uint8_t* buffer, std::size_t* size) {
  const std::size_t capacity = *size;
  const long received = platform::Receive(socket, buffer, capacity);
  if (received < 0) {
    ReportReceiveFailure(platform::LastSocketError());
    return false;
  }
  if (received == 0) {
    InfoLog() << "socket closed? zero len";
    return false;
  }
  const auto count = static_cast<std::size_t>(received);
  if (count + 1 >= capacity) {
    InfoLog() << "Received a message that was too large";
    return false;
  }
  buffer[count] = 0;
  *size = count;
  return true;
}

bool SendDatagram(platform::Socket socket, const std::uint8_t* bytes, std::size_t length,
                  std::uint32_t address, std::uint16_t port, bool verbose) {
  const long sent = platform::SendTo(socket, bytes, length, address, port);
  if (sent < 0) {
    ReportSendFailure(platform::LastSocketError());
    return false;
  }
  if (sent == 0) {
    ErrorLog() << "no data sent in send";
    return false;
  }
  if (static_cast<std::size_t>(sent) != length) {
    if (verbose) ErrorLog() << "only " << sent << " out of " << length << " bytes sent";
    return false;
  }
  return true;
}

}  // namespace talu::stun
