#include "topology.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "replica.h"

namespace corvane_manager_ha_lab {
namespace {

std::string vector_file() {
  std::ifstream in(std::string(CORVANE_TESTDATA_DIR) + "/vectors.json", std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

durable::Configuration group(std::vector<ReplicaConfig> replicas, std::vector<ScopeGrant> grants) {
  return durable::Configuration{"lm", std::move(replicas), std::move(grants)};
}

const std::vector<ReplicaConfig> three = {{"r1", "h1"}, {"r2", "h2"}, {"r3", "h3"}};

TEST(Topology, JsonMatchesTheVectorWhateverTheDeclarationOrder) {
  auto tree = json::parse(vector_file());
  ASSERT_TRUE(tree);
  const json::Value* topology = nullptr;
  for (const auto& m : tree->members) {
    if (m.name == "topology") topology = &m.value;
  }
  ASSERT_NE(topology, nullptr);
  auto declared = json::read<durable::Configuration>(topology->members.at(0).value);
  ASSERT_TRUE(declared) << declared.error().text();
  const std::string expected = topology->members.at(1).value.text;

  auto built = declared->topology();
  ASSERT_TRUE(built) << built.error();
  EXPECT_EQ(json::to_json(*built), expected);

  durable::Configuration permuted = *declared;
  std::reverse(permuted.replicas.begin(), permuted.replicas.end());
  std::rotate(permuted.grants.begin(), permuted.grants.begin() + 1, permuted.grants.end());
  auto rebuilt = permuted.topology();
  ASSERT_TRUE(rebuilt);
  EXPECT_EQ(json::to_json(*rebuilt), expected);
  EXPECT_EQ(*rebuilt, *built);
}

TEST(Topology, RefusesEachBrokenRuleWithItsMessage) {
  const std::string required = "logical manager identity and replicas are required";
  const std::string unique = "replica and host identities must be non-empty and unique";
  const std::string owned = "every scope must have exactly one known replica owner";
  struct Case {
    const char* what;
    durable::Configuration configuration;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"empty manager id", durable::Configuration{"", three, {}}, required},
      {"no replicas", group({}, {}), required},
      {"empty replica id", group({{"", "h1"}}, {}), unique},
      {"empty host id", group({{"r1", ""}}, {}), unique},
      {"repeated replica", group({{"r1", "h1"}, {"r1", "h2"}}, {}), unique},
      {"shared host", group({{"r1", "h1"}, {"r2", "h1"}}, {}), unique},
      {"empty scope", group(three, {{"", "r1"}}), owned},
      {"unknown owner", group(three, {{"ops", "r9"}}), owned},
      {"scope granted twice", group(three, {{"ops", "r1"}, {"ops", "r1"}}), owned},
      {"parent then child", group(three, {{"ops", "r1"}, {"ops/db", "r2"}}), owned},
      {"child then parent", group(three, {{"ops/db", "r2"}, {"ops", "r1"}}), owned},
      {"grandchild", group(three, {{"ops/db", "r2"}, {"ops/db/primary", "r1"}}), owned},
  };
  for (const auto& c : cases) {
    auto result = c.configuration.topology();
    ASSERT_FALSE(result) << c.what;
    EXPECT_EQ(result.error(), c.message) << c.what;
  }
}

TEST(Topology, AcceptsNeighbouringScopesLateOwnersAndNoGrants) {
  EXPECT_TRUE(group(three, {{"ops", "r1"}, {"ops-db", "r2"}, {"opsx", "r3"}}).topology());
  EXPECT_TRUE(group(three, {{"ops/db", "r1"}, {"ops/dbx", "r2"}}).topology());
  EXPECT_TRUE(group({{"r1", "h1"}, {"r2", "h2"}}, {{"a", "r2"}}).topology());
  EXPECT_TRUE(group(three, {}).topology());
}

TEST(Topology, InstantiatesOnlyDeclaredReplicas) {
  auto topology = group(three, {{"ops", "r2"}}).topology();
  ASSERT_TRUE(topology);
  auto replica = topology->instantiate("r2");
  ASSERT_TRUE(replica);
  EXPECT_EQ(replica->replica_id, "r2");
  EXPECT_EQ(replica->host_id, "h2");
  EXPECT_EQ(replica->next_producer_sequence, 1u);
  EXPECT_TRUE(replica->facts.empty());
  EXPECT_EQ(replica->topology, *topology);
  auto unknown = topology->instantiate("r9");
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error(), "unknown replica");
}

}  // namespace
}  // namespace corvane_manager_ha_lab
