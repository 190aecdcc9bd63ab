#include "durable/read_only_snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

#include "durable/digest.h"
#include "durable/file_access.h"
#include "durable/random.h"
#include "durable/unique_fd.h"
#include "durable/utf8.h"

namespace corvane_manager_ha_lab::durable {

namespace {

constexpr std::string_view COPY_NAME = "store.sqlite";
constexpr std::string_view MATERIALIZED_NAME = "materialized.sqlite";
constexpr int IMAGE_READ_PAIRS = 3;
constexpr auto FALLBACK_BUSY_TIMEOUT = std::chrono::seconds(5);

// Two consecutive reads of the store files that agree byte for byte. A writer
// that commits between the reads makes them differ; one that keeps writing
// through every pair makes the capture fail rather than copy a torn image.
std::expected<FileImage, DurableError> read_stable_image(const std::filesystem::path& database_path,
                                                         const ReadProbe& probe) {
  for (int pair = 0; pair < IMAGE_READ_PAIRS; ++pair) {
    auto first = read_store_files(database_path, probe);
    if (!first) return std::unexpected(first.error());
    auto second = read_store_files(database_path, probe);
    if (!second) return std::unexpected(second.error());
    if (*first == *second) return std::move(*first);
  }
  return std::unexpected(DurableError::storage(
      "manager store changed while capturing a read-only inspection snapshot"));
}

std::expected<std::uint64_t, DurableError> nanoseconds_since_epoch() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
  if (nanos < 0) {
    return std::unexpected(DurableError::storage("system clock is before the Unix epoch"));
  }
  return static_cast<std::uint64_t>(nanos);
}

// "corvane-manager-inspect-" and 24 hex digits of the digest of
// "<pid>:<database path>:<counter>:<nanoseconds>:<random>", so that
// captures in one or several processes never meet.
std::expected<std::string, DurableError> directory_name(
    const std::filesystem::path& database_path) {
  const std::uint64_t counter = NEXT_INSPECTION_SNAPSHOT.fetch_add(1);
  auto nanos = nanoseconds_since_epoch();
  if (!nanos) return std::unexpected(nanos.error());
  const auto pid = static_cast<long long>(::getpid());
  auto random = random_hex_16();
  if (!random) return std::unexpected(random.error());
  const std::string seed = std::to_string(pid) + ":" + lossy_utf8(database_path.native()) + ":" +
                           std::to_string(counter) + ":" + std::to_string(*nanos) + ":" + *random;
  return std::string(SNAPSHOT_DIRECTORY_PREFIX) + digest(seed).substr(0, 24);
}

std::expected<void, DurableError> write_new_file(const std::filesystem::path& path,
                                                 std::string_view bytes) {
  UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.valid()) return std::unexpected(io_error(errno));
  while (!bytes.empty()) {
    const ssize_t n = ::write(file.get(), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(io_error(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  if (file.reset() != 0) return std::unexpected(io_error(errno));
  return {};
}

}  // namespace

std::filesystem::path temporary_directory() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != '\0') return tmpdir;
  return "/tmp";
}

ReadOnlySnapshot::ReadOnlySnapshot(std::filesystem::path directory)
    : directory_(std::move(directory)), database_path_(directory_ / COPY_NAME) {}

ReadOnlySnapshot::ReadOnlySnapshot(ReadOnlySnapshot&& other) noexcept
    : directory_(std::exchange(other.directory_, {})),
      database_path_(std::exchange(other.database_path_, {})) {}

ReadOnlySnapshot& ReadOnlySnapshot::operator=(ReadOnlySnapshot&& other) noexcept {
  if (this != &other) {
    release();
    directory_ = std::exchange(other.directory_, {});
    database_path_ = std::exchange(other.database_path_, {});
  }
  return *this;
}

ReadOnlySnapshot::~ReadOnlySnapshot() { release(); }

void ReadOnlySnapshot::release() {
  if (directory_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
  directory_.clear();
  database_path_.clear();
}

std::expected<ReadOnlySnapshot, DurableError> ReadOnlySnapshot::capture(
    const std::filesystem::path& database_path, const ReadProbe& probe) {
  if (auto regular = require_regular_nonsymlink(database_path); !regular) {
    return std::unexpected(regular.error());
  }
  auto image = read_stable_image(database_path, probe);
  if (!image) return std::unexpected(image.error());
  auto name = directory_name(database_path);
  if (!name) return std::unexpected(name.error());

  std::filesystem::path directory = temporary_directory() / *name;
  if (::mkdir(directory.c_str(), 0700) != 0) return std::unexpected(io_error(errno));
  // From here on the snapshot owns the directory: every early return removes it.
  ReadOnlySnapshot snapshot(std::move(directory));
  for (const StoreFile& file : *image) {
    std::filesystem::path target = snapshot.database_path_;
    target += file.suffix;
    if (auto written = write_new_file(target, file.bytes); !written) {
      return std::unexpected(written.error());
    }
  }
  return snapshot;
}

std::expected<SnapshotConnection, DurableError> open_snapshot_connection(
    ReadOnlySnapshot snapshot) {
  auto connection = Connection::open(snapshot.database_path(), OpenMode::ReadOnly);
  if (!connection) return std::unexpected(connection.error());
  if (auto version = connection->user_version(); !version) {
    return std::unexpected(version.error());
  }
  if (auto objects = connection->query_integer("SELECT count(*) FROM sqlite_master"); !objects) {
    return std::unexpected(objects.error());
  }
  return SnapshotConnection(std::move(snapshot), std::move(*connection));
}

std::expected<SnapshotConnection, DurableError> open_read_only_snapshot(
    const std::filesystem::path& database_path) {
  {
    auto snapshot = ReadOnlySnapshot::capture(database_path);
    if (!snapshot) return std::unexpected(snapshot.error());
    auto opened = open_snapshot_connection(std::move(*snapshot));
    if (opened) return opened;
  }
  // The copy could not be read as it is. SQLite may open it read-write
  // (replaying its write-ahead log) and write one self-contained database.
  auto snapshot = ReadOnlySnapshot::capture(database_path);
  if (!snapshot) return std::unexpected(snapshot.error());
  const std::filesystem::path materialized = snapshot->directory() / MATERIALIZED_NAME;
  {
    auto copy = Connection::open(snapshot->database_path(), OpenMode::ReadWrite);
    if (!copy) return std::unexpected(copy.error());
    if (auto busy = copy->set_busy_timeout(FALLBACK_BUSY_TIMEOUT); !busy) {
      return std::unexpected(busy.error());
    }
    if (auto vacuumed = copy->execute("VACUUM INTO ?1", lossy_utf8(materialized.native()));
        !vacuumed) {
      return std::unexpected(vacuumed.error());
    }
  }
  snapshot->database_path_ = materialized;
  return open_snapshot_connection(std::move(*snapshot));
}

}  // namespace corvane_manager_ha_lab::durable
