// Thin BSD-style socket layer. The check code reaches the operating system's
// sockets only through these calls, so that another platform's socket API can
// sit behind the same names. Addresses and ports are in host byte order.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace talu::platform {

using Socket = int;
inline constexpr Socket kInvalidSocket = -1;

enum class SocketType { Udp, Tcp };

// Platform error numbers that callers tell apart. On this platform they are
// the errno values; another platform maps its own codes here.
struct SocketErrors {
  static const int kAddressInUse;
  static const int kAddressNotAvailable;
  static const int kConnectionRefused;
  static const int kConnectionReset;
  static const int kAddressFamilyNotSupported;
  static const int kHostDown;
  static const int kHostUnreachable;
  static const int kNotASocket;
};

Socket CreateSocket(SocketType type);
void CloseSocket(Socket socket);

// Time-outs bound every blocking receive, send and (on this platform) connect.
bool SetReceiveTimeout(Socket socket, std::chrono::milliseconds timeout);
bool SetSendTimeout(Socket socket, std::chrono::milliseconds timeout);
bool SetMulticastTtl(Socket socket, int ttl);
bool SetMulticastLoop(Socket socket, bool loop);

bool BindIpv4(Socket socket, std::uint32_t address, std::uint16_t port);
bool ConnectIpv4(Socket socket, std::uint32_t address, std::uint16_t port);
// The local port a socket is bound to, 0 when unknown.
std::uint16_t LocalPort(Socket socket);

// Each returns the byte count, or -1 with LastSocketError() set.
long SendTo(Socket socket, const void* bytes, std::size_t length, std::uint32_t address,
            std::uint16_t port);
long ReceiveFrom(Socket socket, void* buffer, std::size_t capacity, std::uint32_t* fromAddress,
                 std::uint16_t* fromPort);
long Send(Socket socket, const void* bytes, std::size_t length);
long Receive(Socket socket, void* buffer, std::size_t capacity);

// Waits until one of two sockets is readable. Returns the number of readable
// sockets (0 on time-out) or -1 with LastSocketError() set.
int WaitReadable(Socket first, Socket second, std::chrono::milliseconds timeout, bool* firstReady,
                 bool* secondReady);

// The calling thread's last socket error number and the platform's text for it.
int LastSocketError();
std::string SocketErrorText(int error);
// True for the error that a send or receive time-out reports.
bool IsTimeoutError(int error);

// The platform's dotted-address parser: 255.255.255.255 when it rejects the text.
std::uint32_t ParseDottedIpv4(const std::string& text);
std::string FormatDottedIpv4(std::uint32_t address);

}  // namespace talu::platform
