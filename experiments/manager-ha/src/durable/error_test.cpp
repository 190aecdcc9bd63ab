#include "durable/error.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "durable/canonical_json.h"
#include "durable/digest.h"
#include "durable/test_support.h"
#include "json_value.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {
namespace {

TEST(DurableErrorTest, TextFormsNameTheVariantThenThePayload) {
  const struct {
    DurableError error;
    std::string text;
  } cases[] = {
      {DurableError::refused(RefusalReason::OperationIdReused), "refused: operation_id_reused"},
      {DurableError::corrupt("x"), "corrupt: x"},
      {corrupt_model("unknown replica"), "corrupt: stored model state is invalid: unknown replica"},
      {DurableError::storage("disk I/O error"), "storage: disk I/O error"},
      {DurableError::invalid_audit("bad phase"), "invalid_audit: bad phase"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error.text(), c.text);
}

TEST(DurableErrorTest, RefusalReasonsKeepTheirOrderAndTexts) {
  const std::vector<std::pair<RefusalReason, std::string>> reasons = {
      {RefusalReason::InvalidRequest, "invalid_request"},
      {RefusalReason::PolicyViolation, "policy_violation"},
      {RefusalReason::OperationIdReused, "operation_id_reused"},
      {RefusalReason::UnsupportedSchema, "unsupported_schema"},
      {RefusalReason::IdentityMismatch, "identity_mismatch"},
      {RefusalReason::UnrecognizedStore, "unrecognized_store"},
      {RefusalReason::MissingStore, "missing_store"},
      {RefusalReason::UnsafeStore, "unsafe_store"},
      {RefusalReason::TransportUnavailable, "transport_unavailable"},
  };
  for (std::size_t i = 0; i < reasons.size(); ++i) {
    const auto& [reason, text] = reasons[i];
    EXPECT_EQ(static_cast<std::size_t>(reason), i) << text;
    EXPECT_EQ(refusal_reason_text(reason), text);
    EXPECT_EQ(DurableError::refused(reason).text(), "refused: " + text);
    EXPECT_EQ(json::to_json(reason), "\"" + text + "\"");
    EXPECT_EQ(json::from_json<RefusalReason>("\"" + text + "\""), reason);
  }
  EXPECT_FALSE(json::from_json<RefusalReason>("\"Unsafe_Store\"").has_value());
  EXPECT_FALSE(json::from_json<RefusalReason>("7").has_value());
}

TEST(DurableErrorTest, VariantsCompareByKindAndPayload) {
  EXPECT_EQ(DurableError::corrupt("x"), DurableError::corrupt("x"));
  EXPECT_NE(DurableError::corrupt("x"), DurableError::storage("x"));
  EXPECT_NE(DurableError::corrupt("x"), DurableError::corrupt("y"));
  EXPECT_TRUE(
      DurableError::refused(RefusalReason::UnsafeStore).is_refusal(RefusalReason::UnsafeStore));
  EXPECT_FALSE(DurableError::storage("unsafe_store").is_refusal(RefusalReason::UnsafeStore));
}

TEST(DurableErrorTest, ForeignErrorsBecomeStorageWithTheirOwnMessage) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  EXPECT_NE(sqlite3_exec(db, "SELECT * FROM nowhere", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite_error(db), DurableError::storage("no such table: nowhere"));
  sqlite3_close(db);
  EXPECT_EQ(sqlite_error_code(SQLITE_BUSY), DurableError::storage(sqlite3_errstr(SQLITE_BUSY)));

  const auto parsed = json::parse("{\"a\":");
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(json_error(parsed.error()), DurableError::storage(parsed.error().text()));

  EXPECT_EQ(io_error(ENOENT), DurableError::storage("No such file or directory (os error 2)"));
}

TEST(DurableErrorTest, NarrowKeepsFittingValuesAndRefusesOthers) {
  EXPECT_EQ(narrow<std::int64_t>(std::uint64_t{42}), 42);
  EXPECT_EQ(narrow<std::uint64_t>(std::int64_t{0}), 0u);
  const auto too_big = narrow<std::int64_t>(std::uint64_t{1} << 63);
  ASSERT_FALSE(too_big.has_value());
  EXPECT_EQ(
      too_big.error(),
      DurableError::storage("integer 9223372036854775808 does not fit in a signed 64-bit integer"));
  const auto negative = narrow<std::uint32_t>(-1);
  ASSERT_FALSE(negative.has_value());
  EXPECT_EQ(negative.error().text(),
            "storage: integer -1 does not fit in an unsigned 32-bit integer");
}

TEST(DigestTest, IsLowercaseSha256Hex) {
  EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest(std::string_view("\0\xff", 2)).size(), 64u);
}

// The written formats' own vectors: fact digests and the topology JSON.
TEST(CanonicalJsonTest, MatchesTheSharedVectors) {
  std::ifstream in(std::string(CORVANE_TESTDATA_DIR) + "/vectors.json");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto vectors = json::parse(text);
  ASSERT_TRUE(vectors.has_value());
  const auto member = [](const json::Value& v, std::string_view name) -> const json::Value& {
    for (const auto& m : v.members) {
      if (m.name == name) return m.value;
    }
    ADD_FAILURE() << "no member " << name;
    return v;
  };
  for (const json::Value& fact : member(*vectors, "facts").items) {
    EXPECT_EQ(digest(member(fact, "fact_json").text), member(fact, "sha256").text);
  }
  const json::Value& topology_vector = member(*vectors, "topology");
  auto configuration = json::read<Configuration>(member(topology_vector, "configuration"));
  ASSERT_TRUE(configuration.has_value());
  auto topology = configuration->topology();
  ASSERT_TRUE(topology.has_value());
  EXPECT_EQ(json(*topology), member(topology_vector, "topology_json").text);
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
