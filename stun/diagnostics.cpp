#include "stun/diagnostics.h"

#include <cstring>
#include <iostream>
#include <mutex>

namespace talu::stun {

namespace {

// One lock for both sinks: they share the process's standard error, and a
// redirection must not race a line being written.
std::mutex g_sinkMutex;
std::ostream* g_infoTarget = nullptr;   // nullptr: std::clog, the buffered stderr
std::ostream* g_errorTarget = nullptr;  // nullptr: std::cerr, the unbuffered stderr

std::ostream& CurrentTarget(DiagnosticSink sink) {
  if (sink == DiagnosticSink::Info) return g_infoTarget ? *g_infoTarget : std::clog;
  return g_errorTarget ? *g_errorTarget : std::cerr;
}

}  // namespace

LogLine::~LogLine() {
  const std::string text = m_pieces.str();
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  std::ostream& target = CurrentTarget(m_sink);
  target.write(text.data(), static_cast<std::streamsize>(text.size()));
  target.put('\n');
  target.flush();
}

std::ostream* RedirectDiagnostics(DiagnosticSink sink, std::ostream* target) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  std::ostream*& slot = sink == DiagnosticSink::Info ? g_infoTarget : g_errorTarget;
  std::ostream* previous = slot;
  slot = target;
  return previous;
}

void FormatEndpoint(std::ostream& stream, std::uint16_t port, std::uint32_t address) {
  stream << ((address >> 24) & 0xFF) << '.' << ((address >> 16) & 0xFF) << '.'
         << ((address >> 8) & 0xFF) << '.' << (address & 0xFF) << ':' << port;
}

std::ostream& operator<<(std::ostream& stream, const EndpointText& endpoint) {
  FormatEndpoint(stream, endpoint.port, endpoint.address);
  return stream;
}

std::string_view TextUpToNul(const std::uint8_t* bytes, std::size_t capacity) {
  const void* nul = std::memchr(bytes, 0, capacity);
  const std::size_t length =
      nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes) : capacity;
  return {reinterpret_cast<const char*>(bytes), length};
}

}  // namespace talu::stun
