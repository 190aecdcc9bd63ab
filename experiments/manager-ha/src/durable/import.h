// The import core: merging another replica's snapshot into the local
// replica, and the request and receipt context of an import received over
// the authenticated network.
//
// An import never removes or changes a local fact. The snapshot is first
// rebuilt into a replica of its own (proving its configuration and every
// fact), then each of its facts is ingested locally in event_id order;
// byte-identical facts are skipped, a known identity with other content
// refuses the whole import.
//
// Stateless; the replica is owned by the calling request.
#ifndef CORVANE_MANAGER_HA_DURABLE_IMPORT_H
#define CORVANE_MANAGER_HA_DURABLE_IMPORT_H

#include <expected>
#include <string>

#include "durable/error.h"
#include "durable/receipt.h"
#include "durable/request.h"
#include "durable/response.h"
#include "durable/snapshot.h"
#include "replica.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

// Ingests every fact of `snapshot` into `local`: the number of facts added
// and the history length after. Every failure is Refused(policy_violation);
// `local` may then hold part of the snapshot and must be dropped.
std::expected<Response::Imported, DurableError> import_snapshot(const Topology& topology,
                                                                Replica& local,
                                                                const Snapshot& snapshot);

// An authenticated import as the store executes it: an Import under the
// receipt identity derived from the sender and its wire operation, with the
// authenticated_import receipt context.
struct AuthenticatedImport {
  Request request;
  ReceiptMetadata context;

  friend bool operator==(const AuthenticatedImport&, const AuthenticatedImport&) = default;
};

// Builds the import of `snapshot`, sent by its `replica_id` under wire
// operation `wire_operation_id`; Refused(invalid_request) unless both are
// tokens.
std::expected<AuthenticatedImport, DurableError> authenticated_import(
    const Topology& topology, const std::string& wire_operation_id, Snapshot snapshot);

}  // namespace corvane_manager_ha_lab::durable

#endif
