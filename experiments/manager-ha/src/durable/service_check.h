// The service check: may the local replica run an exclusive service, given
// snapshots of every other replica after a full exchange?
//
// The local replica is reconciled first (it is the reference history), then
// the replicas restored from the snapshots in the order supplied. A failed
// reconciliation is a refusal; a failed authorization is not an error, it
// only means the local replica holds no permit and must not advertise.
//
// Stateless; the replicas involved live only for the call.
#ifndef CORVANE_MANAGER_HA_DURABLE_SERVICE_CHECK_H
#define CORVANE_MANAGER_HA_DURABLE_SERVICE_CHECK_H

#include <expected>
#include <string>
#include <vector>

#include "durable/error.h"
#include "durable/response.h"
#include "durable/snapshot.h"
#include "replica.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

// The coordinator of the reconciled group and whether `local` advertises
// `exclusive_service` under the permit it obtains for itself. A snapshot
// that does not restore, or histories that do not reconcile, are
// Refused(policy_violation).
std::expected<Response::ServiceCheck, DurableError> check_service(
    const Topology& topology, const Replica& local, const std::vector<Snapshot>& snapshots,
    const std::string& exclusive_service);

}  // namespace corvane_manager_ha_lab::durable

#endif
