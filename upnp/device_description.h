// The device description: the HTTP GET that fetches it and the control URL
// of the WAN connection service found in it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace talu::upnp {

// Buffer sizes: the GET request with its terminator, the whole HTTP reply
// (descriptions of home gateways are a few kilobytes), and the control URL
// with its terminator.
inline constexpr std::size_t kDescriptionRequestCapacity = 256;
inline constexpr std::size_t kDescriptionCapacity = 8192;
inline constexpr std::size_t kControlUrlCapacity = 256;

// "GET <path> HTTP/1.1", a Host header and an empty line; nothing when the
// request would not fit its buffer.
std::optional<std::string> BuildDescriptionRequest(std::string_view path,
                                                   std::string_view hostAndPort);

// The reply must say "200 OK" (exact case, anywhere).
bool IsDescriptionReplyOk(std::string_view reply);

// The text between the first "<controlURL>" after the first occurrence of
// the service type and the next "</controlURL>". Empty when the service
// type, the tag or its end is missing: the actions are then still sent, to
// the empty target. Nothing when the URL is longer than its buffer.
std::optional<std::string> FindControlUrl(std::string_view description,
                                          std::string_view serviceType);

}  // namespace talu::upnp
