#include "hostprobe/internet_check.h"

#include <chrono>

#include "config/build_config.h"
#include "platform/url_open.h"

namespace talu {

namespace {

constexpr const char* kAgentName = "Example";
// A user on a dead network should learn it in seconds, not minutes: a
// connection that is not up after 10 s, or a page whose status line has not
// come after 15 s, counts as no Internet.
constexpr std::chrono::milliseconds kConnectTimeout{10'000};
constexpr std::chrono::milliseconds kTotalTimeout{15'000};

}  // namespace

ConnectionKind ClassifyConnection(const platform::LinkState& link,
                                  const std::function<bool()>& openReachabilityPage) {
  if (!link.lan && !link.modem) return NotConnected;
  const ConnectionKind kind = link.lan ? Lan : Modem;
  return openReachabilityPage() ? kind : NotConnected;
}

ConnectionKind CheckInternetConnection() {
  return ClassifyConnection(platform::QueryLinkState(), [] {
    return platform::OpenUrl(config::kReachabilityUrl,
                             {kAgentName, kConnectTimeout, kTotalTimeout});
  });
}

}  // namespace talu
