#include "cli/network_mode.h"

#include <gtest/gtest.h>

namespace corvane_manager_resident_lab::cli {
namespace {

TEST(NetworkMode, LenientAndStrictChecksFollowTheirTable) {
  const std::string disabled =
      "runtime networking disabled; set CORVANE_MANAGER_NETWORK_MODE=authenticated-static-peers "
      "explicitly";
  const std::string unsupported = "unsupported CORVANE_MANAGER_NETWORK_MODE";
  struct Case {
    std::optional<std::string> value;
    std::string lenient;  // empty: accepted
    std::string strict;
  };
  const std::vector<Case> cases = {
      {std::nullopt, "", disabled},
      {"disabled", "", disabled},
      {"authenticated-static-peers", "", ""},
      {"Authenticated-Static-Peers", unsupported, unsupported},
      {" authenticated-static-peers", unsupported, unsupported},
      {"", unsupported, unsupported},
      {"enabled", unsupported, unsupported},
      {"\xff", unsupported, unsupported},
  };
  for (const auto& c : cases) {
    auto lenient = lenient_network_mode_value(c.value);
    auto strict = strict_network_mode_value(c.value);
    EXPECT_EQ(lenient ? "" : lenient.error(), c.lenient) << c.value.value_or("<unset>");
    EXPECT_EQ(strict ? "" : strict.error(), c.strict) << c.value.value_or("<unset>");
  }
}

TEST(NetworkMode, ReadsTheEnvironmentVariable) {
  ::setenv(NETWORK_MODE_VARIABLE, "authenticated-static-peers", 1);
  EXPECT_TRUE(require_network_mode());
  ::setenv(NETWORK_MODE_VARIABLE, "disabled", 1);
  EXPECT_FALSE(require_network_mode());
  EXPECT_TRUE(lenient_network_mode());
  ::unsetenv(NETWORK_MODE_VARIABLE);
  EXPECT_FALSE(require_network_mode());
  EXPECT_TRUE(lenient_network_mode());
}

}  // namespace
}  // namespace corvane_manager_resident_lab::cli
