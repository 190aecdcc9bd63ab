#include "durable/utf8.h"

#include <gtest/gtest.h>

namespace corvane_manager_ha_lab::durable {
namespace {

constexpr std::string_view FFFD = "\xEF\xBF\xBD";

TEST(LossyUtf8Test, ReplacesEachMaximalInvalidSequenceOnce) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"/var/lib/store.sqlite", "/var/lib/store.sqlite"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"a\xFFz", "a" + std::string(FFFD) + "z"},
      // A truncated three-byte sequence is one maximal subpart.
      {"a\xE2\x82z", "a" + std::string(FFFD) + "z"},
      // Overlong encodings and surrogates are invalid from their second byte.
      {"\xC0\xAF", std::string(FFFD) + std::string(FFFD)},
      {"\xED\xA0\x80", std::string(FFFD) + std::string(FFFD) + std::string(FFFD)},
      {"\xF4\x90\x80\x80",
       std::string(FFFD) + std::string(FFFD) + std::string(FFFD) + std::string(FFFD)},
      {"end\xF0\x9F\x98", "end" + std::string(FFFD)},
  };
  for (const auto& c : cases) EXPECT_EQ(lossy_utf8(c.input), c.expected) << c.input;
}

TEST(SplitWhitespaceTest, SplitsAtRunsOfUnicodeWhiteSpace) {
  using Pieces = std::vector<std::string_view>;
  EXPECT_EQ(split_whitespace("  CREATE\tTABLE\r\n  x\v(\fa) "),
            (Pieces{"CREATE", "TABLE", "x", "(", "a)"}));
  EXPECT_EQ(split_whitespace("a\xC2\xA0"
                             "b\xE3\x80\x80"
                             "c\xE2\x80\xA8"
                             "d\xC2\x85"
                             "e"),
            (Pieces{"a", "b", "c", "d", "e"}));
  // Non-breaking look-alikes that are not white space stay inside a piece.
  EXPECT_EQ(split_whitespace("a\xE2\x80\x8B"
                             "b"),
            (Pieces{"a\xE2\x80\x8B"
                    "b"}));
  EXPECT_EQ(split_whitespace("a\xFF b"), (Pieces{"a\xFF", "b"}));
  EXPECT_TRUE(split_whitespace(" \t\n").empty());
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
