// The service check through the store: three replicas write, exchange their
// histories, and one of them asks whether it may run an exclusive service.
#include "durable/service_check.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "durable/request_test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::export_of;
using testing_support::import;
using testing_support::observe;
using testing_support::open_store;
using testing_support::TempDir;

// One observation by one replica on the resource "svc"; r1 owns "ops-x",
// r2 owns "ops/db", r3 owns "alpha".
struct Write {
  std::string replica;
  std::string scope;
  std::string subject;
  bool active_claim;
};

enum class Tamper { None, DropLastFactOfR3, AddGrantToR2 };

struct ServiceCase {
  const char* name;
  std::vector<Write> writes;
  std::string checker;
  std::vector<std::string> snapshots;  // whose exports are supplied, in order
  Tamper tamper = Tamper::None;
  // The expected answer, or nothing for Refused(policy_violation).
  std::optional<Response::ServiceCheck> answer;
};

class ServiceCheckTest : public ::testing::TestWithParam<ServiceCase> {
 protected:
  Store& store(const std::string& replica) { return stores_.at(replica); }

  // Every store ends up with every fact: r1 collects, then hands out.
  void exchange() {
    ASSERT_TRUE(store("r1").execute(import("from-r2", export_of(store("r2")))));
    ASSERT_TRUE(store("r1").execute(import("from-r3", export_of(store("r3")))));
    const Snapshot all = export_of(store("r1"));
    ASSERT_TRUE(store("r2").execute(import("from-r1", all)));
    ASSERT_TRUE(store("r3").execute(import("from-r1", all)));
  }

  TempDir dir_;
  std::map<std::string, Store> stores_ = [this] {
    std::map<std::string, Store> stores;
    for (const std::string replica : {"r1", "r2", "r3"}) {
      stores.emplace(replica, open_store(dir_ / (replica + ".sqlite"), replica));
    }
    return stores;
  }();
};

TEST_P(ServiceCheckTest, AnswersThroughTheStore) {
  const ServiceCase& c = GetParam();
  for (std::size_t i = 0; i < c.writes.size(); ++i) {
    const Write& write = c.writes[i];
    const std::string n = std::to_string(i);
    auto written = store(write.replica)
                       .execute(observe("w-" + n, write.scope, write.subject, "v" + n, "svc",
                                        write.active_claim));
    ASSERT_TRUE(written.has_value()) << written.error().text();
  }
  exchange();

  std::vector<Snapshot> snapshots;
  for (const std::string& replica : c.snapshots) snapshots.push_back(export_of(store(replica)));
  for (Snapshot& snapshot : snapshots) {
    if (c.tamper == Tamper::DropLastFactOfR3 && snapshot.replica_id == "r3") {
      snapshot.facts.pop_back();
    }
    if (c.tamper == Tamper::AddGrantToR2 && snapshot.replica_id == "r2") {
      snapshot.configuration.grants.push_back({"beta", "r2"});
    }
  }
  auto response = store(c.checker).execute(
      Request{Request::CheckService{.snapshots = snapshots, .exclusive_service = "svc"}});
  if (!c.answer) {
    ASSERT_FALSE(response.has_value());
    EXPECT_EQ(response.error(), DurableError::refused(RefusalReason::PolicyViolation));
    return;
  }
  ASSERT_TRUE(response.has_value()) << response.error().text();
  EXPECT_EQ(std::get<Response::ServiceCheck>(response->value), *c.answer);
}

const Response::ServiceCheck ELIGIBLE{"r1", true};
const Response::ServiceCheck NOT_ELIGIBLE{"r1", false};

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceCheckTest,
    ::testing::Values(ServiceCase{"CoordinatorWithItsOwnActiveClaim",
                                  {{"r1", "ops-x", "lease", true}},
                                  "r1",
                                  {"r2", "r3"},
                                  Tamper::None,
                                  ELIGIBLE},
                      ServiceCase{"SnapshotsInAnotherOrder",
                                  {{"r1", "ops-x", "lease", true}},
                                  "r1",
                                  {"r3", "r2"},
                                  Tamper::None,
                                  ELIGIBLE},
                      ServiceCase{"NonCoordinatorWithItsOwnClaim",
                                  {{"r2", "ops/db", "lease", true}},
                                  "r2",
                                  {"r1", "r3"},
                                  Tamper::None,
                                  NOT_ELIGIBLE},
                      ServiceCase{"CoordinatorWithoutAClaim",
                                  {{"r2", "ops/db", "lease", true}},
                                  "r1",
                                  {"r2", "r3"},
                                  Tamper::None,
                                  NOT_ELIGIBLE},
                      ServiceCase{"TwoSubjectsClaimTheResource",
                                  {{"r1", "ops-x", "lease", true}, {"r3", "alpha", "lease", true}},
                                  "r1",
                                  {"r2", "r3"},
                                  Tamper::None,
                                  NOT_ELIGIBLE},
                      ServiceCase{"LatestFactReleasesTheClaim",
                                  {{"r1", "ops-x", "lease", true}, {"r1", "ops-x", "lease", false}},
                                  "r1",
                                  {"r2", "r3"},
                                  Tamper::None,
                                  NOT_ELIGIBLE},
                      ServiceCase{"ASnapshotLacksAFact",
                                  {{"r1", "ops-x", "lease", true}, {"r3", "alpha", "other", false}},
                                  "r1",
                                  {"r2", "r3"},
                                  Tamper::DropLastFactOfR3,
                                  std::nullopt},
                      ServiceCase{"AReplicaIsMissing",
                                  {{"r1", "ops-x", "lease", true}},
                                  "r1",
                                  {"r2"},
                                  Tamper::None,
                                  std::nullopt},
                      ServiceCase{"TheLocalReplicaTwice",
                                  {{"r1", "ops-x", "lease", true}},
                                  "r1",
                                  {"r1", "r2"},
                                  Tamper::None,
                                  std::nullopt},
                      ServiceCase{"ASnapshotOfAnotherTopology",
                                  {{"r1", "ops-x", "lease", true}},
                                  "r1",
                                  {"r2", "r3"},
                                  Tamper::AddGrantToR2,
                                  std::nullopt}),
    [](const ::testing::TestParamInfo<ServiceCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
