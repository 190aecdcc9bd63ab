// Tampering behind the store's back, with the sqlite3 shell: rows edited
// after dropping a trigger (restored afterwards, so the schema matches
// again) or inserted directly. The next request must refuse the store with
// the exact corruption text and write nothing.
#include "durable/verify.h"

#include <gtest/gtest.h>

#include <string>

#include "durable/request_test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::export_of;
using testing_support::import;
using testing_support::observe;
using testing_support::open_store;
using testing_support::row_count;
using testing_support::sqlite3_shell;
using testing_support::TempDir;
using testing_support::with_updates_allowed;

std::string on_facts(const std::string& sql) {
  return with_updates_allowed("facts", "immutable fact", sql);
}
std::string on_receipts(const std::string& sql) {
  return with_updates_allowed("receipts", "immutable receipt", sql);
}

// The receipt row of an authenticated import of an empty snapshot from r1
// under wire operation "w-1", stored under `operation_id` with `sha256`.
std::string authenticated_receipt_row(const std::string& operation_id, const std::string& sha256) {
  return "INSERT INTO receipts VALUES ('" + operation_id +
         "', 'authenticated_import', 'r1', 'w-1', "
         "'{\"operation\":\"import\",\"operation_id\":\"" +
         operation_id +
         "\",\"snapshot\":{\"configuration\":{\"logical_manager_id\":\"lm\",\"replicas\":[],"
         "\"grants\":[]},\"replica_id\":\"r1\",\"facts\":[]}}', "
         "'{\"result\":\"imported\",\"inserted\":0,\"history_len\":1}', '" +
         sha256 + "');";
}

struct TamperCase {
  const char* name;
  std::string sql;
  std::string error;  // text form; empty when the store must still be accepted
};

// r1 holding the vectors' observe receipt "op-1" and a laboratory import
// "imp-1" of its own export.
class TamperTest : public ::testing::TestWithParam<TamperCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store_.execute(observe("op-1", "ops-x", "disk", "ok")));
    ASSERT_TRUE(store_.execute(import("imp-1", export_of(store_))));
  }

  TempDir dir_;
  const std::filesystem::path path_ = dir_ / "r1.sqlite";
  Store store_ = open_store(path_, "r1");
};

TEST_P(TamperTest, TheNextRequestFindsIt) {
  const TamperCase& c = GetParam();
  ASSERT_EQ(sqlite3_shell(path_, c.sql), 0) << c.sql;
  const std::int64_t facts = row_count(path_, "facts");
  const std::int64_t receipts = row_count(path_, "receipts");

  auto observed = store_.execute(observe("op-2", "ops-x", "disk", "full"));
  auto inspected = store_.execute(Request{Request::Inspect{}});
  if (c.error.empty()) {
    EXPECT_TRUE(observed.has_value()) << observed.error().text();
    EXPECT_TRUE(inspected.has_value()) << inspected.error().text();
    return;
  }
  ASSERT_FALSE(observed.has_value());
  EXPECT_EQ(observed.error().text(), c.error);
  ASSERT_FALSE(inspected.has_value());
  EXPECT_EQ(inspected.error().text(), c.error);
  EXPECT_EQ(row_count(path_, "facts"), facts);
  EXPECT_EQ(row_count(path_, "receipts"), receipts);
  EXPECT_TRUE(store_.connection().autocommit());
}

const std::string KIND_OR_SOURCE =
    "corrupt: stored receipt kind or source does not match its request";

