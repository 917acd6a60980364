#include "upnp/device_description.h"

namespace talu::upnp {

namespace {

constexpr std::string_view kControlUrlOpen = "<controlURL>";
constexpr std::string_view kControlUrlClose = "</controlURL>";

}  // namespace

std::optional<std::string> BuildDescriptionRequest(std::string_view path,
                                                   std::string_view hostAndPort) {
  std::string request;
  request.append("GET ").append(path).append(" HTTP/1.1\r\n");
  request.append("Host: ").append(hostAndPort).append("\r\n\r\n");
  if (request.size() >= kDescriptionRequestCapacity) return std::nullopt;
  return request;
}

bool IsDescriptionReplyOk(std::string_view reply) {
  return reply.find("200 OK") != std::string_view::npos;
}

std::optional<std::string> FindControlUrl(std::string_view description,
                                          std::string_view serviceType) {
  // The service type names the service element; its controlURL is the first
  // one after it. The description's other services come before or after.
  const std::size_t service = description.find(serviceType);
  if (service == std::string_view::npos) return std::string();
  const std::size_t open = description.find(kControlUrlOpen, service);
  if (open == std::string_view::npos) return std::string();
  const std::size_t start = open + kControlUrlOpen.size();
  const std::size_t close = description.find(kControlUrlClose, start);
  if (close == std::string_view::npos) return std::string();
  if (close - start >= kControlUrlCapacity) return std::nullopt;
  return std::string(description.substr(start, close - start));
}

}  // namespace talu::upnp
