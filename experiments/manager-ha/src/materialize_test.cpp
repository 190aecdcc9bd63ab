// The materialized view of fact histories: every conflict shape, exclusive
// claims, conflict order, the written form of conflicts, and independence
// from the order in which facts arrive.
#include "materialize.h"

#include <gtest/gtest.h>

#include <random>

#include "replica.h"

namespace corvane_manager_ha_lab {
namespace {

// r1 owns ops-x and a:b, r2 owns ops/db, r3 owns alpha and a. The scopes a
// and a:b do not overlap, yet their subjects "b:c" and "c" share the
// conflict resource text "subject:a:b:c".
Topology group() {
  auto topology = Topology::create(
      "lm", {{"r1", "h1"}, {"r2", "h2"}, {"r3", "h3"}},
      {{"ops-x", "r1"}, {"a:b", "r1"}, {"ops/db", "r2"}, {"alpha", "r3"}, {"a", "r3"}});
  EXPECT_TRUE(topology.has_value());
  return *topology;
}

std::string id(const std::string& origin, std::uint64_t sequence) {
  return event_id(origin, sequence);
}

std::string scope_of(const std::string& origin) {
  return origin == "r1" ? "ops-x" : origin == "r2" ? "ops/db" : "alpha";
}

// A fact of `origin` in its main scope, unless `scope` is given.
Fact fact(const std::string& origin, std::uint64_t sequence, const std::string& subject,
          std::uint64_t revision, std::optional<std::string> predecessor = std::nullopt,
          std::optional<std::string> resource = std::nullopt, bool claim = false,
          std::string scope = {}) {
  Fact f;
  f.event_id = id(origin, sequence);
  f.logical_manager_id = "lm";
  f.origin_replica_id = origin;
  f.origin_host_id = "h" + origin.substr(1);
  f.producer_sequence = sequence;
  f.scope = scope.empty() ? scope_of(origin) : scope;
  f.subject = subject;
  f.subject_revision = revision;
  f.predecessor = std::move(predecessor);
  f.exclusive_resource = std::move(resource);
  f.active_claim = claim;
  f.value = "v";
  return f;
}

std::map<std::string, Fact> history(const std::vector<Fact>& facts) {
  std::map<std::string, Fact> out;
  for (const Fact& f : facts) out.emplace(f.event_id, f);
  return out;
}

std::vector<std::string> current_ids(const View& view) {
  std::vector<std::string> ids;
  for (const auto& [key, f] : view.current) ids.push_back(f.event_id);
  return ids;
}

constexpr auto MISSING = ConflictKind::MissingPredecessor;
constexpr auto FORK = ConflictKind::SubjectFork;
constexpr auto EXCLUSIVE = ConflictKind::ExclusiveResource;
const std::string DISK = "subject:ops-x:disk";

TEST(Materialize, EmptyHistoryHasNothing) {
  const View view = materialize({});
  EXPECT_TRUE(view.conflicts.empty());
  EXPECT_TRUE(view.current.empty());
  EXPECT_TRUE(view.blocked_exclusive_resources.empty());
}

TEST(Materialize, SoundChainsKeepTheirHighestRevisionInSubjectKeyOrder) {
  const View view = materialize(history({
      fact("r2", 1, "primary", 1),
      fact("r1", 1, "disk", 1),
      fact("r1", 2, "disk", 2, id("r1", 1)),
      fact("r1", 3, "cpu", 1),
  }));
  EXPECT_TRUE(view.conflicts.empty());
  // (ops-x, cpu) < (ops-x, disk) < (ops/db, primary)
  EXPECT_EQ(current_ids(view), (std::vector{id("r1", 3), id("r1", 2), id("r2", 1)}));
  EXPECT_EQ(view.current_facts().size(), 3u);
  EXPECT_EQ(view.current_facts()[1], view.current.at(SubjectKey{"ops-x", "disk"}));
}

struct SubjectCase {
  std::string name;
  std::vector<Fact> facts;
  std::vector<Conflict> conflicts;
  std::vector<std::string> current;

