#include "upnp/soap_actions.h"

#include "platform/socket.h"
#include "upnp/tcp_exchange.h"
#include "upnp/text_search.h"

namespace talu::upnp {

namespace {

constexpr std::string_view kEnvelopeHead =
    "<?xml version=\"1.0\"?>\r\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
    "<s:Body>\r\n";
constexpr std::string_view kEnvelopeTail =
    "</s:Body>\r\n"
    "</s:Envelope>\r\n\r\n";

std::string_view ActionName(SoapAction action) {
  return action == SoapAction::AddPortMapping ? "AddPortMapping" : "DeletePortMapping";
}

void AppendElement(std::string& out, std::string_view name, std::string_view value) {
  out.append("<").append(name).append(">").append(value).append("</").append(name).append(">\r\n");
}

void AppendArguments(std::string& out, SoapAction action, const PortMappingCall& call) {
  // An empty remote host: the mapping accepts traffic from anywhere.
  AppendElement(out, "NewRemoteHost", "");
  AppendElement(out, "NewExternalPort", std::to_string(call.externalPort));
  AppendElement(out, "NewProtocol", call.protocol);
  if (action == SoapAction::DeletePortMapping) return;
  AppendElement(out, "NewInternalPort", std::to_string(call.internalPort));
  AppendElement(out, "NewInternalClient", call.internalClient);
  AppendElement(out, "NewEnabled", "1");
  AppendElement(out, "NewPortMappingDescription", call.description);
  // Lease 0 asks for a mapping without expiry; the test removes it itself.
  AppendElement(out, "NewLeaseDuration", "0");
}

}  // namespace

std::string BuildSoapBody(SoapAction action, const PortMappingCall& call) {
  const std::string_view name = ActionName(action);
  std::string body;
  body.append(kEnvelopeHead);
  body.append("<u:").append(name).append(" xmlns:u=\"").append(call.serviceType).append("\">\r\n");
  AppendArguments(body, action, call);
  body.append("</u:").append(name).append(">\r\n");
  body.append(kEnvelopeTail);
  return body;
}

std::string BuildSoapRequest(SoapAction action, const PortMappingCall& call) {
  const std::string body = BuildSoapBody(action, call);
  std::string request;
  request.append("POST ").append(call.controlUrl).append(" HTTP/1.1\r\n");
  request.append("HOST: ").append(call.host).append(":").append(std::to_string(call.port));
  request.append("\r\n");
  request.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
  request.append("CONTENT-TYPE: text/xml;charset=\"utf-8\"\r\n");
  request.append("SOAPACTION: \"").append(call.serviceType).append("#").append(ActionName(action));
  request.append("\"\r\n\r\n");
  request.append(body);
  return request;
}

SoapOutcome ExchangeSoapAction(SoapAction action, const PortMappingCall& call,
                               std::chrono::milliseconds timeout) {
  const ExchangeOutcome exchange =
      ExchangeOverTcp(platform::ParseDottedIpv4(std::string(call.host)), call.port,
                      BuildSoapRequest(action, call), kSoapReplyCapacity, timeout);
  SoapOutcome outcome;
  switch (exchange.status) {
    case ExchangeStatus::NotConnected: outcome.kind = SoapOutcome::Kind::NotDelivered; break;
    case ExchangeStatus::SendFailed:
    case ExchangeStatus::ReceiveFailed: outcome.kind = SoapOutcome::Kind::NoReply; break;
    case ExchangeStatus::Completed:
      outcome.kind = SoapOutcome::Kind::Replied;
      outcome.reply = std::string(UpToFirstNul(exchange.reply));
      break;
  }
  return outcome;
}

bool ReplyAcceptsAction(std::string_view reply) {
  return reply.find("200 OK") != std::string_view::npos;
}

}  // namespace talu::upnp
