#include "stun/server_address.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "config/build_config.h"
#include "platform/resolver.h"
#include "platform/socket.h"

namespace talu::stun {

namespace {

// Server texts are short host names; anything longer is cut, not refused.
constexpr std::size_t kMaxServerTextLength = 511;
// Below it lie the well-known ports no STUN server of ours uses; 65535 is
// kept out as well.
constexpr long kLowestServerPort = 1024;
constexpr long kHighestServerPort = 65534;
// Saturates the digits read so that a long digit string stays out of range
// without overflowing.
constexpr long kPortReadCeiling = 1'000'000;

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The port text as a signed decimal with optional leading space and sign.
// A text with anything after its digits, or with no digits at all, names no
// port; an empty text reads as 0.
std::optional<long> ReadPortText(std::string_view text) {
  if (text.empty()) return 0;
  std::size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  const std::size_t firstDigit = at;
  long value = 0;
  while (at < text.size() && IsDigit(text[at])) {
    value = std::min(value * 10 + (text[at] - '0'), kPortReadCeiling);
    ++at;
  }
  if (at == firstDigit || at != text.size()) return std::nullopt;
  return negative ? -value : value;
}

std::uint32_t HostAddress(const std::string& host, const NameResolver& resolveName) {
  if (!host.empty() && IsDigit(host[0])) return platform::ParseDottedIpv4(host);
  if (const std::optional<std::uint32_t> address = resolveName(host)) return *address;
  return platform::ParseDottedIpv4(config::kStunFallbackAddress);
}

}  // namespace

bool ResolveStunServer(const std::string& text, Ipv4Endpoint& endpoint) {
  return ResolveStunServer(text, endpoint, platform::ResolveIpv4);
}

bool ResolveStunServer(const std::string& text, Ipv4Endpoint& endpoint,
                       const NameResolver& resolveName) {
  const std::string copy = text.substr(0, kMaxServerTextLength);
  const std::size_t colon = copy.find(':');
  std::uint16_t port = kDefaultStunPort;
  if (colon != std::string::npos) {
    const std::optional<long> read = ReadPortText(std::string_view(copy).substr(colon + 1));
    if (read) {
      if (*read < kLowestServerPort || *read > kHighestServerPort) return false;
      port = static_cast<std::uint16_t>(*read);
    }
  }
  endpoint.address = HostAddress(copy.substr(0, colon), resolveName);
  endpoint.port = port;
  return true;
}

}  // namespace talu::stun
