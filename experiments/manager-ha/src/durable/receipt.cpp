#include "durable/receipt.h"

#include <array>

#include "durable/canonical_json.h"
#include "durable/digest.h"
#include "durable/token.h"

namespace corvane_manager_ha_lab::durable {

namespace {

constexpr std::string_view RECEIPT_DOMAIN = "corvane-manager-ha-receipt/2";
constexpr std::string_view NETWORK_IMPORT_DOMAIN = "corvane-manager-ha-network-import/1";
constexpr std::string_view RECEIPT_SET_DOMAIN = "corvane-manager-ha-receipt-set/1";
constexpr std::string_view NETWORK_PREFIX = "network:";

constexpr std::array<std::string_view, 3> KIND_TEXTS = {"observe", "laboratory_import",
                                                        "authenticated_import"};

}  // namespace

std::string_view receipt_kind_text(ReceiptKind kind) {
  return KIND_TEXTS.at(static_cast<std::size_t>(kind));
}

std::expected<ReceiptKind, json::Error> parse_receipt_kind(std::string_view text) {
  json::Value value;
  value.kind = json::Kind::String;
  value.text = std::string(text);
  return json::read<ReceiptKind>(value);
}

std::expected<std::string, DurableError> receipt_digest(std::string_view logical_manager_id,
                                                        std::string_view operation_id,
                                                        const ReceiptMetadata& metadata,
                                                        std::string_view request_json,
                                                        std::string_view response_json) {
  json::Writer w;
  w.begin_array();
  w.string(RECEIPT_DOMAIN);
  w.string(logical_manager_id);
  w.string(operation_id);
  w.begin_object();
  w.key("kind");
  json::write(w, metadata.kind);
  w.key("source_replica_id");
  json::write(w, metadata.source_replica_id);
  w.key("wire_operation_id");
  json::write(w, metadata.wire_operation_id);
  w.end_object();
  w.string(request_json);
  w.string(response_json);
  w.end_array();
  return digest(w.text());
}

std::expected<std::string, DurableError> authenticated_import_receipt_id_parts(
    std::string_view logical_manager_id, std::string_view source_replica_id,
    std::string_view wire_operation_id) {
  const std::array<std::string_view, 4> parts = {NETWORK_IMPORT_DOMAIN, logical_manager_id,
                                                 source_replica_id, wire_operation_id};
  json::Writer w;
  w.begin_array();
  for (const std::string_view part : parts) w.string(part);
  w.end_array();
  return std::string(NETWORK_PREFIX) + digest(w.text());
}

std::expected<std::string, DurableError> authenticated_import_receipt_id(
    const Topology& topology, std::string_view source_replica_id,
    std::string_view wire_operation_id) {
  if (auto source = validate_token(source_replica_id); !source) {
    return std::unexpected(source.error());
  }
  if (auto wire = validate_token(wire_operation_id); !wire) return std::unexpected(wire.error());
  return authenticated_import_receipt_id_parts(topology.logical_manager_id, source_replica_id,
                                               wire_operation_id);
}

std::expected<std::string, DurableError> receipt_set_digest(
    const std::vector<ReceiptEvidence>& receipts) {
  json::Writer w;
  w.begin_array();
  w.string(RECEIPT_SET_DOMAIN);
  json::write(w, receipts);
  w.end_array();
  return digest(w.text());
}

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

std::expected<durable::ReceiptKind, Error> Codec<durable::ReceiptKind>::read(const Value& v) {
  auto text = read_string(v);
  if (!text) return std::unexpected(text.error());
  for (std::size_t i = 0; i < durable::KIND_TEXTS.size(); ++i) {
    if (durable::KIND_TEXTS[i] == *text) return static_cast<durable::ReceiptKind>(i);
  }
  return std::unexpected(Error{"unknown variant " + quote(*text) +
                                   ", expected one of `observe`, `laboratory_import`, "
                                   "`authenticated_import`",
                               v.position});
}

void Codec<durable::ReceiptKind>::write(Writer& w, durable::ReceiptKind kind) {
  w.string(durable::receipt_kind_text(kind));
}

}  // namespace corvane_manager_ha_lab::json
