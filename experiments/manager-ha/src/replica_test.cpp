// Origination and admission of facts by one replica: the chains observe
// builds, and every refusal of observe and ingest in its order.
#include "replica.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

namespace corvane_manager_ha_lab {
namespace {

constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();

// The group of the shared test vectors: r1 owns ops-x, r2 owns ops/db, r3 owns
// alpha.
Topology vector_topology() {
  auto topology = Topology::create("lm", {{"r2", "h2"}, {"r1", "h1"}, {"r3", "h3"}},
                                   {{"ops/db", "r2"}, {"ops-x", "r1"}, {"alpha", "r3"}});
  EXPECT_TRUE(topology.has_value());
  return *topology;
}

Replica fresh(const std::string& replica_id) {
  auto replica = vector_topology().instantiate(replica_id);
  EXPECT_TRUE(replica.has_value());
  return *replica;
}

// A well-formed fact of `origin` (declared in the vector topology) at
// `sequence`, revision 1 unless changed by the caller.
Fact fact_of(const std::string& origin, std::uint64_t sequence, const std::string& scope,
             const std::string& subject) {
  Fact fact;
  fact.event_id = event_id(origin, sequence);
  fact.logical_manager_id = "lm";
  fact.origin_replica_id = origin;
  fact.origin_host_id = "h" + origin.substr(1);
  fact.producer_sequence = sequence;
  fact.scope = scope;
  fact.subject = subject;
  fact.subject_revision = 1;
  fact.value = "v";
  return fact;
}

Fact next_of(const Fact& before, std::uint64_t sequence) {
  Fact fact = fact_of(before.origin_replica_id, sequence, before.scope, before.subject);
  fact.subject_revision = before.subject_revision + 1;
  fact.predecessor = before.event_id;
  return fact;
}

std::vector<std::string> vector_fact_json() {
  std::ifstream in(std::string(CORVANE_TESTDATA_DIR) + "/vectors.json", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  auto tree = json::parse(text.str());
  EXPECT_TRUE(tree.has_value());
  std::vector<std::string> out;
  if (!tree) return out;
  for (const json::Member& m : tree->members) {
    if (m.name != "facts") continue;
    for (const json::Value& item : m.value.items) {
      for (const json::Member& f : item.members) {
        if (f.name == "fact_json") out.push_back(f.value.text);
      }
    }
  }
  return out;
}

TEST(ReplicaChains, ObservationsBuildTheVectorFacts) {
  Replica r1 = fresh("r1");
  auto first = r1.observe("ops-x", "disk", std::nullopt, false, "ok");
  ASSERT_TRUE(first.has_value()) << first.error();
  auto second = r1.observe("ops-x", "disk", std::nullopt, false, "full \"90%\"\n");
  ASSERT_TRUE(second.has_value()) << second.error();

  const std::vector<std::string> expected = vector_fact_json();
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_EQ(json::to_json(*first), expected[0]);
  EXPECT_EQ(json::to_json(*second), expected[1]);
  EXPECT_EQ(first->event_id, "r1:00000000000000000001");
  EXPECT_EQ(first->subject_revision, 1u);
  EXPECT_EQ(first->predecessor, std::nullopt);
  EXPECT_EQ(second->predecessor, first->event_id);
  EXPECT_EQ(r1.facts.size(), 2u);
  EXPECT_EQ(r1.facts.at(second->event_id), *second);
  EXPECT_EQ(r1.next_producer_sequence, 3u);
}

TEST(ReplicaChains, AnotherSubjectContinuesTheSequenceWithItsOwnRevisions) {
  Replica r1 = fresh("r1");
  ASSERT_TRUE(r1.observe("ops-x", "disk", std::nullopt, false, "ok"));
  ASSERT_TRUE(r1.observe("ops-x", "disk", std::nullopt, false, "full"));
  auto cpu = r1.observe("ops-x", "cpu", "vip", true, "busy");
  ASSERT_TRUE(cpu.has_value()) << cpu.error();
  EXPECT_EQ(cpu->event_id, "r1:00000000000000000003");
  EXPECT_EQ(cpu->producer_sequence, 3u);
  EXPECT_EQ(cpu->subject_revision, 1u);
  EXPECT_EQ(cpu->predecessor, std::nullopt);
  EXPECT_EQ(cpu->exclusive_resource, "vip");
  EXPECT_TRUE(cpu->active_claim);

  auto head = r1.local_subject_head("ops-x", "disk");
  ASSERT_TRUE(head.has_value()) << head.error();
  ASSERT_TRUE(head->has_value());
  EXPECT_EQ((*head)->event_id, "r1:00000000000000000002");
  auto none = r1.local_subject_head("ops-x", "memory");
  ASSERT_TRUE(none.has_value()) << none.error();
  EXPECT_FALSE(none->has_value());
}

TEST(ReplicaChains, ReloadedHistoryContinuesAfterTheHighestSequence) {
  Replica original = fresh("r1");
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(original.observe("ops-x", i % 2 ? "disk" : "cpu", std::nullopt, false, "v"));
  }
  // A reload ingests stored rows in whatever order they come.
  Replica reloaded = fresh("r1");
  for (std::uint64_t sequence : {5, 3, 1, 4, 2}) {
    ASSERT_TRUE(reloaded.ingest(original.facts.at(event_id("r1", sequence))));
  }
  EXPECT_EQ(reloaded.next_producer_sequence, 6u);
  EXPECT_EQ(reloaded, original);

  auto next = reloaded.observe("ops-x", "cpu", std::nullopt, false, "v");
  ASSERT_TRUE(next.has_value()) << next.error();
  EXPECT_EQ(next->producer_sequence, 6u);
  EXPECT_EQ(next->subject_revision, 4u);
  EXPECT_EQ(next->predecessor, event_id("r1", 5));
}

TEST(ReplicaChains, ForkBlocksOnlyItsOwnSubject) {
  Replica r1 = fresh("r1");
  auto root = r1.observe("ops-x", "disk", std::nullopt, false, "ok");
  ASSERT_TRUE(root.has_value());
  ASSERT_TRUE(r1.observe("ops-x", "disk", std::nullopt, false, "a"));
  // The same subject written elsewhere from the same root, imported here.
  ASSERT_TRUE(r1.ingest(next_of(*root, 7)));

  auto blocked = r1.observe("ops-x", "disk", std::nullopt, false, "b");
  ASSERT_FALSE(blocked.has_value());
  EXPECT_EQ(blocked.error(), "subject history is incomplete or forked; further writes are blocked");
  auto other = r1.observe("ops-x", "cpu", std::nullopt, false, "fine");
  ASSERT_TRUE(other.has_value()) << other.error();
  EXPECT_EQ(other->producer_sequence, 8u);
}

TEST(ReplicaIngest, AcceptsRepeatsGapsAndForeignFactsWithoutTouchingTheSequence) {
  Replica r1 = fresh("r1");
  Fact foreign = fact_of("r2", 40, "ops/db", "primary");
  ASSERT_TRUE(r1.ingest(foreign));
  const Replica after_first = r1;
  ASSERT_TRUE(r1.ingest(foreign));
  EXPECT_EQ(r1, after_first);
  EXPECT_EQ(r1.next_producer_sequence, 1u);

  // Revision 3 whose predecessor is not held: left for materialization.
  Fact gap = fact_of("r3", 9, "alpha", "x");
  gap.subject_revision = 3;
  gap.predecessor = event_id("r3", 8);
  ASSERT_TRUE(r1.ingest(gap));

  // An own fact moves the sequence forward only.
  ASSERT_TRUE(r1.ingest(fact_of("r1", 5, "ops-x", "a")));
  ASSERT_TRUE(r1.ingest(fact_of("r1", 2, "ops-x", "b")));
  EXPECT_EQ(r1.next_producer_sequence, 6u);
  // The largest foreign sequence is no concern of this replica's counter.
  ASSERT_TRUE(r1.ingest(fact_of("r2", MAX, "ops/db", "edge")));
  EXPECT_EQ(r1.facts.size(), 5u);
}

TEST(ReplicaObserve, AnEmptyResourceNameSatisfiesAClaim) {
  Replica r1 = fresh("r1");
  auto fact = r1.observe("ops-x", "disk", "", true, "ok");
  ASSERT_TRUE(fact.has_value()) << fact.error();
  EXPECT_EQ(fact->exclusive_resource, "");
}

struct RefusedObservation {
  std::string name;
  std::function<void(Replica&)> prepare;
  std::string scope;
  std::string subject;
  std::optional<std::string> resource;
  bool claim;
  std::string value;
  std::string message;
  // The sequence is spent once the fact is built, even when it is refused.
  bool spends_sequence;

