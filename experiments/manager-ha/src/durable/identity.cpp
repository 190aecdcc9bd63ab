#include "durable/identity.h"

#include "replica.h"

namespace corvane_manager_ha_lab::durable {

std::expected<Topology, DurableError> validate_local_configuration(
    const Configuration& configuration, const std::string& replica_id) {
  const auto invalid = [](const std::string& reason) {
    return std::unexpected(DurableError::storage("invalid local configuration: " + reason));
  };
  auto topology = configuration.topology();
  if (!topology) return invalid(topology.error());
  if (auto replica = topology->instantiate(replica_id); !replica) return invalid(replica.error());
  return std::move(*topology);
}

std::expected<void, DurableError> insert_identity(Connection& connection,
                                                  std::string_view replica_id,
                                                  std::string_view topology_json) {
  auto changed =
      connection.execute("INSERT INTO identity VALUES (1, ?1, ?2)", replica_id, topology_json);
  if (!changed) return std::unexpected(changed.error());
  if (*changed != 1) {
    return std::unexpected(DurableError::storage("identity insert did not affect exactly one row"));
  }
  return {};
}

std::expected<void, DurableError> verify_identity(Connection& connection,
                                                  std::string_view replica_id,
                                                  std::string_view topology_json) {
  auto statement =
      connection.prepare("SELECT replica_id, topology_json FROM identity WHERE singleton=1");
  if (!statement) return std::unexpected(statement.error());
  auto row = statement->step();
  if (!row) return std::unexpected(row.error());
  if (!*row) return std::unexpected(DurableError::storage("query returned no rows"));
  auto stored_replica = statement->text(0);
  if (!stored_replica) return std::unexpected(stored_replica.error());
  auto stored_topology = statement->text(1);
  if (!stored_topology) return std::unexpected(stored_topology.error());
  if (*stored_replica != replica_id || *stored_topology != topology_json) {
    return std::unexpected(DurableError::refused(RefusalReason::IdentityMismatch));
  }
  return {};
}

}  // namespace corvane_manager_ha_lab::durable
