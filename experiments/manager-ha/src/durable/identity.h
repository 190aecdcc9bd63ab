// The store's identity: the one row binding a store file to one replica of
// one topology, and the local configuration it must match.
//
// The identity row holds the local replica identity and the Topology JSON
// exactly as written when the store was created; both are compared byte for
// byte. Stateless; each function uses only the connection it is given.
#ifndef CORVANE_MANAGER_HA_DURABLE_IDENTITY_H
#define CORVANE_MANAGER_HA_DURABLE_IDENTITY_H

#include <expected>
#include <string>
#include <string_view>

#include "durable/connection.h"
#include "durable/error.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

// The topology of `configuration`, provided `replica_id` is one of its
// replicas. Otherwise Storage "invalid local configuration: <reason>".
std::expected<Topology, DurableError> validate_local_configuration(
    const Configuration& configuration, const std::string& replica_id);

// Writes the identity row of a new store; Storage "identity insert did not
// affect exactly one row" if SQLite reports another count.
std::expected<void, DurableError> insert_identity(Connection& connection,
                                                  std::string_view replica_id,
                                                  std::string_view topology_json);

// Refused(identity_mismatch) unless the stored row names `replica_id` and
// `topology_json`; a missing row or SQLite error is Storage.
std::expected<void, DurableError> verify_identity(Connection& connection,
                                                  std::string_view replica_id,
                                                  std::string_view topology_json);

}  // namespace corvane_manager_ha_lab::durable

#endif
