// Helpers shared by the probe tests of schedprobe/ and peerprobe/.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "checkrun/result_table.h"

namespace talu::probe_test {

// A name with an empty label: the resolver rejects it before it would ask
// any DNS server, so the test stays off the network.
inline constexpr const char* kUnresolvableHost = "unresolvable..invalid";
inline constexpr const char* kLoopbackHost = "127.0.0.1";

// Descriptors the process holds now (the directory walk's own descriptor
// included, the same on every call).
inline std::size_t OpenDescriptorCount() {
  std::size_t count = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return count;
}

// A test peer may close its end of a connection a moment after the probe has
// ended, so the count is given time to settle; a leak never does.
inline bool WaitForDescriptorCount(std::size_t expected,
                                   std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  constexpr std::chrono::milliseconds kPollInterval{20};
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (OpenDescriptorCount() != expected) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

// Takes every free descriptor number until destroyed, so that the next
// socket the process asks for fails as it would in a process out of
// descriptors. Lowers the soft limit first, so only a handful are taken.
// Call with the table the probe will write to before taking descriptors
// away: a sanitizer's first check of a SetResultText call through it needs
// descriptors of its own, and it remembers the type once checked. Row -1
// does not exist, so the call changes nothing that a test looks at.
inline void CheckTableTypeWhileDescriptorsAreFree(ResultTable& table) {
  table.SetResultText(-1, "");
}

class NoFreeDescriptors {
 public:
  NoFreeDescriptors() {
    if (getrlimit(RLIMIT_NOFILE, &saved_) != 0) return;
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(HighestOpenDescriptor() + 1);
    if (setrlimit(RLIMIT_NOFILE, &lowered) != 0) return;
    lowered_ = true;
    for (;;) {
      const int filler = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (filler < 0) {
        exhausted_ = errno == EMFILE;
        return;
      }
      fillers_.push_back(filler);
    }
  }
  ~NoFreeDescriptors() {
    for (const int filler : fillers_) ::close(filler);
    if (lowered_) setrlimit(RLIMIT_NOFILE, &saved_);
  }
  NoFreeDescriptors(const NoFreeDescriptors&) = delete;
  NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

  bool ok() const { return exhausted_; }

 private:
  static int HighestOpenDescriptor() {
    int highest = 2;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error)) {
      highest = std::max(highest, std::stoi(it->path().filename().string()));
    }
    return highest;
  }

  rlimit saved_{};
  bool lowered_ = false;
  bool exhausted_ = false;
  std::vector<int> fillers_;
};

}  // namespace talu::probe_test
