#include "durable/store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "durable/canonical_json.h"
#include "durable/preflight.h"
#include "durable/read_only_snapshot.h"
#include "durable/schema.h"
#include "durable/test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::PrivateTmpdir;
using testing_support::RawDb;
using testing_support::read_file;
using testing_support::sample_configuration;
using testing_support::TempDir;
using testing_support::write_file;

const DurableError SHAPE_MISMATCH = DurableError::corrupt("manager store schema shape mismatch");

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string topology_json(const Configuration& configuration) {
  return json::to_json(*configuration.topology());
}

class StoreTest : public ::testing::Test {
 protected:
  // Whatever the test did, its preflights left no snapshot directory.
  void TearDown() override { EXPECT_TRUE(tmpdir_.snapshot_directories().empty()); }

  std::expected<Store, DurableError> open(const std::filesystem::path& path,
                                          const std::string& replica_id = "r1",
                                          Configuration configuration = sample_configuration()) {
    return Store::open(path, std::move(configuration), replica_id);
  }

  void create(const std::filesystem::path& path) {
    auto store = open(path);
    ASSERT_TRUE(store.has_value()) << store.error().text();
  }

  // Marks the file as already opened by this process, so that the next open
  // skips the read-only preflight and meets the file inside its transaction.
  static void skip_preflight(const std::filesystem::path& path, const std::string& replica_id,
                             const Configuration& configuration) {
    struct stat status {};
    ASSERT_EQ(::lstat(path.c_str(), &status), 0);
    ASSERT_TRUE(preflighted_stores().insert(
        preflight_key(status, replica_id, topology_json(configuration))));
  }

  // Builds a store from `batch` behind the store's back: schema, identity row
  // for r1 of the sample topology, then `extra`.
  void build_store(const std::filesystem::path& path, const std::string& batch,
                   const std::string& extra = "") {
    RawDb raw(path);
    raw.must(batch);
    raw.must("INSERT INTO identity VALUES (1, 'r1', " +
             std::string(quote_sql(topology_json(sample_configuration()))) + ")");
    if (!extra.empty()) raw.must(extra);
  }

  static std::string quote_sql(const std::string& text) {
    return "'" + replace_all(text, "'", "''") + "'";
  }

  PrivateTmpdir tmpdir_;
  TempDir dir_;
  std::filesystem::path path_ = dir_ / "store.sqlite";
};

TEST_F(StoreTest, OpeningAnAbsentPathCreatesTheStore) {
  const std::uint64_t captures = NEXT_INSPECTION_SNAPSHOT.load();
  {
    auto store = open(path_);
    ASSERT_TRUE(store.has_value()) << store.error().text();
    EXPECT_EQ(store->replica_id(), "r1");
    EXPECT_EQ(store->configuration(), sample_configuration());
    EXPECT_EQ(store->topology(), *sample_configuration().topology());
    EXPECT_TRUE(store->connection().autocommit());
    auto shape = schema_shape(store->connection());
    ASSERT_TRUE(shape.has_value());
    EXPECT_EQ(shape->size(), 12u);
    EXPECT_EQ(*shape, expected_schema_shape());
  }
  // A new file needs no preflight.
  EXPECT_EQ(NEXT_INSPECTION_SNAPSHOT.load(), captures);

  RawDb raw(path_);
  EXPECT_EQ(raw.value("PRAGMA user_version"), "3");
  EXPECT_EQ(raw.rows("SELECT singleton, replica_id, topology_json FROM identity"),
            std::vector<std::string>{"1|r1|" + topology_json(sample_configuration())});
  EXPECT_EQ(raw.value("PRAGMA journal_mode"), "wal");
}

TEST_F(StoreTest, AZeroLengthFileIsInitializedLikeAnAbsentOne) {
  write_file(path_, "");
  {
    auto store = open(path_);
    ASSERT_TRUE(store.has_value()) << store.error().text();
    EXPECT_TRUE(verify_immutable_schema(store->connection()).has_value());
  }
  RawDb raw(path_);
  EXPECT_EQ(raw.value("PRAGMA user_version"), "3");
  EXPECT_EQ(raw.value("SELECT count(*) FROM identity"), "1");
}

