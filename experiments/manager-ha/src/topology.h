// The declared shape of one logical manager's replica group and its validated
// form.
//
// `durable::Configuration` is the group as written in configuration files and
// snapshots; `Topology` is the checked form built only by `Topology::create`
// (replicas and scope owners in byte order, no duplicate identities, no
// overlapping scopes). All identities are compared byte for byte.
//
// Plain values; safe to copy and to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_TOPOLOGY_H
#define CORVANE_MANAGER_HA_TOPOLOGY_H

#include <expected>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "json_record.h"

namespace corvane_manager_ha_lab {

class Replica;

struct ReplicaConfig {
  std::string replica_id;
  std::string host_id;

  friend bool operator==(const ReplicaConfig&, const ReplicaConfig&) = default;
};

struct ScopeGrant {
  std::string scope;
  std::string owner_replica_id;

  friend bool operator==(const ScopeGrant&, const ScopeGrant&) = default;
};

class Topology;

namespace durable {

// The declared group: logical manager, replicas and grants in file order.
struct Configuration {
  std::string logical_manager_id;
  std::vector<ReplicaConfig> replicas;
  std::vector<ScopeGrant> grants;

  // Validates a copy of the declaration; the configuration is unchanged.
  std::expected<Topology, std::string> topology() const;

  friend bool operator==(const Configuration&, const Configuration&) = default;
};

}  // namespace durable

// Whether two scopes overlap: equal, or one is the other followed by "/...".
bool scopes_overlap(std::string_view a, std::string_view b);

class Topology {
 public:
  std::string logical_manager_id;
  std::map<std::string, ReplicaConfig> replicas;
  std::map<std::string, std::string> scope_owners;

  // The only way to build a Topology: checks identities, hosts and grants in
  // declaration order and returns the first rule broken.
  static std::expected<Topology, std::string> create(std::string logical_manager_id,
                                                     std::vector<ReplicaConfig> replicas,
                                                     std::vector<ScopeGrant> grants);

  // A fresh in-memory replica for one declared replica identity.
  std::expected<Replica, std::string> instantiate(const std::string& replica_id) const;

  friend bool operator==(const Topology&, const Topology&) = default;

 private:
  Topology() = default;
  friend struct json::Record<Topology>;
};

}  // namespace corvane_manager_ha_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Record<ReplicaConfig> {
  static constexpr std::string_view name = "ReplicaConfig";
  static constexpr auto fields = std::tuple{field("replica_id", &ReplicaConfig::replica_id),
                                            field("host_id", &ReplicaConfig::host_id)};
};

template <>
struct Record<ScopeGrant> {
  static constexpr std::string_view name = "ScopeGrant";
  static constexpr auto fields = std::tuple{field("scope", &ScopeGrant::scope),
                                            field("owner_replica_id", &ScopeGrant::owner_replica_id)};
};

template <>
struct Record<durable::Configuration> {
  static constexpr std::string_view name = "Configuration";
  static constexpr auto fields =
      std::tuple{field("logical_manager_id", &durable::Configuration::logical_manager_id),
                 field("replicas", &durable::Configuration::replicas),
                 field("grants", &durable::Configuration::grants)};
};

// Written only (the store's identity row compares it byte for byte); maps are
// written in key order, so permuted declarations give identical bytes.
template <>
struct Record<Topology> {
  static constexpr std::string_view name = "Topology";
  static constexpr auto fields = std::tuple{field("logical_manager_id", &Topology::logical_manager_id),
                                            field("replicas", &Topology::replicas),
                                            field("scope_owners", &Topology::scope_owners)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
