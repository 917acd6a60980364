// How the probes present themselves to the client's servers: a PeerId that
// names the sender and the ContentId of one fixed piece of content, and the
// two UDP datagrams of the scheduler probes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace talu {

inline constexpr std::size_t kPeerIdSize = 20;
inline constexpr std::size_t kContentIdSize = 20;
inline constexpr std::size_t kSchedulerProbeDatagramSize = 28;
inline constexpr std::size_t kHighSpeedProbeDatagramSize = 48;

// "TALU0069" and 12 upper-case hexadecimal characters; 13 draws.
void GeneratePeerId(std::uint8_t* peerId);
// The configured ContentId's 40 digits as 20 bytes. Conversion stops at the
// first character that is no hexadecimal digit; callers clear the buffer first.
void DecodeContentId(std::uint8_t* contentId);
// Same, for any text: exposed so that a faulty configuration can be tested.
void DecodeContentIdText(const char* digits, std::uint8_t* contentId);

void BuildSchedulerProbeDatagram(std::uint8_t* datagram);
void BuildHighSpeedProbeDatagram(std::uint8_t* datagram);

}  // namespace talu
