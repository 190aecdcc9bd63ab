#include "durable/service_check.h"

#include <optional>

#include "reconciliation.h"

namespace corvane_manager_ha_lab::durable {

std::expected<Response::ServiceCheck, DurableError> check_service(
    const Topology& topology, const Replica& local, const std::vector<Snapshot>& snapshots,
    const std::string& exclusive_service) {
  std::vector<Replica> restored;
  restored.reserve(snapshots.size());
  for (const Snapshot& snapshot : snapshots) {
    auto replica = restore_snapshot(topology, snapshot);
    if (!replica) return std::unexpected(replica.error());
    restored.push_back(std::move(*replica));
  }
  std::vector<const Replica*> participants{&local};
  for (const Replica& replica : restored) participants.push_back(&replica);

  auto reconciliation = Reconciliation::after_full_exchange(topology, participants);
  if (!reconciliation) {
    return std::unexpected(DurableError::refused(RefusalReason::PolicyViolation));
  }
  std::optional<ServicePermit> permit;
  if (auto authorized =
          reconciliation->authorize_exclusive_service(local.replica_id, exclusive_service)) {
    permit = std::move(*authorized);
  }
  return Response::ServiceCheck{
      .coordinator_replica_id = reconciliation->coordinator_replica_id,
      .eligible_in_supplied_history = local.advertises(exclusive_service, permit)};
}

}  // namespace corvane_manager_ha_lab::durable
