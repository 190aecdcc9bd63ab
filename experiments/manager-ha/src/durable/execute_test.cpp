// Store requests end to end: each request in its own transaction, receipts
// and replays, identifier rules, imports between stores, and writers that
// meet in SQLite's write lock, in one process and in two.
#include "durable/execute.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "durable/import.h"
#include "durable/request_test_support.h"
#include "durable/transaction.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::export_of;
using testing_support::import;
using testing_support::observe;
using testing_support::open_store;
using testing_support::RawDb;
using testing_support::row_count;
using testing_support::TempDir;
using testing_support::vector_text;

const DurableError INVALID = DurableError::refused(RefusalReason::InvalidRequest);
const DurableError POLICY = DurableError::refused(RefusalReason::PolicyViolation);
const DurableError REUSED = DurableError::refused(RefusalReason::OperationIdReused);

const Fact& observed_fact(const Executed& executed) {
  return std::get<Response::Observed>(executed.response.value).fact;
}

const Response::Imported& imported(const Response& response) {
  return std::get<Response::Imported>(response.value);
}

// A store of replica r1 of the vectors' group.
class ExecuteTest : public ::testing::Test {
 protected:
  std::filesystem::path path(const std::string& name) const { return dir_ / (name + ".sqlite"); }
  std::int64_t facts() const { return row_count(path("r1"), "facts"); }
  std::int64_t receipts() const { return row_count(path("r1"), "receipts"); }

  TempDir dir_;
  Store r1_ = open_store(path("r1"), "r1");
};

TEST_F(ExecuteTest, ObserveStoresTheVectorFactAndReceipt) {
  auto executed = r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok"));
  ASSERT_TRUE(executed.has_value()) << executed.error().text();
  EXPECT_EQ(json::to_json(*executed), vector_text("observe_receipt", "executed_json"));

  RawDb db(path("r1"));
  EXPECT_EQ(db.rows("SELECT event_id, fact_json, sha256 FROM facts"),
            std::vector<std::string>{
                "r1:00000000000000000001|" + testing_support::vector_fact_json(0) + "|" +
                "bdadddae54ba98830aa57dd3b2b40bc0a32756e71ac79a453591812987a815ff"});
  EXPECT_EQ(
      db.rows("SELECT operation_id, kind, source_replica_id, wire_operation_id, request_json, "
              "response_json, sha256 FROM receipts"),
      std::vector<std::string>{"op-1|observe|NULL|NULL|" +
                               vector_text("observe_receipt", "request_json") + "|" +
                               vector_text("observe_receipt", "response_json") + "|" +
                               vector_text("observe_receipt", "receipt_sha256")});
}

TEST_F(ExecuteTest, IdenticalRepeatReplaysTheStoredResponseAndWritesNothing) {
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok")));
  auto again = r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok"));
  ASSERT_TRUE(again.has_value()) << again.error().text();
  EXPECT_EQ(json::to_json(*again), vector_text("observe_receipt", "executed_replayed_json"));
  EXPECT_EQ(facts(), 1);
  EXPECT_EQ(receipts(), 1);
}

TEST_F(ExecuteTest, OtherContentUnderAUsedIdentifierIsRefusedAndAddsNothing) {
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok")));
  const Request others[] = {
      observe("op-1", "ops-x", "disk", "full"),
      observe("op-1", "ops-x", "disk", "ok", "gpu"),
      // An Import never matches an Observe receipt, whatever its content.
      import("op-1", export_of(r1_)),
  };
  for (const Request& other : others) {
    EXPECT_EQ(r1_.execute_with_receipt(other).error(), REUSED) << json::to_json(other);
  }
  EXPECT_EQ(facts(), 1);
  EXPECT_EQ(receipts(), 1);
}

