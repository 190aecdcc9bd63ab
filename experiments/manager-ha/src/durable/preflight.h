// The read-only preflight of an existing store and the process-wide cache
// that lets a store skip it when this process has already opened the same
// file, unchanged, for the same identity.
//
// The preflight works on a private copy of the store's files, so a file that
// belongs to someone else is refused before SQLite ever opens it for
// writing. The cache (PREFLIGHTED_STORES) is guarded by a mutex that is held
// for one lookup or one insertion; safe from any thread.
#ifndef CORVANE_MANAGER_HA_DURABLE_PREFLIGHT_H
#define CORVANE_MANAGER_HA_DURABLE_PREFLIGHT_H

#include <sys/stat.h>

#include <compare>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "durable/error.h"

namespace corvane_manager_ha_lab::durable {

// One store file in one state, opened for one identity. Any change to the
// file (a write, a touch, a replacement) changes its times or identity.
struct PreflightKey {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_seconds = 0;
  std::int64_t modified_nanoseconds = 0;
  std::int64_t changed_seconds = 0;
  std::int64_t changed_nanoseconds = 0;
  std::string replica_id;
  std::string topology_json;

  friend bool operator==(const PreflightKey&, const PreflightKey&) = default;
  friend std::strong_ordering operator<=>(const PreflightKey&, const PreflightKey&) = default;
};

// The key of the file whose lstat is `status`.
PreflightKey preflight_key(const struct stat& status, std::string_view replica_id,
                           std::string_view topology_json);

class PreflightCache {
 public:
  std::expected<bool, DurableError> contains(const PreflightKey& key) const;
  std::expected<void, DurableError> insert(PreflightKey key);

 private:
  mutable std::mutex mutex_;
  std::set<PreflightKey> keys_;
};

// PREFLIGHTED_STORES: the keys of the files this process has fully opened.
PreflightCache& preflighted_stores();

// Proves, on a private copy, that the existing store at `path` is either an
// uninitialized database without tables or a store of schema version 3 with
// the expected shape and this identity. Refused(unsupported_schema),
// Refused(unrecognized_store), Refused(identity_mismatch), Corrupt on a
// schema mismatch, Storage otherwise. Never writes the store.
std::expected<void, DurableError> preflight_read_only(const std::filesystem::path& path,
                                                      std::string_view replica_id,
                                                      std::string_view topology_json);

}  // namespace corvane_manager_ha_lab::durable

#endif
