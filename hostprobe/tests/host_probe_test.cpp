#include <gtest/gtest.h>

#include <cstring>

#include "hostprobe/internet_check.h"
#include "hostprobe/local_address.h"

namespace talu {
namespace {

std::uint32_t A(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return NetworkOrderFromOctets(a, b, c, d);
}

TEST(LocalAddress, PrefersTheFirstPublicAddressElseTheFirstOfTheList) {
  struct Case {
    std::vector<std::uint32_t> addresses;
    std::uint32_t expected;
  } const cases[] = {
      {{A(192, 168, 1, 5), A(58, 20, 1, 9)}, A(58, 20, 1, 9)},
      {{A(10, 0, 0, 2), A(192, 168, 0, 3)}, A(10, 0, 0, 2)},
      {{A(172, 16, 0, 1), A(172, 32, 0, 1)}, A(172, 32, 0, 1)},
      {{A(172, 31, 9, 9), A(172, 15, 0, 1)}, A(172, 15, 0, 1)},
      {{A(169, 254, 3, 4), A(169, 253, 0, 1)}, A(169, 253, 0, 1)},
      {{A(127, 0, 0, 1), A(0, 1, 2, 3), A(100, 64, 0, 1)}, A(100, 64, 0, 1)},
      {{A(127, 0, 0, 1)}, A(127, 0, 0, 1)},
      {{}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SelectLocalAddress(c.addresses), c.expected);
}

TEST(LocalAddress, ValueHoldsTheOctetsInDottedOrderInMemory) {
  const std::uint32_t value = A(192, 168, 1, 23);
  std::uint8_t octets[4];
  std::memcpy(octets, &value, 4);
  EXPECT_EQ(octets[0], 192);
  EXPECT_EQ(octets[3], 23);
  EXPECT_EQ(value >> 24, 23u);  // the UPnP step's port comes from this on little-endian hosts
  EXPECT_EQ(NetworkOrderFromHostOrder(0xCB00714Du), A(203, 0, 113, 77));
}

TEST(InternetCheck, LinkKindAndPageDecideTogether) {
  struct Case {
    const char* name;
    platform::LinkState link;
    bool pageOpens;
    ConnectionKind expected;
    bool requestMade;
  } const cases[] = {
      {"no link: no request", {false, false}, true, NotConnected, false},
      {"LAN and modem, page opens", {true, true}, true, Lan, true},
      {"modem only, page opens", {false, true}, true, Modem, true},
      {"LAN, page does not open", {true, false}, false, NotConnected, true},
      {"modem, page does not open", {false, true}, false, NotConnected, true},
  };
  for (const Case& c : cases) {
    bool requested = false;
    const ConnectionKind kind = ClassifyConnection(c.link, [&] {
      requested = true;
      return c.pageOpens;
    });
    EXPECT_EQ(kind, c.expected) << c.name;
    EXPECT_EQ(requested, c.requestMade) << c.name;
  }
}

}  // namespace
}  // namespace talu
