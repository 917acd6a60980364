#include "stun/testing/log_capture.h"

namespace talu::stun::testing {

ScopedLogCapture::ScopedLogCapture()
    : m_previousInfo(RedirectDiagnostics(DiagnosticSink::Info, &m_info)),
      m_previousError(RedirectDiagnostics(DiagnosticSink::Error, &m_error)) {}

ScopedLogCapture::~ScopedLogCapture() {
  RedirectDiagnostics(DiagnosticSink::Info, m_previousInfo);
  RedirectDiagnostics(DiagnosticSink::Error, m_previousError);
}

void ScopedLogCapture::Clear() {
  m_info.str({});
  m_error.str({});
}

std::vector<std::string> ScopedLogCapture::Split(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace talu::stun::testing
