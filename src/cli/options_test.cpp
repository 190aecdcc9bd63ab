#include "cli/options.h"

#include <gtest/gtest.h>

namespace corvane_manager_resident_lab::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, AcceptsTheFlagFormsInAnyOrderAndThePositionalForm) {
  auto resident = parse({"--runtime-dir", "/r", "--config", "/c", "--state-dir", "/s"});
  ASSERT_TRUE(resident);
  EXPECT_EQ(*resident, (Options{"/c", "/s", "/r", false, false}));

  auto check = parse({"--validate-config", "--config", "/c", "--state-dir", "/s", "--runtime-dir", "/r"});
  ASSERT_TRUE(check);
  EXPECT_TRUE(check->validate_config);

  auto inspect = parse({"--inspect-store", "--state-dir", "/s", "--config", "/c"});
  ASSERT_TRUE(inspect);
  EXPECT_EQ(*inspect, (Options{"/c", "/s", std::nullopt, false, true}));

  auto positional = parse({"/etc/corvane.json"});
  ASSERT_TRUE(positional);
  EXPECT_EQ(*positional, (Options{"/etc/corvane.json", std::nullopt, std::nullopt, false, false}));

  auto empty_positional = parse({""});
  ASSERT_TRUE(empty_positional);
  EXPECT_EQ(empty_positional->config, "");

  auto empty_value = parse({"--config", "", "--state-dir", "/s", "--runtime-dir", "/r"});
  ASSERT_TRUE(empty_value);
  EXPECT_EQ(empty_value->config, "");
}

TEST(CommandLine, RefusesEachGrammarFaultWithItsMessage) {
  struct Case {
    Args arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{}, "--config required"},
      {{"--version", "--config", "/c"}, "unknown or positional argument in flag mode"},
      {{"--bogus"}, "unknown or positional argument in flag mode"},
      {{"-c"}, "unknown or positional argument in flag mode"},
      {{"--config=/c"}, "unknown or positional argument in flag mode"},
      {{"--config", "/c", "extra"}, "unknown or positional argument in flag mode"},
      {{"--config"}, "missing option value"},
      {{"--config", "--state-dir", "/s"}, "missing option value"},
      {{"--state-dir", "-s"}, "missing option value"},
      {{"--config", "a", "--config", "b"}, "duplicate option"},
      {{"--runtime-dir", "/r", "--runtime-dir", "/r"}, "duplicate option"},
      {{"--inspect-store", "--inspect-store"}, "duplicate --inspect-store"},
      {{"--validate-config", "--validate-config"}, "duplicate --validate-config"},
      {{"\xff\xfe", "/c"}, "invalid flag"},
      {{"--config", "/c", "--\xc0\xaf"}, "invalid flag"},
      {{"--inspect-store"}, "--config required"},
      {{"--config", "c", "--inspect-store", "--runtime-dir", "r", "--state-dir", "s"},
       "--inspect-store does not accept --runtime-dir"},
      {{"--config", "c", "--inspect-store", "--runtime-dir", "r", "--state-dir", "s", "--validate-config"},
       "--inspect-store cannot be combined with --validate-config"},
      {{"--config", "c", "--inspect-store"}, "--state-dir required"},
      {{"--state-dir", "s", "--runtime-dir", "r"}, "--config required"},
      {{"--config", "c", "--state-dir", "s"}, "--runtime-dir required"},
      {{"--config", "c", "--runtime-dir", "r"}, "--state-dir required"},
  };
  for (const auto& c : cases) {
    auto result = parse(c.arguments);
    ASSERT_FALSE(result) << ::testing::PrintToString(c.arguments);
    EXPECT_EQ(result.error(), c.message) << ::testing::PrintToString(c.arguments);
  }
}

TEST(CommandLine, PathValuesKeepTheirRawBytes) {
  auto result = parse({"--config", "/c\xff", "--state-dir", "/s", "--runtime-dir", "/r"});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->config, "/c\xff");
}

}  // namespace
}  // namespace corvane_manager_resident_lab::cli
