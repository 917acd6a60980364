// Row 2: the network type, from the primary STUN server or, when it gives
// no verdict, from the secondary one.
#pragma once

#include <functional>
#include <string>

#include "checkrun/check_run.h"

namespace talu {

// The worker the sequencer starts for row 2; returns 0.
int NatTypeWorker(CheckRunState* dialog);

namespace stun {

// Asks one STUN server text for its DetectNetworkType value.
using NetworkTypeDetector = std::function<int(const std::string& serverText)>;

struct NatTypeServers {
  std::string primary;
  std::string secondary;
};

// The step of row 2 with its servers and detection given: marker, timer 2,
// primary, secondary when the primary's code is 6 or 7, timer stopped,
// "网络类型为:n". Returns the code shown.
int RunNatTypeStep(ResultTable& table, const NatTypeServers& servers,
                   const NetworkTypeDetector& detect);

}  // namespace stun
}  // namespace talu
