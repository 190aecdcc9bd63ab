#include "durable/connection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "durable/statement.h"
#include "durable/test_support.h"
#include "durable/transaction.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::RawDb;
using testing_support::TempDir;

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = Connection::open(dir_ / "db.sqlite", OpenMode::ReadWriteCreate);
    ASSERT_TRUE(opened.has_value()) << opened.error().text();
    connection_.emplace(std::move(*opened));
    ASSERT_TRUE(
        connection_->execute_batch("CREATE TABLE t (k TEXT PRIMARY KEY, n INTEGER, o TEXT);"));
  }

  std::int64_t count() { return *connection_->query_integer("SELECT count(*) FROM t"); }

  TempDir dir_;
  std::optional<Connection> connection_;
};

TEST_F(ConnectionTest, NumberedParametersBindInOrderAndAbsentOptionalsAsNull) {
  auto changed = connection_->execute("INSERT INTO t VALUES (?1, ?2, ?3)", std::string("a"),
                                      std::int64_t{7}, std::optional<std::string>{});
  ASSERT_TRUE(changed.has_value()) << changed.error().text();
  EXPECT_EQ(*changed, 1);
  // ?2 bound before ?1 in the text: numbering, not position, decides.
  ASSERT_TRUE(connection_->execute("INSERT INTO t (n, k, o) VALUES (?2, ?1, ?3)", "b",
                                   std::int64_t{-3}, std::optional<std::string>{"x"}));

  auto statement = connection_->prepare("SELECT k, n, o FROM t ORDER BY k");
  ASSERT_TRUE(statement.has_value());
  ASSERT_EQ(statement->step(), true);
  EXPECT_EQ(statement->text(0), "a");
  EXPECT_EQ(statement->integer(1), 7);
  EXPECT_EQ(statement->optional_text(2).value(), std::nullopt);
  ASSERT_EQ(statement->step(), true);
  EXPECT_EQ(statement->text(0), "b");
  EXPECT_EQ(statement->optional_integer(1).value(), -3);
  EXPECT_EQ(statement->optional_text(2).value(), "x");
  EXPECT_EQ(statement->step(), false);
}

TEST_F(ConnectionTest, TypedReadsReportAnotherStorageClass) {
  ASSERT_TRUE(connection_->execute("INSERT INTO t VALUES ('k', 5, NULL)"));
  auto statement = connection_->prepare("SELECT k, n, o, x'00' FROM t");
  ASSERT_TRUE(statement.has_value());
  ASSERT_EQ(statement->step(), true);
  EXPECT_EQ(statement->text(1).error(),
            DurableError::storage("invalid column type integer at index 1 (n), expected text"));
  EXPECT_EQ(statement->integer(0).error().text(),
            "storage: invalid column type text at index 0 (k), expected integer");
  EXPECT_EQ(statement->text(2).error().text(),
            "storage: invalid column type null at index 2 (o), expected text");
  EXPECT_FALSE(statement->optional_text(3).has_value());
  EXPECT_FALSE(statement->text(9).has_value());
}

TEST_F(ConnectionTest, SqliteErrorsKeepTheirMessage) {
  EXPECT_EQ(connection_->prepare("SELEKT 1").error(),
            DurableError::storage("near \"SELEKT\": syntax error"));
  EXPECT_EQ(connection_->execute_batch("INSERT INTO nowhere VALUES (1)").error(),
            DurableError::storage("no such table: nowhere"));
  ASSERT_TRUE(connection_->execute("INSERT INTO t VALUES ('k', 1, NULL)"));
  EXPECT_EQ(connection_->execute("INSERT INTO t VALUES ('k', 2, NULL)").error(),
            DurableError::storage("UNIQUE constraint failed: t.k"));
}

