// Receipts of idempotent operations: their kinds, the context a transaction
// stores with them, the evidence callers get back, and the digests that bind
// a receipt to its logical manager.
//
// An Observe or Import leaves one immutable receipt under its operation
// identifier: the exact request and response bytes, the kind, the source and
// wire identifiers, and `receipt_digest` over all of them. An authenticated
// import's identifier is derived from the sender and its wire operation
// ("network:" + digest), so the same exchange always lands on one receipt.
//
// Plain values and pure functions; safe to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_DURABLE_RECEIPT_H
#define CORVANE_MANAGER_HA_DURABLE_RECEIPT_H

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "durable/error.h"
#include "json_record.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

enum class ReceiptKind {
  Observe,              // a local observation
  LaboratoryImport,     // an Import submitted to the store directly
  AuthenticatedImport,  // an import received over the authenticated network
};

// "observe", "laboratory_import", "authenticated_import".
std::string_view receipt_kind_text(ReceiptKind kind);

// The kind whose text is `text`; otherwise the JSON reader's fault for it.
std::expected<ReceiptKind, json::Error> parse_receipt_kind(std::string_view text);

// The receipt context a caller hands to a transaction.
struct ReceiptMetadata {
  std::optional<std::string> source_replica_id;  // whose snapshot is imported
  std::optional<std::string> wire_operation_id;  // the peer's identifier, network imports only
  ReceiptKind kind = ReceiptKind::Observe;

  friend bool operator==(const ReceiptMetadata&, const ReceiptMetadata&) = default;
};

// What a stored receipt proves, as callers and audit records see it.
struct ReceiptEvidence {
  std::string operation_id;
  ReceiptKind kind = ReceiptKind::Observe;
  std::optional<std::string> source_replica_id;
  std::optional<std::string> wire_operation_id;
  std::string sha256;

  friend bool operator==(const ReceiptEvidence&, const ReceiptEvidence&) = default;
};

// The digest stored with a receipt: over the domain tag, the logical manager,
// the operation identifier, the context and the exact request and response
// texts (embedded as strings, not as nested objects).
std::expected<std::string, DurableError> receipt_digest(std::string_view logical_manager_id,
                                                        std::string_view operation_id,
                                                        const ReceiptMetadata& metadata,
                                                        std::string_view request_json,
                                                        std::string_view response_json);

// "network:" + the digest naming the import of wire operation
// `wire_operation_id` sent by `source_replica_id` to `logical_manager_id`.
// Performs no token checks.
std::expected<std::string, DurableError> authenticated_import_receipt_id_parts(
    std::string_view logical_manager_id, std::string_view source_replica_id,
    std::string_view wire_operation_id);

// The same for the store's topology, after checking that both identifiers
// are tokens (else Refused(invalid_request)).
std::expected<std::string, DurableError> authenticated_import_receipt_id(
    const Topology& topology, std::string_view source_replica_id,
    std::string_view wire_operation_id);

// The digest of a whole receipt set, `receipts` in operation_id order.
std::expected<std::string, DurableError> receipt_set_digest(
    const std::vector<ReceiptEvidence>& receipts);

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

template <>
struct Codec<durable::ReceiptKind> {
  static std::expected<durable::ReceiptKind, Error> read(const Value& v);
  static void write(Writer& w, durable::ReceiptKind kind);
};

template <>
struct Record<durable::ReceiptEvidence> {
  using T = durable::ReceiptEvidence;
  static constexpr std::string_view name = "ReceiptEvidence";
  static constexpr auto fields =
      std::tuple{field("operation_id", &T::operation_id), field("kind", &T::kind),
                 field("source_replica_id", &T::source_replica_id),
                 field("wire_operation_id", &T::wire_operation_id), field("sha256", &T::sha256)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
