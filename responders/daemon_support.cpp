#include "responders/daemon_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/socket.h"

namespace talu::responders {

DaemonOptions::DaemonOptions(std::string usage, std::vector<std::string> valueOptions,
                             std::vector<std::string> flags)
    : usage_(std::move(usage)), valueOptions_(std::move(valueOptions)), flags_(std::move(flags)) {}

bool DaemonOptions::Parse(int argc, char** argv) {
  auto known = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fprintf(stdout, "%s", usage_.c_str());
      std::exit(0);
    }
    const std::string name = argument.rfind("--", 0) == 0 ? argument.substr(2) : "";
    if (known(flags_, name)) {
      values_[name] = "";
    } else if (known(valueOptions_, name) && i + 1 < argc) {
      values_[name] = argv[++i];
    } else {
      std::fprintf(stderr, "%s: bad argument '%s'\n%s", argv[0], argument.c_str(), usage_.c_str());
      return false;
    }
  }
  return true;
}

std::string DaemonOptions::Text(const std::string& name, const std::string& fallback) const {
  const auto found = values_.find(name);
  return found == values_.end() ? fallback : found->second;
}

std::optional<unsigned long> DaemonOptions::Number(const std::string& name, unsigned long fallback,
                                                   unsigned long minimum,
                                                   unsigned long maximum) const {
  const auto found = values_.find(name);
  if (found == values_.end()) return fallback;
  char* end = nullptr;
  const unsigned long value = std::strtoul(found->second.c_str(), &end, 10);
  if (found->second.empty() || *end != '\0' || value < minimum || value > maximum) {
    std::fprintf(stderr, "--%s wants a whole number from %lu to %lu, not '%s'\n", name.c_str(),
                 minimum, maximum, found->second.c_str());
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> DaemonOptions::Address(const std::string& name,
                                                    const std::string& fallback) const {
  const std::string text = Text(name, fallback);
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
    std::fprintf(stderr, "--%s wants a dotted IPv4 address, not '%s'\n", name.c_str(), text.c_str());
    return std::nullopt;
  }
  return ntohl(parsed.s_addr);
}

RecordLog::RecordLog(const std::string& path) {
  if (path.empty()) return;
  if (path == "-") {
    file_ = stdout;
    return;
  }
  file_ = std::fopen(path.c_str(), "a");
  if (!file_) {
    std::fprintf(stderr, "cannot open the record file %s: %s\n", path.c_str(), std::strerror(errno));
    ok_ = false;
  }
}

RecordLog::~RecordLog() {
  if (file_ && file_ != stdout) std::fclose(file_);
}

void RecordLog::Write(const std::string& line) {
  if (!file_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(file_, "%s\n", line.c_str());
  std::fflush(file_);
}

std::string FormatEndpoint(std::uint32_t address, std::uint16_t port) {
  return platform::FormatDottedIpv4(address) + ":" + std::to_string(port);
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t length, std::size_t limit) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < length && i < limit; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  if (length > limit) text += "...";
  return text;
}

int RunTcpDaemon(std::uint32_t address, std::uint16_t port, std::size_t maxConnections,
                 const ConnectionServer& serve) {
  constexpr int kBacklog = 64;
  const int listener = platform::CreateSocket(platform::SocketType::Tcp);
  const int reuse = 1;
  // A restarted daemon must get its port back at once, whatever connections
  // of its predecessor still linger in TIME_WAIT.
  if (listener < 0 || setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
      !platform::BindIpv4(listener, address, port) || ::listen(listener, kBacklog) != 0) {
    std::fprintf(stderr, "cannot listen on %s: %s\n", FormatEndpoint(address, port).c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::mutex mutex;
  std::condition_variable slotFreed;
  std::size_t active = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      slotFreed.wait(lock, [&] { return active < maxConnections; });
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors or memory: wait a little rather than spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++active;
    }
    // Detached: the daemon runs until it is killed, and a connection's
    // thread owns nothing but its descriptor.
    std::thread([&, fd, peerAddress = ntohl(peer.sin_addr.s_addr), peerPort = ntohs(peer.sin_port)] {
      serve(fd, peerAddress, peerPort);
      ::close(fd);
      std::lock_guard<std::mutex> lock(mutex);
      --active;
      slotFreed.notify_one();
    }).detach();
  }
}

}  // namespace talu::responders
