// Builds STUN datagrams byte by byte for the tests, lengths stated or
// computed, so that a case shows exactly what is on the wire.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace talu::stun::testbytes {

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline Bytes U16(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

inline Bytes U32(std::uint32_t value) {
  Bytes out = U16(static_cast<std::uint16_t>(value >> 16));
  Append(out, U16(static_cast<std::uint16_t>(value)));
  return out;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// An attribute whose length field says what the value holds.
inline Bytes Attr(std::uint16_t type, const Bytes& value) {
  Bytes out = U16(type);
  Append(out, U16(static_cast<std::uint16_t>(value.size())));
  Append(out, value);
  return out;
}

// An attribute whose length field says something else than the value holds.
inline Bytes AttrClaiming(std::uint16_t type, std::uint16_t length, const Bytes& value) {
  Bytes out = U16(type);
  Append(out, U16(length));
  Append(out, value);
  return out;
}

inline Bytes AddressBytes(std::uint8_t family, std::uint16_t port, std::uint32_t address,
                          std::uint8_t reserved = 0) {
  Bytes out{reserved, family};
  Append(out, U16(port));
  Append(out, U32(address));
  return out;
}

inline const Bytes kTransactionId = {0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                     0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

// A message of the given type whose header length covers the attributes.
inline Bytes Message(std::uint16_t type, std::initializer_list<Bytes> attributes,
                     const Bytes& transactionId = kTransactionId) {
  Bytes body;
  for (const Bytes& attribute : attributes) Append(body, attribute);
  Bytes out = U16(type);
  Append(out, U16(static_cast<std::uint16_t>(body.size())));
  Append(out, transactionId);
  Append(out, body);
  return out;
}

}  // namespace talu::stun::testbytes