TEST_F(ExecuteTest, ReplayAfterLaterObservationsReturnsTheFirstFact) {
  auto first = r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok"));
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-2", "ops-x", "disk", "full")));
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-3", "ops-x", "disk", "ok")));

  auto replay = r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok"));
  ASSERT_TRUE(replay.has_value()) << replay.error().text();
  EXPECT_TRUE(replay->replayed);
  EXPECT_EQ(observed_fact(*replay), observed_fact(*first));
  EXPECT_EQ(observed_fact(*replay).subject_revision, 1U);
  EXPECT_EQ(observed_fact(*replay).predecessor, std::nullopt);
  EXPECT_EQ(replay->receipt, first->receipt);
  EXPECT_EQ(facts(), 3);
}

TEST_F(ExecuteTest, PolicyViolationStoresNeitherFactNorReceipt) {
  // "ops/db" belongs to r2.
  EXPECT_EQ(r1_.execute_with_receipt(observe("op-1", "ops/db", "disk", "ok")).error(), POLICY);
  EXPECT_EQ(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "")).error(), POLICY);
  EXPECT_EQ(facts(), 0);
  EXPECT_EQ(receipts(), 0);
  // Nothing was kept under the identifier, so it still serves a good request.
  auto later = r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok"));
  ASSERT_TRUE(later.has_value()) << later.error().text();
  EXPECT_FALSE(later->replayed);
}

TEST_F(ExecuteTest, SuccessiveObservationsChainTheSubject) {
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok")));
  auto second = r1_.execute_with_receipt(observe("op-2", "ops-x", "disk", "full \"90%\"\n"));
  ASSERT_TRUE(second.has_value());
  // The history was reloaded from the rows: the vectors' second fact.
  EXPECT_EQ(json::to_json(observed_fact(*second)), testing_support::vector_fact_json(1));
}

TEST_F(ExecuteTest, ExportInspectAndCheckServiceNeverWriteAReceipt) {
  auto inspection = r1_.execute(Request{Request::Inspect{}});
  ASSERT_TRUE(inspection.has_value()) << inspection.error().text();
  EXPECT_EQ(json::to_json(*inspection),
            R"({"result":"inspection","history_len":0,"current":[],"conflicts":[],)"
            R"("blocked_exclusive_resources":[]})");

  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok")));
  for (int i = 0; i < 2; ++i) {
    for (const Request& request :
         {Request{Request::Export{}}, Request{Request::Inspect{}},
          Request{Request::CheckService{.snapshots = {}, .exclusive_service = "svc"}}}) {
      auto executed = r1_.execute_with_receipt(request);
      if (std::holds_alternative<Request::CheckService>(request.value)) {
        // Too few participants: refused, but still nothing written.
        EXPECT_EQ(executed.error(), POLICY);
        continue;
      }
      ASSERT_TRUE(executed.has_value()) << executed.error().text();
      EXPECT_EQ(executed->receipt, std::nullopt);
      EXPECT_FALSE(executed->replayed);
    }
  }
  EXPECT_EQ(facts(), 1);
  EXPECT_EQ(receipts(), 1);
}

TEST_F(ExecuteTest, ExportKeepsTheConfigurationAsConfigured) {
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok")));
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-2", "ops-x", "disk", "full \"90%\"\n")));
  const Snapshot snapshot = export_of(r1_);
  // The import vector's snapshot is r1's export of these two facts.
  EXPECT_EQ(json::to_json(snapshot), vector_text("import_receipt", "snapshot_json"));
}

