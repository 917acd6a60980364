#include "stun/stun_codec.h"

#include <algorithm>
#include <cstring>

#include "stun/diagnostics.h"

namespace talu::stun {

namespace {

constexpr std::size_t kAttributeHeadSize = 4;
constexpr std::size_t kAddressValueSize = 8;
constexpr std::size_t kChangeRequestSize = 4;
constexpr std::size_t kErrorHeadSize = 4;
// The reason must leave room for its terminator in ErrorValue::reason.
constexpr std::size_t kMaxErrorValueSize = kErrorHeadSize + kTextCapacity - 1;
constexpr std::size_t kMaxUnknownListSize = 2 * kMaxUnknownTypes;
// What this client writes where a keyed hash would go: it never computes one.
constexpr char kIntegrityPlaceholder[] = "hmac-not-implemented";
static_assert(sizeof kIntegrityPlaceholder - 1 == kMessageIntegritySize);

std::uint16_t ReadU16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

std::uint32_t ReadU32(const std::uint8_t* at) {
  return (static_cast<std::uint32_t>(at[0]) << 24) | (static_cast<std::uint32_t>(at[1]) << 16) |
         (static_cast<std::uint32_t>(at[2]) << 8) | static_cast<std::uint32_t>(at[3]);
}

// One attribute as found on the wire; value holds exactly length bytes.
struct Attribute {
  std::uint16_t type;
  std::uint16_t length;
  const std::uint8_t* value;
};

enum class Decoded { Accepted, Refused, UnknownType };

// --- value decoders: each writes its own refusal lines ------------------------

bool DecodeAddress(const Attribute& attribute, AddressValue& value) {
  if (attribute.length != kAddressValueSize) {
    InfoLog() << "hdrLen wrong for Address";
    return false;
  }
  value.reserved = attribute.value[0];
  value.family = attribute.value[1];
  if (value.family == kFamilyIpv6) {
    InfoLog() << "ipv6 not supported";
    return false;
  }
  if (value.family != kFamilyIpv4) {
    InfoLog() << "bad address family: " << static_cast<char>(value.family);
    return false;
  }
  value.port = ReadU16(attribute.value + 2);
  value.address = ReadU32(attribute.value + 4);
  return true;
}

bool DecodeText(const Attribute& attribute, TextValue& value) {
  if (attribute.length >= kTextCapacity) {
    InfoLog() << "String is too large";
    return false;
  }
  if (attribute.length % 4 != 0) {
    InfoLog() << "Bad length string " << attribute.length;
    return false;
  }
  std::memcpy(value.bytes.data(), attribute.value, attribute.length);
  value.length = attribute.length;
  value.bytes[attribute.length] = 0;  // a multiple of 4 below 256 leaves room
  return true;
}

bool DecodeChangeRequest(const Attribute& attribute, std::uint32_t& value) {
  if (attribute.length != kChangeRequestSize) {
    InfoLog() << "hdr length = " << attribute.length << " expecting " << kChangeRequestSize;
    InfoLog() << "Incorrect size for ChangeRequest";
    return false;
  }
  value = ReadU32(attribute.value);
  return true;
}

bool DecodeIntegrity(const Attribute& attribute,
                     std::array<std::uint8_t, kMessageIntegritySize>& value) {
  if (attribute.length != kMessageIntegritySize) {
    InfoLog() << "MessageIntegrity must be 20 bytes";
    return false;
  }
  std::memcpy(value.data(), attribute.value, kMessageIntegritySize);
  return true;
}

bool DecodeError(const Attribute& attribute, ErrorValue& value) {
  if (attribute.length > kMaxErrorValueSize) {
    InfoLog() << "head on Error too large";
    return false;
  }
  if (attribute.length < kErrorHeadSize) return false;
  value.reserved = ReadU16(attribute.value);
  // The whole bytes, unmasked: the lines show what the server sent.
  value.errorClass = attribute.value[2];
  value.number = attribute.value[3];
  value.reasonLength = static_cast<std::uint16_t>(attribute.length - kErrorHeadSize);
  std::memcpy(value.reason.data(), attribute.value + kErrorHeadSize, value.reasonLength);
  value.reason[value.reasonLength] = 0;
  return true;
}

bool DecodeUnknownList(const Attribute& attribute, UnknownList& value) {
  if (attribute.length > kMaxUnknownListSize || attribute.length % 4 != 0) return false;
  value.count = static_cast<std::uint16_t>(attribute.length / 2);
  for (std::size_t i = 0; i < value.count; ++i) value.types[i] = ReadU16(attribute.value + 2 * i);
  return true;
}

// --- the attribute table ---------------------------------------------------------

struct AddressAttribute {
  std::uint16_t type;
  bool StunRecord::*present;
  AddressValue StunRecord::*value;
  const char* name;   // as the "problem parsing" line writes it
  const char* label;  // the line on success; nullptr for none
};

constexpr AddressAttribute kAddressAttributes[] = {
    {attr::kMappedAddress, &StunRecord::mappedAddressPresent, &StunRecord::mappedAddress,
     "MappedAddress", "MappedAddress = "},
    {attr::kResponseAddress, &StunRecord::responseAddressPresent, &StunRecord::responseAddress,
     "ResponseAddress", "ResponseAddress = "},
    {attr::kSourceAddress, &StunRecord::sourceAddressPresent, &StunRecord::sourceAddress,
     "SourceAddress", "SourceAddress = "},
    {attr::kChangedAddress, &StunRecord::changedAddressPresent, &StunRecord::changedAddress,
     "ChangedAddress", "ChangedAddress = "},
    {attr::kReflectedFrom, &StunRecord::reflectedFromPresent, &StunRecord::reflectedFrom,
     "ReflectedFrom", nullptr},
    {attr::kXorMappedAddress, &StunRecord::xorMappedAddressPresent, &StunRecord::xorMappedAddress,
     "XorMappedAddress", "XorMappedAddress = "},
    {attr::kSecondaryAddress, &StunRecord::secondaryAddressPresent, &StunRecord::secondaryAddress,
     "secondaryAddress", "SecondaryAddress = "},
};

struct TextAttribute {
  std::uint16_t type;
  bool StunRecord::*present;
  TextValue StunRecord::*value;
  const char* name;
  const char* label;
};

constexpr TextAttribute kTextAttributes[] = {
    {attr::kUsername, &StunRecord::usernamePresent, &StunRecord::username, "Username",
     "Username = "},
    {attr::kPassword, &StunRecord::passwordPresent, &StunRecord::password, "Password",
     "Password = "},
    {attr::kServerName, &StunRecord::serverNamePresent, &StunRecord::serverName, "ServerName",
     "ServerName = "},
};

Decoded Refuse(const char* name) {
  InfoLog() << "problem parsing " << name;
  return Decoded::Refused;
}

const AddressAttribute* FindAddressAttribute(std::uint16_t type) {
  for (const AddressAttribute& entry : kAddressAttributes) {
    if (entry.type == type) return &entry;
  }
  return nullptr;
}

const TextAttribute* FindTextAttribute(std::uint16_t type) {
  for (const TextAttribute& entry : kTextAttributes) {
    if (entry.type == type) return &entry;
  }
  return nullptr;
}

Decoded DecodeAddressAttribute(const AddressAttribute& entry, const Attribute& attribute,
                               StunRecord& record) {
  record.*entry.present = true;
  AddressValue& value = record.*entry.value;
  if (!DecodeAddress(attribute, value)) return Refuse(entry.name);
  if (entry.label) InfoLog() << entry.label << EndpointText{value.port, value.address};
  return Decoded::Accepted;
}

Decoded DecodeTextAttribute(const TextAttribute& entry, const Attribute& attribute,
                            StunRecord& record) {
  record.*entry.present = true;
  TextValue& value = record.*entry.value;
  if (!DecodeText(attribute, value)) return Refuse(entry.name);
  InfoLog() << entry.label << TextUpToNul(value.bytes.data(), value.bytes.size());
  return Decoded::Accepted;
}

Decoded DecodeOtherAttribute(const Attribute& attribute, StunRecord& record) {
  switch (attribute.type) {
    case attr::kChangeRequest:
      record.changeRequestPresent = true;
      if (!DecodeChangeRequest(attribute, record.changeRequest)) return Refuse("ChangeRequest");
      InfoLog() << "ChangeRequest = " << record.changeRequest;
      return Decoded::Accepted;
    case attr::kMessageIntegrity:
      record.messageIntegrityPresent = true;
      if (!DecodeIntegrity(attribute, record.messageIntegrity)) return Refuse("MessageIntegrity");
      return Decoded::Accepted;
    case attr::kErrorCode: {
      record.errorCodePresent = true;
      const ErrorValue& error = record.errorCode;
      if (!DecodeError(attribute, record.errorCode)) return Refuse("ErrorCode");
      InfoLog() << "ErrorCode = " << unsigned{error.errorClass} << ' ' << unsigned{error.number}
                << ' ' << TextUpToNul(error.reason.data(), error.reason.size());
      return Decoded::Accepted;
    }
    case attr::kUnknownAttribute:
      record.unknownAttributesPresent = true;
      if (!DecodeUnknownList(attribute, record.unknownAttributes)) {
        return Refuse("UnknownAttribute");
      }
      return Decoded::Accepted;
    case attr::kXorOnly:
      record.xorOnly = true;
      InfoLog() << "xorOnly = true";
      return Decoded::Accepted;
    default:
      return Decoded::UnknownType;
  }
}

Decoded DecodeAttribute(const Attribute& attribute, StunRecord& record) {
  if (const AddressAttribute* entry = FindAddressAttribute(attribute.type)) {
    return DecodeAddressAttribute(*entry, attribute, record);
  }
  if (const TextAttribute* entry = FindTextAttribute(attribute.type)) {
    return DecodeTextAttribute(*entry, attribute, record);
  }
  return DecodeOtherAttribute(attribute, record);
}

// The type an attribute head shows when fewer than four bytes are left for
// it: the bytes that are there, each missing one read as 0 (what a receive
// buffer's terminator would give), never a byte from past the datagram.
std::uint16_t TruncatedHeadType(const std::uint8_t* head, std::size_t remaining) {
  const std::uint8_t high = remaining >= 1 ? head[0] : 0;
  const std::uint8_t low = remaining >= 2 ? head[1] : 0;
  return static_cast<std::uint16_t>((high << 8) | low);
}

bool DecodeAttributes(const std::uint8_t* at, std::size_t remaining, StunRecord& record) {
  while (remaining > 0) {
    if (remaining < kAttributeHeadSize) {
      InfoLog() << "claims attribute is larger than size of message (attribute type="
                << TruncatedHeadType(at, remaining) << ")";
      return false;
    }
    const Attribute attribute{ReadU16(at), ReadU16(at + 2), at + kAttributeHeadSize};
    if (attribute.length + kAttributeHeadSize > remaining) {
      InfoLog() << "claims attribute is larger than size of message (attribute type="
                << attribute.type << ")";
      return false;
    }
    const Decoded result = DecodeAttribute(attribute, record);
    if (result == Decoded::Refused) return false;
    if (result == Decoded::UnknownType) {
      InfoLog() << "Unknown attribute: " << attribute.type;
      if (attribute.type < attr::kFirstOptional) return false;
    }
    at += kAttributeHeadSize + attribute.length;
    remaining -= kAttributeHeadSize + attribute.length;
  }
  return true;
}

// --- encoding --------------------------------------------------------------------

// Appends big-endian numbers and raw bytes; whatever would not fit is dropped.
class ByteWriter {
 public:
  explicit ByteWriter(std::span<std::uint8_t> buffer) : m_buffer(buffer) {}

