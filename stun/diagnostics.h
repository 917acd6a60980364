// The two diagnostic streams of the NAT type detection, both on standard
// error: InfoLog (buffered) for progress and everything the codec says,
// ErrorLog (unbuffered) for socket failures. A line is gathered piece by
// piece and reaches its stream whole, with its newline and a flush, so lines
// from different threads never interleave.
#pragma once

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string_view>

namespace talu::stun {

enum class DiagnosticSink { Info, Error };

class LogLine {
 public:
  explicit LogLine(DiagnosticSink sink) : m_sink(sink) {}
  ~LogLine();
  LogLine(const LogLine&) = delete;
  LogLine& operator=(const LogLine&) = delete;

  template <typename Piece>
  LogLine& operator<<(const Piece& piece) {
    m_pieces << piece;
    return *this;
  }

 private:
  DiagnosticSink m_sink;
  std::ostringstream m_pieces;
};

inline LogLine InfoLog() { return LogLine(DiagnosticSink::Info); }
inline LogLine ErrorLog() { return LogLine(DiagnosticSink::Error); }

// Points a sink at another stream (tests capture the lines this way);
// nullptr restores standard error. Returns the stream used before.
std::ostream* RedirectDiagnostics(DiagnosticSink sink, std::ostream* target);

// An endpoint as "a.b.c.d:port", the first dotted number from the top byte.
void FormatEndpoint(std::ostream& stream, std::uint16_t port, std::uint32_t address);

// Lets a line show an endpoint in the middle: InfoLog() << EndpointText{...}.
struct EndpointText {
  std::uint16_t port;
  std::uint32_t address;
};
std::ostream& operator<<(std::ostream& stream, const EndpointText& endpoint);

// The text of a value as the lines show it: up to its first NUL, never past
// the capacity it was given.
std::string_view TextUpToNul(const std::uint8_t* bytes, std::size_t capacity);

}  // namespace talu::stun
