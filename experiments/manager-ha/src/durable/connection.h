// One SQLite connection, opened with explicit flags and closed when dropped.
//
// Every connection is opened without SQLite's own mutex and without following
// a symbolic link as the final path component; URI file names are never
// enabled. A Connection is owned by one thread at a time; not for concurrent
// use.
#ifndef CORVANE_MANAGER_HA_DURABLE_CONNECTION_H
#define CORVANE_MANAGER_HA_DURABLE_CONNECTION_H

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "durable/error.h"
#include "durable/statement.h"

struct sqlite3;

namespace corvane_manager_ha_lab::durable {

enum class OpenMode {
  ReadWriteCreate,  // the store itself: created when absent
  ReadWrite,        // an existing private copy that must not be created
  ReadOnly,         // a private copy that is only read
};

class Connection {
 public:
  static std::expected<Connection, DurableError> open(const std::filesystem::path& path,
                                                      OpenMode mode);
  // A private in-memory database, gone when the connection closes.
  static std::expected<Connection, DurableError> open_in_memory();

  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Runs every statement of `sql` in order (sqlite3_exec); stops at the first error.
  std::expected<void, DurableError> execute_batch(std::string_view sql);

  // Prepares the single statement `sql`.
  std::expected<Statement, DurableError> prepare(std::string_view sql);

  // Prepares `sql`, binds ?1, ?2, ... to `values`, runs it to the end and
  // returns the number of rows it changed.
  template <class... Values>
  std::expected<std::int64_t, DurableError> execute(std::string_view sql, const Values&... values) {
    auto statement = prepare(sql);
    if (!statement) return std::unexpected(statement.error());
    if (auto bound = statement->bind_all(values...); !bound) return std::unexpected(bound.error());
    if (auto ran = statement->run(); !ran) return std::unexpected(ran.error());
    return changes();
  }

  // The first column of the first row of `sql` as an integer ("SELECT count(*) ...").
  std::expected<std::int64_t, DurableError> query_integer(std::string_view sql);

  // Rows changed by the most recent INSERT, UPDATE or DELETE.
  std::int64_t changes() const;

  // Whether no transaction is open.
  bool autocommit() const;

  std::expected<void, DurableError> set_busy_timeout(std::chrono::milliseconds timeout);

  // "PRAGMA <name>": its first value as an integer or as text.
  std::expected<std::int64_t, DurableError> pragma_integer(std::string_view name);
  std::expected<std::string, DurableError> pragma_text(std::string_view name);
  // "PRAGMA <name>=<value>"; any rows it answers are ignored.
  std::expected<void, DurableError> set_pragma(std::string_view name, std::string_view value);

  // The store's "user_version".
  std::expected<std::int64_t, DurableError> user_version() {
    return pragma_integer("user_version");
  }

  sqlite3* handle() const { return db_; }

 private:
  explicit Connection(sqlite3* db) : db_(db) {}
  static std::expected<Connection, DurableError> open_with_flags(const char* name, int flags);

  sqlite3* db_ = nullptr;
};

}  // namespace corvane_manager_ha_lab::durable

#endif
