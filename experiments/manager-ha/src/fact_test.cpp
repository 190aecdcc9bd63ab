// Canonical bytes of facts and event identities, and the strictness of
// reading a fact back from JSON.
#include "fact.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace corvane_manager_ha_lab {
namespace {

const json::Value& member(const json::Value& object, std::string_view name) {
  for (const json::Member& m : object.members) {
    if (m.name == name) return m.value;
  }
  ADD_FAILURE() << "no member " << name;
  static const json::Value none;
  return none;
}

json::Value load_vectors() {
  std::ifstream in(std::string(CORVANE_TESTDATA_DIR) + "/vectors.json", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  auto tree = json::parse(text.str());
  EXPECT_TRUE(tree.has_value()) << (tree ? "" : tree.error().text());
  return tree ? *tree : json::Value{};
}

std::string sha256_hex(std::string_view bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  std::string hex;
  for (unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

TEST(EventIdentity, PadsTheSequenceToTwentyDigits) {
  const json::Value vectors = load_vectors();
  const json::Value& vector = member(vectors, "event_id");
  const auto sequence = json::read<std::uint64_t>(member(vector, "producer_sequence"));
  ASSERT_TRUE(sequence.has_value());
  EXPECT_EQ(event_id(member(vector, "replica_id").text, *sequence),
            member(vector, "event_id").text);

  EXPECT_EQ(event_id("r1", 1), "r1:00000000000000000001");
  EXPECT_EQ(event_id("r1", std::numeric_limits<std::uint64_t>::max()), "r1:18446744073709551615");
  // Padding makes byte order follow numeric order within one origin.
  EXPECT_LT(event_id("r1", 9), event_id("r1", 10));
}

TEST(FactJson, VectorFactsReadBackAndWriteTheSameBytes) {
  const json::Value vectors = load_vectors();
  const json::Value& facts = member(vectors, "facts");
  ASSERT_EQ(facts.items.size(), 2u);
  std::vector<Fact> read;
  for (const json::Value& vector : facts.items) {
    const std::string& bytes = member(vector, "fact_json").text;
    auto fact = json::from_json<Fact>(bytes);
    ASSERT_TRUE(fact.has_value()) << fact.error().text();
    EXPECT_EQ(json::to_json(*fact), bytes);
    EXPECT_EQ(sha256_hex(json::to_json(*fact)), member(vector, "sha256").text);
    read.push_back(*fact);
  }
  const Fact& second = read[1];
  EXPECT_EQ(second.event_id, "r1:00000000000000000002");
  EXPECT_EQ(second.producer_sequence, 2u);
  EXPECT_EQ(second.subject_revision, 2u);
  EXPECT_EQ(second.predecessor, read[0].event_id);
  EXPECT_EQ(second.exclusive_resource, std::nullopt);
  EXPECT_EQ(second.value, "full \"90%\"\n");
}

// A fact using every member with a non-default value.
const std::string FULL =
    R"({"event_id":"r2:00000000000000000003","logical_manager_id":"lm","origin_replica_id":"r2",)"
    R"("origin_host_id":"h2","producer_sequence":3,"scope":"ops/db","subject":"primary",)"
    R"("subject_revision":2,"predecessor":"r2:00000000000000000001","exclusive_resource":"vip",)"
    R"("active_claim":true,"value":"up"})";

TEST(FactJson, MembersMayComeInAnyOrder) {
  const std::string reversed =
      R"({"value":"up","active_claim":true,"exclusive_resource":"vip",)"
      R"("predecessor":"r2:00000000000000000001","subject_revision":2,"subject":"primary",)"
      R"("scope":"ops/db","producer_sequence":3,"origin_host_id":"h2","origin_replica_id":"r2",)"
      R"("logical_manager_id":"lm","event_id":"r2:00000000000000000003"})";
  auto fact = json::from_json<Fact>(reversed);
  ASSERT_TRUE(fact.has_value()) << fact.error().text();
  EXPECT_EQ(json::to_json(*fact), FULL);
}

TEST(FactJson, OptionalMembersMayBeNullOrMissing) {
  const std::string nulls =
      R"({"event_id":"r1:00000000000000000001","logical_manager_id":"lm","origin_replica_id":"r1",)"
      R"("origin_host_id":"h1","producer_sequence":1,"scope":"ops-x","subject":"disk",)"
      R"("subject_revision":1,"predecessor":null,"exclusive_resource":null,"active_claim":false,)"
      R"("value":"ok"})";
  const std::string missing =
      R"({"event_id":"r1:00000000000000000001","logical_manager_id":"lm","origin_replica_id":"r1",)"
      R"("origin_host_id":"h1","producer_sequence":1,"scope":"ops-x","subject":"disk",)"
      R"("subject_revision":1,"active_claim":false,"value":"ok"})";
  auto from_nulls = json::from_json<Fact>(nulls);
  auto from_missing = json::from_json<Fact>(missing);
  ASSERT_TRUE(from_nulls.has_value()) << from_nulls.error().text();
  ASSERT_TRUE(from_missing.has_value()) << from_missing.error().text();
  EXPECT_EQ(*from_nulls, *from_missing);
  EXPECT_EQ(from_missing->predecessor, std::nullopt);
  EXPECT_EQ(from_missing->exclusive_resource, std::nullopt);
  // Absent optionals are always written, as null.
  EXPECT_EQ(json::to_json(*from_missing), nulls);
}

TEST(FactJson, NumbersSpanTheWholeUnsigned64BitRange) {
  std::string text = FULL;
  text.replace(text.find("\"subject_revision\":2"), 20,
               "\"subject_revision\":18446744073709551615");
  auto fact = json::from_json<Fact>(text);
  ASSERT_TRUE(fact.has_value()) << fact.error().text();
  EXPECT_EQ(fact->subject_revision, std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(json::to_json(*fact), text);
}

struct RefusedFact {
  std::string name;
  std::string find;     // a piece of FULL ...
  std::string replace;  // ... and what it becomes
  std::string message;  // start of the reader's message

  // Failures name the case instead of dumping its bytes.
  friend void PrintTo(const RefusedFact& c, std::ostream* os) { *os << c.name; }
};

class FactJsonRefusal : public testing::TestWithParam<RefusedFact> {};

TEST_P(FactJsonRefusal, IsRefused) {
  const RefusedFact& c = GetParam();
  std::string text = FULL;
  const auto at = text.find(c.find);
  ASSERT_NE(at, std::string::npos) << c.find;
  text.replace(at, c.find.size(), c.replace);
  auto fact = json::from_json<Fact>(text);
  ASSERT_FALSE(fact.has_value()) << text;
  EXPECT_TRUE(fact.error().text().starts_with(c.message)) << fact.error().text();
}

INSTANTIATE_TEST_SUITE_P(
    Strictness, FactJsonRefusal,
    testing::Values(
        RefusedFact{"UnknownMember", R"("value":"up")", R"("value":"up","comment":"x")",
                    "unknown member \"comment\""},
        RefusedFact{"DuplicateMember", R"("value":"up")", R"("value":"up","value":"up")",
                    "duplicate member \"value\""},
        RefusedFact{"DuplicateOptionalMember", R"("exclusive_resource":"vip",)",
                    R"("exclusive_resource":"vip","exclusive_resource":null,)",
                    "duplicate member \"exclusive_resource\""},
        RefusedFact{"MissingValue", R"(,"value":"up")", "", "missing member `value`"},
        RefusedFact{"MissingClaimFlag", R"("active_claim":true,)", "",
                    "missing member `active_claim`"},
        RefusedFact{"MissingSequence", R"("producer_sequence":3,)", "",
                    "missing member `producer_sequence`"},
        RefusedFact{"NegativeSequence", R"("producer_sequence":3)", R"("producer_sequence":-3)",
                    "member `producer_sequence`: invalid type"},
        RefusedFact{"SequenceBeyond64Bits", R"("producer_sequence":3)",
                    R"("producer_sequence":18446744073709551616)",
                    "member `producer_sequence`: invalid type"},
        RefusedFact{"FractionalRevision", R"("subject_revision":2)", R"("subject_revision":2.0)",
                    "member `subject_revision`: invalid type"},
        RefusedFact{"ExponentRevision", R"("subject_revision":2)", R"("subject_revision":2e0)",
                    "member `subject_revision`: invalid type"},
        RefusedFact{"QuotedNumber", R"("producer_sequence":3)", R"("producer_sequence":"3")",
                    "member `producer_sequence`: invalid type"},
        RefusedFact{"NumericPredecessor", R"("predecessor":"r2:00000000000000000001")",
                    R"("predecessor":1)", "member `predecessor`: invalid type"},
        RefusedFact{"ClaimFlagAsString", R"("active_claim":true)", R"("active_claim":"true")",
                    "member `active_claim`: invalid type"},
        RefusedFact{"NullValue", R"("value":"up")", R"("value":null)",
                    "member `value`: invalid type"}),
    [](const testing::TestParamInfo<RefusedFact>& info) { return info.param.name; });

}  // namespace
}  // namespace corvane_manager_ha_lab
