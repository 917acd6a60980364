// What the responder daemons share: their command line, the record file in
// which tests read what a daemon received, and the TCP accept loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace talu::responders {

// --name value options and --flag switches; anything else is an error.
class DaemonOptions {
 public:
  // valueOptions take a value, flags do not. On a bad command line, Parse
  // prints the problem and the usage to stderr and returns false.
  DaemonOptions(std::string usage, std::vector<std::string> valueOptions,
                std::vector<std::string> flags);
  bool Parse(int argc, char** argv);

  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  std::string Text(const std::string& name, const std::string& fallback) const;
  // A whole number from minimum to maximum, or nullopt (and a message) when
  // the value is given and is not one.
  std::optional<unsigned long> Number(const std::string& name, unsigned long fallback,
                                      unsigned long minimum, unsigned long maximum) const;
  // A dotted IPv4 address in host byte order, or nullopt (and a message).
  std::optional<std::uint32_t> Address(const std::string& name, const std::string& fallback) const;

 private:
  std::string usage_;
  std::vector<std::string> valueOptions_;
  std::vector<std::string> flags_;
  std::map<std::string, std::string> values_;
};

// One line per event, flushed at once so that a test reading the file sees
// every event that has happened. "-" writes to stdout, "" nowhere.
class RecordLog {
 public:
  explicit RecordLog(const std::string& path);
  ~RecordLog();
  RecordLog(const RecordLog&) = delete;
  RecordLog& operator=(const RecordLog&) = delete;
  bool ok() const { return ok_; }
  void Write(const std::string& line);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool ok_ = true;
};

std::string FormatEndpoint(std::uint32_t address, std::uint16_t port);
std::string HexBytes(const std::uint8_t* bytes, std::size_t length, std::size_t limit);

// Listens on address:port and serves each connection on a thread of its
// own, at most maxConnections at a time (others wait in the backlog).
// Returns only when the socket cannot be set up (with a message on stderr).
using ConnectionServer = std::function<void(int fd, std::uint32_t peerAddress, std::uint16_t peerPort)>;
int RunTcpDaemon(std::uint32_t address, std::uint16_t port, std::size_t maxConnections,
                 const ConnectionServer& serve);

}  // namespace talu::responders
