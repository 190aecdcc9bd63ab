// Full-exchange agreement, coordinator choice and exclusive-service permits.
//
// Pure computation; safe from any thread.
#include "reconciliation.h"

#include <algorithm>
#include <set>

namespace corvane_manager_ha_lab {

namespace {
constexpr std::string_view NOT_ALL =
    "all declared replicas must participate in laboratory reconciliation";
constexpr std::string_view NOT_IDENTICAL =
    "histories must be exchanged and identical before coordination";
constexpr std::string_view NOT_COORDINATOR = "only the reconciled coordinator is eligible";
constexpr std::string_view BLOCKED = "exclusive service is blocked by conflicting facts";
constexpr std::string_view NO_CLAIM =
    "coordinator has no reconciled active claim for this exclusive service";

std::unexpected<std::string> refuse(std::string_view message) {
  return std::unexpected(std::string(message));
}
}  // namespace

std::expected<Reconciliation, std::string> Reconciliation::after_full_exchange(
    const Topology& topology, std::span<const Replica* const> replicas) {
  if (replicas.size() != topology.replicas.size()) return refuse(NOT_ALL);
  const Replica& reference = *replicas.front();
  std::set<std::string> seen;
  for (const Replica* replica : replicas) {
    if (replica->topology != topology || !seen.insert(replica->replica_id).second ||
        replica->facts != reference.facts) {
      return refuse(NOT_IDENTICAL);
    }
  }
  Reconciliation reconciliation;
  // Every declared replica took part exactly once, so this is the smallest
  // declared identity whatever order the replicas came in.
  reconciliation.coordinator_replica_id = *seen.begin();
  reconciliation.history.reserve(reference.facts.size());
  for (const auto& [id, fact] : reference.facts) reconciliation.history.push_back(id);
  reconciliation.view = materialize(reference.facts);
  return reconciliation;
}

std::expected<ServicePermit, std::string> Reconciliation::authorize_exclusive_service(
    const std::string& replica_id, const std::string& exclusive_service) const {
  if (replica_id != coordinator_replica_id) return refuse(NOT_COORDINATOR);
  if (view.blocked_exclusive_resources.contains(exclusive_service)) return refuse(BLOCKED);
  const auto claim = std::ranges::find_if(view.current, [&](const auto& entry) {
    const Fact& fact = entry.second;
    return fact.active_claim && fact.exclusive_resource == exclusive_service &&
           fact.origin_replica_id == replica_id;
  });
  if (claim == view.current.end()) return refuse(NO_CLAIM);
  return ServicePermit{replica_id, exclusive_service, claim->second.event_id, history};
}

}  // namespace corvane_manager_ha_lab
