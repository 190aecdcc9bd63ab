// Reconciliation after a full exchange, exclusive-service permits, and the
// check a replica makes before advertising a service.
#include "reconciliation.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvane_manager_ha_lab {
namespace {

Topology make_topology(std::vector<ScopeGrant> extra = {}) {
  std::vector<ScopeGrant> grants{{"ops-x", "r1"}, {"ops/db", "r2"}, {"alpha", "r3"}};
  grants.insert(grants.end(), extra.begin(), extra.end());
  auto topology = Topology::create("lm", {{"r2", "h2"}, {"r1", "h1"}, {"r3", "h3"}}, grants);
  EXPECT_TRUE(topology.has_value());
  return *topology;
}

Replica instance(const Topology& topology, const std::string& replica_id) {
  auto replica = topology.instantiate(replica_id);
  EXPECT_TRUE(replica.has_value());
  return *replica;
}

const std::string NOT_ALL = "all declared replicas must participate in laboratory reconciliation";
const std::string NOT_IDENTICAL = "histories must be exchanged and identical before coordination";
const std::string NOT_COORDINATOR = "only the reconciled coordinator is eligible";
const std::string BLOCKED = "exclusive service is blocked by conflicting facts";
const std::string NO_CLAIM =
    "coordinator has no reconciled active claim for this exclusive service";

// Three replicas that wrote in their own scopes and then exchanged everything:
//   svc        claimed by r1 alone
//   svc2       claimed by r2 alone
//   contested  claimed by r1 and r3
//   gone       claimed by r1, then released
class ReconciliationTest : public testing::Test {
 protected:
  Topology topology = make_topology();
  Replica r1 = instance(topology, "r1");
  Replica r2 = instance(topology, "r2");
  Replica r3 = instance(topology, "r3");
  std::string svc_claim;

  void SetUp() override {
    svc_claim = write(r1, "ops-x", "lb", "svc", true).event_id;
    write(r2, "ops/db", "lb", "svc2", true);
    write(r1, "ops-x", "a", "contested", true);
    write(r3, "alpha", "a", "contested", true);
    write(r1, "ops-x", "released", "gone", true);
    write(r1, "ops-x", "released", "gone", false);
    write(r3, "alpha", "note", std::nullopt, false);
    exchange();
  }

  static Fact write(Replica& origin, const std::string& scope, const std::string& subject,
                    std::optional<std::string> resource, bool claim) {
    auto fact = origin.observe(scope, subject, std::move(resource), claim, "v");
    EXPECT_TRUE(fact.has_value()) << fact.error();
    return *fact;
  }

  void exchange() {
    for (Replica* to : {&r1, &r2, &r3}) {
      for (const Replica* from : {&r1, &r2, &r3}) {
        for (const auto& [id, fact] : from->facts) ASSERT_TRUE(to->ingest(fact));
      }
    }
  }

