// The receiving thread of a mapping run: each answer to the search is read,
// its device description fetched and the mapping test run against it.
#include <array>
#include <chrono>

#include "platform/clock.h"
#include "platform/socket.h"
#include "upnp/device_description.h"
#include "upnp/search_answer.h"
#include "upnp/tcp_exchange.h"
#include "upnp/text_search.h"
#include "upnp/upnp.h"

namespace talu {

namespace {

using namespace std::chrono_literals;

// Nothing arrived: a short pause so that a socket that fails at once (no
// usable socket) does not spin the processor.
constexpr std::chrono::milliseconds kIdlePause = 1ms;

constexpr int kNothingHandled = -1;
constexpr int kRejected = -2;

}  // namespace

void CUpnp::SearchThreadProc(CUpnp* self, SearchRun run) {
  while (self->m_stopped == 0) {
    if (self->HandleSearchAnswer(run) == kNothingHandled) platform::SleepFor(kIdlePause);
    if (self->m_tcpMapped && self->m_udpMapped) break;
  }
  // The last touch of the object: a test instance may be destroyed after it.
  --self->m_liveReceivers;
}

int CUpnp::HandleSearchAnswer(const SearchRun& run) {
  if (m_stopped != 0) return kNothingHandled;
  std::array<char, upnp::kAnswerCapacity> answer{};
  std::uint32_t sender = 0;
  const long received = platform::ReceiveFrom(m_socket, answer.data(), answer.size(), &sender,
                                              nullptr);
  if (received <= 0) return kNothingHandled;
  const int result =
      HandleReceivedAnswer(run, {answer.data(), static_cast<std::size_t>(received)}, sender);
  if (m_network.answerHandled) m_network.answerHandled(result);
  return result;
}

int CUpnp::HandleReceivedAnswer(const SearchRun& run, std::string_view datagram,
                                std::uint32_t senderAddress) {
  const auto answer = upnp::ParseSearchAnswer(datagram, run.gateways);
  if (!answer) return kRejected;
  const auto request = upnp::BuildDescriptionRequest(answer->path, answer->hostAndPort);
  if (!request) return kRejected;
  // The description comes from whoever answered; the actions later go to the
  // gateway address named in the location (the two agree on a real gateway).
  const upnp::ExchangeOutcome fetched =
      upnp::ExchangeOverTcp(senderAddress, answer->port, *request, upnp::kDescriptionCapacity);
  if (fetched.status == upnp::ExchangeStatus::NotConnected) return kNothingHandled;
  // A description that fills the whole buffer was cut short: its service
  // list cannot be trusted to be complete.
  if (fetched.status != upnp::ExchangeStatus::Completed || fetched.filled) return kRejected;
  const std::string_view description = upnp::UpToFirstNul(fetched.reply);
  if (!upnp::IsDescriptionReplyOk(description)) return kRejected;
  const auto controlUrl = upnp::FindControlUrl(description, answer->serviceType);
  if (!controlUrl) return kRejected;
  return TestMappings(run, answer->host, answer->port, answer->serviceType, *controlUrl);
}

}  // namespace talu
