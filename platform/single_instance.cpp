#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace talu::platform {

namespace {

// Only the owner may open the marker: another user's copy must neither block
// ours nor be blocked by it, as a named event in another session would not.
constexpr mode_t kMarkerFileMode = 0600;
constexpr const char* kSharedTemporaryDirectory = "/tmp";
constexpr const char* kMarkerSuffix = ".lock";

std::string DefaultDirectory() {
  const char* runtimeDirectory = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDirectory && runtimeDirectory[0] == '/') return runtimeDirectory;
  return kSharedTemporaryDirectory;
}

// /tmp is shared by every user: there the user id keeps the markers apart.
std::string MarkerFileName(const std::string& directory, const std::string& name) {
  if (directory == kSharedTemporaryDirectory) {
    return name + "-" + std::to_string(static_cast<unsigned long>(getuid())) + kMarkerSuffix;
  }
  return name + kMarkerSuffix;
}

}  // namespace

std::string SingleInstanceMarker::DefaultPath(const std::string& name) {
  const std::string directory = DefaultDirectory();
  return directory + "/" + MarkerFileName(directory, name);
}

SingleInstanceMarker::SingleInstanceMarker(const std::string& name)
    : SingleInstanceMarker(DefaultDirectory(), name) {}

SingleInstanceMarker::SingleInstanceMarker(const std::string& directory, const std::string& name) {
  const std::string path = directory + "/" + MarkerFileName(directory, name);
  // O_NOFOLLOW: in a shared directory the name could be a planted link.
  m_descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kMarkerFileMode);
  if (m_descriptor < 0) {
    m_claim = Claim::NotDetected;
    return;
  }
  int locked;
  do {
    locked = flock(m_descriptor, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) {
    m_claim = Claim::First;
  } else {
    m_claim = errno == EWOULDBLOCK ? Claim::AlreadyRunning : Claim::NotDetected;
  }
}

SingleInstanceMarker::~SingleInstanceMarker() {
  if (m_descriptor >= 0) close(m_descriptor);
}

}  // namespace talu::platform
