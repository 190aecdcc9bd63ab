#include "durable/execute.h"

#include <set>
#include <utility>

#include "durable/canonical_json.h"
#include "durable/digest.h"
#include "durable/import.h"
#include "durable/load.h"
#include "durable/receipt_table.h"
#include "durable/service_check.h"
#include "durable/token.h"
#include "materialize.h"

namespace corvane_manager_ha_lab::durable {

namespace {

constexpr std::string_view NETWORK_PREFIX = "network:";

std::unexpected<DurableError> refused(RefusalReason reason) {
  return std::unexpected(DurableError::refused(reason));
}

// An operation identifier is a token (an Import's may also hold `/`), and it
// starts with "network:" exactly when it names an authenticated import.
std::expected<void, DurableError> validate_operation_id(const Request& request,
                                                        const std::string& operation_id,
                                                        const ReceiptMetadata& context) {
  const bool import = std::holds_alternative<Request::Import>(request.value);
  if (!is_token(operation_id, import)) return refused(RefusalReason::InvalidRequest);
  const bool network = operation_id.starts_with(NETWORK_PREFIX);
  if (network != (context.kind == ReceiptKind::AuthenticatedImport)) {
    return refused(RefusalReason::InvalidRequest);
  }
  return {};
}

Response::Inspection inspect(const Replica& local) {
  View view = materialize(local.facts);
  return Response::Inspection{
      .history_len = local.facts.size(),
      .current = view.current_facts(),
      .conflicts = std::move(view.conflicts),
      .blocked_exclusive_resources = {view.blocked_exclusive_resources.begin(),
                                      view.blocked_exclusive_resources.end()}};
}

// Runs the request on the loaded replica; fact-model refusals become
// Refused(policy_violation) without their text.
std::expected<Response, DurableError> run(const Configuration& configuration,
                                          const Topology& topology, Replica& local,
                                          const Request& request) {
  struct Visitor {
    const Configuration& configuration;
    const Topology& topology;
    Replica& local;

    std::expected<Response, DurableError> operator()(const Request::Observe& observe) const {
      auto fact = local.observe(observe.scope, observe.subject, observe.exclusive_resource,
                                observe.active_claim, observe.value);
      if (!fact) return refused(RefusalReason::PolicyViolation);
      return Response{Response::Observed{std::move(*fact)}};
    }
    std::expected<Response, DurableError> operator()(const Request::Import& import) const {
      auto imported = import_snapshot(topology, local, import.snapshot);
      if (!imported) return std::unexpected(imported.error());
      return Response{*imported};
    }
    std::expected<Response, DurableError> operator()(const Request::Export&) const {
      return Response{Response::Snapshot{export_snapshot(configuration, local)}};
    }
    std::expected<Response, DurableError> operator()(const Request::Inspect&) const {
      return Response{inspect(local)};
    }
    std::expected<Response, DurableError> operator()(const Request::CheckService& check) const {
      auto answer = check_service(topology, local, check.snapshots, check.exclusive_service);
      if (!answer) return std::unexpected(answer.error());
      return Response{std::move(*answer)};
    }
  };
  return std::visit(Visitor{configuration, topology, local}, request.value);
}

// Writes every fact of `local` that was not loaded, in event_id order.
std::expected<void, DurableError> persist_new_facts(Connection& connection, const Replica& local,
                                                    const std::set<std::string>& loaded) {
  for (const auto& [id, fact] : local.facts) {
    if (loaded.contains(id)) continue;
    auto fact_json = json(fact);
    if (!fact_json) return std::unexpected(fact_json.error());
    auto changed =
        connection.execute("INSERT INTO facts(event_id, fact_json, sha256) VALUES (?1, ?2, ?3)", id,
                           *fact_json, digest(*fact_json));
    if (!changed) return std::unexpected(changed.error());
    if (*changed != 1) {
      return std::unexpected(DurableError::storage("fact insert did not affect exactly one row"));
    }
  }
  return {};
}

}  // namespace

ReceiptMetadata local_receipt_context(const Request& request) {
  if (const auto* import = std::get_if<Request::Import>(&request.value)) {
    return ReceiptMetadata{.source_replica_id = import->snapshot.replica_id,
                           .wire_operation_id = std::nullopt,
                           .kind = ReceiptKind::LaboratoryImport};
  }
  return ReceiptMetadata{};
}

std::expected<Executed, DurableError> execute_transaction(
    Connection& connection, const Configuration& configuration, const Topology& topology,
    const std::string& replica_id, const Request& request, const ReceiptMetadata& context) {
  auto local = load(connection, topology, replica_id);
  if (!local) return std::unexpected(local.error());
  std::set<std::string> loaded;
  for (const auto& [id, fact] : local->facts) loaded.insert(id);

  auto request_json = json(request);
  if (!request_json) return std::unexpected(request_json.error());

  const std::string* operation = operation_id(request);
  if (operation != nullptr) {
    if (auto valid = validate_operation_id(request, *operation, context); !valid) {
      return std::unexpected(valid.error());
    }
    auto replayed = replay_receipt(connection, *operation, *request_json, context);
    if (!replayed) return std::unexpected(replayed.error());
    if (*replayed) return std::move(**replayed);
  }

  auto response = run(configuration, topology, *local, request);
  if (!response) return std::unexpected(response.error());
  if (auto persisted = persist_new_facts(connection, *local, loaded); !persisted) {
    return std::unexpected(persisted.error());
  }
  if (operation == nullptr) {
    return Executed{.response = std::move(*response), .receipt = std::nullopt, .replayed = false};
  }
  auto receipt = store_receipt(connection, topology.logical_manager_id, *operation, context,
                               *request_json, *response);
  if (!receipt) return std::unexpected(receipt.error());
  return Executed{
      .response = std::move(*response), .receipt = std::move(*receipt), .replayed = false};
}

}  // namespace corvane_manager_ha_lab::durable
