// The mapping test: for TCP and then UDP, clear any earlier mapping of the
// port, add ours and remove it again.
#include "upnp/soap_actions.h"
#include "upnp/upnp.h"

namespace talu {

namespace {

constexpr int kPassed = 0;
constexpr int kFailed = -2;

}  // namespace

bool CUpnp::AddPortMapping(const SearchRun& run, const std::string& host, const char* protocol,
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
  const auto reply = upnp::ExchangeSoapAction(upnp::SoapAction::AddPortMapping, call);
  return reply && upnp::ReplyAcceptsAction(*reply);
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
  const auto reply = upnp::ExchangeSoapAction(upnp::SoapAction::DeletePortMapping, call);
  if (!reply) return false;
  // A gateway answers an error for a mapping that does not exist; that is
  // the usual case for the first delete and not a failure.
  return !m_strict || upnp::ReplyAcceptsAction(*reply);
}

int CUpnp::TestMappings(const SearchRun& run, const std::string& host, std::uint16_t port,
                        const std::string& serviceType, const std::string& controlUrl) {
  const auto testProtocol = [&](const char* protocol) {
    if (!DeletePortMapping(run, host, protocol, serviceType, port, controlUrl,
                           DeletePurpose::ClearEarlierMapping)) {
      return false;
    }
    if (!AddPortMapping(run, host, protocol, serviceType, port, controlUrl)) return false;
    // Its result does not matter: the add has already proved the point.
    DeletePortMapping(run, host, protocol, serviceType, port, controlUrl,
                      DeletePurpose::RemoveOwnMapping);
    return true;
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
