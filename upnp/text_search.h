// Case-insensitive search for protocol header names. Gateways write header
// names in every mix of case ("LOCATION:", "Location:", "location:"), while
// values and tags are compared exactly, so only the names go through here.
#pragma once

#include <cstddef>
#include <string_view>

namespace talu::upnp {

// Offset of the first occurrence of needle in haystack, comparing ASCII
// letters without regard to case; npos when there is none. An empty needle
// is found at offset 0.
std::size_t FindIgnoringAsciiCase(std::string_view haystack, std::string_view needle);

// The text as a C string would hold it: everything before the first NUL.
// Received bytes are searched only up to there, as the zero-terminated
// buffers of the protocol code always were.
std::string_view UpToFirstNul(std::string_view bytes);

}  // namespace talu::upnp
