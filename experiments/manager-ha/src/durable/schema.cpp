#include "durable/schema.h"

#include <cstdio>
#include <cstdlib>

#include "durable/utf8.h"

namespace corvane_manager_ha_lab::durable {

namespace {

// SQLite's automatic indexes are named "sqlite_..." and have no SQL.
constexpr std::string_view SHAPE_QUERY =
    "SELECT type, name, sql FROM sqlite_master\n"
    "WHERE substr(name, 1, 7) <> 'sqlite_' AND sql IS NOT NULL\n"
    "ORDER BY type, name";

[[noreturn]] void abort_with(const char* message) {
  std::fputs(message, stderr);
  std::fputc('\n', stderr);
  std::abort();
}

SchemaShape compute_expected_shape() {
  auto connection = Connection::open_in_memory();
  if (!connection) abort_with("constant manager schema must open an in-memory SQLite database");
  if (!connection->execute_batch(SCHEMA_BATCH)) {
    abort_with("constant manager schema must initialize an in-memory SQLite database");
  }
  auto shape = schema_shape(*connection);
  if (!shape) abort_with("constant manager schema must be inspectable");
  return std::move(*shape);
}

}  // namespace

std::string normalize_schema_sql(std::string_view sql) {
  std::string out;
  for (const std::string_view piece : split_whitespace(sql)) {
    if (!out.empty()) out += ' ';
    out += piece;
  }
  while (!out.empty() && out.back() == ';') out.pop_back();
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::expected<SchemaShape, DurableError> schema_shape(Connection& connection) {
  auto statement = connection.prepare(SHAPE_QUERY);
  if (!statement) return std::unexpected(statement.error());
  SchemaShape shape;
  for (;;) {
    auto row = statement->step();
    if (!row) return std::unexpected(row.error());
    if (!*row) return shape;
    auto type = statement->text(0);
    if (!type) return std::unexpected(type.error());
    auto name = statement->text(1);
    if (!name) return std::unexpected(name.error());
    auto sql = statement->text(2);
    if (!sql) return std::unexpected(sql.error());
    shape.push_back(SchemaObject{std::move(*type), std::move(*name), normalize_schema_sql(*sql)});
  }
}

const SchemaShape& expected_schema_shape() {
  static const SchemaShape EXPECTED_SCHEMA_SHAPE = compute_expected_shape();
  return EXPECTED_SCHEMA_SHAPE;
}

std::expected<void, DurableError> verify_immutable_schema(Connection& connection) {
  auto shape = schema_shape(connection);
  if (!shape) return std::unexpected(shape.error());
  if (*shape != expected_schema_shape()) {
    return std::unexpected(DurableError::corrupt("manager store schema shape mismatch"));
  }
  return {};
}

}  // namespace corvane_manager_ha_lab::durable
