#include "upnp/text_search.h"

namespace talu::upnp {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

std::size_t FindIgnoringAsciiCase(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return std::string_view::npos;
  const std::size_t lastStart = haystack.size() - needle.size();
  for (std::size_t start = 0; start <= lastStart; ++start) {
    if (EqualIgnoringAsciiCase(needle, haystack.substr(start, needle.size()))) return start;
  }
  return std::string_view::npos;
}

std::string_view UpToFirstNul(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

}  // namespace talu::upnp
