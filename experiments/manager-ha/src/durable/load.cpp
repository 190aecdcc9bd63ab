#include "durable/load.h"

#include "durable/digest.h"
#include "fact.h"

namespace corvane_manager_ha_lab::durable {

namespace {

// The fact held by one row, once its bytes are proven to be what the store
// wrote for it.
std::expected<Fact, DurableError> read_fact_row(const std::string& event_id,
                                                const std::string& fact_json,
                                                const std::string& sha256) {
  if (digest(fact_json) != sha256) {
    return std::unexpected(DurableError::corrupt("stored fact hash mismatch"));
  }
  auto fact = json::from_json<Fact>(fact_json);
  if (!fact) return std::unexpected(DurableError::corrupt("stored fact JSON is invalid"));
  if (fact->event_id != event_id) {
    return std::unexpected(DurableError::corrupt("stored event identity mismatch"));
  }
  return std::move(*fact);
}

}  // namespace

std::expected<Replica, DurableError> load(Connection& connection, const Topology& topology,
                                          const std::string& replica_id) {
  auto replica = topology.instantiate(replica_id);
  if (!replica) return std::unexpected(corrupt_model(replica.error()));

  auto rows = connection.prepare("SELECT event_id, fact_json, sha256 FROM facts ORDER BY event_id");
  if (!rows) return std::unexpected(rows.error());
  for (;;) {
    auto more = rows->step();
    if (!more) return std::unexpected(more.error());
    if (!*more) break;
    auto event_id = rows->text(0);
    if (!event_id) return std::unexpected(event_id.error());
    auto fact_json = rows->text(1);
    if (!fact_json) return std::unexpected(fact_json.error());
    auto sha256 = rows->text(2);
    if (!sha256) return std::unexpected(sha256.error());

    auto fact = read_fact_row(*event_id, *fact_json, *sha256);
    if (!fact) return std::unexpected(fact.error());
    if (auto ingested = replica->ingest(std::move(*fact)); !ingested) {
      return std::unexpected(corrupt_model(ingested.error()));
    }
  }
  return std::move(*replica);
}

}  // namespace corvane_manager_ha_lab::durable