TEST_F(StoreTest, ReopeningSkipsThePreflightUntilTheFileChanges) {
  create(path_);
  std::uint64_t before = NEXT_INSPECTION_SNAPSHOT.load();
  const auto captures_since = [&before] {
    const std::uint64_t now = NEXT_INSPECTION_SNAPSHOT.load();
    return now - std::exchange(before, now);
  };
  create(path_);
  EXPECT_EQ(captures_since(), 0u);

  // Touching the file from outside changes its times: the key no longer matches.
  const struct timespec times[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  create(path_);
  EXPECT_GE(captures_since(), 1u);
  create(path_);
  EXPECT_EQ(captures_since(), 0u);

  // The key is per identity: another replica runs its own preflight (and is refused).
  EXPECT_EQ(open(path_, "r2").error(), DurableError::refused(RefusalReason::IdentityMismatch));
  EXPECT_GE(captures_since(), 1u);
}

// Each hostile store is opened twice: once through the read-only preflight,
// and once with the preflight skipped so that the checks inside the open
// transaction meet it. Either way the same refusal, and not one byte of the
// file changes.
TEST_F(StoreTest, RefusesStoresOfOthersOrOfAnotherShapeWithoutWritingThem) {
  Configuration other_topology = sample_configuration();
  other_topology.grants[1].owner_replica_id = "r1";
  const std::string batch(SCHEMA_BATCH);
  const struct {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    std::string replica_id;
    Configuration configuration;
    DurableError error;
  } cases[] = {
      {"another replica", [&](auto& p) { create(p); }, "r2", sample_configuration(),
       DurableError::refused(RefusalReason::IdentityMismatch)},
      {"another topology", [&](auto& p) { create(p); }, "r1", other_topology,
       DurableError::refused(RefusalReason::IdentityMismatch)},
      {"unrelated table", [](auto& p) { RawDb(p).must("CREATE TABLE notes (body TEXT)"); }, "r1",
       sample_configuration(), DurableError::refused(RefusalReason::UnrecognizedStore)},
      {"user_version 7", [](auto& p) { RawDb(p).must("PRAGMA user_version=7"); }, "r1",
       sample_configuration(), DurableError::refused(RefusalReason::UnsupportedSchema)},
      {"extra index",
       [&](auto& p) {
         create(p);
         RawDb(p).must("CREATE INDEX facts_by_digest ON facts (sha256)");
       },
       "r1", sample_configuration(), SHAPE_MISMATCH},
      {"dropped trigger",
       [&](auto& p) {
         create(p);
         RawDb(p).must("DROP TRIGGER receipts_no_delete");
       },
       "r1", sample_configuration(), SHAPE_MISMATCH},
      {"receipts table without its line breaks",
       [&](auto& p) {
         build_store(p, replace_all(replace_all(batch, "receipts (\n    ", "receipts ("),
                                    "sha256 TEXT NOT NULL\n);\nCREATE TABLE exchange",
                                    "sha256 TEXT NOT NULL);\nCREATE TABLE exchange"));
       },
       "r1", sample_configuration(), SHAPE_MISMATCH},
      {"renamed trigger message",
       [&](auto& p) { build_store(p, replace_all(batch, "'immutable receipt'", "'receipt'")); },
       "r1", sample_configuration(), SHAPE_MISMATCH},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool preflighted : {true, false}) {
      SCOPED_TRACE(preflighted ? "through the preflight" : "inside the transaction");
      const auto path = dir_ / ("hostile-" + std::to_string(index++) + ".sqlite");
      c.make(path);
      ASSERT_FALSE(std::filesystem::exists(path.string() + "-wal"));
      if (!preflighted) skip_preflight(path, c.replica_id, c.configuration);
      const std::string before = read_file(path);

      auto store = open(path, c.replica_id, c.configuration);
      ASSERT_FALSE(store.has_value());
      EXPECT_EQ(store.error(), c.error);
      EXPECT_EQ(read_file(path), before);
      if (preflighted) {
        EXPECT_FALSE(std::filesystem::exists(path.string() + "-wal"));
      }
    }
  }
}

TEST_F(StoreTest, AcceptsStatementsRetypedWithOtherWhiteSpaceCaseOrSemicolons) {
  const std::string batch(SCHEMA_BATCH);
  std::string mixed_case = batch;
  for (const auto& [from, to] :
       std::vector<std::pair<std::string, std::string>>{{"TABLE", "table"},
                                                        {"TEXT", "Text"},
                                                        {"PRIMARY KEY", "primary key"},
                                                        {"NOT NULL", "not Null"},
                                                        {"INTEGER", "integer"},
                                                        {"CHECK", "check"},
                                                        {"TRIGGER", "Trigger"},
                                                        {"BEFORE", "before"},
                                                        {"SELECT", "select"},
                                                        {"RAISE(ABORT", "raise(abort"},
                                                        {"UNIQUE", "unique"},
                                                        {" END;", " end;"}}) {
    mixed_case = replace_all(mixed_case, from, to);
  }
  const struct {
    const char* name;
    std::string batch;
    std::string afterwards;
  } cases[] = {
      {"tabs and doubled spaces",
       replace_all(replace_all(batch, "\n    ", "\n\t\t"), " NOT NULL", "  NOT\tNULL"), ""},
      {"carriage returns and runs of line breaks", replace_all(batch, ",\n", ",\r\n\n "), ""},
      {"letter case", mixed_case, ""},
      {"trailing semicolons", batch,
       "PRAGMA writable_schema=ON;"
       "UPDATE sqlite_master SET sql = sql || ';;' WHERE name IN ('facts', 'facts_no_update');"},
  };
  const std::string stored_sql = "SELECT group_concat(sql, '|') FROM sqlite_master";
  create(path_);
  const std::string canonical = RawDb(path_).value(stored_sql);
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir_ / ("variant-" + std::to_string(index++) + ".sqlite");
    build_store(path, c.batch, c.afterwards);
    ASSERT_NE(RawDb(path).value(stored_sql), canonical);
    auto store = open(path);
    ASSERT_TRUE(store.has_value()) << store.error().text();
  }
}

