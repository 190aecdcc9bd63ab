#include "durable/connection.h"

#include <sqlite3.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

namespace corvane_manager_ha_lab::durable {

namespace {

constexpr int COMMON_FLAGS = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;

int mode_flags(OpenMode mode) {
  switch (mode) {
    case OpenMode::ReadWriteCreate: return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    case OpenMode::ReadWrite: return SQLITE_OPEN_READWRITE;
    case OpenMode::ReadOnly: return SQLITE_OPEN_READONLY;
  }
  return SQLITE_OPEN_READONLY;
}

struct ExecMessageDeleter {
  void operator()(char* message) const { sqlite3_free(message); }
};

}  // namespace

std::expected<Connection, DurableError> Connection::open_with_flags(const char* name, int flags) {
  sqlite3* db = nullptr;
  const int result = sqlite3_open_v2(name, &db, flags, nullptr);
  // The handle exists even when opening failed, and must be closed either way.
  Connection connection(db);
  if (result != SQLITE_OK) {
    if (db == nullptr) return std::unexpected(sqlite_error_code(result));
    return std::unexpected(sqlite_error(db));
  }
  return connection;
}

std::expected<Connection, DurableError> Connection::open(const std::filesystem::path& path,
                                                         OpenMode mode) {
  return open_with_flags(path.c_str(), mode_flags(mode) | COMMON_FLAGS);
}

std::expected<Connection, DurableError> Connection::open_in_memory() {
  return open_with_flags(
      ":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY | COMMON_FLAGS);
}

Connection::Connection(Connection&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    sqlite3_close_v2(db_);
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

// close_v2 never fails on an idle handle; a statement still alive would keep
// the handle until it is finalized instead of leaking it.
Connection::~Connection() { sqlite3_close_v2(db_); }

std::expected<void, DurableError> Connection::execute_batch(std::string_view sql) {
  const std::string text(sql);
  char* raw_message = nullptr;
  const int result = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &raw_message);
  const std::unique_ptr<char, ExecMessageDeleter> message(raw_message);
  if (result != SQLITE_OK) {
    if (message) return std::unexpected(DurableError::storage(message.get()));
    return std::unexpected(sqlite_error(db_));
  }
  return {};
}

std::expected<Statement, DurableError> Connection::prepare(std::string_view sql) {
  if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return std::unexpected(DurableError::storage("statement text too long"));
  }
  sqlite3_stmt* raw = nullptr;
  const int result =
      sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  Statement statement(raw);
  if (result != SQLITE_OK) return std::unexpected(sqlite_error(db_));
  if (raw == nullptr) return std::unexpected(DurableError::storage("empty statement"));
  return statement;
}

std::expected<std::int64_t, DurableError> Connection::query_integer(std::string_view sql) {
  auto statement = prepare(sql);
  if (!statement) return std::unexpected(statement.error());
  auto row = statement->step();
  if (!row) return std::unexpected(row.error());
  if (!*row) return std::unexpected(DurableError::storage("query returned no rows"));
  return statement->integer(0);
}

std::int64_t Connection::changes() const { return sqlite3_changes64(db_); }

bool Connection::autocommit() const { return sqlite3_get_autocommit(db_) != 0; }

namespace {

// SQLite's own timeout handler backs off to 100 ms sleeps, so a writer that
// commits back to back can take the lock again in every gap and starve a
// waiting writer past its whole timeout. Polling every millisecond keeps the
// same bound while giving each waiter a fair chance at the lock.
int poll_for_lock(void* timeout_ms, int attempts) {
  const auto limit = reinterpret_cast<std::intptr_t>(timeout_ms);
  if (attempts >= limit) return 0;
  sqlite3_sleep(1);
  return 1;
}

}  // namespace

std::expected<void, DurableError> Connection::set_busy_timeout(std::chrono::milliseconds timeout) {
  const auto ms = narrow<int>(timeout.count());
  if (!ms) return std::unexpected(ms.error());
  if (sqlite3_busy_handler(db_, poll_for_lock, reinterpret_cast<void*>(static_cast<std::intptr_t>(*ms))) !=
      SQLITE_OK) {
    return std::unexpected(sqlite_error(db_));
  }
  return {};
}

std::expected<std::int64_t, DurableError> Connection::pragma_integer(std::string_view name) {
  return query_integer("PRAGMA " + std::string(name));
}

std::expected<std::string, DurableError> Connection::pragma_text(std::string_view name) {
  auto statement = prepare("PRAGMA " + std::string(name));
  if (!statement) return std::unexpected(statement.error());
  auto row = statement->step();
  if (!row) return std::unexpected(row.error());
  if (!*row) return std::unexpected(DurableError::storage("pragma returned no rows"));
  return statement->text(0);
}

std::expected<void, DurableError> Connection::set_pragma(std::string_view name,
                                                         std::string_view value) {
  auto statement = prepare("PRAGMA " + std::string(name) + "=" + std::string(value));
  if (!statement) return std::unexpected(statement.error());
  return statement->run();
}

}  // namespace corvane_manager_ha_lab::durable
