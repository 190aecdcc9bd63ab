// Trust checks for every path the daemon is given, run once at start-up and
// before any file is read, opened or bound: the path text, every directory on
// the way, and the object itself (type, link count, owner, permission bits).
// Objects are examined with lstat, so a symbolic link anywhere is refused,
// never followed. "Current user" is the effective user ID; root is 0.
//
// No side effects: nothing is created, changed or removed. Thread-safe.
#ifndef CORVANE_MANAGERD_CLI_PATH_TRUST_H
#define CORVANE_MANAGERD_CLI_PATH_TRUST_H

#include <expected>
#include <string>

namespace corvane_manager_resident_lab {
struct Configuration;
}

namespace corvane_manager_resident_lab::cli {

using Check = std::expected<void, std::string>;

// The lock file next to a store: the database path with its extension
// replaced by "resident-lock" (or that extension added when it has none).
std::string lock_file_path(const std::string& database_path);

// The parent directory of a path text, or nothing for "/" and the empty path.
std::expected<std::string, std::string> parent_directory(const std::string& path);

Check lexical(const std::string& path);
Check ancestors(const std::string& directory);
Check directory(const std::string& path, bool private_directory);
Check trusted_file(const std::string& path, bool may_be_absent);
Check validate_state_paths(const std::string& database, const std::string& state_dir, bool resident);
Check validate_inspection_paths(const Configuration& configuration, const std::string& state_dir);
Check validate_paths(const Configuration& configuration, const std::string& state_dir,
                     const std::string& runtime_dir);

}  // namespace corvane_manager_resident_lab::cli

#endif
