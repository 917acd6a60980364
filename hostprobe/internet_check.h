// Row 0: can the Internet be reached, and over which kind of link.
#pragma once

#include <functional>

#include "platform/routes.h"

namespace talu {

enum ConnectionKind : int {
  NotConnected = 0,  // no link, the page did not open, or a link that is neither LAN nor modem
  Modem = 1,
  Lan = 2,
};

// The rule itself, over the two platform queries: LAN wins over modem, and
// the page must open for either to count. No request is made without a link.
ConnectionKind ClassifyConnection(const platform::LinkState& link,
                                  const std::function<bool()>& openReachabilityPage);

// Blocks for the link query and at most the page's time-outs.
ConnectionKind CheckInternetConnection();

}  // namespace talu
