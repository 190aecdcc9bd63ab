// Receipt digests, authenticated-import receipt identities, the receipt-set
// digest and the token rule, checked against values computed outside this
// code (the vectors file, Python's hashlib).
#include "durable/receipt.h"

#include <gtest/gtest.h>

#include <string>

#include "durable/request_test_support.h"
#include "durable/token.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::vector_text;

const ReceiptMetadata OBSERVE_CONTEXT{};

TEST(ReceiptDigest, MatchesTheObserveVector) {
  auto sha256 =
      receipt_digest("lm", "op-1", OBSERVE_CONTEXT, vector_text("observe_receipt", "request_json"),
                     vector_text("observe_receipt", "response_json"));
  ASSERT_TRUE(sha256.has_value());
  EXPECT_EQ(*sha256, vector_text("observe_receipt", "receipt_sha256"));
}

TEST(ReceiptDigest, BindsTheLogicalManager) {
  // Same request and response under logical manager "lm-2" (hashlib).
  auto sha256 = receipt_digest("lm-2", "op-1", OBSERVE_CONTEXT,
                               vector_text("observe_receipt", "request_json"),
                               vector_text("observe_receipt", "response_json"));
  ASSERT_TRUE(sha256.has_value());
  EXPECT_EQ(*sha256, "e69ade4137f6e8692850ce977e669f1992aae0b84fd261623f8c08ef81556c79");
}

TEST(ReceiptDigest, MatchesTheAuthenticatedImportVector) {
  const json::Value all = testing_support::vectors();
  const json::Value& vector = testing_support::vector_member(all, "import_receipt");
  const json::Value& receipt = testing_support::vector_member(vector, "receipt");
  const ReceiptMetadata context{.source_replica_id = "r1",
                                .wire_operation_id = "wire-9",
                                .kind = ReceiptKind::AuthenticatedImport};
  auto sha256 = receipt_digest("lm", testing_support::vector_member(receipt, "operation_id").text,
                               context, testing_support::vector_member(vector, "request_json").text,
                               testing_support::vector_member(vector, "response_json").text);
  ASSERT_TRUE(sha256.has_value());
  EXPECT_EQ(*sha256, testing_support::vector_member(receipt, "sha256").text);
}

TEST(AuthenticatedImportReceiptId, MatchesTheNetworkVector) {
  auto id = authenticated_import_receipt_id_parts("lm", "r2", "op-1");
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(*id, vector_text("authenticated_import_receipt_id", "receipt_id"));

  auto topology = testing_support::vectors_configuration().topology();
  ASSERT_TRUE(topology.has_value());
  EXPECT_EQ(authenticated_import_receipt_id(*topology, "r2", "op-1"), *id);
  // The sender checking a reply computes it with itself as the source.
  EXPECT_EQ(authenticated_import_receipt_id(*topology, "r1", "wire-9"),
            "network:8560e91c497a2d08d4daa474d0ef01f0eb29b6251fe722424afd0dd4404f2470");
}

TEST(AuthenticatedImportReceiptId, RefusesIdentifiersThatAreNotTokens) {
  auto topology = testing_support::vectors_configuration().topology();
  ASSERT_TRUE(topology.has_value());
  const DurableError invalid = DurableError::refused(RefusalReason::InvalidRequest);
  EXPECT_EQ(authenticated_import_receipt_id(*topology, "", "op-1").error(), invalid);
  EXPECT_EQ(authenticated_import_receipt_id(*topology, "r2", "op/1").error(), invalid);
  EXPECT_EQ(authenticated_import_receipt_id(*topology, "r 2", "op-1").error(), invalid);
  // The parts form leaves the checks to its caller.
  EXPECT_TRUE(authenticated_import_receipt_id_parts("lm", "r 2", "op/1").has_value());
}

TEST(ReceiptSetDigest, MatchesTheInspectionVectors) {
  EXPECT_EQ(receipt_set_digest({}), vector_text("inspection_digests", "receipt_set_sha256_empty"));
  const ReceiptEvidence observe{.operation_id = "op-1",
                                .kind = ReceiptKind::Observe,
                                .source_replica_id = std::nullopt,
                                .wire_operation_id = std::nullopt,
                                .sha256 = vector_text("observe_receipt", "receipt_sha256")};
  EXPECT_EQ(receipt_set_digest({observe}), vector_text("inspection_digests", "receipt_set_sha256"));
}

TEST(ReceiptKindJson, ReadsOnlyTheThreeTexts) {
  for (const ReceiptKind kind :
       {ReceiptKind::Observe, ReceiptKind::LaboratoryImport, ReceiptKind::AuthenticatedImport}) {
    EXPECT_EQ(parse_receipt_kind(receipt_kind_text(kind)), kind);
  }
  EXPECT_EQ(json::to_json(ReceiptKind::LaboratoryImport), "\"laboratory_import\"");
  EXPECT_FALSE(parse_receipt_kind("Observe").has_value());
  EXPECT_FALSE(parse_receipt_kind("").has_value());
}

TEST(Token, AcceptsOneTo128BytesOfTheTokenAlphabet) {
  std::string longest;
  const std::string alphabet = "azAZ09-._:";
  while (longest.size() < MAX_TOKEN_BYTES) longest += alphabet[longest.size() % alphabet.size()];
  ASSERT_EQ(longest.size(), 128U);
  const struct {
    std::string text;
    bool accepted;
  } cases[] = {
      {longest, true}, {longest + "a", false}, {"", false},
      {"a", true},     {"a/b", false},         {"a b", false},
      {"é", false},    {"a\n", false},         {"network:abc", true},
      {"a+b", false},  {"a@b", false},         {std::string("a\0b", 3), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(validate_token(c.text).has_value(), c.accepted) << '"' << c.text << '"';
  }
  EXPECT_EQ(validate_token("a/b").error(), DurableError::refused(RefusalReason::InvalidRequest));
  EXPECT_TRUE(validate_optional_token(std::nullopt).has_value());
  EXPECT_TRUE(validate_optional_token("r1").has_value());
  EXPECT_FALSE(validate_optional_token("").has_value());
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