  void U8(std::uint8_t value) {
    if (m_size < m_buffer.size()) m_buffer[m_size++] = value;
  }
  void U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value >> 8));
    U8(static_cast<std::uint8_t>(value));
  }
  void U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value >> 16));
    U16(static_cast<std::uint16_t>(value));
  }
  void Bytes(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) U8(bytes[i]);
  }
  void PutU16At(std::size_t offset, std::uint16_t value) {
    if (offset + 2 > m_size) return;
    m_buffer[offset] = static_cast<std::uint8_t>(value >> 8);
    m_buffer[offset + 1] = static_cast<std::uint8_t>(value);
  }
  std::size_t Size() const { return m_size; }

 private:
  std::span<std::uint8_t> m_buffer;
  std::size_t m_size = 0;
};

std::uint16_t TextLength(const TextValue& text) {
  return static_cast<std::uint16_t>(std::min<std::size_t>(text.length, kTextCapacity));
}

std::string_view LineText(const TextValue& text) {
  return TextUpToNul(text.bytes.data(), text.bytes.size());
}

// Encoding labels, in the order the attributes go on the wire.
struct AddressEncoding {
  std::uint16_t type;
  bool StunRecord::*present;
  AddressValue StunRecord::*value;
  const char* label;
};

void EncodeAddress(ByteWriter& out, std::uint16_t type, const AddressValue& value) {
  out.U16(type);
  out.U16(kAddressValueSize);
  out.U8(value.reserved);
  out.U8(kFamilyIpv4);  // whatever the record holds: this client speaks IPv4 only
  out.U16(value.port);
  out.U32(value.address);
}

