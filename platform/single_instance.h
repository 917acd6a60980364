// Tells whether another copy of the program runs, as a named event does on a
// platform that has them: an exclusive advisory lock on a file named after the
// marker. The lock goes with the process, so a copy started after the first
// one has ended (however it ended) gets the marker again.
#pragma once

#include <string>

namespace talu::platform {

class SingleInstanceMarker {
 public:
  enum class Claim {
    First,           // this process holds the marker now
    AlreadyRunning,  // another process holds it
    NotDetected,     // the marker could not be made; run as if first
  };

  // Claims the marker "name" in the user's runtime directory ($XDG_RUNTIME_DIR,
  // or /tmp when that is unset).
  explicit SingleInstanceMarker(const std::string& name);
  // The same in a given directory.
  SingleInstanceMarker(const std::string& directory, const std::string& name);
  ~SingleInstanceMarker();  // releases the marker
  SingleInstanceMarker(const SingleInstanceMarker&) = delete;
  SingleInstanceMarker& operator=(const SingleInstanceMarker&) = delete;

  Claim Result() const { return m_claim; }

  // Where a marker of that name lives for this user.
  static std::string DefaultPath(const std::string& name);

 private:
  int m_descriptor = -1;
  Claim m_claim = Claim::NotDetected;
};

}  // namespace talu::platform
