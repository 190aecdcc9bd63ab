#include "durable/receipt_table.h"

#include <utility>

#include "durable/canonical_json.h"

namespace corvane_manager_ha_lab::durable {

namespace {

// The columns of one stored receipt that a replay compares and returns.
struct StoredReceipt {
  std::string request_json;
  std::string response_json;
  std::string sha256;
  std::string kind;
  std::optional<std::string> source_replica_id;
  std::optional<std::string> wire_operation_id;
};

std::expected<std::optional<StoredReceipt>, DurableError> find_receipt(
    Connection& connection, const std::string& operation_id) {
  auto row = connection.prepare(
      "SELECT request_json, response_json, sha256, kind, source_replica_id, wire_operation_id "
      "FROM receipts WHERE operation_id=?1");
  if (!row) return std::unexpected(row.error());
  if (auto bound = row->bind(1, operation_id); !bound) return std::unexpected(bound.error());
  auto found = row->step();
  if (!found) return std::unexpected(found.error());
  if (!*found) return std::nullopt;

  auto request_json = row->text(0);
  if (!request_json) return std::unexpected(request_json.error());
  auto response_json = row->text(1);
  if (!response_json) return std::unexpected(response_json.error());
  auto sha256 = row->text(2);
  if (!sha256) return std::unexpected(sha256.error());
  auto kind = row->text(3);
  if (!kind) return std::unexpected(kind.error());
  auto source = row->optional_text(4);
  if (!source) return std::unexpected(source.error());
  auto wire = row->optional_text(5);
  if (!wire) return std::unexpected(wire.error());
  return StoredReceipt{.request_json = std::move(*request_json),
                       .response_json = std::move(*response_json),
                       .sha256 = std::move(*sha256),
                       .kind = std::move(*kind),
                       .source_replica_id = std::move(*source),
                       .wire_operation_id = std::move(*wire)};
}

bool matches(const StoredReceipt& stored, std::string_view request_json,
             const ReceiptMetadata& context) {
  return stored.request_json == request_json && stored.kind == receipt_kind_text(context.kind) &&
         stored.source_replica_id == context.source_replica_id &&
         stored.wire_operation_id == context.wire_operation_id;
}

}  // namespace

std::expected<std::optional<Executed>, DurableError> replay_receipt(
    Connection& connection, const std::string& operation_id, std::string_view request_json,
    const ReceiptMetadata& context) {
  auto stored = find_receipt(connection, operation_id);
  if (!stored) return std::unexpected(stored.error());
  if (!*stored) return std::nullopt;
  if (!matches(**stored, request_json, context)) {
    return std::unexpected(DurableError::refused(RefusalReason::OperationIdReused));
  }
  auto response = from_json<Response>((*stored)->response_json);
  if (!response) return std::unexpected(response.error());
  return Executed{.response = std::move(*response),
                  .receipt = ReceiptEvidence{.operation_id = operation_id,
                                             .kind = context.kind,
                                             .source_replica_id = context.source_replica_id,
                                             .wire_operation_id = context.wire_operation_id,
                                             .sha256 = std::move((*stored)->sha256)},
                  .replayed = true};
}

std::expected<ReceiptEvidence, DurableError> store_receipt(
    Connection& connection, std::string_view logical_manager_id, const std::string& operation_id,
    const ReceiptMetadata& context, const std::string& request_json, const Response& response) {
  auto response_json = json(response);
  if (!response_json) return std::unexpected(response_json.error());
  auto sha256 =
      receipt_digest(logical_manager_id, operation_id, context, request_json, *response_json);
  if (!sha256) return std::unexpected(sha256.error());
  auto changed = connection.execute(
      "INSERT INTO receipts (operation_id, kind, source_replica_id, wire_operation_id, "
      "request_json, response_json, sha256) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
      operation_id, receipt_kind_text(context.kind), context.source_replica_id,
      context.wire_operation_id, request_json, *response_json, *sha256);
  if (!changed) return std::unexpected(changed.error());
  if (*changed != 1) {
    return std::unexpected(DurableError::storage("receipt insert did not affect exactly one row"));
  }
  return ReceiptEvidence{.operation_id = operation_id,
                         .kind = context.kind,
                         .source_replica_id = context.source_replica_id,
                         .wire_operation_id = context.wire_operation_id,
                         .sha256 = std::move(*sha256)};
}

std::expected<std::vector<ReceiptEvidence>, DurableError> load_receipt_evidence(
    Connection& connection) {
  auto rows = connection.prepare(
      "SELECT operation_id, kind, source_replica_id, wire_operation_id, sha256 FROM receipts "
      "ORDER BY operation_id");
  if (!rows) return std::unexpected(rows.error());
  std::vector<ReceiptEvidence> receipts;
  for (;;) {
    auto more = rows->step();
    if (!more) return std::unexpected(more.error());
    if (!*more) return receipts;
    auto operation_id = rows->text(0);
    if (!operation_id) return std::unexpected(operation_id.error());
    auto kind_text = rows->text(1);
    if (!kind_text) return std::unexpected(kind_text.error());
    auto kind = parse_receipt_kind(*kind_text);
    if (!kind) return std::unexpected(json_error(kind.error()));
    auto source = rows->optional_text(2);
    if (!source) return std::unexpected(source.error());
    auto wire = rows->optional_text(3);
    if (!wire) return std::unexpected(wire.error());
    auto sha256 = rows->text(4);
    if (!sha256) return std::unexpected(sha256.error());
    receipts.push_back(ReceiptEvidence{.operation_id = std::move(*operation_id),
                                       .kind = *kind,
                                       .source_replica_id = std::move(*source),
                                       .wire_operation_id = std::move(*wire),
                                       .sha256 = std::move(*sha256)});
  }
}

}  // namespace corvane_manager_ha_lab::durable
