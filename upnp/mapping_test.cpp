// The mapping test: for TCP and then UDP, clear any earlier mapping of the
// port, add ours and remove it again.
#include <atomic>

#include "upnp/soap_actions.h"
#include "upnp/upnp.h"

namespace talu {

namespace {

constexpr int kPassed = 0;
constexpr int kFailed = -2;

// Counts a mapping test as in progress for as long as it lives.
class MappingTestInProgress {
 public:
  explicit MappingTestInProgress(std::atomic<int>& count) : m_count(count) { ++m_count; }
  ~MappingTestInProgress() { --m_count; }
  MappingTestInProgress(const MappingTestInProgress&) = delete;
  MappingTestInProgress& operator=(const MappingTestInProgress&) = delete;

 private:
  std::atomic<int>& m_count;
};

}  // namespace

CUpnp::AddVerdict CUpnp::AddPortMapping(const SearchRun& run, const std::string& host, const char* protocol,
                           const std::string& serviceType, std::uint16_t port,
                           const std::string& controlUrl) {
  const upnp::PortMappingCall call{.host = host,
                                   .port = port,
                                   .controlUrl = controlUrl,
                                   .serviceType = serviceType,
                                   .protocol = protocol,
                                   .externalPort = run.externalPort,
                                   .internalPort = run.internalPort,
                                   .internalClient = m_localAddress,
                                   .description = m_description};
  const upnp::SoapOutcome outcome =
      upnp::ExchangeSoapAction(upnp::SoapAction::AddPortMapping, call, m_network.actionTimeout);
  switch (outcome.kind) {
    case upnp::SoapOutcome::Kind::NotDelivered: return AddVerdict::Refused;
    case upnp::SoapOutcome::Kind::NoReply: return AddVerdict::Unknown;
    case upnp::SoapOutcome::Kind::Replied: break;
  }
  return upnp::ReplyAcceptsAction(outcome.reply) ? AddVerdict::Accepted : AddVerdict::Refused;
}

bool CUpnp::DeletePortMapping(const SearchRun& run, const std::string& host, const char* protocol,
                              const std::string& serviceType, std::uint16_t port,
                              const std::string& controlUrl, DeletePurpose purpose) {
  // Once the run has ended nothing new is started on the gateway; but a
  // mapping we added is always removed, or it would stay open for good
  // (lease 0) with a port forwarded to this host.
  if (purpose == DeletePurpose::ClearEarlierMapping && m_stopped != 0) return false;
  const upnp::PortMappingCall call{.host = host,
                                   .port = port,
                                   .controlUrl = controlUrl,
                                   .serviceType = serviceType,
                                   .protocol = protocol,
                                   .externalPort = run.externalPort};
  const upnp::SoapOutcome outcome =
      upnp::ExchangeSoapAction(upnp::SoapAction::DeletePortMapping, call, m_network.actionTimeout);
  if (outcome.kind != upnp::SoapOutcome::Kind::Replied) return false;
  // A gateway answers an error for a mapping that does not exist; that is
  // the usual case for the first delete and not a failure.
  return !m_strict || upnp::ReplyAcceptsAction(outcome.reply);
}

int CUpnp::TestMappings(const SearchRun& run, const std::string& host, std::uint16_t port,
                        const std::string& serviceType, const std::string& controlUrl) {
  const MappingTestInProgress inProgress(m_mappingTestsInProgress);
  const auto testProtocol = [&](const char* protocol) {
    if (!DeletePortMapping(run, host, protocol, serviceType, port, controlUrl,
                           DeletePurpose::ClearEarlierMapping)) {
      return false;
    }
    const AddVerdict added = AddPortMapping(run, host, protocol, serviceType, port, controlUrl);
    if (added == AddVerdict::Refused) return false;
    // Also after an add that got no reply: the gateway may have carried it
    // out. The result of the removal does not matter.
    DeletePortMapping(run, host, protocol, serviceType, port, controlUrl,
                      DeletePurpose::RemoveOwnMapping);
    return added == AddVerdict::Accepted;
  };
  if (!m_tcpMapped) {
    if (!testProtocol("TCP")) return kFailed;
    m_tcpMapped = true;
  }
  if (m_udpMapped) return kPassed;
  if (!testProtocol("UDP")) return kFailed;
  m_udpMapped = true;
  return kPassed;
}

}  // namespace talu
