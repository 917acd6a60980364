#include "stun/nat_type_worker.h"

#include "config/build_config.h"
#include "stun/nat_discovery.h"

namespace talu {

namespace stun {

namespace {

// Codes from here up mean no verdict: UDP blocked (6) or undetermined (7,
// also what a failed run's -1 leaves in the low bits).
constexpr int kFirstCodeWithoutVerdict = 6;
constexpr const char* kNetworkTypeText = "网络类型为:";

}  // namespace

int RunNatTypeStep(ResultTable& table, const NatTypeServers& servers,
                   const NetworkTypeDetector& detect) {
  table.SetResultText(rows::kNatType, kCheckingMarker);
  table.StartTimer(kNatTypeTimerId, kAnimationPeriod);
  int code = detect(servers.primary) & kNatCodeMask;
  if (code >= kFirstCodeWithoutVerdict) code = detect(servers.secondary) & kNatCodeMask;
  table.StopTimer(kNatTypeTimerId);
  table.SetResultText(rows::kNatType, kNetworkTypeText + std::to_string(code));
  return code;
}

}  // namespace stun

int NatTypeWorker(CheckRunState* dialog) {
  const stun::NatTypeServers servers{config::kPrimaryStunHost, config::kSecondaryStunHost};
  stun::RunNatTypeStep(dialog->ResultTable, servers,
                       [](const std::string& serverText) {
                         return stun::DetectNetworkType(serverText);
                       });
  return 0;
}

}  // namespace talu
