// The snapshot's canonical bytes and its strict reading at every level.
#include "durable/snapshot.h"

#include <gtest/gtest.h>

#include <string>

#include "durable/request_test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::vector_text;

TEST(SnapshotJson, TheImportVectorReadsAndWritesBackByteForByte) {
  const std::string text = vector_text("import_receipt", "snapshot_json");
  auto snapshot = json::from_json<Snapshot>(text);
  ASSERT_TRUE(snapshot.has_value()) << snapshot.error().text();
  EXPECT_EQ(snapshot->configuration, testing_support::vectors_configuration());
  EXPECT_EQ(snapshot->facts.size(), 2U);
  EXPECT_EQ(json::to_json(*snapshot), text);
}

TEST(SnapshotJson, UnknownOrMissingMembersAreRefusedAtEveryLevel) {
  const std::string fact = testing_support::vector_fact_json(0);
  const std::string replica = R"({"replica_id":"r1","host_id":"h1")";
  const std::string grant = R"({"scope":"ops-x","owner_replica_id":"r1")";
  auto snapshot = [&](const std::string& configuration_extra, const std::string& replica_extra,
                      const std::string& grant_extra, const std::string& fact_text,
                      const std::string& snapshot_extra) {
    return R"({"configuration":{"logical_manager_id":"lm","replicas":[)" + replica + replica_extra +
           R"(}],"grants":[)" + grant + grant_extra + "}]" + configuration_extra +
           R"(},"replica_id":"r1","facts":[)" + fact_text + "]" + snapshot_extra + "}";
  };
  const std::string fact_with_extra = fact.substr(0, fact.size() - 1) + R"(,"x":1})";
  const struct {
    const char* name;
    std::string text;
    bool accepted;
  } cases[] = {
      {"well formed", snapshot("", "", "", fact, ""), true},
      {"snapshot", snapshot("", "", "", fact, R"(,"x":1)"), false},
      {"configuration", snapshot(R"(,"x":1)", "", "", fact, ""), false},
      {"replica entry", snapshot("", R"(,"x":1)", "", fact, ""), false},
      {"grant", snapshot("", "", R"(,"x":1)", fact, ""), false},
      {"fact", snapshot("", "", "", fact_with_extra, ""), false},
      {"missing facts",
       R"({"configuration":{"logical_manager_id":"lm","replicas":[],)"
       R"("grants":[]},"replica_id":"r1"})",
       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json::from_json<Snapshot>(c.text).has_value(), c.accepted) << c.name;
  }
}

TEST(RestoreSnapshot, RebuildsTheExporterUnderTheLocalTopology) {
  auto snapshot = json::from_json<Snapshot>(vector_text("import_receipt", "snapshot_json"));
  ASSERT_TRUE(snapshot.has_value());
  auto topology = testing_support::vectors_configuration().topology();
  ASSERT_TRUE(topology.has_value());
  auto restored = restore_snapshot(*topology, *snapshot);
  ASSERT_TRUE(restored.has_value()) << restored.error().text();
  EXPECT_EQ(restored->replica_id, "r1");
  EXPECT_EQ(restored->next_producer_sequence, 3U);
  EXPECT_EQ(export_snapshot(snapshot->configuration, *restored), *snapshot);
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
