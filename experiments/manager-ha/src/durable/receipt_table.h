// The receipts table: looking up the receipt of an operation identifier,
// storing a new one, and reading every receipt's evidence.
//
// A receipt row is written once, inside the transaction that executed its
// request, and never changed. A repeat of an operation matches its receipt
// only when the request bytes, the kind and the source and wire identifiers
// are all identical; it then gets the stored response back, whatever has
// happened to the history since.
//
// Stateless; runs on the caller's connection inside the caller's open
// transaction.
#ifndef CORVANE_MANAGER_HA_DURABLE_RECEIPT_TABLE_H
#define CORVANE_MANAGER_HA_DURABLE_RECEIPT_TABLE_H

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "durable/connection.h"
#include "durable/error.h"
#include "durable/executed.h"
#include "durable/receipt.h"
#include "durable/response.h"

namespace corvane_manager_ha_lab::durable {

// The stored outcome of `operation_id` marked replayed, when its receipt
// matches `request_json` and `context`; nothing when there is no receipt;
// Refused(operation_id_reused) when the receipt holds other content.
std::expected<std::optional<Executed>, DurableError> replay_receipt(Connection& connection,
                                                                    const std::string& operation_id,
                                                                    std::string_view request_json,
                                                                    const ReceiptMetadata& context);

// Stores the receipt of a request just executed and returns its evidence.
std::expected<ReceiptEvidence, DurableError> store_receipt(
    Connection& connection, std::string_view logical_manager_id, const std::string& operation_id,
    const ReceiptMetadata& context, const std::string& request_json, const Response& response);

// The evidence of every stored receipt in operation_id order. A kind text
// that names no kind is Storage with the JSON reader's message.
std::expected<std::vector<ReceiptEvidence>, DurableError> load_receipt_evidence(
    Connection& connection);

}  // namespace corvane_manager_ha_lab::durable

#endif
