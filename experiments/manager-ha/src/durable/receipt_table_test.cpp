// Receipt evidence read back from the receipts table, as the read-only
// inspection sees it.
#include "durable/receipt_table.h"

#include <gtest/gtest.h>

#include "durable/request_test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::export_of;
using testing_support::import;
using testing_support::observe;
using testing_support::open_store;
using testing_support::TempDir;
using testing_support::vector_text;

TEST(LoadReceiptEvidence, ListsEveryReceiptInOperationIdOrder) {
  TempDir dir;
  Store store = open_store(dir / "r1.sqlite", "r1");
  EXPECT_EQ(load_receipt_evidence(store.connection()), std::vector<ReceiptEvidence>{});

  auto observed = store.execute_with_receipt(observe("op-1", "ops-x", "disk", "ok"));
  ASSERT_TRUE(observed.has_value());
  auto evidence = load_receipt_evidence(store.connection());
  ASSERT_TRUE(evidence.has_value()) << evidence.error().text();
  EXPECT_EQ(*evidence, std::vector<ReceiptEvidence>{*observed->receipt});
  EXPECT_EQ(receipt_set_digest(*evidence), vector_text("inspection_digests", "receipt_set_sha256"));

  auto imported = store.execute_with_receipt(import("imp-1", export_of(store)));
  ASSERT_TRUE(imported.has_value());
  evidence = load_receipt_evidence(store.connection());
  ASSERT_TRUE(evidence.has_value());
  EXPECT_EQ(*evidence, (std::vector<ReceiptEvidence>{*imported->receipt, *observed->receipt}));
}

TEST(LoadReceiptEvidence, AnUnknownKindIsAStorageErrorWithTheReadersMessage) {
  TempDir dir;
  const std::filesystem::path path = dir / "r1.sqlite";
  Store store = open_store(path, "r1");
  ASSERT_TRUE(store.execute(observe("op-1", "ops-x", "disk", "ok")));
  ASSERT_EQ(testing_support::sqlite3_shell(path, testing_support::with_updates_allowed(
                                                     "receipts", "immutable receipt",
                                                     "UPDATE receipts SET kind = 'Observe';")),
            0);
  auto evidence = load_receipt_evidence(store.connection());
  ASSERT_FALSE(evidence.has_value());
  EXPECT_TRUE(std::holds_alternative<DurableError::Storage>(evidence.error().variant()));
  EXPECT_NE(evidence.error().text().find("\"Observe\""), std::string::npos)
      << evidence.error().text();
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
