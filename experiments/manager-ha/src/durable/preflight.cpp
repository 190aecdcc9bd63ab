#include "durable/preflight.h"

#include <system_error>

#include "durable/file_access.h"
#include "durable/identity.h"
#include "durable/read_only_snapshot.h"
#include "durable/schema.h"

namespace corvane_manager_ha_lab::durable {

namespace {

// std::mutex cannot be poisoned; the only way to fail to take it is
// std::system_error, reported with the cache's one failure text.
template <class F>
auto with_lock(std::mutex& mutex, F&& f) -> decltype(f()) {
  std::unique_lock<std::mutex> lock(mutex, std::defer_lock);
  try {
    lock.lock();
  } catch (const std::system_error&) {
    return std::unexpected(DurableError::storage("preflight cache lock poisoned"));
  }
  return f();
}

}  // namespace

PreflightKey preflight_key(const struct stat& status, std::string_view replica_id,
                           std::string_view topology_json) {
  return PreflightKey{
      .device = static_cast<std::uint64_t>(status.st_dev),
      .inode = static_cast<std::uint64_t>(status.st_ino),
      .size = static_cast<std::int64_t>(status.st_size),
      .modified_seconds = static_cast<std::int64_t>(status.st_mtim.tv_sec),
      .modified_nanoseconds = static_cast<std::int64_t>(status.st_mtim.tv_nsec),
      .changed_seconds = static_cast<std::int64_t>(status.st_ctim.tv_sec),
      .changed_nanoseconds = static_cast<std::int64_t>(status.st_ctim.tv_nsec),
      .replica_id = std::string(replica_id),
      .topology_json = std::string(topology_json),
  };
}

std::expected<bool, DurableError> PreflightCache::contains(const PreflightKey& key) const {
  return with_lock(mutex_,
                   [&]() -> std::expected<bool, DurableError> { return keys_.contains(key); });
}

std::expected<void, DurableError> PreflightCache::insert(PreflightKey key) {
  return with_lock(mutex_, [&]() -> std::expected<void, DurableError> {
    keys_.insert(std::move(key));
    return {};
  });
}

PreflightCache& preflighted_stores() {
  static PreflightCache PREFLIGHTED_STORES;
  return PREFLIGHTED_STORES;
}

std::expected<void, DurableError> preflight_read_only(const std::filesystem::path& path,
                                                      std::string_view replica_id,
                                                      std::string_view topology_json) {
  if (auto regular = require_regular_nonsymlink(path); !regular) {
    return std::unexpected(regular.error());
  }
  // The copy and its connection are released when this function returns.
  auto opened = open_read_only_snapshot(path);
  if (!opened) return std::unexpected(opened.error());
  Connection& connection = opened->connection;
  auto version = connection.user_version();
  if (!version) return std::unexpected(version.error());
  if (*version == SCHEMA_VERSION) {
    if (auto schema = verify_immutable_schema(connection); !schema) {
      return std::unexpected(schema.error());
    }
    return verify_identity(connection, replica_id, topology_json);
  }
  if (*version == 0) {
    auto tables = connection.query_integer("SELECT count(*) FROM sqlite_master WHERE type='table'");
    if (!tables) return std::unexpected(tables.error());
    if (*tables != 0)
      return std::unexpected(DurableError::refused(RefusalReason::UnrecognizedStore));
    return {};
  }
  return std::unexpected(DurableError::refused(RefusalReason::UnsupportedSchema));
}

}  // namespace corvane_manager_ha_lab::durable
