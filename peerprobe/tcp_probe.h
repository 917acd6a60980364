// The TCP probes of rows 6, 7 and 8: the seven peer-protocol packets over one
// connection to the peer-protocol server, framed, bare or as HTTP POST
// bodies, to find out which disguise the user's network lets through.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "checkrun/check_run.h"

namespace talu {

// The peer-protocol server runs beside the primary STUN server, on the port
// that web proxies commonly leave open.
inline constexpr std::uint16_t kPeerProtocolPort = 8080;

enum class PacketWrapping {
  ScrambledFrame,  // the client's own frame encoding
  Bare,            // BitTorrent-style messages as built
  HttpPost,        // each packet the body of a POST request
};

struct TcpProbeSettings {
  int row = 0;
  PacketWrapping wrapping = PacketWrapping::Bare;
  std::chrono::milliseconds pause{0};  // after each exchange
  // Tests point the probe at their own server.
  std::string serverHost;
  std::uint16_t serverPort = kPeerProtocolPort;
};

// Formats the head of row 8's request for a body of bodySize bytes into
// buffer. Returns the head's length, or 0 when it does not fit.
std::size_t FormatHttpRequestHead(char* buffer, std::size_t capacity, std::size_t bodySize);

// Runs the probe to one of its ends and leaves the outcome as the row's
// result text. Always returns 0.
int RunTcpProbe(CheckRunState* dialog, const TcpProbeSettings& settings);

// What the three thread bodies probe: exposed so that tests can run the very
// same settings against a server of their own.
TcpProbeSettings PeerProtocolProbeSettings();
TcpProbeSettings BtProbeSettings();
TcpProbeSettings HttpProbeSettings();

// Thread bodies of rows 6, 7 and 8.
int RunPeerProtocolProbe(CheckRunState* dialog);
int RunBtProbe(CheckRunState* dialog);
int RunHttpProbe(CheckRunState* dialog);

}  // namespace talu