INSTANTIATE_TEST_SUITE_P(
    Cases, TamperTest,
    ::testing::Values(
        TamperCase{"Untouched", "SELECT 1;", ""},
        TamperCase{"FactBytesEdited",
                   on_facts("UPDATE facts SET fact_json = "
                            "replace(fact_json, '\"value\":\"ok\"', '\"value\":\"ko\"');"),
                   "corrupt: stored fact hash mismatch"},
        TamperCase{"FactJsonReplacedWithItsHash",
                   // sha256("x")
                   on_facts("UPDATE facts SET fact_json = 'x', sha256 = "
                            "'2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881';"),
                   "corrupt: stored fact JSON is invalid"},
        TamperCase{"FactRowRenamed",
                   on_facts("UPDATE facts SET event_id = 'r1:00000000000000000009';"),
                   "corrupt: stored event identity mismatch"},
        TamperCase{"FactMovedOutOfItsScopeWithItsHash",
                   on_facts("UPDATE facts SET fact_json = replace(fact_json, '\"ops-x\"', "
                            "'\"ops/db\"'), sha256 = "
                            "'930be9ac733086a892397bd8a8a4052f9bcee71f4b9976c800efce53a813e387';"),
                   "corrupt: stored model state is invalid: invalid or out-of-scope fact"},
        TamperCase{"ReceiptResponseEdited",
                   on_receipts("UPDATE receipts SET response_json = replace(response_json, "
                               "'\"value\":\"ok\"', '\"value\":\"ko\"') WHERE operation_id = "
                               "'op-1';"),
                   "corrupt: stored receipt hash mismatch"},
        TamperCase{"ReceiptDigestEdited",
                   on_receipts("UPDATE receipts SET sha256 = replace(sha256, substr(sha256, 1, 1), "
                               "'x') WHERE operation_id = 'imp-1';"),
                   "corrupt: stored receipt hash mismatch"},
        TamperCase{"ReceiptKindUnknown",
                   on_receipts("UPDATE receipts SET kind = 'Observe' WHERE operation_id = 'op-1';"),
                   "corrupt: stored receipt kind is invalid"},
        TamperCase{"ObserveReceiptCalledAnImport",
                   on_receipts("UPDATE receipts SET kind = 'laboratory_import' WHERE "
                               "operation_id = 'op-1';"),
                   KIND_OR_SOURCE},
        TamperCase{"ObserveReceiptGivenASource",
                   on_receipts("UPDATE receipts SET source_replica_id = 'r2' WHERE "
                               "operation_id = 'op-1';"),
                   KIND_OR_SOURCE},
        TamperCase{"ImportReceiptFromAnotherSource",
                   on_receipts("UPDATE receipts SET source_replica_id = 'r2' WHERE "
                               "operation_id = 'imp-1';"),
                   KIND_OR_SOURCE},
        TamperCase{"LaboratoryImportGivenAWireOperation",
                   on_receipts("UPDATE receipts SET wire_operation_id = 'w-1' WHERE "
                               "operation_id = 'imp-1';"),
                   KIND_OR_SOURCE},
        TamperCase{"ImportReceiptCalledAuthenticated",
                   on_receipts("UPDATE receipts SET kind = 'authenticated_import', "
                               "wire_operation_id = 'w-1' WHERE operation_id = 'imp-1';"),
                   KIND_OR_SOURCE},
        TamperCase{"ReceiptRequestOfAnotherOperation",
                   on_receipts("UPDATE receipts SET request_json = replace(request_json, "
                               "'\"op-1\"', '\"op-9\"') WHERE operation_id = 'op-1';"),
                   KIND_OR_SOURCE},
        TamperCase{"ReceiptRequestUnreadable",
                   on_receipts("UPDATE receipts SET request_json = '{}' WHERE "
                               "operation_id = 'op-1';"),
                   "corrupt: stored receipt request is invalid"},
        TamperCase{"ReceiptResponseUnreadableWithItsDigest",
                   // The receipt digest of the vectors' observe request with this
                   // response, from hashlib.
                   on_receipts("UPDATE receipts SET response_json = '{\"result\":\"nope\"}', "
                               "sha256 = "
                               "'e369a510dd78415d2b7ed6120dbba282b98407c458735778e3d6b48b5d61ae9a'"
                               " WHERE operation_id = 'op-1';"),
                   "corrupt: stored receipt response is invalid"},
        TamperCase{"AuthenticatedReceiptOfThisManager",
                   authenticated_receipt_row(
                       "network:27963deaeb0d75d2b6a2ec708f7ddcc5315d4669e7b8f9ee8626160e0b1740d7",
                       "38f857f90831f15b7f9b52cf35f67cc979613aa785f84d822da1b589eb0ae771"),
                   ""},
        TamperCase{"AuthenticatedReceiptOfAnotherManager",
                   authenticated_receipt_row(
                       "network:2172e74c1bb9889a03dcc11840c80f1fe40f1fd07e538d5cb5926151f1e253ba",
                       "bca331aa65d463739a251d925e9c5653008a13f7280c3297da384251410f7202"),
                   KIND_OR_SOURCE},
        TamperCase{"TriggerLeftDropped", "DROP TRIGGER facts_no_update;",
                   "corrupt: manager store schema shape mismatch"}),
    [](const ::testing::TestParamInfo<TamperCase>& info) { return std::string(info.param.name); });

TEST(VerifyAll, AcceptsAnEmptyStore) {
  TempDir dir;
  Store store = open_store(dir / "r1.sqlite", "r1");
  EXPECT_TRUE(verify_all(store.connection(), store.topology(), store.replica_id()).has_value());
  EXPECT_TRUE(verify_receipts(store.connection(), "lm").has_value());
}

TEST(VerifyReceipts, BindsReceiptsToTheLogicalManager) {
  TempDir dir;
  Store store = open_store(dir / "r1.sqlite", "r1");
  ASSERT_TRUE(store.execute(observe("op-1", "ops-x", "disk", "ok")));
  EXPECT_TRUE(verify_receipts(store.connection(), "lm").has_value());
  EXPECT_EQ(verify_receipts(store.connection(), "lm-2").error(),
            DurableError::corrupt("stored receipt hash mismatch"));
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
