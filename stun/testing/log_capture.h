// Captures the diagnostic lines for the length of a test, so that it can
// assert them one by one. Read the lines once the code under test is done.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "stun/diagnostics.h"

namespace talu::stun::testing {

class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ~ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  std::vector<std::string> InfoLines() const { return Split(m_info.str()); }
  std::vector<std::string> ErrorLines() const { return Split(m_error.str()); }
  // Forgets what was captured so far.
  void Clear();

 private:
  static std::vector<std::string> Split(const std::string& text);

  std::ostringstream m_info;
  std::ostringstream m_error;
  std::ostream* m_previousInfo;
  std::ostream* m_previousError;
};

}  // namespace talu::stun::testing
