#include "durable/snapshot.h"

namespace corvane_manager_ha_lab::durable {

namespace {

std::unexpected<DurableError> policy_violation() {
  return std::unexpected(DurableError::refused(RefusalReason::PolicyViolation));
}

}  // namespace

Snapshot export_snapshot(const Configuration& configuration, const Replica& local) {
  Snapshot snapshot{.configuration = configuration, .replica_id = local.replica_id, .facts = {}};
  snapshot.facts.reserve(local.facts.size());
  for (const auto& [id, fact] : local.facts) snapshot.facts.push_back(fact);
  return snapshot;
}

std::expected<Replica, DurableError> restore_snapshot(const Topology& topology,
                                                      const Snapshot& snapshot) {
  // Both topologies are normalized maps, so a configuration that lists the
  // same replicas and grants in another order compares equal here.
  auto declared = snapshot.configuration.topology();
  if (!declared || *declared != topology) return policy_violation();
  auto restored = topology.instantiate(snapshot.replica_id);
  if (!restored) return policy_violation();
  for (const Fact& fact : snapshot.facts) {
    if (!restored->ingest(fact)) return policy_violation();
  }
  return std::move(*restored);
}

}  // namespace corvane_manager_ha_lab::durable
