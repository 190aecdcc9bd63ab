#include "durable/verify.h"

#include <optional>
#include <utility>

#include "durable/load.h"
#include "durable/receipt.h"
#include "durable/request.h"
#include "durable/response.h"
#include "durable/schema.h"

namespace corvane_manager_ha_lab::durable {

namespace {

constexpr std::string_view NETWORK_PREFIX = "network:";

struct ReceiptRow {
  std::string operation_id;
  std::string kind;
  std::optional<std::string> source_replica_id;
  std::optional<std::string> wire_operation_id;
  std::string request_json;
  std::string response_json;
  std::string sha256;
};

std::expected<ReceiptRow, DurableError> read_receipt_row(const Statement& row) {
  ReceiptRow out;
  for (auto [column, target] :
       {std::pair{0, &out.operation_id}, std::pair{1, &out.kind}, std::pair{4, &out.request_json},
        std::pair{5, &out.response_json}, std::pair{6, &out.sha256}}) {
    auto value = row.text(column);
    if (!value) return std::unexpected(value.error());
    *target = std::move(*value);
  }
  for (auto [column, target] :
       {std::pair{2, &out.source_replica_id}, std::pair{3, &out.wire_operation_id}}) {
    auto value = row.optional_text(column);
    if (!value) return std::unexpected(value.error());
    *target = std::move(*value);
  }
  return out;
}

// Whether the row's kind, source and wire identifiers are the ones its
// request can have been stored with.
std::expected<bool, DurableError> agrees_with_request(const ReceiptRow& row, ReceiptKind kind,
                                                      const Request& request,
                                                      std::string_view logical_manager_id) {
  const bool network = row.operation_id.starts_with(NETWORK_PREFIX);
  if (const auto* observe = std::get_if<Request::Observe>(&request.value)) {
    return kind == ReceiptKind::Observe && observe->operation_id == row.operation_id && !network &&
           !row.source_replica_id && !row.wire_operation_id;
  }
  const auto* import = std::get_if<Request::Import>(&request.value);
  if (import == nullptr || import->operation_id != row.operation_id ||
      row.source_replica_id != import->snapshot.replica_id) {
    return false;
  }
  if (kind == ReceiptKind::LaboratoryImport) return !network && !row.wire_operation_id;
  if (kind != ReceiptKind::AuthenticatedImport || !network || !row.wire_operation_id) return false;
  auto expected = authenticated_import_receipt_id_parts(logical_manager_id, *row.source_replica_id,
                                                        *row.wire_operation_id);
  if (!expected) return std::unexpected(expected.error());
  return *expected == row.operation_id;
}

std::expected<void, DurableError> verify_receipt(const ReceiptRow& row,
                                                 std::string_view logical_manager_id) {
  auto kind = parse_receipt_kind(row.kind);
  if (!kind) return std::unexpected(DurableError::corrupt("stored receipt kind is invalid"));
  auto request = json::from_json<Request>(row.request_json);
  if (!request) return std::unexpected(DurableError::corrupt("stored receipt request is invalid"));
  auto agrees = agrees_with_request(row, *kind, *request, logical_manager_id);
  if (!agrees) return std::unexpected(agrees.error());
  if (!*agrees) {
    return std::unexpected(
        DurableError::corrupt("stored receipt kind or source does not match its request"));
  }
  auto sha256 = receipt_digest(logical_manager_id, row.operation_id,
                               ReceiptMetadata{.source_replica_id = row.source_replica_id,
                                               .wire_operation_id = row.wire_operation_id,
                                               .kind = *kind},
                               row.request_json, row.response_json);
  if (!sha256) return std::unexpected(sha256.error());
  if (*sha256 != row.sha256) {
    return std::unexpected(DurableError::corrupt("stored receipt hash mismatch"));
  }
  if (!json::from_json<Response>(row.response_json)) {
    return std::unexpected(DurableError::corrupt("stored receipt response is invalid"));
  }
  return {};
}

}  // namespace

std::expected<void, DurableError> verify_receipts(Connection& connection,
                                                  std::string_view logical_manager_id) {
  auto rows = connection.prepare(
      "SELECT operation_id, kind, source_replica_id, wire_operation_id, request_json, "
      "response_json, sha256 FROM receipts ORDER BY operation_id");
  if (!rows) return std::unexpected(rows.error());
  for (;;) {
    auto more = rows->step();
    if (!more) return std::unexpected(more.error());
    if (!*more) return {};
    auto row = read_receipt_row(*rows);
    if (!row) return std::unexpected(row.error());
    if (auto verified = verify_receipt(*row, logical_manager_id); !verified) {
      return std::unexpected(verified.error());
    }
  }
}

std::expected<void, DurableError> verify_all(Connection& connection, const Topology& topology,
                                             const std::string& replica_id) {
  if (auto schema = verify_immutable_schema(connection); !schema) {
    return std::unexpected(schema.error());
  }
  if (auto receipts = verify_receipts(connection, topology.logical_manager_id); !receipts) {
    return std::unexpected(receipts.error());
  }
  if (auto facts = load(connection, topology, replica_id); !facts) {
    return std::unexpected(facts.error());
  }
  // The exchange audit trail is verified here too, once it is recorded.
  return {};
}

}  // namespace corvane_manager_ha_lab::durable
