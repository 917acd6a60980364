// The classic STUN wire format: a 20-byte header (type, length of what
// follows, 16-byte transaction id) and type-length-value attributes, all
// numbers big-endian. Pure computations on caller-owned buffers; the only
// side effect is the diagnostic lines on InfoLog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "stun/stun_record.h"

namespace talu::stun {

// The largest message a record within its invariants encodes to: header,
// seven addresses, ChangeRequest, three texts, ErrorCode, UnknownAttribute,
// xorOnly and the MessageIntegrity placeholder.
inline constexpr std::size_t kMaxEncodedSize =
    kStunHeaderSize + 7 * (4 + 8) + (4 + 4) + 3 * (4 + kTextCapacity) +
    (4 + 4 + kTextCapacity - 1) + (4 + 2 * kMaxUnknownTypes) + 4 + (4 + kMessageIntegritySize);
static_assert(kMaxEncodedSize <= kStunBufferSize);

// Fills record from one received datagram. True when the whole message was
// understood; on false the record keeps whatever was stored before the
// failure (the header included once 20 bytes were there). Never reads
// outside bytes[0, size).
bool DecodeStunPacket(const std::uint8_t* bytes, std::uint32_t size, StunRecord& record);

// Writes the message the record describes and returns its size. A non-empty
// password appends the MessageIntegrity placeholder; the record's own
// MessageIntegrity is not written. Writes stay inside buffer: a record that
// breaks its invariants has its lengths cut to the value capacities, and
// kStunBufferSize always holds the result.
std::size_t EncodeStunPacket(const StunRecord& record, std::span<std::uint8_t> buffer,
                             const TextValue& password, bool verbose);

}  // namespace talu::stun
