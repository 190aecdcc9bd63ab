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

// The lock file next to a store: the part of the final name after its last
// dot replaced by "resident-lock"; a name without a dot, or whose only dot is
// the leading one, gets ".resident-lock" appended. Pure text work.
std::string lock_file_path(const std::string& database_path);

// The parent directory of a path text: "/a" for "/a/b", "/" for "/a", "" for a
// bare relative name. Trailing and repeated separators do not count as
// components. "/" and the empty path have none: "path has no parent".
std::expected<std::string, std::string> parent_directory(const std::string& path);

// Absolute, at most 4,096 bytes, no NUL, not "/" alone, and no empty, "." or
// ".." segment.
Check lexical(const std::string& path);

// Every directory from the first one below "/" down to `directory` itself is a
// real directory owned by root or the current user and not writable by group
// or others, unless root owns it and it has the sticky bit.
Check ancestors(const std::string& directory);

// A declared directory: lexical, trusted chain, owned by the current user and
// free of group/other write bits (of all group/other bits when private).
Check directory(const std::string& path, bool private_directory);

// A regular, singly linked file, not writable by group or others, owned by the
// current user (or by root when it must exist) under a trusted chain. With
// `may_be_absent`, a missing file passes.
Check trusted_file(const std::string& path, bool may_be_absent);

// The state directory, the database as its direct child, and the files next
// to it: the lock file (resident only), the write-ahead log and the
// shared-memory index. The database must exist unless `resident`.
Check validate_state_paths(const std::string& database, const std::string& state_dir,
                           bool resident);

// The store inspection's paths: the state paths with an existing database and
// no lock file.
Check validate_inspection_paths(const Configuration& configuration, const std::string& state_dir);

// The configuration check's and the resident mode's paths: the state paths,
// the private runtime directory and the control socket as its direct child,
// which, if something is already there, must be an owned private socket.
Check validate_paths(const Configuration& configuration, const std::string& state_dir,
                     const std::string& runtime_dir);

}  // namespace corvane_manager_resident_lab::cli

#endif
