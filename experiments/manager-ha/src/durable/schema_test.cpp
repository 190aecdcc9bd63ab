#include "durable/schema.h"

#include <gtest/gtest.h>

#include <utility>

#include "durable/test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

TEST(NormalizeSchemaSqlTest, IgnoresWhiteSpaceKindCaseAndTrailingSemicolons) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"CREATE TABLE t (a TEXT)", "create table t (a text)"},
      {"  CREATE\t\tTABLE\r\n t\v(a\fTEXT)  ", "create table t (a text)"},
      {"CREATE TABLE t (a);;;", "create table t (a)"},
      {"CREATE TABLE t (a) ;", "create table t (a) "},
      // Semicolons inside a statement stay; only trailing ones go.
      {"BEGIN SELECT 1; END;", "begin select 1; end"},
      {"CREATE TABLE t (\n    a TEXT\n)", "create table t ( a text )"},
      {"SELECT 'a\xC2\xA0\xE3\x80\x80"
       "b'",
       "select 'a b'"},
      // Only ASCII letters are lowered.
      {"SELECT '\xC3\x89T\xC3\x89'", "select '\xC3\x89t\xC3\x89'"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(normalize_schema_sql(c.input), c.expected) << c.input;
}

TEST(ExpectedSchemaShapeTest, HasTheFourTablesThenTheEightTriggersEachByName) {
  const SchemaShape& shape = expected_schema_shape();
  std::vector<std::pair<std::string, std::string>> objects;
  for (const SchemaObject& object : shape) objects.emplace_back(object.type, object.name);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"table", "exchange_audit_events"},
      {"table", "facts"},
      {"table", "identity"},
      {"table", "receipts"},
      {"trigger", "exchange_audit_events_no_delete"},
      {"trigger", "exchange_audit_events_no_update"},
      {"trigger", "facts_no_delete"},
      {"trigger", "facts_no_update"},
      {"trigger", "identity_no_delete"},
      {"trigger", "identity_no_update"},
      {"trigger", "receipts_no_delete"},
      {"trigger", "receipts_no_update"},
  };
  EXPECT_EQ(objects, expected);
  EXPECT_EQ(&shape, &expected_schema_shape());

  // The line breaks of the multi-line statements leave one space inside the
  // parentheses; stores written earlier depend on exactly this text.
  EXPECT_EQ(shape[3].sql,
            "create table receipts ( operation_id text primary key, kind text not null, "
            "source_replica_id text, wire_operation_id text, request_json text not null, "
            "response_json text not null, sha256 text not null )");
  EXPECT_TRUE(
      shape[0].sql.starts_with("create table exchange_audit_events ( audit_event_id "
                               "text primary key, attempt_id text not null,"));
  EXPECT_TRUE(shape[0].sql.ends_with(
      "replayed integer not null check(replayed in (0, 1)), record_json text not null, "
      "sha256 text not null, unique(direction, attempt_id, phase) )"));
  EXPECT_EQ(shape[2].sql,
            "create table identity (singleton integer primary key check(singleton=1), "
            "replica_id text not null, topology_json text not null)");
  EXPECT_EQ(shape[7].sql,
            "create trigger facts_no_update before update on facts begin select raise(abort, "
            "'immutable fact'); end");
  EXPECT_EQ(shape[4].sql,
            "create trigger exchange_audit_events_no_delete before delete on "
            "exchange_audit_events begin select raise(abort, 'immutable exchange audit event'); "
            "end");
}

TEST(VerifyImmutableSchemaTest, AcceptsTheBatchAndNothingElse) {
  auto fresh = Connection::open_in_memory();
  ASSERT_TRUE(fresh.has_value());
  ASSERT_TRUE(fresh->execute_batch(SCHEMA_BATCH));
  EXPECT_TRUE(verify_immutable_schema(*fresh).has_value());
  EXPECT_EQ(fresh->user_version(), 3);

  const DurableError mismatch = DurableError::corrupt("manager store schema shape mismatch");
  auto empty = Connection::open_in_memory();
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(verify_immutable_schema(*empty).error(), mismatch);

  // A view is an object like any other; SQLite's own autoindexes are not.
  ASSERT_TRUE(fresh->execute_batch("CREATE VIEW v AS SELECT 1"));
  EXPECT_EQ(verify_immutable_schema(*fresh).error(), mismatch);
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
