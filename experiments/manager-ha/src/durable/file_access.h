// Direct reads of a store's files that never follow a symbolic link and
// prove that the bytes came from the regular file that was examined, not
// from something moved into place under the same name.
//
// A store's files are the database at the caller's path and SQLite's two
// companions, the path with "-wal" and with "-shm" appended. A file image
// lists them in that order, absent companions left out.
//
// Stateless; safe from any thread.
#ifndef CORVANE_MANAGER_HA_DURABLE_FILE_ACCESS_H
#define CORVANE_MANAGER_HA_DURABLE_FILE_ACCESS_H

#include <sys/stat.h>

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "durable/error.h"

namespace corvane_manager_ha_lab::durable {

// One file of a store: its suffix after the database path ("" for the
// database itself, "-wal", "-shm") and its bytes.
struct StoreFile {
  std::string suffix;
  std::string bytes;

  friend bool operator==(const StoreFile&, const StoreFile&) = default;
};

using FileImage = std::vector<StoreFile>;

// lstat of `path`: empty when nothing is there, Storage on any other error.
std::expected<std::optional<struct stat>, DurableError> status_nofollow(
    const std::filesystem::path& path);

// Missing: Refused(missing_store). Anything but a regular file, a symbolic
// link included: Refused(unsafe_store). Other lstat errors: Storage.
std::expected<void, DurableError> require_regular_nonsymlink(const std::filesystem::path& path);

// The points between the checks of `read_regular_file_nofollow` where a probe
// runs. Tests swap files there; production passes no probe.
enum class ReadCheckpoint {
  AfterFirstStatus,  // the path was examined, not yet opened
  AfterRead,         // the bytes were read, the path not yet examined again
};
using ReadProbe = std::function<void(ReadCheckpoint)>;

// The whole contents of the regular file at `path`, opened without following
// links and checked to be the same file (device and inode) before the open,
// through the descriptor and after the read. Absent: empty when
// `absence_allowed`, else Refused(missing_store). Not a regular file, or
// replaced between the checks: Refused(unsafe_store).
std::expected<std::optional<std::string>, DurableError> read_regular_file_nofollow(
    const std::filesystem::path& path, bool absence_allowed, const ReadProbe& probe = {});

// The store's file image: the database (which must exist), then "-wal" and
// "-shm" when present. `probe` runs inside each file's read.
std::expected<FileImage, DurableError> read_store_files(const std::filesystem::path& database_path,
                                                        const ReadProbe& probe = {});

}  // namespace corvane_manager_ha_lab::durable

#endif
