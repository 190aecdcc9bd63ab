#include "durable/statement.h"

#include <sqlite3.h>

#include <utility>

namespace corvane_manager_ha_lab::durable {

namespace {

std::string_view storage_class_name(int type) {
  switch (type) {
    case SQLITE_INTEGER: return "integer";
    case SQLITE_FLOAT: return "real";
    case SQLITE_TEXT: return "text";
    case SQLITE_BLOB: return "blob";
    case SQLITE_NULL: return "null";
    default: return "an unknown storage class";
  }
}

}  // namespace

Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = std::exchange(other.statement_, nullptr);
  }
  return *this;
}

// sqlite3_finalize repeats the last step's error; that error was already
// reported by step(), so the result is not needed here.
Statement::~Statement() { sqlite3_finalize(statement_); }

std::expected<void, DurableError> Statement::check_bind(int result) const {
  if (result != SQLITE_OK) return std::unexpected(sqlite_error(sqlite3_db_handle(statement_)));
  return {};
}

std::expected<void, DurableError> Statement::bind(int index, std::int64_t value) {
  return check_bind(sqlite3_bind_int64(statement_, index, value));
}

std::expected<void, DurableError> Statement::bind(int index, std::string_view text) {
  return check_bind(sqlite3_bind_text64(statement_, index, text.data(), text.size(),
                                        SQLITE_TRANSIENT, SQLITE_UTF8));
}

std::expected<void, DurableError> Statement::bind(int index, const std::string& text) {
  return bind(index, std::string_view(text));
}

std::expected<void, DurableError> Statement::bind(int index, const char* text) {
  return bind(index, std::string_view(text));
}

std::expected<void, DurableError> Statement::bind(int index, std::nullptr_t) {
  return check_bind(sqlite3_bind_null(statement_, index));
}

std::expected<void, DurableError> Statement::bind(int index,
                                                  const std::optional<std::string>& text) {
  if (!text) return bind(index, nullptr);
  return bind(index, std::string_view(*text));
}

std::expected<void, DurableError> Statement::bind(int index, std::optional<std::int64_t> value) {
  if (!value) return bind(index, nullptr);
  return bind(index, *value);
}

std::expected<bool, DurableError> Statement::step() {
  switch (sqlite3_step(statement_)) {
    case SQLITE_ROW: return true;
    case SQLITE_DONE: return false;
    default: return std::unexpected(sqlite_error(sqlite3_db_handle(statement_)));
  }
}

std::expected<void, DurableError> Statement::run() {
  for (;;) {
    auto row = step();
    if (!row) return std::unexpected(row.error());
    if (!*row) return {};
  }
}

std::expected<void, DurableError> Statement::reset() {
  if (sqlite3_reset(statement_) != SQLITE_OK) {
    return std::unexpected(sqlite_error(sqlite3_db_handle(statement_)));
  }
  return {};
}

int Statement::column_count() const { return sqlite3_column_count(statement_); }

DurableError Statement::type_error(int column, std::string_view expected) const {
  const char* name = sqlite3_column_name(statement_, column);
  const int found = sqlite3_column_type(statement_, column);
  return DurableError::storage("invalid column type " + std::string(storage_class_name(found)) +
                               " at index " + std::to_string(column) + " (" +
                               (name != nullptr ? name : "") + "), expected " +
                               std::string(expected));
}

// Whether the column is NULL; an error when it holds neither NULL nor `type`.
std::expected<bool, DurableError> Statement::is_null_or_type(int column, int type,
                                                             std::string_view expected) const {
  if (column < 0 || column >= sqlite3_column_count(statement_)) {
    return std::unexpected(
        DurableError::storage("column index " + std::to_string(column) + " out of range"));
  }
  const int found = sqlite3_column_type(statement_, column);
  if (found == SQLITE_NULL) return true;
  if (found == type) return false;
  return std::unexpected(type_error(column, expected));
}

std::expected<std::optional<std::string>, DurableError> Statement::optional_text(int column) const {
  auto null = is_null_or_type(column, SQLITE_TEXT, "text");
  if (!null) return std::unexpected(null.error());
  if (*null) return std::nullopt;
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  const int size = sqlite3_column_bytes(statement_, column);
  if (bytes == nullptr) return std::unexpected(sqlite_error(sqlite3_db_handle(statement_)));
  return std::string(bytes, static_cast<std::size_t>(size));
}

std::expected<std::string, DurableError> Statement::text(int column) const {
  auto value = optional_text(column);
  if (!value) return std::unexpected(value.error());
  if (!*value) return std::unexpected(type_error(column, "text"));
  return std::move(**value);
}

std::expected<std::optional<std::int64_t>, DurableError> Statement::optional_integer(
    int column) const {
  auto null = is_null_or_type(column, SQLITE_INTEGER, "integer");
  if (!null) return std::unexpected(null.error());
  if (*null) return std::nullopt;
  return sqlite3_column_int64(statement_, column);
}

std::expected<std::int64_t, DurableError> Statement::integer(int column) const {
  auto value = optional_integer(column);
  if (!value) return std::unexpected(value.error());
  if (!*value) return std::unexpected(type_error(column, "integer"));
  return **value;
}

}  // namespace corvane_manager_ha_lab::durable
