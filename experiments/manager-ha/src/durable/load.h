// Rebuilding the local replica from the stored fact history.
//
// Nothing read back is trusted: every fact row's digest, JSON and identity
// are checked before the fact is ingested. Rows are ingested in event_id
// order; since ingest accepts any order, this rebuilds exactly the history
// and the next producer sequence that were in memory when the facts were
// written.
//
// Stateless; runs on the caller's connection, normally inside the caller's
// transaction so that it sees the state the transaction then changes.
#ifndef CORVANE_MANAGER_HA_DURABLE_LOAD_H
#define CORVANE_MANAGER_HA_DURABLE_LOAD_H

#include <expected>
#include <string>

#include "durable/connection.h"
#include "durable/error.h"
#include "replica.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

// The local replica `replica_id` of `topology` holding every stored fact.
// Corrupt when a row's hash, JSON or identity is wrong or the fact model
// refuses the stored history; SQLite errors are Storage.
std::expected<Replica, DurableError> load(Connection& connection, const Topology& topology,
                                          const std::string& replica_id);

}  // namespace corvane_manager_ha_lab::durable

#endif