  Reconciliation reconcile() {
    const std::vector<const Replica*> all{&r1, &r2, &r3};
    auto reconciliation = Reconciliation::after_full_exchange(topology, all);
    EXPECT_TRUE(reconciliation.has_value()) << reconciliation.error();
    return *reconciliation;
  }
};

TEST_F(ReconciliationTest, CoordinatorIsTheSmallestIdentityWhateverTheOrder) {
  std::vector<const Replica*> order{&r1, &r2, &r3};
  std::vector<std::string> history;
  for (const auto& [id, fact] : r1.facts) history.push_back(id);
  do {
    auto reconciliation = Reconciliation::after_full_exchange(topology, order);
    ASSERT_TRUE(reconciliation.has_value()) << reconciliation.error();
    EXPECT_EQ(reconciliation->coordinator_replica_id, "r1");
    EXPECT_EQ(reconciliation->history, history);
    EXPECT_EQ(reconciliation->view, materialize(r1.facts));
  } while (std::ranges::next_permutation(order, {}, &Replica::replica_id).found);
}

TEST_F(ReconciliationTest, RefusesAnythingShortOfOneIdenticalHistoryFromEveryReplica) {
  Replica r3_short = r3;
  r3_short.facts.erase(r3_short.facts.begin());
  Replica r1_longer = r1;
  ASSERT_TRUE(r1_longer.observe("ops-x", "late", std::nullopt, false, "v"));
  Replica r2_altered = r2;
  r2_altered.facts.begin()->second.value = "other";
  const Topology wider = make_topology({{"beta", "r3"}});
  Replica r3_wider = instance(wider, "r3");
  for (const auto& [id, fact] : r3.facts) ASSERT_TRUE(r3_wider.ingest(fact));

  struct Case {
    std::string name;
    const Topology& topology;
    std::vector<const Replica*> replicas;
    std::string message;
  };
  const std::vector<Case> cases{
      {"two of three", topology, {&r1, &r2}, NOT_ALL},
      {"four with a repeat", topology, {&r1, &r2, &r3, &r1}, NOT_ALL},
      {"count before topology", wider, {&r1, &r2}, NOT_ALL},
      {"r1 twice instead of r2", topology, {&r1, &r3, &r1}, NOT_IDENTICAL},
      {"one fact missing", topology, {&r1, &r2, &r3_short}, NOT_IDENTICAL},
      {"reference holds one fact more", topology, {&r1_longer, &r2, &r3}, NOT_IDENTICAL},
      {"same identities, other content", topology, {&r2_altered, &r1, &r3}, NOT_IDENTICAL},
      {"one replica with another topology", topology, {&r1, &r2, &r3_wider}, NOT_IDENTICAL},
      {"another topology supplied", wider, {&r1, &r2, &r3}, NOT_IDENTICAL},
  };
  for (const Case& c : cases) {
    auto reconciliation = Reconciliation::after_full_exchange(c.topology, c.replicas);
    ASSERT_FALSE(reconciliation.has_value()) << c.name;
    EXPECT_EQ(reconciliation.error(), c.message) << c.name;
  }
}

TEST_F(ReconciliationTest, CoordinatorWithTheOnlyActiveClaimGetsAPermit) {
  const Reconciliation reconciliation = reconcile();
  auto permit = reconciliation.authorize_exclusive_service("r1", "svc");
  ASSERT_TRUE(permit.has_value()) << permit.error();
  EXPECT_EQ(*permit, (ServicePermit{"r1", "svc", svc_claim, reconciliation.history}));
}

TEST_F(ReconciliationTest, AuthorizationRefusals) {
  write(r2, "ops/db", "mine", "theirs", true);
  exchange();
  const Reconciliation reconciliation = reconcile();
  struct Case {
    std::string replica_id;
    std::string service;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {"r2", "svc2", NOT_COORDINATOR},  // its own unconflicted claim
           {"r2", "contested", NOT_COORDINATOR},
           {"r9", "svc", NOT_COORDINATOR},
           {"r1", "contested", BLOCKED},
           {"r1", "gone", NO_CLAIM},    // the head released it
           {"r1", "theirs", NO_CLAIM},  // claimed, but by another replica
           {"r1", "never", NO_CLAIM},
       }) {
    auto permit = reconciliation.authorize_exclusive_service(c.replica_id, c.service);
    ASSERT_FALSE(permit.has_value()) << c.replica_id << " " << c.service;
    EXPECT_EQ(permit.error(), c.message) << c.replica_id << " " << c.service;
  }
}

TEST_F(ReconciliationTest, AdvertisesOnlyUnderAPermitForItsCurrentHistory) {
  const auto granted = reconcile().authorize_exclusive_service("r1", "svc");
  ASSERT_TRUE(granted.has_value()) << granted.error();
  const std::optional<ServicePermit> permit = *granted;
  EXPECT_TRUE(r1.advertises("svc", permit));

  EXPECT_FALSE(r1.advertises("svc", std::nullopt));
  EXPECT_FALSE(r1.advertises("svc2", permit));
  EXPECT_FALSE(r2.advertises("svc", permit));  // same history, another replica

  ServicePermit unheld_claim = *permit;
  unheld_claim.claim_event_id = event_id("r1", 99);
  EXPECT_FALSE(r1.advertises("svc", unheld_claim));
  ServicePermit reordered = *permit;
  std::ranges::reverse(reordered.history);
  EXPECT_FALSE(r1.advertises("svc", reordered));

  ASSERT_TRUE(r1.observe("ops-x", "late", std::nullopt, false, "v"));
  EXPECT_FALSE(r1.advertises("svc", permit));
}

}  // namespace
}  // namespace corvane_manager_ha_lab