  // Failures name the case instead of dumping its bytes.
  friend void PrintTo(const RefusedObservation& c, std::ostream* os) { *os << c.name; }
};

class ReplicaObserveRefusal : public testing::TestWithParam<RefusedObservation> {};

TEST_P(ReplicaObserveRefusal, LeavesTheReplicaUnchanged) {
  const RefusedObservation& c = GetParam();
  Replica replica = fresh("r1");
  if (c.prepare) c.prepare(replica);
  Replica expected = replica;
  if (c.spends_sequence) ++expected.next_producer_sequence;

  auto fact = replica.observe(c.scope, c.subject, c.resource, c.claim, c.value);
  ASSERT_FALSE(fact.has_value());
  EXPECT_EQ(fact.error(), c.message);
  EXPECT_EQ(replica, expected);
}

void fork_disk(Replica& r) {
  Fact root = fact_of("r1", 1, "ops-x", "disk");
  ASSERT_TRUE(r.ingest(root));
  ASSERT_TRUE(r.ingest(next_of(root, 2)));
  ASSERT_TRUE(r.ingest(next_of(root, 3)));
}

void gap_in_disk(Replica& r) {
  Fact root = fact_of("r1", 1, "ops-x", "disk");
  Fact third = next_of(next_of(root, 2), 3);
  ASSERT_TRUE(r.ingest(root));
  ASSERT_TRUE(r.ingest(third));
}

const std::string NOT_OWNER = "replica does not own this disconnected-write scope";
const std::string REQUIRED = "subject and value are required";
const std::string BLOCKED = "subject history is incomplete or forked; further writes are blocked";

INSTANTIATE_TEST_SUITE_P(
    Rules, ReplicaObserveRefusal,
    testing::Values(RefusedObservation{"ScopeOfAnotherReplica", nullptr, "ops/db", "disk",
                                       std::nullopt, false, "ok", NOT_OWNER, false},
                    RefusedObservation{"SubPathOfOwnScope", nullptr, "ops-x/disk", "disk",
                                       std::nullopt, false, "ok", NOT_OWNER, false},
                    RefusedObservation{"UndeclaredScopeBeforeEmptySubject", nullptr, "nowhere", "",
                                       std::nullopt, false, "ok", NOT_OWNER, false},
                    RefusedObservation{"EmptySubject", nullptr, "ops-x", "", std::nullopt, false,
                                       "ok", REQUIRED, false},
                    RefusedObservation{"EmptyValueBeforeClaim", nullptr, "ops-x", "disk",
                                       std::nullopt, true, "", REQUIRED, false},
                    RefusedObservation{"ClaimWithoutResource", nullptr, "ops-x", "disk",
                                       std::nullopt, true, "ok",
                                       "an active claim requires an exclusive resource", false},
                    RefusedObservation{"ForkedSubject", fork_disk, "ops-x", "disk", std::nullopt,
                                       false, "ok", BLOCKED, false},
                    RefusedObservation{"SubjectWithAGap", gap_in_disk, "ops-x", "disk",
                                       std::nullopt, false, "ok", BLOCKED, false},
                    RefusedObservation{"SequenceExhausted",
                                       [](Replica& r) { r.next_producer_sequence = MAX; }, "ops-x",
                                       "disk", std::nullopt, false, "ok",
                                       "producer sequence exhausted", false},
                    // A replica whose counter fell behind its own history.
                    RefusedObservation{"IdentityAlreadyUsed",
                                       [](Replica& r) {
                                         ASSERT_TRUE(r.ingest(fact_of("r1", 1, "ops-x", "cpu")));
                                         r.next_producer_sequence = 1;
                                       },
                                       "ops-x", "disk", std::nullopt, false, "ok",
                                       "event identity collision with different bytes", true},
                    RefusedObservation{"HostNotAsDeclared", [](Replica& r) { r.host_id = "h9"; },
                                       "ops-x", "disk", std::nullopt, false, "ok",
                                       "invalid or out-of-scope fact", true}),
    [](const testing::TestParamInfo<RefusedObservation>& info) { return info.param.name; });

struct RefusedFact {
  std::string name;
  std::function<void(Fact&)> change;  // applied to a sound foreign fact
  std::string message;