void EncodeAddressIfPresent(ByteWriter& out, const StunRecord& record,
                            const AddressEncoding& entry, bool verbose) {
  if (!(record.*entry.present)) return;
  const AddressValue& value = record.*entry.value;
  if (verbose) InfoLog() << entry.label << EndpointText{value.port, value.address};
  EncodeAddress(out, entry.type, value);
}

void EncodeText(ByteWriter& out, std::uint16_t type, const TextValue& text) {
  const std::uint16_t length = TextLength(text);
  out.U16(type);
  out.U16(length);
  out.Bytes(text.bytes.data(), length);
}

void EncodeTextIfPresent(ByteWriter& out, std::uint16_t type, bool present, const TextValue& text,
                         const char* label, bool verbose) {
  if (!present) return;
  if (verbose) InfoLog() << label << LineText(text);
  EncodeText(out, type, text);
}

void EncodeErrorCode(ByteWriter& out, const ErrorValue& error, bool verbose) {
  const std::uint16_t reasonLength =
      static_cast<std::uint16_t>(std::min<std::size_t>(error.reasonLength, kTextCapacity - 1));
  if (verbose) {
    InfoLog() << "Encoding ErrorCode: class=" << unsigned{error.errorClass}
              << " number=" << unsigned{error.number}
              << " reason=" << TextUpToNul(error.reason.data(), error.reason.size());
  }
  out.U16(attr::kErrorCode);
  out.U16(static_cast<std::uint16_t>(kErrorHeadSize + reasonLength));
  out.U16(error.reserved);
  out.U8(error.errorClass);
  out.U8(error.number);
  out.Bytes(error.reason.data(), reasonLength);
}

