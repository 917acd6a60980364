#include "stun/binding_request.h"

#include "stun/random_source.h"

namespace talu::stun {

namespace {

constexpr std::size_t kWordsInTransactionId = kTransactionIdSize / 4;

void FillTransactionId(std::array<std::uint8_t, kTransactionIdSize>& id) {
  for (std::size_t word = 0; word < kWordsInTransactionId; ++word) {
    const std::uint32_t value = RandomWord();
    for (std::size_t byte = 0; byte < 4; ++byte) {
      id[4 * word + byte] = static_cast<std::uint8_t>(value >> (8 * byte));  // low byte first
    }
  }
}

}  // namespace

void BuildBindingRequest(StunRecord& record, bool changePort, bool changeIp,
                         const TextValue& username, std::uint8_t testNumber) {
  record = StunRecord{};
  record.messageType = kBindingRequest;
  FillTransactionId(record.transactionId);
  // Answers are told apart by this byte alone.
  if (testNumber != 0) record.transactionId[0] = testNumber;
  // Present even when 0: every request asks explicitly where to answer from.
  record.changeRequestPresent = true;
  record.changeRequest = (changePort ? kChangePortFlag : 0) | (changeIp ? kChangeIpFlag : 0);
  if (username.length > 0) {
    record.usernamePresent = true;
    record.username = username;
  }
}

}  // namespace talu::stun
