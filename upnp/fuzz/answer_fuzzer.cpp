// Feeds hostile bytes to the handling of a search answer and of a device
// description. The input is split at the first "\n\n\n": the part before is
// the datagram, the rest the description reply.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "upnp/device_description.h"
#include "upnp/search_answer.h"
#include "upnp/soap_actions.h"
#include "upnp/text_search.h"

namespace {

const std::set<std::string> kGateways = {"10.0.0.1", "127.0.0.1", "192.168.1.1"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talu::upnp;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find("\n\n\n");
  const std::string_view datagram = input.substr(0, split);
  const std::string_view reply =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 3);

  const auto answer = ParseSearchAnswer(datagram.substr(0, kAnswerCapacity), kGateways);
  if (!answer) return 0;
  if (answer->host.size() > kMaxHostLength || answer->serviceType.size() > kMaxServiceTypeLength ||
      answer->hostAndPort.size() + answer->path.size() > kMaxLocationLength) {
    __builtin_trap();
  }
  if (!BuildDescriptionRequest(answer->path, answer->hostAndPort)) return 0;
  const std::string_view description = UpToFirstNul(reply.substr(0, kDescriptionCapacity - 1));
  if (!IsDescriptionReplyOk(description)) return 0;
  const auto controlUrl = FindControlUrl(description, answer->serviceType);
  if (!controlUrl) return 0;
  if (controlUrl->size() >= kControlUrlCapacity) __builtin_trap();
  PortMappingCall call;
  call.host = answer->host;
  call.port = answer->port;
  call.controlUrl = *controlUrl;
  call.serviceType = answer->serviceType;
  call.protocol = "TCP";
  BuildSoapRequest(SoapAction::AddPortMapping, call);
  return 0;
}
