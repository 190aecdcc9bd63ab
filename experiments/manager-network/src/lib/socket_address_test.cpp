#include "lib/socket_address.h"

#include <gtest/gtest.h>

namespace corvane_manager_network_lab {
namespace {

TEST(SocketAddress, AcceptsOnlyNumericAddressesWithAPort) {
  struct Case {
    std::string text;
    std::optional<std::string> normalized;  // absent: refused
  };
  const std::vector<Case> cases = {
      {"127.0.0.1:7001", "127.0.0.1:7001"},
      {"0.0.0.0:0", "0.0.0.0:0"},
      {"10.1.2.3:65535", "10.1.2.3:65535"},
      {"[::1]:7001", "[::1]:7001"},
      {"[2001:DB8::1]:80", "[2001:db8::1]:80"},
      {"localhost:7001", std::nullopt},
      {"127.0.0.1", std::nullopt},
      {"127.0.0.1:", std::nullopt},
      {"127.0.0.1:65536", std::nullopt},
      {"127.0.0.1:-1", std::nullopt},
      {"127.0.0.1:+1", std::nullopt},
      {"127.0.0:1", std::nullopt},
      {"::1:7001", std::nullopt},
      {"[::1]7001", std::nullopt},
      {"[::1]", std::nullopt},
      {"[127.0.0.1]:1", std::nullopt},
      {" 127.0.0.1:1", std::nullopt},
      {std::string("127.0.0.1\0:1", 12), std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    auto parsed = SocketAddress::parse(c.text);
    EXPECT_EQ(parsed ? std::optional(parsed->text()) : std::nullopt, c.normalized) << c.text;
  }
}

TEST(SocketAddress, ReadsFromJsonWithThePlaceOfAFault) {
  using corvane_manager_ha_lab::json::from_json;
  auto ok = from_json<SocketAddress>("\"[::1]:9\"");
  ASSERT_TRUE(ok);
  EXPECT_TRUE(ok->ipv6);
  EXPECT_EQ(ok->port, 9);
  auto bad = from_json<SocketAddress>("\n \"db.example:9\"");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().text(),
            "invalid socket address \"db.example:9\", expected a.b.c.d:port or [ipv6]:port at line 2 "
            "column 16");
}

}  // namespace
}  // namespace corvane_manager_network_lab
