// Trust checks for the daemon's paths: the path text, the directory chain and
// the examined object. Every object is examined with lstat, so a symbolic link
// is refused wherever it appears; nothing on disk is created or changed.
//
// Stateless; safe to call from any thread.
#include "cli/path_trust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "durable/os_error.h"
#include "lib/configuration.h"

namespace corvane_manager_resident_lab::cli {

namespace {

constexpr std::size_t MAX_PATH_BYTES = 4096;
constexpr std::string_view LOCK_EXTENSION = "resident-lock";

constexpr mode_t GROUP_OR_OTHER_WRITE = 0022;
constexpr mode_t ANY_GROUP_OR_OTHER = 0077;
constexpr mode_t STICKY = 01000;

std::unexpected<std::string> fail(std::string_view message) {
  return std::unexpected(std::string(message));
}

using Status = std::expected<struct stat, std::string>;

// lstat, so that a symbolic link is reported as itself and never followed.
Status examine(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return std::unexpected(corvane_manager_ha_lab::durable::os_error_text(errno));
  }
  return status;
}

bool owned_by_root_or_current_user(const struct stat& status) {
  return status.st_uid == 0 || status.st_uid == ::geteuid();
}

// The path as a root flag and its non-empty segments, so that two spellings of
// one directory compare equal whatever separators they use.
struct Components {
  bool absolute = false;
  std::vector<std::string_view> segments;

  friend bool operator==(const Components&, const Components&) = default;
};

Components components(std::string_view path) {
  Components result;
  result.absolute = path.starts_with('/');
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (!segment.empty() && segment != ".") result.segments.push_back(segment);
    start = end + 1;
  }
  return result;
}

// A missing parent never equals a directory.
bool is_parent_of(const std::string& child, const std::string& directory) {
  const auto parent = parent_directory(child);
  return parent && components(*parent) == components(directory);
}

Check check_control_socket(const std::string& socket) {
  struct stat status {};
  if (::lstat(socket.c_str(), &status) != 0) {
    if (errno == ENOENT) return {};
    return std::unexpected(corvane_manager_ha_lab::durable::os_error_text(errno));
  }
  if (!S_ISSOCK(status.st_mode) || (status.st_mode & ANY_GROUP_OR_OTHER) != 0 ||
      status.st_uid != ::geteuid()) {
    return fail("existing control path must be an owned private Unix socket");
  }
  return {};
}

}  // namespace

std::string lock_file_path(const std::string& database_path) {
  const std::size_t name_start = database_path.rfind('/') + 1;  // npos + 1 is 0
  const std::size_t dot = database_path.rfind('.');
  // A dot at the start of the final name marks a hidden file, not an extension.
  if (dot == std::string::npos || dot <= name_start) {
    return database_path + "." + std::string(LOCK_EXTENSION);
  }
  return database_path.substr(0, dot + 1) + std::string(LOCK_EXTENSION);
}

std::expected<std::string, std::string> parent_directory(const std::string& path) {
  std::string_view rest(path);
  while (rest.size() > 1 && rest.ends_with('/')) rest.remove_suffix(1);
  if (rest.empty() || rest == "/") return std::unexpected(std::string("path has no parent"));
  const std::size_t slash = rest.rfind('/');
  if (slash == std::string_view::npos) return std::string();  // a bare relative name
  std::string_view parent = rest.substr(0, slash);
  while (parent.ends_with('/')) parent.remove_suffix(1);
  if (parent.empty()) return std::string("/");
  return std::string(parent);
}

Check lexical(const std::string& path) {
  constexpr std::string_view message =
      "paths must be absolute without traversal, repeated separators or trailing separators";
  if (path.size() > MAX_PATH_BYTES || !path.starts_with('/') || path == "/" ||
      path.find('\0') != std::string::npos) {
    return fail(message);
  }
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view segment = std::string_view(path).substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return fail(message);
    start = end + 1;
  }
  return {};
}

