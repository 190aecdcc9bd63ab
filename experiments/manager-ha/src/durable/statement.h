// One prepared SQLite statement: numbered parameters (?1, ?2, ...) and
// column reads that check the stored type instead of converting silently.
//
// A Statement is made by `Connection::prepare` and finalized when dropped, on
// every path. It belongs to its connection's thread; not for concurrent use.
#ifndef CORVANE_MANAGER_HA_DURABLE_STATEMENT_H
#define CORVANE_MANAGER_HA_DURABLE_STATEMENT_H

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "durable/error.h"

struct sqlite3_stmt;

namespace corvane_manager_ha_lab::durable {

class Statement {
 public:
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  // Binds parameter ?`index` (counted from 1). Texts are copied.
  std::expected<void, DurableError> bind(int index, std::int64_t value);
  std::expected<void, DurableError> bind(int index, std::string_view text);
  std::expected<void, DurableError> bind(int index, const std::string& text);
  std::expected<void, DurableError> bind(int index, const char* text);
  std::expected<void, DurableError> bind(int index, std::nullptr_t);
  // An absent value is bound as SQL NULL.
  std::expected<void, DurableError> bind(int index, const std::optional<std::string>& text);
  std::expected<void, DurableError> bind(int index, std::optional<std::int64_t> value);
  // SQLite integers are signed: unsigned counts go through `narrow` first.
  std::expected<void, DurableError> bind(int index, std::uint64_t) = delete;

  // Binds ?1, ?2, ... to `values` in order.
  template <class... Values>
  std::expected<void, DurableError> bind_all(const Values&... values) {
    std::expected<void, DurableError> result;
    int index = 0;
    static_cast<void>(((result = bind(++index, values)).has_value() && ...));
    return result;
  }

  // Advances to the next row: true when a row is ready, false at the end.
  std::expected<bool, DurableError> step();

  // Steps to the end, ignoring any rows.
  std::expected<void, DurableError> run();

  // Rewinds for another execution; bindings are kept.
  std::expected<void, DurableError> reset();

  // Typed reads of column `column` (counted from 0) of the current row. A
  // value of another storage class, or NULL where a value is required, is
  // Storage naming the column and the type found.
  std::expected<std::string, DurableError> text(int column) const;
  std::expected<std::optional<std::string>, DurableError> optional_text(int column) const;
  std::expected<std::int64_t, DurableError> integer(int column) const;
  std::expected<std::optional<std::int64_t>, DurableError> optional_integer(int column) const;

  int column_count() const;

  sqlite3_stmt* handle() const { return statement_; }

 private:
  friend class Connection;
  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}

  std::expected<void, DurableError> check_bind(int result) const;
  DurableError type_error(int column, std::string_view expected) const;
  std::expected<bool, DurableError> is_null_or_type(int column, int type,
                                                    std::string_view expected) const;

  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace corvane_manager_ha_lab::durable

#endif
