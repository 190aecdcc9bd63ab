// Rebuilding the local replica from stored rows: the same history and the
// same next producer sequence as the replica that wrote them.
#include "durable/load.h"

#include <gtest/gtest.h>

#include "durable/request_test_support.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::export_of;
using testing_support::import;
using testing_support::observe;
using testing_support::open_store;
using testing_support::TempDir;

TEST(Load, RebuildsTheReplicaThatWroteTheRows) {
  TempDir dir;
  Store r1 = open_store(dir / "r1.sqlite", "r1");
  Store r2 = open_store(dir / "r2.sqlite", "r2");
  for (const char* id : {"a", "b", "c"}) {
    ASSERT_TRUE(r1.execute(observe(id, "ops-x", "disk", id)));
  }
  ASSERT_TRUE(r2.execute(observe("a", "ops/db", "load", "low")));
  ASSERT_TRUE(r2.execute(import("from-r1", export_of(r1))));

  // The same facts ingested in memory, in the order they were written.
  auto expected = r2.topology().instantiate("r2");
  ASSERT_TRUE(expected.has_value());
  const Snapshot written = export_of(r2);
  for (const Fact& fact : written.facts) ASSERT_TRUE(expected->ingest(fact));

  auto loaded = load(r2.connection(), r2.topology(), "r2");
  ASSERT_TRUE(loaded.has_value()) << loaded.error().text();
  EXPECT_EQ(*loaded, *expected);
  // r1's higher sequences do not move r2's own counter.
  EXPECT_EQ(loaded->next_producer_sequence, 2U);
  EXPECT_EQ(loaded->facts.size(), 4U);
}

TEST(Load, AnUndeclaredLocalReplicaIsCorruptModelState) {
  TempDir dir;
  Store r1 = open_store(dir / "r1.sqlite", "r1");
  EXPECT_EQ(load(r1.connection(), r1.topology(), "r9").error().text(),
            "corrupt: stored model state is invalid: unknown replica");
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