// Operation identifiers, checked before anything else in the request.
TEST_F(ExecuteTest, OperationIdentifierRules) {
  const std::string longest(128, 'a');
  const struct {
    const char* name;
    std::string operation_id;
    bool as_import;
    ReceiptKind kind;
    bool accepted;
  } cases[] = {
      {"slash in an observe", "a/b", false, ReceiptKind::Observe, false},
      {"slash in an import", "a/b", true, ReceiptKind::LaboratoryImport, true},
      {"128 bytes", longest, false, ReceiptKind::Observe, true},
      {"129 bytes", longest + "a", false, ReceiptKind::Observe, false},
      {"129 bytes in an import", longest + "a", true, ReceiptKind::LaboratoryImport, false},
      {"empty", "", false, ReceiptKind::Observe, false},
      {"space", "a b", false, ReceiptKind::Observe, false},
      {"network prefix on an observe", "network:abc", false, ReceiptKind::Observe, false},
      {"network prefix on a laboratory import", "network:abc", true, ReceiptKind::LaboratoryImport,
       false},
      {"network prefix on an authenticated import", "network:abc", true,
       ReceiptKind::AuthenticatedImport, true},
      {"authenticated import without the prefix", "abc", true, ReceiptKind::AuthenticatedImport,
       false},
      {"prefix in another case", "Network:abc", true, ReceiptKind::AuthenticatedImport, false},
  };
  const Snapshot own = export_of(r1_);
  for (const auto& c : cases) {
    const Request request =
        c.as_import ? import(c.operation_id, own) : observe(c.operation_id, "ops-x", "disk", "ok");
    ReceiptMetadata context{
        .source_replica_id = std::nullopt, .wire_operation_id = std::nullopt, .kind = c.kind};
    if (c.as_import) context.source_replica_id = "r1";
    if (c.kind == ReceiptKind::AuthenticatedImport) context.wire_operation_id = "w-1";

    auto transaction = Transaction::begin(r1_.connection(), TransactionMode::Immediate);
    ASSERT_TRUE(transaction.has_value());
    auto executed = execute_transaction(r1_.connection(), r1_.configuration(), r1_.topology(),
                                        r1_.replica_id(), request, context);
    if (c.accepted) {
      EXPECT_TRUE(executed.has_value()) << c.name << ": " << executed.error().text();
    } else {
      EXPECT_EQ(executed.error(), INVALID) << c.name;
    }
  }
  EXPECT_EQ(facts(), 0);
}

TEST_F(ExecuteTest, InvalidIdentifierNeverConsultsTheReceipts) {
  Connection& connection = r1_.connection();
  auto transaction = Transaction::begin(connection, TransactionMode::Immediate);
  ASSERT_TRUE(transaction.has_value());
  // Inside the transaction (rolled back below): without a receipts table,
  // any look-up fails with SQLite's own error.
  ASSERT_TRUE(connection.execute_batch(
      "DROP TRIGGER receipts_no_update; DROP TRIGGER receipts_no_delete; DROP TABLE receipts;"));
  auto run = [&](const std::string& operation_id) {
    return execute_transaction(connection, r1_.configuration(), r1_.topology(), r1_.replica_id(),
                               observe(operation_id, "ops-x", "disk", "ok"), ReceiptMetadata{});
  };
  EXPECT_EQ(run("op-1").error(), DurableError::storage("no such table: receipts"));
  EXPECT_EQ(run("op/1").error(), INVALID);
  EXPECT_EQ(run(std::string(129, 'a')).error(), INVALID);
  EXPECT_EQ(run("network:op-1").error(), INVALID);
}

