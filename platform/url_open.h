// Opening a web address the way the Internet check needs it: the request is
// sent and the response's status line arrives, and nothing more is read.
#pragma once

#include <chrono>
#include <string>

namespace talu::platform {

struct UrlOpenSettings {
  std::string agent;
  std::chrono::milliseconds connectTimeout;
  std::chrono::milliseconds totalTimeout;
};

// True once a response has begun, whatever its status code. Proxy settings
// come from the environment (http_proxy, no_proxy, ...); no cache answers.
bool OpenUrl(const std::string& url, const UrlOpenSettings& settings);

}  // namespace talu::platform