TEST_F(ConnectionTest, TransactionRollsBackWhenDroppedUncommitted) {
  {
    auto transaction = Transaction::begin(*connection_, TransactionMode::Immediate);
    ASSERT_TRUE(transaction.has_value());
    EXPECT_FALSE(connection_->autocommit());
    ASSERT_TRUE(connection_->execute("INSERT INTO t VALUES ('gone', 1, NULL)"));
  }
  EXPECT_TRUE(connection_->autocommit());
  EXPECT_EQ(count(), 0);

  {
    auto transaction = Transaction::begin(*connection_, TransactionMode::Deferred);
    ASSERT_TRUE(transaction.has_value());
    ASSERT_TRUE(connection_->execute("INSERT INTO t VALUES ('kept', 1, NULL)"));
    ASSERT_TRUE(transaction->commit());
  }
  EXPECT_EQ(count(), 1);

  // A guard whose transaction SQLite already ended is dropped quietly.
  {
    auto transaction = Transaction::begin(*connection_, TransactionMode::Immediate);
    ASSERT_TRUE(transaction.has_value());
    ASSERT_TRUE(connection_->execute_batch("ROLLBACK"));
  }
  EXPECT_TRUE(connection_->autocommit());
}

TEST_F(ConnectionTest, ImmediateTransactionWaitsForTheWriteLockThenFails) {
  auto other = Connection::open(dir_ / "db.sqlite", OpenMode::ReadWrite);
  ASSERT_TRUE(other.has_value());
  ASSERT_TRUE(other->set_busy_timeout(std::chrono::milliseconds(50)));
  auto held = Transaction::begin(*connection_, TransactionMode::Immediate);
  ASSERT_TRUE(held.has_value());
  auto blocked = Transaction::begin(*other, TransactionMode::Immediate);
  ASSERT_FALSE(blocked.has_value());
  EXPECT_EQ(blocked.error(), DurableError::storage("database is locked"));
}

TEST_F(ConnectionTest, PragmasAndChangedRowCount) {
  ASSERT_TRUE(connection_->execute_batch("INSERT INTO t VALUES ('a', 1, NULL), ('b', 1, NULL)"));
  EXPECT_EQ(connection_->execute("UPDATE t SET n = 2"), 2);
  EXPECT_EQ(connection_->changes(), 2);
  ASSERT_TRUE(connection_->set_pragma("user_version", "7"));
  EXPECT_EQ(connection_->user_version(), 7);
  ASSERT_TRUE(connection_->set_pragma("journal_mode", "WAL"));
  EXPECT_EQ(connection_->pragma_text("journal_mode"), "wal");
}

TEST(ConnectionOpenTest, ModesAndLinks) {
  TempDir dir;
  const auto path = dir / "db.sqlite";
  EXPECT_FALSE(Connection::open(path, OpenMode::ReadWrite).has_value());
  EXPECT_FALSE(std::filesystem::exists(path));
  {
    RawDb raw(path);
    raw.must("CREATE TABLE t (a)");
  }
  auto read_only = Connection::open(path, OpenMode::ReadOnly);
  ASSERT_TRUE(read_only.has_value());
  EXPECT_EQ(read_only->execute_batch("INSERT INTO t VALUES (1)").error(),
            DurableError::storage("attempt to write a readonly database"));

  std::filesystem::create_symlink(path, dir / "link.sqlite");
  for (const OpenMode mode : {OpenMode::ReadWriteCreate, OpenMode::ReadWrite, OpenMode::ReadOnly}) {
    EXPECT_FALSE(Connection::open(dir / "link.sqlite", mode).has_value());
  }
}

TEST(ConnectionOpenTest, InMemoryDatabasesArePrivate) {
  auto a = Connection::open_in_memory();
  auto b = Connection::open_in_memory();
  ASSERT_TRUE(a.has_value() && b.has_value());
  ASSERT_TRUE(a->execute_batch("CREATE TABLE only_here (x)"));
  EXPECT_EQ(a->query_integer("SELECT count(*) FROM sqlite_master"), 1);
  EXPECT_EQ(b->query_integer("SELECT count(*) FROM sqlite_master"), 0);
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
