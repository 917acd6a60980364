// The UDP probes of the client's two scheduler services (rows 3 and 5): one
// small datagram to the service, resent while no answer comes, and any
// datagram back counts as reachable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "checkrun/check_run.h"
#include "schedprobe/probe_identity.h"

namespace talu {

// The scheduler services listen on the HTTP port so that firewalls that only
// let web traffic out still let the probe through.
inline constexpr std::uint16_t kSchedulerProbePort = 80;

// Writes a whole datagram of a size fixed by the builder.
using DatagramBuilder = void (*)(std::uint8_t* datagram);

struct ProbeDatagram {
  DatagramBuilder build = nullptr;
  std::size_t size = 0;
};

inline constexpr ProbeDatagram kSchedulerDatagram{BuildSchedulerProbeDatagram,
                                                  kSchedulerProbeDatagramSize};
inline constexpr ProbeDatagram kHighSpeedDatagram{BuildHighSpeedProbeDatagram,
                                                  kHighSpeedProbeDatagramSize};
// The probe builds its datagram in a buffer of this size.
inline constexpr std::size_t kProbeDatagramCapacity = kHighSpeedProbeDatagramSize;
static_assert(kSchedulerDatagram.size <= kProbeDatagramCapacity);
static_assert(kHighSpeedDatagram.size <= kProbeDatagramCapacity);

struct UdpProbeSettings {
  int row = 0;
  std::string host;
  ProbeDatagram datagram;
  std::uint16_t port = kSchedulerProbePort;  // tests point the probe at their own responder
};

// Runs the probe to one of its ends and leaves the outcome as the row's
// result text. Always returns 0.
int RunUdpProbe(CheckRunState* dialog, const UdpProbeSettings& settings);

// What the two thread bodies probe: exposed so that tests can run the very
// same settings against a responder of their own.
UdpProbeSettings SchedulerProbeSettings();
UdpProbeSettings HighSpeedSchedulerProbeSettings();

// Thread bodies of rows 3 and 5.
int RunSchedulerProbe(CheckRunState* dialog);
int RunHighSpeedSchedulerProbe(CheckRunState* dialog);

}  // namespace talu