Check ancestors(const std::string& directory) {
  std::vector<std::string> chain;
  if (directory == "/") {
    chain.push_back(directory);
  } else {
    for (std::size_t slash = directory.find('/', 1); slash != std::string::npos;
         slash = directory.find('/', slash + 1)) {
      chain.push_back(directory.substr(0, slash));
    }
    chain.push_back(directory);
  }
  for (const std::string& prefix : chain) {
    const Status status = examine(prefix);
    if (!status) return std::unexpected(status.error());
    if (!S_ISDIR(status->st_mode) || !owned_by_root_or_current_user(*status)) {
      return fail("directory chain must be nonsymlink and owned by root or current user");
    }
    // A shared temporary directory is safe to pass through: root owns it and
    // the sticky bit keeps other users from renaming or removing our entries.
    const bool shared_sticky = status->st_uid == 0 && (status->st_mode & STICKY) != 0;
    if ((status->st_mode & GROUP_OR_OTHER_WRITE) != 0 && !shared_sticky) {
      return fail("directory chain is writable by an untrusted user");
    }
  }
  return {};
}

Check directory(const std::string& path, bool private_directory) {
  if (auto ok = lexical(path); !ok) return ok;
  if (auto ok = ancestors(path); !ok) return ok;
  const Status status = examine(path);
  if (!status) return std::unexpected(status.error());
  const mode_t mask = private_directory ? ANY_GROUP_OR_OTHER : GROUP_OR_OTHER_WRITE;
  if (status->st_uid != ::geteuid() || (status->st_mode & mask) != 0) {
    return fail("declared directories require current-user ownership and safe permissions");
  }
  return {};
}

Check trusted_file(const std::string& path, bool may_be_absent) {
  if (auto ok = lexical(path); !ok) return ok;
  const auto parent = parent_directory(path);
  if (!parent) return fail("file has no parent");
  if (auto ok = ancestors(*parent); !ok) return ok;
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (may_be_absent && errno == ENOENT) return {};
    return std::unexpected(corvane_manager_ha_lab::durable::os_error_text(errno));
  }
  // A file we may create ourselves must already be ours if it exists; root may
  // own only files the daemon never creates.
  const bool owner_ok = status.st_uid == ::geteuid() || (!may_be_absent && status.st_uid == 0);
  if (!S_ISREG(status.st_mode) || status.st_nlink != 1 ||
      (status.st_mode & GROUP_OR_OTHER_WRITE) != 0 || !owner_ok) {
    return fail("file must be regular, singly linked, owned and not untrusted-writable");
  }
  return {};
}

Check validate_state_paths(const std::string& database, const std::string& state_dir,
                           bool resident) {
  if (auto ok = directory(state_dir, false); !ok) return ok;
  if (auto ok = lexical(database); !ok) return ok;
  if (!is_parent_of(database, state_dir)) {
    return fail("database must be a direct child of the declared state directory");
  }
  if (auto ok = trusted_file(database, resident); !ok) return ok;
  if (resident) {
    if (auto ok = trusted_file(lock_file_path(database), true); !ok) return ok;
  }
  if (auto ok = trusted_file(database + "-wal", true); !ok) return ok;
  return trusted_file(database + "-shm", true);
}

Check validate_inspection_paths(const Configuration& configuration, const std::string& state_dir) {
  return validate_state_paths(configuration.network.database_path, state_dir, false);
}

Check validate_paths(const Configuration& configuration, const std::string& state_dir,
                     const std::string& runtime_dir) {
  if (auto ok = validate_state_paths(configuration.network.database_path, state_dir, true); !ok) {
    return ok;
  }
  if (auto ok = directory(runtime_dir, true); !ok) return ok;
  const std::string& socket = configuration.control_socket;
  if (auto ok = lexical(socket); !ok) return ok;
  if (!is_parent_of(socket, runtime_dir)) {
    return fail("database/socket must be direct children of declared directories");
  }
  return check_control_socket(socket);
}

}  // namespace corvane_manager_resident_lab::cli
