// One classic STUN message in memory: the header and a presence flag ahead
// of every attribute value. A plain value that owns nothing, so each caller
// keeps its records on its own stack and clears them before reuse.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace talu::stun {

inline constexpr std::size_t kStunHeaderSize = 20;
inline constexpr std::size_t kTransactionIdSize = 16;
inline constexpr std::size_t kTextCapacity = 256;
inline constexpr std::size_t kMessageIntegritySize = 20;
inline constexpr std::size_t kMaxUnknownTypes = 8;
// Every datagram buffer of the client: the receive path keeps one byte for a
// terminator, and the largest message a record can produce fits with room.
inline constexpr std::size_t kStunBufferSize = 2048;

inline constexpr std::uint16_t kBindingRequest = 0x0001;
inline constexpr std::uint8_t kFamilyIpv4 = 1;
inline constexpr std::uint8_t kFamilyIpv6 = 2;

// ChangeRequest flags: answer from the server's other IP address / other port.
inline constexpr std::uint32_t kChangeIpFlag = 0x4;
inline constexpr std::uint32_t kChangePortFlag = 0x2;

namespace attr {
inline constexpr std::uint16_t kMappedAddress = 0x0001;
inline constexpr std::uint16_t kResponseAddress = 0x0002;
inline constexpr std::uint16_t kChangeRequest = 0x0003;
inline constexpr std::uint16_t kSourceAddress = 0x0004;
inline constexpr std::uint16_t kChangedAddress = 0x0005;
inline constexpr std::uint16_t kUsername = 0x0006;
inline constexpr std::uint16_t kPassword = 0x0007;
inline constexpr std::uint16_t kMessageIntegrity = 0x0008;
inline constexpr std::uint16_t kErrorCode = 0x0009;
inline constexpr std::uint16_t kUnknownAttribute = 0x000A;
inline constexpr std::uint16_t kReflectedFrom = 0x000B;
inline constexpr std::uint16_t kXorMappedAddress = 0x0020;
inline constexpr std::uint16_t kXorOnly = 0x0021;
inline constexpr std::uint16_t kServerName = 0x0022;
inline constexpr std::uint16_t kSecondaryAddress = 0x0050;
// Types from here up may be passed over by a receiver that does not know them.
inline constexpr std::uint16_t kFirstOptional = 0x8000;
}  // namespace attr

struct AddressValue {
  std::uint8_t reserved = 0;
  std::uint8_t family = 0;
  std::uint16_t port = 0;
  std::uint32_t address = 0;  // host order: the first dotted number is the top byte
};

struct TextValue {
  std::array<std::uint8_t, kTextCapacity> bytes{};
  std::uint16_t length = 0;  // at most kTextCapacity
};

struct ErrorValue {
  std::uint16_t reserved = 0;
  std::uint8_t errorClass = 0;
  std::uint8_t number = 0;
  std::array<std::uint8_t, kTextCapacity> reason{};
  std::uint16_t reasonLength = 0;  // at most kTextCapacity - 1: the terminator must fit
};

struct UnknownList {
  std::array<std::uint16_t, kMaxUnknownTypes> types{};
  std::uint16_t count = 0;  // at most kMaxUnknownTypes
};

struct StunRecord {
  std::uint16_t messageType = 0;
  std::uint16_t messageLength = 0;
  std::array<std::uint8_t, kTransactionIdSize> transactionId{};

  bool mappedAddressPresent = false;
  AddressValue mappedAddress;
  bool responseAddressPresent = false;
  AddressValue responseAddress;
  bool changeRequestPresent = false;
  std::uint32_t changeRequest = 0;
  bool sourceAddressPresent = false;
  AddressValue sourceAddress;
  bool changedAddressPresent = false;
  AddressValue changedAddress;
  bool usernamePresent = false;
  TextValue username;
  bool passwordPresent = false;
  TextValue password;
  bool messageIntegrityPresent = false;
  std::array<std::uint8_t, kMessageIntegritySize> messageIntegrity{};
  bool errorCodePresent = false;
  ErrorValue errorCode;
  bool unknownAttributesPresent = false;
  UnknownList unknownAttributes;
  bool reflectedFromPresent = false;
  AddressValue reflectedFrom;
  bool xorMappedAddressPresent = false;
  AddressValue xorMappedAddress;
  bool xorOnly = false;
  bool serverNamePresent = false;
  TextValue serverName;
  bool secondaryAddressPresent = false;
  AddressValue secondaryAddress;
};

// A TextValue holding the given bytes, cut to the value's capacity.
TextValue MakeTextValue(std::string_view text);

}  // namespace talu::stun