// An odd count is written as it stands (2 * count bytes, not padded): this
// client never sends the attribute, and a peer refuses it either way.
void EncodeUnknownList(ByteWriter& out, const UnknownList& list, bool verbose) {
  const std::size_t count = std::min<std::size_t>(list.count, kMaxUnknownTypes);
  if (verbose) InfoLog() << "Encoding UnknownAttribute: ???";
  out.U16(attr::kUnknownAttribute);
  out.U16(static_cast<std::uint16_t>(2 * count));
  for (std::size_t i = 0; i < count; ++i) out.U16(list.types[i]);
}

void EncodeIntegrityPlaceholder(ByteWriter& out, const TextValue& password, bool verbose) {
  if (verbose) InfoLog() << "HMAC with password: " << LineText(password);
  out.U16(attr::kMessageIntegrity);
  out.U16(kMessageIntegritySize);
  out.Bytes(reinterpret_cast<const std::uint8_t*>(kIntegrityPlaceholder), kMessageIntegritySize);
}

constexpr AddressEncoding kLeadingAddresses[] = {
    {attr::kMappedAddress, &StunRecord::mappedAddressPresent, &StunRecord::mappedAddress,
     "Encoding MappedAddress: "},
    {attr::kResponseAddress, &StunRecord::responseAddressPresent, &StunRecord::responseAddress,
     "Encoding ResponseAddress: "},
};
constexpr AddressEncoding kMiddleAddresses[] = {
    {attr::kSourceAddress, &StunRecord::sourceAddressPresent, &StunRecord::sourceAddress,
     "Encoding SourceAddress: "},
    {attr::kChangedAddress, &StunRecord::changedAddressPresent, &StunRecord::changedAddress,
     "Encoding ChangedAddress: "},
};
constexpr AddressEncoding kReflectedFrom{attr::kReflectedFrom, &StunRecord::reflectedFromPresent,
                                         &StunRecord::reflectedFrom, "Encoding ReflectedFrom: "};
