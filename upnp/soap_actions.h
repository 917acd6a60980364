// The two port mapping actions of a gateway's WAN connection service,
// AddPortMapping and DeletePortMapping, as SOAP requests over HTTP.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talu::upnp {

enum class SoapAction { AddPortMapping, DeletePortMapping };

// What one action needs. The texts go into the request as they are, with no
// XML escaping: they come from the device's own answer and description and
// from fixed values of ours.
struct PortMappingCall {
  std::string_view host = {};         // dotted gateway address, also the HOST header
  std::uint16_t port = 0;        // the device's HTTP port
  std::string_view controlUrl = {};   // request target, used as the description gives it; may be empty
  std::string_view serviceType = {};  // the ST of the device's answer
  std::string_view protocol = {};     // "TCP" or "UDP"
  std::uint16_t externalPort = 0;
  std::uint16_t internalPort = 0;   // AddPortMapping only
  std::string_view internalClient = {};  // AddPortMapping only
  std::string_view description = {};     // AddPortMapping only
};

// Replies are read into a buffer of this size; a gateway's answer to either
// action is a few hundred bytes.
inline constexpr std::size_t kSoapReplyCapacity = 2048;

std::string BuildSoapBody(SoapAction action, const PortMappingCall& call);
// The header block followed by the body, sent as one piece.
std::string BuildSoapRequest(SoapAction action, const PortMappingCall& call);

// How one action ended.
struct SoapOutcome {
  enum class Kind {
    Replied,       // the reply was read to the gateway's close (or a full buffer)
    NotDelivered,  // no connection: the gateway never saw the request
    NoReply,       // the request may have been carried out, but no reply came
  };
  Kind kind = Kind::NotDelivered;
  std::string reply;  // Replied: as far as it was read, up to its first NUL
};

// Sends the action over a new connection to the host text at the port, each
// step bounded by the time-out.
SoapOutcome ExchangeSoapAction(SoapAction action, const PortMappingCall& call,
                               std::chrono::milliseconds timeout);

// True when the reply says "200 OK" anywhere, exact case: some gateways put
// the status only in the body of a reply with a bare status line.
bool ReplyAcceptsAction(std::string_view reply);

}  // namespace talu::upnp