  // Failures name the case instead of dumping its bytes.
  friend void PrintTo(const SubjectCase& c, std::ostream* os) { *os << c.name; }
};

class SubjectConflict : public testing::TestWithParam<SubjectCase> {};

TEST_P(SubjectConflict, IsReportedAndTheSubjectHasNoCurrentFact) {
  const SubjectCase& c = GetParam();
  const View view = materialize(history(c.facts));
  EXPECT_EQ(json::to_json(view.conflicts), json::to_json(c.conflicts));
  EXPECT_EQ(current_ids(view), c.current);
  EXPECT_TRUE(view.blocked_exclusive_resources.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SubjectConflict,
    testing::Values(
        SubjectCase{"RevisionTwoNotHeld",
                    {fact("r1", 1, "disk", 1), fact("r1", 3, "disk", 3, id("r1", 2))},
                    {{MISSING, DISK, {id("r1", 1), id("r1", 3)}}},
                    {}},
        SubjectCase{"PredecessorOfAnotherSubject",
                    {fact("r1", 1, "cpu", 1), fact("r1", 2, "disk", 2, id("r1", 1))},
                    {{MISSING, DISK, {id("r1", 2)}}},
                    {id("r1", 1)}},
        SubjectCase{
            "PredecessorOfAnotherOrigin",
            {fact("r1", 1, "disk", 1), fact("r2", 1, "disk", 2, id("r1", 1), {}, false, "ops-x")},
            {{MISSING, DISK, {id("r1", 1), id("r2", 1)}}},
            {}},
        SubjectCase{"PredecessorTwoRevisionsBelow",
                    {fact("r1", 1, "disk", 1), fact("r1", 2, "disk", 2, id("r1", 1)),
                     fact("r1", 3, "disk", 4, id("r1", 2))},
                    {{MISSING, DISK, {id("r1", 1), id("r1", 2), id("r1", 3)}}},
                    {}},
        SubjectCase{"PredecessorOfTheSameRevision",
                    {fact("r1", 1, "disk", 1), fact("r1", 2, "disk", 2, id("r1", 1)),
                     fact("r1", 3, "disk", 2, id("r1", 2))},
                    {{MISSING, DISK, {id("r1", 1), id("r1", 2), id("r1", 3)}}},
                    {}},
        // Listed by revision first: the root has the largest identity.
        SubjectCase{"ForkAfterTheRoot",
                    {fact("r1", 5, "disk", 1), fact("r1", 6, "disk", 2, id("r1", 5)),
                     fact("r1", 2, "disk", 2, id("r1", 5))},
                    {{FORK, DISK, {id("r1", 5), id("r1", 2), id("r1", 6)}}},
                    {}},
        SubjectCase{"TwoRoots",
                    {fact("r1", 1, "disk", 1), fact("r1", 2, "disk", 1), fact("r1", 3, "cpu", 1)},
                    {{FORK, DISK, {id("r1", 1), id("r1", 2)}}},
                    {id("r1", 3)}},
        SubjectCase{"ForkAndGapReportedOnceAsMissing",
                    {fact("r1", 1, "disk", 1), fact("r1", 2, "disk", 2, id("r1", 1)),
                     fact("r1", 3, "disk", 2, id("r1", 1)), fact("r1", 4, "disk", 4, id("r1", 9))},
                    {{MISSING, DISK, {id("r1", 1), id("r1", 2), id("r1", 3), id("r1", 4)}}},
                    {}}),
    [](const testing::TestParamInfo<SubjectCase>& info) { return info.param.name; });

TEST(Materialize, CompetingActiveClaimsBlockTheResourceAndRemoveTheClaimants) {
  const View view = materialize(history({
      // r2's head claims R, r1's head claims R after an unclaimed start.
      fact("r2", 4, "lb", 1, {}, "R", true),
      fact("r1", 1, "lb", 1, {}, "R", false),
      fact("r1", 2, "lb", 2, id("r1", 1), "R", true),
      // Names R but does not claim it: stays current.
      fact("r3", 1, "watch", 1, {}, "R", false),
      // Claimed R once, released it since: only the head counts.
      fact("r3", 2, "old", 1, {}, "R", true),
      fact("r3", 3, "old", 2, id("r3", 2)),
      // A single claim is no conflict.
      fact("r3", 4, "solo", 1, {}, "S", true),
  }));
  EXPECT_EQ(view.conflicts, (std::vector<Conflict>{{EXCLUSIVE, "R", {id("r1", 2), id("r2", 4)}}}));
  EXPECT_EQ(current_ids(view), (std::vector{id("r3", 3), id("r3", 4), id("r3", 1)}));
  EXPECT_EQ(view.blocked_exclusive_resources, std::set<std::string>{"R"});
}

TEST(Materialize, AConflictingSubjectBlocksEveryResourceItNamedWithoutAClaimConflict) {
  const View view = materialize(history({
      fact("r1", 1, "disk", 1, {}, "R", true),
      fact("r1", 2, "disk", 2, id("r1", 1), "Q", false),
      fact("r1", 3, "disk", 2, id("r1", 1)),
      // The only current claim on R: no ExclusiveResource conflict, still current.
      fact("r2", 1, "lb", 1, {}, "R", true),
  }));
  EXPECT_EQ(view.conflicts,
            (std::vector<Conflict>{{FORK, DISK, {id("r1", 1), id("r1", 2), id("r1", 3)}}}));
  EXPECT_EQ(current_ids(view), std::vector{id("r2", 1)});
  EXPECT_EQ(view.blocked_exclusive_resources, (std::set<std::string>{"Q", "R"}));
}

TEST(Materialize, ConflictsAreOrderedByResourceThenIdentitiesWhateverTheirKind) {
  const View view = materialize(history({
      fact("r2", 1, "x", 1, {}, "zeta", true),
      fact("r3", 1, "x", 1, {}, "zeta", true),
      fact("r2", 2, "y", 1, {}, "alpha", true),
      fact("r3", 2, "y", 1, {}, "alpha", true),
      fact("r1", 1, "disk", 1),
      fact("r1", 2, "disk", 1),
      // Same resource text; (a, b:c) comes first by subject key, but r1's
      // identities sort before r3's.
      fact("r3", 20, "b:c", 1, {}, {}, false, "a"),
      fact("r3", 21, "b:c", 1, {}, {}, false, "a"),
      fact("r1", 20, "c", 1, {}, {}, false, "a:b"),
      fact("r1", 21, "c", 1, {}, {}, false, "a:b"),
  }));
  EXPECT_EQ(view.conflicts, (std::vector<Conflict>{
                                {EXCLUSIVE, "alpha", {id("r2", 2), id("r3", 2)}},
                                {FORK, "subject:a:b:c", {id("r1", 20), id("r1", 21)}},
                                {FORK, "subject:a:b:c", {id("r3", 20), id("r3", 21)}},
                                {FORK, DISK, {id("r1", 1), id("r1", 2)}},
                                {EXCLUSIVE, "zeta", {id("r2", 1), id("r3", 1)}},
                            }));
  EXPECT_TRUE(view.current.empty());
  EXPECT_EQ(view.blocked_exclusive_resources, (std::set<std::string>{"alpha", "zeta"}));
}

TEST(ConflictJson, IsWrittenCanonicallyAndReadBack) {
  const Conflict fork{FORK, "subject:ops-x:disk \"x\"", {id("r1", 1), id("r1", 2)}};
  const std::string text =
      R"({"kind":"SubjectFork","resource":"subject:ops-x:disk \"x\"","event_ids":)"
      R"(["r1:00000000000000000001","r1:00000000000000000002"]})";
  EXPECT_EQ(json::to_json(fork), text);
  EXPECT_EQ(json::from_json<Conflict>(text), fork);

  for (const auto& [kind, name] :
       {std::pair{MISSING, "MissingPredecessor"}, std::pair{FORK, "SubjectFork"},
        std::pair{EXCLUSIVE, "ExclusiveResource"}}) {
    const Conflict conflict{kind, "r", {}};
    EXPECT_EQ(json::to_json(conflict.kind), json::quote(name));
    EXPECT_EQ(json::from_json<Conflict>(json::to_json(conflict)), conflict);
  }
}

TEST(ConflictJson, RefusesUnknownKindsAndMembers) {
  for (const std::string text : {
           R"({"kind":"Fork","resource":"r","event_ids":[]})",
           R"({"kind":"subject_fork","resource":"r","event_ids":[]})",
           R"({"kind":1,"resource":"r","event_ids":[]})",
           R"({"kind":"SubjectFork","resource":"r","event_ids":[],"note":""})",
           R"({"kind":"SubjectFork","resource":"r"})",
       }) {
    EXPECT_FALSE(json::from_json<Conflict>(text).has_value()) << text;
  }
}

// Histories with chains, forks, gaps, foreign predecessors and competing
// claims, the same for a given seed on every platform.
class HistoryGenerator {
 public:
  explicit HistoryGenerator(std::uint64_t seed) : rng_(seed) {}