constexpr AddressEncoding kXorMapped{attr::kXorMappedAddress,
                                     &StunRecord::xorMappedAddressPresent,
                                     &StunRecord::xorMappedAddress, "Encoding XorMappedAddress: "};
constexpr AddressEncoding kSecondary{attr::kSecondaryAddress,
                                     &StunRecord::secondaryAddressPresent,
                                     &StunRecord::secondaryAddress, "Encoding SecondaryAddress: "};

void EncodeAttributes(ByteWriter& out, const StunRecord& record, bool verbose) {
  for (const AddressEncoding& entry : kLeadingAddresses) {
    EncodeAddressIfPresent(out, record, entry, verbose);
  }
  if (record.changeRequestPresent) {
    if (verbose) InfoLog() << "Encoding ChangeRequest: " << record.changeRequest;
    out.U16(attr::kChangeRequest);
    out.U16(kChangeRequestSize);
    out.U32(record.changeRequest);
  }
  for (const AddressEncoding& entry : kMiddleAddresses) {
    EncodeAddressIfPresent(out, record, entry, verbose);
  }
  EncodeTextIfPresent(out, attr::kUsername, record.usernamePresent, record.username,
                      "Encoding Username: ", verbose);
  EncodeTextIfPresent(out, attr::kPassword, record.passwordPresent, record.password,
                      "Encoding Password: ", verbose);
  if (record.errorCodePresent) EncodeErrorCode(out, record.errorCode, verbose);
  if (record.unknownAttributesPresent) EncodeUnknownList(out, record.unknownAttributes, verbose);
  EncodeAddressIfPresent(out, record, kReflectedFrom, verbose);
  EncodeAddressIfPresent(out, record, kXorMapped, verbose);
  if (record.xorOnly) {
    if (verbose) InfoLog() << "Encoding xorOnly: ";
    out.U16(attr::kXorOnly);
    out.U16(0);
  }
  EncodeTextIfPresent(out, attr::kServerName, record.serverNamePresent, record.serverName,
                      "Encoding ServerName: ", verbose);
  EncodeAddressIfPresent(out, record, kSecondary, verbose);
}

constexpr std::size_t kLengthOffset = 2;

}  // namespace

TextValue MakeTextValue(std::string_view text) {
  TextValue value;
  const std::size_t length = std::min(text.size(), kTextCapacity);
  std::memcpy(value.bytes.data(), text.data(), length);
  value.length = static_cast<std::uint16_t>(length);
  return value;
}

bool DecodeStunPacket(const std::uint8_t* bytes, std::uint32_t size, StunRecord& record) {
  InfoLog() << "Received stun message: " << size << " bytes";
  record = StunRecord{};
  if (size < kStunHeaderSize) {
    InfoLog() << "Bad message";
    return false;
  }
  record.messageType = ReadU16(bytes);
  record.messageLength = ReadU16(bytes + kLengthOffset);
  std::memcpy(record.transactionId.data(), bytes + 4, kTransactionIdSize);
  if (size != record.messageLength + kStunHeaderSize) {
    InfoLog() << "Message header length doesn't match message size: " << record.messageLength
              << " - " << size;
    return false;
  }
  return DecodeAttributes(bytes + kStunHeaderSize, record.messageLength, record);
}

std::size_t EncodeStunPacket(const StunRecord& record, std::span<std::uint8_t> buffer,
                             const TextValue& password, bool verbose) {
  if (verbose) InfoLog() << "Encoding stun message: ";
  ByteWriter out(buffer);
  out.U16(record.messageType);
  out.U16(0);  // the length is known only at the end
  out.Bytes(record.transactionId.data(), kTransactionIdSize);
  EncodeAttributes(out, record, verbose);
  if (password.length > 0) EncodeIntegrityPlaceholder(out, password, verbose);
  if (verbose) InfoLog() << "";
  const std::size_t total = out.Size();
  if (total >= kStunHeaderSize) {
    out.PutU16At(kLengthOffset, static_cast<std::uint16_t>(total - kStunHeaderSize));
  }
  return total;
}

}  // namespace talu::stun
