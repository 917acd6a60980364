// The classic NAT tests against one STUN server, from two local UDP sockets:
// test I (plain request), test II (answer from the other IP), test III
// (answer from the other port), test I(2) (plain request to the other IP),
// a hairpin test to the mapped endpoint and a local-binding test, folded
// into one outcome and, by DetectNetworkType, into the value row 2 reads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/socket.h"
#include "stun/endpoint.h"
#include "stun/stun_record.h"

namespace talu::stun {

enum class NatOutcome {
  OpenInternet = 1,
  FullCone = 2,
  RestrictedCone = 3,
  PortRestrictedCone = 4,
  SymmetricNat = 5,
  SymmetricFirewall = 6,
  UdpBlocked = 7,
  ProbeFailure = 8,  // a socket did not open, or the readiness wait failed
};

// Bits of DetectNetworkType's value above the three-bit type code.
inline constexpr int kNatCodeMask = 0x7;
inline constexpr int kNoHairpinFlag = 0x8;
inline constexpr int kPortPreservedFlag = 0x10;
inline constexpr int kUndeterminedCode = 7;
inline constexpr int kProbeFailureValue = -1;

// Test numbers, carried in byte 0 of each request's transaction id.
namespace tests {
inline constexpr std::uint8_t kTestI = 1;
inline constexpr std::uint8_t kTestII = 2;
inline constexpr std::uint8_t kTestIII = 3;
inline constexpr std::uint8_t kTestI2 = 10;
inline constexpr std::uint8_t kHairpin = 11;
}  // namespace tests

// The local-binding test: whether a socket can be bound to the address,
// that is whether the address is one of this host's own.
using LocalBindingTest = std::function<bool(std::uint32_t address)>;
bool BindsLocally(std::uint32_t address);

// One run of the tests. local: on entry the interface to bind to (0: any);
// gets the mapped endpoint on the first answer to test I. port: the local
// port p of socket A (socket B takes p + 1); 0 picks one at random.
// preservesPort and hairpins may be null.
NatOutcome RunNatTests(const Ipv4Endpoint& server, Ipv4Endpoint* local, bool* preservesPort,
                       bool* hairpins, std::uint16_t port);
NatOutcome RunNatTests(const Ipv4Endpoint& server, Ipv4Endpoint* local, bool* preservesPort,
                       bool* hairpins, std::uint16_t port, const LocalBindingTest& bindsLocally);

// Where a run binds and how it tells its own addresses; the defaults are the
// checker's: any interface, a random port, a real bind.
struct NatRunSetup {
  std::uint32_t interfaceAddress = 0;
  std::uint16_t localPort = 0;
  LocalBindingTest bindsLocally = BindsLocally;
};

// The type code (0..7) of an outcome, as row 2 shows it; -1 for ProbeFailure.
int ReportedCode(NatOutcome outcome);

// Runs the tests against a server text ("host" or "host:port") and returns
// the type code with kNoHairpinFlag / kPortPreservedFlag added; -1 when the
// run failed, 0 when the text is refused or names address 0.
int DetectNetworkType(const std::string& serverText);
int DetectNetworkType(const std::string& serverText, const NatRunSetup& setup);

// Builds, encodes and sends one test request (test II asks for the other
// IP, test III for the other port), then paces.
void SendProbe(const Ipv4Endpoint& server, const TextValue& password, platform::Socket socket,
               const TextValue& username, std::uint8_t testNumber, bool verbose);

}  // namespace talu::stun
