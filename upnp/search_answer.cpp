#include "upnp/search_answer.h"

#include "upnp/ssdp_search.h"
#include "upnp/text_search.h"

namespace talu::upnp {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The scheme prefix "http://" is skipped unread: every gateway serves its
// description over plain HTTP, so its seven characters are taken on trust.
constexpr std::size_t kSchemePrefixLength = 7;
constexpr std::uint32_t kMaxPort = 65535;

bool IsWanConnectionAnswer(std::string_view text) {
  return text.find("200 OK") != std::string_view::npos &&
         (text.find(kWanIpServiceType) != std::string_view::npos ||
          text.find(kWanPppServiceType) != std::string_view::npos);
}

// The value after the first occurrence of name (any case): one space after
// the colon is skipped, and the value runs to the next line end. Nothing
// when the name is missing, the value is unterminated or longer than
// maxLength.
std::optional<std::string_view> HeaderValue(std::string_view text, std::string_view name,
                                             std::size_t maxLength) {
  const std::size_t found = FindIgnoringAsciiCase(text, name);
  if (found == std::string_view::npos) return std::nullopt;
  std::size_t start = found + name.size();
  if (start < text.size() && text[start] == ' ') ++start;
  const std::size_t end = text.find(kLineEnd, start);
  if (end == std::string_view::npos || end - start > maxLength) return std::nullopt;
  return text.substr(start, end - start);
}

// The leading run of decimal digits; nothing when it exceeds a port number.
std::optional<std::uint16_t> LeadingPort(std::string_view text) {
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > kMaxPort) return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<SearchAnswer> ParseSearchAnswer(std::string_view datagram,
                                              const std::set<std::string>& gateways) {
  if (datagram.size() >= kAnswerCapacity) return std::nullopt;
  const std::string_view text = UpToFirstNul(datagram);
  if (!IsWanConnectionAnswer(text)) return std::nullopt;

  const auto location = HeaderValue(text, "LOCATION:", kMaxLocationLength);
  if (!location || location->size() < kSchemePrefixLength) return std::nullopt;
  const std::string_view afterScheme = location->substr(kSchemePrefixLength);
  const std::size_t colon = afterScheme.find(':');
  if (colon == std::string_view::npos || colon > kMaxHostLength) return std::nullopt;
  SearchAnswer answer;
  answer.host = std::string(afterScheme.substr(0, colon));
  // Only a device at one of our gateways can map ports for this host; other
  // devices on the network (media servers, printers) answer searches too.
  if (gateways.count(answer.host) == 0) return std::nullopt;
  const auto port = LeadingPort(afterScheme.substr(colon + 1));
  if (!port) return std::nullopt;
  answer.port = *port;

  // "ST:" is looked for anywhere, so a "HOST:" header standing before the
  // ST header supplies the value instead; gateways put ST first in practice.
  const auto serviceType = HeaderValue(text, "ST:", kMaxServiceTypeLength);
  if (!serviceType) return std::nullopt;
  answer.serviceType = std::string(*serviceType);

  const std::size_t slash = afterScheme.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  answer.hostAndPort = std::string(afterScheme.substr(0, slash));
  answer.path = std::string(afterScheme.substr(slash));
  return answer;
}

}  // namespace talu::upnp
