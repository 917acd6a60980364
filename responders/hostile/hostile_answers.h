// What the hostile peers of the lab send: STUN answers that are garbage or
// cut short, a flood of SSDP answers that are garbage or belong to nobody
// we trust, a search answer that leads to an oversized description, and the
// sizes a flooding scheduler cycles through. Pure byte building, so that
// tests can hold each piece against the client's own parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talu::responders::hostile {

struct HostileDatagram {
  std::string name;  // what is wrong with it, for records and test output
  std::vector<std::uint8_t> bytes;
};

// Every hostile answer to one STUN request, in sending order. Those that
// carry a transaction id echo the request's, so the client files them under
// the test it sent; a few claim other tests' ids. Addresses inside them
// stay within the lab's own prefixes and loopback.
std::vector<HostileDatagram> BuildHostileStunAnswers(std::span<const std::uint8_t> request);

struct FloodAnswer {
  std::string name;
  std::string text;
  // Whether the client's answer parser takes it (it then only finds a port
  // where nothing listens); every other one is rejected before any connect.
  bool parserAccepts = false;
};

// The mix of answers an SSDP flood cycles through, for a LAN whose only
// default gateway is `gateway` (host order).
std::vector<FloodAnswer> BuildSsdpFloodAnswers(std::uint32_t gateway);

// The M-SEARCH's ST value when it asks for a WAN connection service, else "".
std::string SearchedWanServiceType(std::string_view search);

// A well-formed answer for serviceType whose description lives at
// gateway:httpPort, as a gateway's own answer would read.
std::string BuildGatewaySearchAnswer(std::string_view serviceType, std::uint32_t gateway,
                                     std::uint16_t httpPort);

// The HTTP reply with a device description of bodyBytes bytes: a plausible
// description of the WAN IP service first, then filler inside an XML
// comment up to the size, then the closing tag.
std::string BuildOversizedDescriptionReply(std::size_t bodyBytes);

// Datagram sizes a flooding scheduler cycles through: empty, tiny, around
// the probe's 1024-byte buffer, one Ethernet frame, fragmented, the largest.
std::span<const std::size_t> SchedulerFloodSizes();

}  // namespace talu::responders::hostile
