// Verification of a whole store at the start of every transaction.
//
// The store trusts nothing it reads back: before a transaction changes
// anything it proves that the schema, every receipt and every fact are still
// exactly what the store's own operations write. A store that fails is
// reported as corrupt (or as a storage error when SQLite itself fails) and is
// not written to. Checks run in a fixed order and stop at the first error.
//
// Stateless; runs on the caller's connection inside the caller's
// transaction, so it sees the state that transaction then changes.
#ifndef CORVANE_MANAGER_HA_DURABLE_VERIFY_H
#define CORVANE_MANAGER_HA_DURABLE_VERIFY_H

#include <expected>
#include <string>
#include <string_view>

#include "durable/connection.h"
#include "durable/error.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

// The schema, then the receipts, then the facts of the store of replica
// `replica_id` of `topology`.
std::expected<void, DurableError> verify_all(Connection& connection, const Topology& topology,
                                             const std::string& replica_id);

// Every receipt: a known kind, a readable request that agrees with the
// row's kind, source and wire identifiers, the stored digest, and a readable
// response.
std::expected<void, DurableError> verify_receipts(Connection& connection,
                                                  std::string_view logical_manager_id);

}  // namespace corvane_manager_ha_lab::durable

#endif
