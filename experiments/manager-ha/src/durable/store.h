// One open manager store: the SQLite file that holds one replica's identity,
// fact history, receipts and exchange audit trail.
//
// `Store::open` creates a new store (schema, identity row and user_version 3
// in one transaction) or reopens an existing one after proving, first on a
// private read-only copy and again inside an immediate transaction, that it
// belongs to this replica of this topology and has exactly the expected
// schema. Nothing is written to a file whose identity or schema is refused.
// The store is left in write-ahead-log mode with synchronous FULL.
//
// A Store owns one connection, closed when the Store is dropped; it holds no
// transaction between operations. Not for use by two threads at once: every
// operation borrows it exclusively. Several Stores, in one or several
// processes, may use the same file; SQLite's write lock serializes them.
#ifndef CORVANE_MANAGER_HA_DURABLE_STORE_H
#define CORVANE_MANAGER_HA_DURABLE_STORE_H

#include <chrono>
#include <expected>
#include <filesystem>
#include <string>

#include "durable/connection.h"
#include "durable/error.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

// How long every store operation waits for SQLite's write lock.
inline constexpr std::chrono::milliseconds STORE_BUSY_TIMEOUT = std::chrono::seconds(5);

class Store {
 public:
  static std::expected<Store, DurableError> open(const std::filesystem::path& database_path,
                                                 Configuration configuration,
                                                 std::string replica_id);

  Store(Store&&) noexcept = default;
  Store& operator=(Store&&) noexcept = default;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  ~Store() = default;

  // The configuration the store was opened with, list order kept.
  const Configuration& configuration() const { return configuration_; }
  // Its validated form; requests rebuild the local replica from it.
  const Topology& topology() const { return topology_; }
  const std::string& replica_id() const { return replica_id_; }

  // The store's connection, for the store's own operations.
  Connection& connection() { return connection_; }

 private:
  Store(Configuration configuration, Topology topology, std::string replica_id,
        Connection connection)
      : configuration_(std::move(configuration)),
        topology_(std::move(topology)),
        replica_id_(std::move(replica_id)),
        connection_(std::move(connection)) {}

  Configuration configuration_;
  Topology topology_;
  std::string replica_id_;
  Connection connection_;
};

}  // namespace corvane_manager_ha_lab::durable

#endif
