#include "durable/store.h"

#include <cerrno>
#include <optional>

#include "durable/canonical_json.h"
#include "durable/file_access.h"
#include "durable/identity.h"
#include "durable/preflight.h"
#include "durable/schema.h"
#include "durable/transaction.h"

namespace corvane_manager_ha_lab::durable {

namespace {

// The key of an existing file, after running the read-only preflight unless
// this process already opened the file in this very state for this identity.
// Empty when there is no file yet.
std::expected<std::optional<PreflightKey>, DurableError> preflight_existing(
    const std::filesystem::path& path, std::string_view replica_id,
    std::string_view topology_json) {
  auto status = status_nofollow(path);
  if (!status) return std::unexpected(status.error());
  if (!*status) return std::nullopt;
  if (auto regular = require_regular_nonsymlink(path); !regular) {
    return std::unexpected(regular.error());
  }
  PreflightKey key = preflight_key(**status, replica_id, topology_json);
  auto known = preflighted_stores().contains(key);
  if (!known) return std::unexpected(known.error());
  if (!*known) {
    if (auto checked = preflight_read_only(path, replica_id, topology_json); !checked) {
      return std::unexpected(checked.error());
    }
  }
  return key;
}

std::expected<PreflightKey, DurableError> current_key(const std::filesystem::path& path,
                                                      std::string_view replica_id,
                                                      std::string_view topology_json) {
  auto status = status_nofollow(path);
  if (!status) return std::unexpected(status.error());
  if (!*status) return std::unexpected(io_error(ENOENT));
  return preflight_key(**status, replica_id, topology_json);
}

// Inside the open transaction: initializes an empty database, or accepts a
// store of the current version. Other contents are refused.
std::expected<void, DurableError> initialize_or_accept(Connection& connection,
                                                       std::string_view replica_id,
                                                       std::string_view topology_json) {
  auto version = connection.user_version();
  if (!version) return std::unexpected(version.error());
  if (*version == SCHEMA_VERSION) return {};
  if (*version != 0) {
    return std::unexpected(DurableError::refused(RefusalReason::UnsupportedSchema));
  }
  auto tables = connection.query_integer("SELECT count(*) FROM sqlite_master WHERE type = 'table'");
  if (!tables) return std::unexpected(tables.error());
  if (*tables != 0) return std::unexpected(DurableError::refused(RefusalReason::UnrecognizedStore));
  if (auto created = connection.execute_batch(SCHEMA_BATCH); !created) {
    return std::unexpected(created.error());
  }
  return insert_identity(connection, replica_id, topology_json);
}

}  // namespace

std::expected<Store, DurableError> Store::open(const std::filesystem::path& database_path,
                                               Configuration configuration,
                                               std::string replica_id) {
  auto topology = validate_local_configuration(configuration, replica_id);
  if (!topology) return std::unexpected(topology.error());
  auto topology_json = json(*topology);
  if (!topology_json) return std::unexpected(topology_json.error());

  auto expected_key = preflight_existing(database_path, replica_id, *topology_json);
  if (!expected_key) return std::unexpected(expected_key.error());

  auto connection = Connection::open(database_path, OpenMode::ReadWriteCreate);
  if (!connection) return std::unexpected(connection.error());
  if (*expected_key) {
    // The file that was preflighted must be the file SQLite opened.
    auto key = current_key(database_path, replica_id, *topology_json);
    if (!key) return std::unexpected(key.error());
    if (*key != **expected_key) {
      return std::unexpected(
          DurableError::storage("manager store path changed after read-only preflight"));
    }
  }
  if (auto busy = connection->set_busy_timeout(STORE_BUSY_TIMEOUT); !busy) {
    return std::unexpected(busy.error());
  }

  {
    auto transaction = Transaction::begin(*connection, TransactionMode::Immediate);
    if (!transaction) return std::unexpected(transaction.error());
    if (auto ready = initialize_or_accept(*connection, replica_id, *topology_json); !ready) {
      return std::unexpected(ready.error());
    }
    if (auto identity = verify_identity(*connection, replica_id, *topology_json); !identity) {
      return std::unexpected(identity.error());
    }
    if (auto schema = verify_immutable_schema(*connection); !schema) {
      return std::unexpected(schema.error());
    }
    if (auto committed = transaction->commit(); !committed) {
      return std::unexpected(committed.error());
    }
  }

  if (auto wal = connection->set_pragma("journal_mode", "WAL"); !wal) {
    return std::unexpected(wal.error());
  }
  if (auto full = connection->set_pragma("synchronous", "FULL"); !full) {
    return std::unexpected(full.error());
  }

  auto opened_key = current_key(database_path, replica_id, *topology_json);
  if (!opened_key) return std::unexpected(opened_key.error());
  if (auto cached = preflighted_stores().insert(std::move(*opened_key)); !cached) {
    return std::unexpected(cached.error());
  }
  return Store(std::move(configuration), std::move(*topology), std::move(replica_id),
               std::move(*connection));
}

}  // namespace corvane_manager_ha_lab::durable
