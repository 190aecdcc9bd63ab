#include "topology.h"

#include <set>

#include "replica.h"

namespace corvane_manager_ha_lab {

namespace {
constexpr std::string_view REQUIRED = "logical manager identity and replicas are required";
constexpr std::string_view UNIQUE = "replica and host identities must be non-empty and unique";
constexpr std::string_view OWNED = "every scope must have exactly one known replica owner";

// `longer` continues `prefix` at a segment boundary.
bool extends(std::string_view longer, std::string_view prefix) {
  return longer.size() > prefix.size() && longer.starts_with(prefix) && longer[prefix.size()] == '/';
}
}  // namespace

bool scopes_overlap(std::string_view a, std::string_view b) {
  return a == b || extends(a, b) || extends(b, a);
}

std::expected<Topology, std::string> durable::Configuration::topology() const {
  return Topology::create(logical_manager_id, replicas, grants);
}

std::expected<Topology, std::string> Topology::create(std::string logical_manager_id,
                                                      std::vector<ReplicaConfig> replicas,
                                                      std::vector<ScopeGrant> grants) {
  if (logical_manager_id.empty() || replicas.empty()) {
    return std::unexpected(std::string(REQUIRED));
  }
  Topology topology;
  topology.logical_manager_id = std::move(logical_manager_id);
  std::set<std::string> hosts;
  for (ReplicaConfig& replica : replicas) {
    if (replica.replica_id.empty() || replica.host_id.empty() ||
        topology.replicas.contains(replica.replica_id) || hosts.contains(replica.host_id)) {
      return std::unexpected(std::string(UNIQUE));
    }
    hosts.insert(replica.host_id);
    std::string id = replica.replica_id;
    topology.replicas.emplace(std::move(id), std::move(replica));
  }
  for (ScopeGrant& grant : grants) {
    if (grant.scope.empty() || !topology.replicas.contains(grant.owner_replica_id)) {
      return std::unexpected(std::string(OWNED));
    }
    for (const auto& [scope, owner] : topology.scope_owners) {
      if (scopes_overlap(scope, grant.scope)) return std::unexpected(std::string(OWNED));
    }
    topology.scope_owners.emplace(std::move(grant.scope), std::move(grant.owner_replica_id));
  }
  return topology;
}

std::expected<Replica, std::string> Topology::instantiate(const std::string& replica_id) const {
  const auto found = replicas.find(replica_id);
  if (found == replicas.end()) return std::unexpected(std::string("unknown replica"));
  return Replica(*this, found->second.replica_id, found->second.host_id);
}

}  // namespace corvane_manager_ha_lab
