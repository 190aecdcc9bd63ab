#include "durable/file_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "durable/unique_fd.h"

namespace corvane_manager_ha_lab::durable {

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::unexpected<DurableError> unsafe() {
  return std::unexpected(DurableError::refused(RefusalReason::UnsafeStore));
}

std::expected<std::string, DurableError> read_all(int fd) {
  std::string bytes;
  std::array<char, 64 * 1024> buffer;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(io_error(errno));
    }
    if (n == 0) return bytes;
    bytes.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

void run_probe(const ReadProbe& probe, ReadCheckpoint checkpoint) {
  if (probe) probe(checkpoint);
}

}  // namespace

std::expected<std::optional<struct stat>, DurableError> status_nofollow(
    const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0) return status;
  if (errno == ENOENT) return std::nullopt;
  return std::unexpected(io_error(errno));
}

std::expected<void, DurableError> require_regular_nonsymlink(const std::filesystem::path& path) {
  auto status = status_nofollow(path);
  if (!status) return std::unexpected(status.error());
  if (!*status) return std::unexpected(DurableError::refused(RefusalReason::MissingStore));
  if (!S_ISREG((*status)->st_mode)) return unsafe();
  return {};
}

std::expected<std::optional<std::string>, DurableError> read_regular_file_nofollow(
    const std::filesystem::path& path, bool absence_allowed, const ReadProbe& probe) {
  auto before = status_nofollow(path);
  if (!before) return std::unexpected(before.error());
  if (!*before) {
    if (absence_allowed) return std::nullopt;
    return std::unexpected(DurableError::refused(RefusalReason::MissingStore));
  }
  if (!S_ISREG((*before)->st_mode)) return unsafe();
  run_probe(probe, ReadCheckpoint::AfterFirstStatus);

  // O_NONBLOCK keeps a FIFO swapped in after the lstat from blocking the open.
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
  if (!file.valid()) {
    const int open_errno = errno;
    auto now = status_nofollow(path);
    if (now && *now) return unsafe();
    return std::unexpected(io_error(open_errno));
  }
  struct stat opened {};
  if (::fstat(file.get(), &opened) != 0) return std::unexpected(io_error(errno));
  if (!S_ISREG(opened.st_mode) || !same_file(opened, **before)) return unsafe();

  auto bytes = read_all(file.get());
  if (!bytes) return std::unexpected(bytes.error());
  run_probe(probe, ReadCheckpoint::AfterRead);

  struct stat after {};
  if (::lstat(path.c_str(), &after) != 0) return std::unexpected(io_error(errno));
  if (!S_ISREG(after.st_mode) || !same_file(after, **before)) return unsafe();
  return std::move(*bytes);
}

std::expected<FileImage, DurableError> read_store_files(const std::filesystem::path& database_path,
                                                        const ReadProbe& probe) {
  FileImage image;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    const bool is_database = *suffix == '\0';
    std::filesystem::path path = database_path;
    path += suffix;
    auto bytes = read_regular_file_nofollow(path, !is_database, probe);
    if (!bytes) return std::unexpected(bytes.error());
    if (*bytes) image.push_back(StoreFile{suffix, std::move(**bytes)});
  }
  return image;
}

}  // namespace corvane_manager_ha_lab::durable