TEST_F(StoreTest, RefusesASymbolicLinkOrSpecialFileAtThePath) {
  create(path_);
  const std::string before = read_file(path_);
  std::filesystem::create_symlink(path_, dir_ / "link.sqlite");
  std::filesystem::create_symlink(dir_ / "absent.sqlite", dir_ / "dangling.sqlite");
  ASSERT_EQ(::mkfifo((dir_ / "fifo.sqlite").c_str(), 0600), 0);
  for (const char* name : {"link.sqlite", "dangling.sqlite", "fifo.sqlite"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(open(dir_ / name).error(), DurableError::refused(RefusalReason::UnsafeStore));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "absent.sqlite"));
  EXPECT_EQ(read_file(path_), before);
}

TEST_F(StoreTest, RefusesAnInvalidLocalConfigurationBeforeTouchingThePath) {
  const struct {
    const char* name;
    std::string replica_id;
    Configuration configuration;
    std::string text;
  } cases[] = {
      {"undeclared replica", "r9", sample_configuration(),
       "storage: invalid local configuration: unknown replica"},
      {"no replicas", "r1", Configuration{.logical_manager_id = "lm", .replicas = {}, .grants = {}},
       "storage: invalid local configuration: logical manager identity and replicas are "
       "required"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(open(path_, c.replica_id, c.configuration).error().text(), c.text);
    EXPECT_FALSE(std::filesystem::exists(path_));
  }
}

TEST_F(StoreTest, EveryUpdateOrDeleteIsRefusedBySqlite) {
  auto store = open(path_);
  ASSERT_TRUE(store.has_value()) << store.error().text();
  Connection& connection = store->connection();
  ASSERT_TRUE(connection.execute_batch(
      "INSERT INTO facts VALUES ('r1:00000000000000000001', '{}', 'x');"
      "INSERT INTO receipts VALUES ('op-1', 'observe', NULL, NULL, '{}', '{}', 'x');"
      "INSERT INTO exchange_audit_events (audit_event_id, attempt_id, wire_nonce, direction, "
      "phase, request_frame_bytes, reply_frame_bytes, outcome, replayed, record_json, sha256) "
      "VALUES ('audit-1', 'attempt:1', 'n', 'inbound', 'inbound_request_observed', 0, 0, "
      "'malformed', 0, '{}', 'x');"));
  const struct {
    std::string sql;
    std::string message;
  } cases[] = {
      {"UPDATE facts SET sha256 = 'y'", "immutable fact"},
      {"DELETE FROM facts", "immutable fact"},
      {"UPDATE identity SET replica_id = 'r2'", "immutable identity"},
      {"DELETE FROM identity", "immutable identity"},
      {"UPDATE receipts SET kind = 'import'", "immutable receipt"},
      {"DELETE FROM receipts", "immutable receipt"},
      {"UPDATE exchange_audit_events SET replayed = 1", "immutable exchange audit event"},
      {"DELETE FROM exchange_audit_events", "immutable exchange audit event"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(connection.execute(c.sql).error(), DurableError::storage(c.message)) << c.sql;
  }
  for (const char* table : {"facts", "identity", "receipts", "exchange_audit_events"}) {
    EXPECT_EQ(connection.query_integer("SELECT count(*) FROM " + std::string(table)), 1) << table;
  }
  EXPECT_EQ(connection.query_integer("SELECT count(*) FROM identity WHERE replica_id = 'r1'"), 1);
}

TEST_F(StoreTest, MovesKeepTheConnectionAndDroppingClosesIt) {
  auto opened = open(path_);
  ASSERT_TRUE(opened.has_value());
  Store store = std::move(*opened);
  EXPECT_EQ(store.connection().user_version(), 3);
  // The write-ahead log exists while a connection is open and is removed by
  // the last connection to close.
  EXPECT_TRUE(std::filesystem::exists(path_.string() + "-wal"));
  { const Store dropped = std::move(store); }
  EXPECT_FALSE(std::filesystem::exists(path_.string() + "-wal"));
}

TEST_F(StoreTest, AMissingDirectoryIsAStorageError) {
  auto store = open(dir_ / "absent" / "store.sqlite");
  ASSERT_FALSE(store.has_value());
  EXPECT_EQ(store.error(), DurableError::storage("unable to open database file"));
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