  std::uint64_t below(std::uint64_t n) { return rng_() % n; }

  std::vector<Fact> generate(std::size_t steps) {
    std::vector<Fact> kept;
    for (std::size_t step = 0; step < steps; ++step) {
      const std::string origin = ORIGINS[below(3)];
      const SubjectKey key{scope_of(origin), SUBJECTS[below(4)]};
      std::vector<Fact>& chain = chains_[key];
      std::optional<std::string> resource;
      if (below(3) != 0) resource = RESOURCES[below(3)];
      const bool claim = resource && below(2) == 0;

      const Fact* parent = nullptr;  // the fact the new one continues
      switch (below(20)) {
        case 0:  // fork: continue an arbitrary earlier fact, or start a second root
          if (!chain.empty() && below(4) != 0) parent = &chain[below(chain.size())];
          break;
        case 1: {  // gap: the continuation of the head is never delivered
          if (!chain.empty()) chain.push_back(next(origin, key, &chain.back(), {}, false));
          parent = chain.empty() ? nullptr : &chain.back();
          break;
        }
        case 2:  // predecessor taken from some other subject
          if (!all_.empty()) parent = &all_[below(all_.size())];
          break;
        default:
          if (!chain.empty()) parent = &chain.back();
      }
      Fact f = next(origin, key, parent, resource, claim);
      chain.push_back(f);
      all_.push_back(f);
      kept.push_back(std::move(f));
    }
    return kept;
  }