  // Failures name the case instead of dumping its bytes.
  friend void PrintTo(const RefusedFact& c, std::ostream* os) { *os << c.name; }
};

class ReplicaIngestRefusal : public testing::TestWithParam<RefusedFact> {};

TEST_P(ReplicaIngestRefusal, LeavesTheReplicaUnchanged) {
  const RefusedFact& c = GetParam();
  Replica replica = fresh("r1");
  // Held already, so collisions have something to collide with.
  Fact held = fact_of("r2", 1, "ops/db", "primary");
  ASSERT_TRUE(replica.ingest(held));
  ASSERT_TRUE(replica.ingest(fact_of("r1", 1, "ops-x", "disk")));
  const Replica before = replica;

  Fact fact = next_of(held, 2);
  c.change(fact);
  auto ingested = replica.ingest(fact);
  ASSERT_FALSE(ingested.has_value()) << json::to_json(fact);
  EXPECT_EQ(ingested.error(), c.message);
  EXPECT_EQ(replica, before);
}

const std::string INVALID = "invalid or out-of-scope fact";
const std::string DISAGREE = "first revision and predecessor relation disagree";
const std::string COLLISION = "event identity collision with different bytes";

void renumber(Fact& f, const std::string& origin, std::uint64_t sequence) {
  f.origin_replica_id = origin;
  f.producer_sequence = sequence;
  f.event_id = event_id(origin, sequence);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ReplicaIngestRefusal,
    testing::Values(
        RefusedFact{"UndeclaredOrigin", [](Fact& f) { renumber(f, "r9", 2); },
                    "fact origin is not a declared replica"},
        RefusedFact{"UndeclaredOriginBeforeScope",
                    [](Fact& f) {
                      renumber(f, "r9", 2);
                      f.scope = "elsewhere";
                    },
                    "fact origin is not a declared replica"},
        RefusedFact{"OtherLogicalManager", [](Fact& f) { f.logical_manager_id = "lm2"; }, INVALID},
        RefusedFact{"HostOfAnotherReplica", [](Fact& f) { f.origin_host_id = "h1"; }, INVALID},
        RefusedFact{"ScopeGrantedToAnother", [](Fact& f) { f.scope = "ops-x"; }, INVALID},
        RefusedFact{"SubPathOfGrantedScope", [](Fact& f) { f.scope = "ops/db/primary"; }, INVALID},
        RefusedFact{"UngrantedScope", [](Fact& f) { f.scope = "ops"; }, INVALID},
        RefusedFact{"UnpaddedIdentity", [](Fact& f) { f.event_id = "r2:2"; }, INVALID},
        RefusedFact{"IdentityOfAnotherSequence", [](Fact& f) { f.event_id = event_id("r2", 3); },
                    INVALID},
        RefusedFact{"IdentityOfAnotherOrigin", [](Fact& f) { f.event_id = event_id("r1", 2); },
                    INVALID},
        RefusedFact{"SequenceZero", [](Fact& f) { renumber(f, "r2", 0); }, INVALID},
        RefusedFact{"RevisionZero",
                    [](Fact& f) {
                      f.subject_revision = 0;
                      f.predecessor.reset();
                    },
                    INVALID},
        RefusedFact{"EmptySubject", [](Fact& f) { f.subject.clear(); }, INVALID},
        RefusedFact{"EmptyValue", [](Fact& f) { f.value.clear(); }, INVALID},
        RefusedFact{"ClaimWithoutResource", [](Fact& f) { f.active_claim = true; }, INVALID},
        RefusedFact{"OutOfScopeBeforePredecessorRule",
                    [](Fact& f) {
                      f.scope = "ops-x";
                      f.predecessor.reset();
                    },
                    INVALID},
        RefusedFact{"LaterRevisionWithoutPredecessor", [](Fact& f) { f.predecessor.reset(); },
                    DISAGREE},
        RefusedFact{"FirstRevisionWithPredecessor", [](Fact& f) { f.subject_revision = 1; },
                    DISAGREE},
        RefusedFact{"PredecessorRuleBeforeCollision",
                    [](Fact& f) {
                      renumber(f, "r2", 1);
                      f.predecessor = event_id("r2", 7);
                      f.subject_revision = 1;
                    },
                    DISAGREE},
        RefusedFact{"CollisionWithHeldFact",
                    [](Fact& f) {
                      renumber(f, "r2", 1);
                      f.subject_revision = 1;
                      f.predecessor.reset();
                      f.value = "other";
                    },
                    COLLISION},
        RefusedFact{"OwnFactAtTheLargestSequence",
                    [](Fact& f) {
                      renumber(f, "r1", MAX);
                      f.origin_host_id = "h1";
                      f.scope = "ops-x";
                    },
                    "producer sequence exhausted"}),
    [](const testing::TestParamInfo<RefusedFact>& info) { return info.param.name; });

}  // namespace
}  // namespace corvane_manager_ha_lab