TEST_F(ExecuteTest, AFailedRequestRollsBackAndLeavesNoTransactionOpen) {
  ASSERT_TRUE(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok")));
  EXPECT_EQ(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ko")).error(), REUSED);
  EXPECT_TRUE(r1_.connection().autocommit());
  // Another connection can take the write lock at once.
  Store other = open_store(path("r1"), "r1");
  EXPECT_TRUE(other.execute_with_receipt(observe("op-2", "ops-x", "disk", "ok")).has_value());
}

// r1 and r2 of the vectors' group, each with history of its own.
class ImportTest : public ExecuteTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(r1_.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok")));
    ASSERT_TRUE(r1_.execute_with_receipt(observe("op-2", "ops-x", "disk", "full")));
    ASSERT_TRUE(r2_.execute_with_receipt(observe("op-1", "ops/db", "load", "low")));
  }
  std::int64_t r2_facts() const { return row_count(path("r2"), "facts"); }
  std::int64_t r2_receipts() const { return row_count(path("r2"), "receipts"); }

  Store r2_ = open_store(path("r2"), "r2");
};

TEST_F(ImportTest, ImportInsertsWhatTheImporterLacksAndReplaysTheFirstCounts) {
  const Snapshot from_r1 = export_of(r1_);
  auto first = r2_.execute_with_receipt(import("imp-1", from_r1));
  ASSERT_TRUE(first.has_value()) << first.error().text();
  EXPECT_EQ(imported(first->response), (Response::Imported{.inserted = 2, .history_len = 3}));
  EXPECT_EQ(first->receipt->kind, ReceiptKind::LaboratoryImport);
  EXPECT_EQ(first->receipt->source_replica_id, "r1");
  EXPECT_EQ(first->receipt->wire_operation_id, std::nullopt);
  EXPECT_EQ(r2_facts(), 3);

  auto again = r2_.execute(import("imp-2", from_r1));
  ASSERT_TRUE(again.has_value()) << again.error().text();
  EXPECT_EQ(imported(*again), (Response::Imported{.inserted = 0, .history_len = 3}));

  auto replay = r2_.execute_with_receipt(import("imp-1", from_r1));
  ASSERT_TRUE(replay.has_value()) << replay.error().text();
  EXPECT_TRUE(replay->replayed);
  EXPECT_EQ(imported(replay->response), (Response::Imported{.inserted = 2, .history_len = 3}));
  EXPECT_EQ(replay->receipt, first->receipt);
  EXPECT_EQ(r2_facts(), 3);
  EXPECT_EQ(r2_receipts(), 3);

  // The importer's export now carries r1's facts byte for byte.
  const Snapshot from_r2 = export_of(r2_);
  for (const Fact& fact : from_r1.facts) {
    EXPECT_NE(std::ranges::find(from_r2.facts, fact), from_r2.facts.end()) << fact.event_id;
  }
}

TEST_F(ImportTest, ImportingTheOwnExportInsertsNothingButKeepsAReceipt) {
  auto executed = r1_.execute(import("self", export_of(r1_)));
  ASSERT_TRUE(executed.has_value()) << executed.error().text();
  EXPECT_EQ(imported(*executed), (Response::Imported{.inserted = 0, .history_len = 2}));
  EXPECT_EQ(facts(), 2);
  EXPECT_EQ(receipts(), 3);
}

TEST_F(ImportTest, ConfigurationOrderDoesNotMatterButItsContentDoes) {
  Snapshot reordered = export_of(r1_);
  std::ranges::reverse(reordered.configuration.replicas);
  std::ranges::reverse(reordered.configuration.grants);
  auto accepted = r2_.execute(import("imp-1", reordered));
  ASSERT_TRUE(accepted.has_value()) << accepted.error().text();
  EXPECT_EQ(imported(*accepted).inserted, 2U);

  Snapshot extra_grant = export_of(r1_);
  extra_grant.configuration.grants.push_back({"beta", "r3"});
  EXPECT_EQ(r2_.execute(import("imp-2", extra_grant)).error(), POLICY);
  EXPECT_EQ(r2_receipts(), 2);
}

// Mutations of r1's export that must refuse the whole snapshot.
TEST_F(ImportTest, ARefusedSnapshotImportsNothing) {
  const Snapshot good = export_of(r1_);
  auto fact_of = [&](std::size_t index) { return good.facts.at(index); };
  Fact out_of_scope = fact_of(1);
  out_of_scope.event_id = "r1:00000000000000000003";
  out_of_scope.producer_sequence = 3;
  out_of_scope.scope = "ops/db";
  out_of_scope.subject_revision = 1;
  out_of_scope.predecessor = std::nullopt;
  Fact twin = fact_of(0);
  twin.value = "other";

  const struct {
    const char* name;
    Snapshot snapshot;
  } cases[] = {
      {"a fact in a scope its origin does not own",
       Snapshot{good.configuration, "r1", {fact_of(0), fact_of(1), out_of_scope}}},
      {"two facts sharing an event identity with different values",
       Snapshot{good.configuration, "r1", {fact_of(0), twin, fact_of(1)}}},
      {"an undeclared exporter", Snapshot{good.configuration, "r9", good.facts}},
      {"another logical manager",
       Snapshot{Configuration{"lm-2", good.configuration.replicas, good.configuration.grants}, "r1",
                good.facts}},
      {"an invalid configuration", Snapshot{Configuration{"lm", {}, {}}, "r1", good.facts}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(r2_.execute(import("imp-1", c.snapshot)).error(), POLICY) << c.name;
  }
  EXPECT_EQ(r2_facts(), 1);
  EXPECT_EQ(r2_receipts(), 1);
}

TEST_F(ImportTest, AKnownIdentityWithOtherBytesRefusesTheImport) {
  ASSERT_TRUE(r2_.execute(import("imp-1", export_of(r1_))));
  Snapshot altered = export_of(r1_);
  altered.facts.at(1).value = "altered";
  EXPECT_EQ(r2_.execute(import("imp-2", altered)).error(), POLICY);
  EXPECT_EQ(r2_facts(), 3);
}

TEST_F(ExecuteTest, AuthenticatedImportCoreMatchesTheImportVector) {
  Store r2 = open_store(path("r2"), "r2");
  auto snapshot = json::from_json<Snapshot>(vector_text("import_receipt", "snapshot_json"));
  ASSERT_TRUE(snapshot.has_value()) << snapshot.error().text();
  auto core = authenticated_import(r2.topology(), "wire-9", *snapshot);
  ASSERT_TRUE(core.has_value()) << core.error().text();
  EXPECT_EQ(json::to_json(core->request), vector_text("import_receipt", "request_json"));

  auto run = [&]() -> std::expected<Executed, DurableError> {
    auto transaction = Transaction::begin(r2.connection(), TransactionMode::Immediate);
    if (!transaction) return std::unexpected(transaction.error());
    auto executed = execute_transaction(r2.connection(), r2.configuration(), r2.topology(),
                                        r2.replica_id(), core->request, core->context);
    if (!executed) return executed;
    if (auto committed = transaction->commit(); !committed) {
      return std::unexpected(committed.error());
    }
    return executed;
  };
  auto executed = run();
  ASSERT_TRUE(executed.has_value()) << executed.error().text();
  EXPECT_EQ(json::to_json(executed->response), vector_text("import_receipt", "response_json"));
  const json::Value all = testing_support::vectors();
  const json::Value& receipt = testing_support::vector_member(
      testing_support::vector_member(all, "import_receipt"), "receipt");
  auto expected = json::read<ReceiptEvidence>(receipt);
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(executed->receipt, *expected);

  // The stored receipt passes verification, and the same exchange replays.
  auto inspected = r2.execute(Request{Request::Inspect{}});
  ASSERT_TRUE(inspected.has_value()) << inspected.error().text();
  auto replay = run();
  ASSERT_TRUE(replay.has_value()) << replay.error().text();
  EXPECT_TRUE(replay->replayed);
  EXPECT_EQ(replay->response, executed->response);
  // "network:" identifiers are reserved for authenticated imports.
  EXPECT_EQ(r2.execute(core->request).error(), INVALID);
}

TEST(AuthenticatedImport, RefusesSendersAndWireOperationsThatAreNotTokens) {
  auto topology = testing_support::vectors_configuration().topology();
  ASSERT_TRUE(topology.has_value());
  Snapshot snapshot{testing_support::vectors_configuration(), "r1", {}};
  EXPECT_EQ(authenticated_import(*topology, "wire/9", snapshot).error(), INVALID);
  snapshot.replica_id = "";
  EXPECT_EQ(authenticated_import(*topology, "wire-9", snapshot).error(), INVALID);
}

TEST_F(ExecuteTest, TwoStoresOnOneFileInOneProcessShareOneHistory) {
  Store other = open_store(path("r1"), "r1");
  for (int i = 0; i < 10; ++i) {
    Store& store = i % 2 == 0 ? r1_ : other;
    auto executed = store.execute_with_receipt(
        observe("op-" + std::to_string(i), "ops-x", "disk", "v" + std::to_string(i)));
    ASSERT_TRUE(executed.has_value()) << executed.error().text();
    // Each store reloads what the other wrote: one chain, one sequence.
    EXPECT_EQ(observed_fact(*executed).producer_sequence, static_cast<std::uint64_t>(i + 1));
    EXPECT_EQ(observed_fact(*executed).subject_revision, static_cast<std::uint64_t>(i + 1));
  }
  EXPECT_EQ(facts(), 10);
}

// Child processes that wait until the parent releases them all at once.
class ForkedWriters {
 public:
  ForkedWriters() {
    if (::pipe(gate_) != 0) std::abort();
  }
  ~ForkedWriters() { release(); }

  // Runs `work` in a child once released; its result is the exit status.
  template <class Work>
  void spawn(Work work) {
    const pid_t pid = ::fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
      ::close(gate_[1]);
      char byte;
      static_cast<void>(::read(gate_[0], &byte, 1));
      ::_exit(work());
    }
    children_.push_back(pid);
  }

  void release() {
    if (gate_[1] >= 0) ::close(gate_[1]);
    if (gate_[0] >= 0) ::close(gate_[0]);
    gate_[0] = gate_[1] = -1;
  }

  // Exit statuses in spawn order (-1 for a child that did not exit).
  std::vector<int> wait_all() {
    release();
    std::vector<int> statuses;
    for (const pid_t pid : children_) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    children_.clear();
    return statuses;
  }

 private:
  int gate_[2] = {-1, -1};
  std::vector<pid_t> children_;
};

// A store file that no connection of this process holds open, so that
// forked children start with no SQLite state inherited from the parent.
class ConcurrentWritersTest : public ::testing::Test {
 protected:
  void SetUp() override { static_cast<void>(open_store(file_, "r1")); }

  TempDir dir_;
  const std::filesystem::path file_ = dir_ / "r1.sqlite";
};

TEST_F(ConcurrentWritersTest, TwoProcessesAppendingMeetInTheWriteLock) {
  ForkedWriters writers;
  for (const std::string prefix : {"a", "b"}) {
    writers.spawn([this, prefix] {
      auto store = Store::open(file_, testing_support::vectors_configuration(), "r1");
      if (!store) {
        std::fprintf(stderr, "open: %s\n", store.error().text().c_str());
        return 10;
      }
      for (int i = 0; i < 200; ++i) {
        const std::string id = prefix + "-" + std::to_string(i);
        auto executed = store->execute_with_receipt(observe(id, "ops-x", prefix, id));
        if (!executed) {
          std::fprintf(stderr, "append %d: %s\n", i, executed.error().text().c_str());
          return 11;
        }
        if (executed->replayed) return 12;
      }
      return 0;
    });
  }
  EXPECT_EQ(writers.wait_all(), (std::vector<int>{0, 0}));
  EXPECT_EQ(row_count(file_, "facts"), 400);
  EXPECT_EQ(row_count(file_, "receipts"), 400);
  RawDb db(file_);
  EXPECT_EQ(db.value("SELECT max(event_id) FROM facts"), "r1:00000000000000000400");
  Store store = open_store(file_, "r1");
  auto inspection = store.execute(Request{Request::Inspect{}});
  ASSERT_TRUE(inspection.has_value()) << inspection.error().text();
  const auto& view = std::get<Response::Inspection>(inspection->value);
  EXPECT_EQ(view.history_len, 400U);
  EXPECT_TRUE(view.conflicts.empty());
}

TEST_F(ConcurrentWritersTest, TheSameIdentifierRacedFromTwoProcessesExecutesOnce) {
  ForkedWriters writers;
  for (int child = 0; child < 2; ++child) {
    writers.spawn([this] {
      auto store = Store::open(file_, testing_support::vectors_configuration(), "r1");
      if (!store) return 10;
      auto executed = store->execute_with_receipt(observe("op-1", "ops-x", "disk", "ok"));
      if (!executed) return 11;
      return executed->replayed ? 1 : 0;
    });
  }
  std::vector<int> statuses = writers.wait_all();
  std::ranges::sort(statuses);
  EXPECT_EQ(statuses, (std::vector<int>{0, 1}));
  EXPECT_EQ(row_count(file_, "facts"), 1);
  EXPECT_EQ(row_count(file_, "receipts"), 1);
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
