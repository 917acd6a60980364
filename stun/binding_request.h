// The one request this client sends: a Binding Request with a ChangeRequest
// and a test number in the first byte of its transaction id.
#pragma once

#include <cstdint>

#include "stun/stun_record.h"

namespace talu::stun {

// Clears record and fills it; testNumber 0 leaves the id wholly random.
void BuildBindingRequest(StunRecord& record, bool changePort, bool changeIp,
                         const TextValue& username, std::uint8_t testNumber);

}  // namespace talu::stun
