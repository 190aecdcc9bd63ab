// The body of one store request: load the history, check the operation
// identifier, answer a repeat from its receipt, execute the request on the
// loaded replica, persist the new facts and store the receipt.
//
// `execute_transaction` must run inside an open immediate transaction on
// `connection`, after the store has been verified; the caller commits it on
// success and rolls it back on any error, so a failed request leaves no fact
// and no receipt behind. Nothing of the replica outlives the call.
//
// Stateless; uses only the connection it is given.
#ifndef CORVANE_MANAGER_HA_DURABLE_EXECUTE_H
#define CORVANE_MANAGER_HA_DURABLE_EXECUTE_H

#include <expected>
#include <string>

#include "durable/connection.h"
#include "durable/error.h"
#include "durable/executed.h"
#include "durable/receipt.h"
#include "durable/request.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

// The receipt context of a request submitted to the store directly: an
// Import is a laboratory import from the snapshot's replica, everything else
// an observe without source.
ReceiptMetadata local_receipt_context(const Request& request);

// Executes `request` for replica `replica_id` of the store opened with
// `configuration` (whose validated form is `topology`), storing its receipt
// with `context`.
std::expected<Executed, DurableError> execute_transaction(
    Connection& connection, const Configuration& configuration, const Topology& topology,
    const std::string& replica_id, const Request& request, const ReceiptMetadata& context);

}  // namespace corvane_manager_ha_lab::durable

#endif
