// Feeds arbitrary datagrams to the decoder: it must never read outside the
// bytes it is given, whatever the lengths inside claim.
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "stun/diagnostics.h"
#include "stun/stun_codec.h"

namespace {

// A stream with no buffer: the lines are formatted and dropped, so that the
// fuzzer spends its time in the decoder, not on standard error.
std::ostream g_discard(nullptr);

const bool g_quiet = [] {
  talu::stun::RedirectDiagnostics(talu::stun::DiagnosticSink::Info, &g_discard);
  talu::stun::RedirectDiagnostics(talu::stun::DiagnosticSink::Error, &g_discard);
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  talu::stun::StunRecord record;
  talu::stun::DecodeStunPacket(data, static_cast<std::uint32_t>(size), record);
  // What was decoded must encode within the buffer the client always uses.
  std::uint8_t buffer[talu::stun::kStunBufferSize];
  const std::size_t length = talu::stun::EncodeStunPacket(record, buffer, record.password, false);
  if (length > sizeof buffer) __builtin_trap();
  return 0;
}
