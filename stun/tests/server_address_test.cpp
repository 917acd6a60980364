#include <gtest/gtest.h>

#include "config/build_config.h"
#include "platform/socket.h"
#include "stun/server_address.h"
#include "stun/testing/log_capture.h"

namespace talu::stun {
namespace {

constexpr std::uint32_t kLookedUp = 0x0A0B0C0D;  // what the fake lookup gives every name
const std::uint32_t kFallback = platform::ParseDottedIpv4(config::kStunFallbackAddress);
constexpr std::uint32_t kUntouched = 0xDEADBEEF;

// Records the names asked for; a name under .invalid never resolves.
struct FakeLookup {
  std::vector<std::string> asked;
  NameResolver Resolver() {
    return [this](const std::string& name) -> std::optional<std::uint32_t> {
      asked.push_back(name);
      if (name.ends_with(".invalid")) return std::nullopt;
      return kLookedUp;
    };
  }
};

TEST(ResolveStunServer, PortsNamesAndAddresses) {
  const std::string longText =
      "127.0.0.1" + std::string(506 - 9, ' ') + ":5000" + std::string(89, '9');
  ASSERT_EQ(longText.size(), 600u);
  struct Case {
    std::string text;
    bool ok;
    std::uint32_t address;
    std::uint16_t port;
    std::vector<std::string> lookedUp;
  } const cases[] = {
      {"stun.example", true, kLookedUp, 3478, {"stun.example"}},
      {"stun.example:5000", true, kLookedUp, 5000, {"stun.example"}},
      {"stun.example:65534", true, kLookedUp, 65534, {"stun.example"}},
      {"stun.example:1024", true, kLookedUp, 1024, {"stun.example"}},
      {"stun.example: +5000", true, kLookedUp, 5000, {"stun.example"}},
      {"stun.example:12ab", true, kLookedUp, 3478, {"stun.example"}},
      {"stun.example:abc", true, kLookedUp, 3478, {"stun.example"}},
      {"stun.example:5000 ", true, kLookedUp, 3478, {"stun.example"}},
      // Refused before any lookup, and the endpoint is left as it was.
      {"stun.example:80", false, kUntouched, 7, {}},
      {"stun.example:1023", false, kUntouched, 7, {}},
      {"stun.example:65535", false, kUntouched, 7, {}},
      {"stun.example:", false, kUntouched, 7, {}},
      {"stun.example:-3478", false, kUntouched, 7, {}},
      {"stun.example:99999999999999999999", false, kUntouched, 7, {}},
      // A digit-led host is parsed, never looked up.
      {"192.0.2.10:4000", true, 0xC000020A, 4000, {}},
      {"1.2.3:3478", true, 0x01020003, 3478, {}},
      {"9stun.example", true, 0xFFFFFFFF, 3478, {}},
      // A name that does not resolve: the fallback, with the port it named.
      {"no-such-stun.invalid", true, kFallback, 3478, {"no-such-stun.invalid"}},
      {"no-such-stun.invalid:4000", true, kFallback, 4000, {"no-such-stun.invalid"}},
      // Cut after 511 characters: the port's tail of nines is gone.
      {longText, true, platform::ParseDottedIpv4(longText.substr(0, 506)), 5000, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    FakeLookup lookup;
    Ipv4Endpoint endpoint{7, kUntouched};
    testing::ScopedLogCapture capture;
    EXPECT_EQ(ResolveStunServer(c.text, endpoint, lookup.Resolver()), c.ok);
    EXPECT_EQ(endpoint.address, c.address);
    EXPECT_EQ(endpoint.port, c.port);
    EXPECT_EQ(lookup.asked, c.lookedUp);
    EXPECT_TRUE(capture.InfoLines().empty() && capture.ErrorLines().empty());
  }
}

// The platform's own lookup, with a name the hosts file answers.
TEST(ResolveStunServer, RealLookupOfLocalhost) {
  Ipv4Endpoint endpoint;
  ASSERT_TRUE(ResolveStunServer("localhost:4000", endpoint));
  EXPECT_EQ(endpoint.address, 0x7F000001u);
  EXPECT_EQ(endpoint.port, 4000);
}

}  // namespace
}  // namespace talu::stun
