#include "platform/url_open.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>

namespace talu::platform {

namespace {

struct Transfer {
  bool statusLineSeen = false;
};

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  if (length >= 5 && std::memcmp(data, "HTTP/", 5) == 0) transfer->statusLineSeen = true;
  // The blank line ends the headers: stop here so that no body is read.
  const bool endOfHeaders = (length == 2 && data[0] == '\r' && data[1] == '\n') ||
                            (length == 1 && data[0] == '\n');
  return endOfHeaders && transfer->statusLineSeen ? 0 : length;
}

std::size_t OnBody(char*, std::size_t, std::size_t, void*) { return 0; }

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

bool OpenUrl(const std::string& url, const UrlOpenSettings& settings) {
  InitialiseCurlOnce();
  CURL* curl = curl_easy_init();
  if (!curl) return false;
  Transfer transfer;
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, settings.agent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // called from worker threads
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(settings.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.totalTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeaderLine);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_perform(curl);  // ends with an error once the headers are done: that is intended
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return transfer.statusLineSeen;
}

}  // namespace talu::platform
