#include "durable/import.h"

#include <utility>

namespace corvane_manager_ha_lab::durable {

std::expected<Response::Imported, DurableError> import_snapshot(const Topology& topology,
                                                                Replica& local,
                                                                const Snapshot& snapshot) {
  auto restored = restore_snapshot(topology, snapshot);
  if (!restored) return std::unexpected(restored.error());
  const std::size_t before = local.facts.size();
  for (const auto& [id, fact] : restored->facts) {
    if (!local.ingest(fact)) {
      return std::unexpected(DurableError::refused(RefusalReason::PolicyViolation));
    }
  }
  return Response::Imported{.inserted = local.facts.size() - before,
                            .history_len = local.facts.size()};
}

std::expected<AuthenticatedImport, DurableError> authenticated_import(
    const Topology& topology, const std::string& wire_operation_id, Snapshot snapshot) {
  auto receipt_id =
      authenticated_import_receipt_id(topology, snapshot.replica_id, wire_operation_id);
  if (!receipt_id) return std::unexpected(receipt_id.error());
  ReceiptMetadata context{.source_replica_id = snapshot.replica_id,
                          .wire_operation_id = wire_operation_id,
                          .kind = ReceiptKind::AuthenticatedImport};
  return AuthenticatedImport{
      .request = Request{Request::Import{.operation_id = std::move(*receipt_id),
                                         .snapshot = std::move(snapshot)}},
      .context = std::move(context)};
}

}  // namespace corvane_manager_ha_lab::durable