  // A uniformly shuffled copy, by the generator's own draws.
  std::vector<Fact> shuffled(std::vector<Fact> facts) {
    for (std::size_t i = facts.size(); i > 1; --i) std::swap(facts[i - 1], facts[below(i)]);
    return facts;
  }

 private:
  static constexpr const char* ORIGINS[] = {"r1", "r2", "r3"};
  static constexpr const char* SUBJECTS[] = {"s0", "s1", "s2", "s3"};
  static constexpr const char* RESOURCES[] = {"alpha", "mid", "zeta"};

  Fact next(const std::string& origin, const SubjectKey& key, const Fact* parent,
            std::optional<std::string> resource, bool claim) {
    const std::uint64_t sequence = ++sequences_[origin];
    Fact f =
        fact(origin, sequence, key.subject, parent ? parent->subject_revision + 1 : 1,
             parent ? std::optional(parent->event_id) : std::nullopt, std::move(resource), claim);
    f.value = "v" + std::to_string(sequence);
    return f;
  }

  std::mt19937_64 rng_;
  std::map<std::string, std::uint64_t> sequences_;
  std::map<SubjectKey, std::vector<Fact>> chains_;
  std::vector<Fact> all_;
};

std::string view_json(const View& view) {
  json::Writer w;
  w.begin_object();
  w.key("current");
  json::write(w, view.current_facts());
  w.key("conflicts");
  json::write(w, view.conflicts);
  w.key("blocked_exclusive_resources");
  json::write(w, std::vector<std::string>(view.blocked_exclusive_resources.begin(),
                                          view.blocked_exclusive_resources.end()));
  w.end_object();
  return w.take();
}

Replica ingest_all(const std::vector<Fact>& facts) {
  auto replica = group().instantiate("r1");
  EXPECT_TRUE(replica.has_value());
  for (const Fact& f : facts) {
    auto ingested = replica->ingest(f);
    EXPECT_TRUE(ingested.has_value()) << ingested.error() << " " << json::to_json(f);
  }
  return *replica;
}

TEST(Materialize, ViewDoesNotDependOnTheOrderOfIngest) {
  std::map<ConflictKind, int> kinds_seen;
  std::size_t histories_with_current = 0;
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    HistoryGenerator generator(seed);
    const std::vector<Fact> facts = generator.generate(40);
    const Replica reference = ingest_all(facts);
    const std::string expected = view_json(materialize(reference.facts));
    const View reference_view = materialize(reference.facts);
    for (const Conflict& c : reference_view.conflicts) ++kinds_seen[c.kind];
    if (!reference_view.current.empty()) ++histories_with_current;

    for (int round = 0; round < 20; ++round) {
      const Replica replica = ingest_all(generator.shuffled(facts));
      ASSERT_EQ(replica, reference) << "seed " << seed << " round " << round;
      ASSERT_EQ(view_json(materialize(replica.facts)), expected)
          << "seed " << seed << " round " << round;
    }
  }
  // The histories must actually exercise every conflict shape.
  EXPECT_GT(kinds_seen[MISSING], 0);
  EXPECT_GT(kinds_seen[FORK], 0);
  EXPECT_GT(kinds_seen[EXCLUSIVE], 0);
  EXPECT_GT(histories_with_current, 0u);
}

}  // namespace
}  // namespace corvane_manager_ha_lab
