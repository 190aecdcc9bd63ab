// A private copy of a store's files that can be opened and read without
// touching the store, also while another process writes to it.
//
// The copy lives in a fresh directory "corvane-manager-inspect-<24 hex>"
// directly inside the temporary directory (TMPDIR, else "/tmp"), mode 0700,
// holding "store.sqlite" and the captured companions "store.sqlite-wal" and
// "store.sqlite-shm" (and "materialized.sqlite" after the VACUUM INTO
// fallback). The directory is removed with everything in it when the
// snapshot is dropped, whatever happened.
//
// A snapshot has one owner. Captures in any number of threads or processes
// never share a directory; NEXT_INSPECTION_SNAPSHOT is advanced atomically.
#ifndef CORVANE_MANAGER_HA_DURABLE_READ_ONLY_SNAPSHOT_H
#define CORVANE_MANAGER_HA_DURABLE_READ_ONLY_SNAPSHOT_H

#include <atomic>
#include <cstdint>
#include <expected>
#include <filesystem>

#include "durable/connection.h"
#include "durable/error.h"
#include "durable/file_access.h"

namespace corvane_manager_ha_lab::durable {

// Numbers the captures of this process, from 1; part of each directory name.
inline std::atomic<std::uint64_t> NEXT_INSPECTION_SNAPSHOT{1};

// The prefix of every snapshot directory's name.
inline constexpr std::string_view SNAPSHOT_DIRECTORY_PREFIX = "corvane-manager-inspect-";

// The system temporary directory: TMPDIR when set and not empty, else "/tmp".
std::filesystem::path temporary_directory();

struct SnapshotConnection;

class ReadOnlySnapshot {
 public:
  // Copies a stable image of the store's files (two consecutive reads that
  // agree byte for byte, at most three pairs) into a new private directory.
  // Store files that keep changing: Storage "manager store changed while
  // capturing a read-only inspection snapshot". `probe` runs inside every
  // file read (tests change the store there); production passes none.
  static std::expected<ReadOnlySnapshot, DurableError> capture(
      const std::filesystem::path& database_path, const ReadProbe& probe = {});

  ReadOnlySnapshot(ReadOnlySnapshot&& other) noexcept;
  ReadOnlySnapshot& operator=(ReadOnlySnapshot&& other) noexcept;
  ReadOnlySnapshot(const ReadOnlySnapshot&) = delete;
  ReadOnlySnapshot& operator=(const ReadOnlySnapshot&) = delete;
  // Releases the snapshot: removes its directory, ignoring failures.
  ~ReadOnlySnapshot();

  const std::filesystem::path& directory() const { return directory_; }
  // The copy that connections open.
  const std::filesystem::path& database_path() const { return database_path_; }

 private:
  // The fallback of open_read_only_snapshot points the snapshot at its
  // materialized copy.
  friend std::expected<SnapshotConnection, DurableError> open_read_only_snapshot(
      const std::filesystem::path& database_path);

  explicit ReadOnlySnapshot(std::filesystem::path directory);
  void release();

  std::filesystem::path directory_;
  std::filesystem::path database_path_;
};

// A snapshot with a read-only connection on its copy. The connection is
// declared last so that it is closed before the directory goes.
struct SnapshotConnection {
  SnapshotConnection(ReadOnlySnapshot snapshot, Connection connection)
      : snapshot(std::move(snapshot)), connection(std::move(connection)) {}
  SnapshotConnection(SnapshotConnection&&) = default;
  // Assignment would remove the old directory before closing the old connection.
  SnapshotConnection& operator=(SnapshotConnection&&) = delete;

  ReadOnlySnapshot snapshot;
  Connection connection;
};

// Opens the snapshot's copy read-only and proves it readable (user_version
// and the sqlite_master count). On error the snapshot is released.
std::expected<SnapshotConnection, DurableError> open_snapshot_connection(ReadOnlySnapshot snapshot);

// Captures the store and opens the copy read-only. A copy that cannot be
// opened that way (a write-ahead log that needs the companions SQLite would
// have to create) is captured again and materialized with "VACUUM INTO"
// into "materialized.sqlite", which is then opened read-only.
std::expected<SnapshotConnection, DurableError> open_read_only_snapshot(
    const std::filesystem::path& database_path);

}  // namespace corvane_manager_ha_lab::durable

#endif
