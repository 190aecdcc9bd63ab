// Agreement on one common history after a full exchange, the choice of the
// coordinator, and the permit that lets the coordinator run an exclusive
// service.
//
// The group decides only when every declared replica presents the same
// history; the coordinator is the smallest declared replica identity, and it
// may serve an exclusive resource only on its own unconflicted active claim.
//
// Plain values and pure functions; safe to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_RECONCILIATION_H
#define CORVANE_MANAGER_HA_RECONCILIATION_H

#include <expected>
#include <span>
#include <string>
#include <vector>

#include "materialize.h"
#include "replica.h"
#include "topology.h"

namespace corvane_manager_ha_lab {

// Leave for `replica_id` (always the coordinator) to run `exclusive_service`,
// valid only for the history it was issued on.
struct ServicePermit {
  std::string replica_id;
  std::string exclusive_service;
  std::string claim_event_id;
  std::vector<std::string> history;  // event identities in order

  friend bool operator==(const ServicePermit&, const ServicePermit&) = default;
};

struct Reconciliation {
  std::string coordinator_replica_id;
  std::vector<std::string> history;  // the common history's event identities in order
  View view;

  // Reconciles `replicas` (none null), which must be every replica declared
  // in `topology`, once each, all holding `topology` and one identical
  // history. The first replica supplied is the reference.
  static std::expected<Reconciliation, std::string> after_full_exchange(
      const Topology& topology, std::span<const Replica* const> replicas);

  // A permit for `replica_id` to run `exclusive_service`, when it is the
  // coordinator and holds the only current active claim on an unblocked
  // resource.
  std::expected<ServicePermit, std::string> authorize_exclusive_service(
      const std::string& replica_id, const std::string& exclusive_service) const;

  friend bool operator==(const Reconciliation&, const Reconciliation&) = default;
};

}  // namespace corvane_manager_ha_lab

#endif
