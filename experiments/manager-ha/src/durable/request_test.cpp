// Canonical bytes and strict reading of store requests, responses and the
// executed outcome: these bytes are stored in receipts and compared on
// replay, so every member and its place matter.
#include "durable/request.h"

#include <gtest/gtest.h>

#include <string>

#include "durable/executed.h"
#include "durable/request_test_support.h"
#include "durable/response.h"

namespace corvane_manager_ha_lab::durable {
namespace {

using testing_support::vector_text;

Fact first_vector_fact() {
  auto fact = json::from_json<Fact>(testing_support::vector_fact_json(0));
  EXPECT_TRUE(fact.has_value());
  return fact ? *fact : Fact{};
}

TEST(RequestJson, ObserveMatchesTheReceiptVectorBytes) {
  const Request request = testing_support::observe("op-1", "ops-x", "disk", "ok");
  EXPECT_EQ(json::to_json(request), vector_text("observe_receipt", "request_json"));
}

TEST(RequestJson, EveryVariantWritesItsTagFirstAndReadsBack) {
  const Snapshot snapshot{.configuration = {.logical_manager_id = "lm",
                                            .replicas = {{"r1", "h1"}},
                                            .grants = {{"s", "r1"}}},
                          .replica_id = "r1",
                          .facts = {}};
  const std::string snapshot_json =
      R"({"configuration":{"logical_manager_id":"lm","replicas":[{"replica_id":"r1",)"
      R"("host_id":"h1"}],)"
      R"("grants":[{"scope":"s","owner_replica_id":"r1"}]},"replica_id":"r1","facts":[]})";
  const struct {
    Request request;
    std::string json;
  } cases[] = {
      {testing_support::observe("a", "s", "b", "v", "gpu", true),
       R"({"operation":"observe","operation_id":"a","scope":"s","subject":"b",)"
       R"("exclusive_resource":"gpu","active_claim":true,"value":"v"})"},
      {testing_support::import("i/1", snapshot),
       R"({"operation":"import","operation_id":"i/1","snapshot":)" + snapshot_json + "}"},
      {Request{Request::Export{}}, R"({"operation":"export"})"},
      {Request{Request::Inspect{}}, R"({"operation":"inspect"})"},
      {Request{Request::CheckService{.snapshots = {snapshot}, .exclusive_service = "svc"}},
       R"({"operation":"check_service","snapshots":[)" + snapshot_json +
           R"(],"exclusive_service":"svc"})"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json::to_json(c.request), c.json);
    auto read = json::from_json<Request>(c.json);
    ASSERT_TRUE(read.has_value()) << c.json << ": " << read.error().text();
    EXPECT_EQ(*read, c.request) << c.json;
  }
}

TEST(RequestJson, ReadingAcceptsOnlyTheListedMembers) {
  const struct {
    const char* name;
    std::string json;
    bool accepted;
  } cases[] = {
      {"exclusive_resource may be missing",
       R"({"operation":"observe","operation_id":"a","scope":"s","subject":"b",)"
       R"("active_claim":false,"value":"v"})",
       true},
      {"the tag may come later",
       R"({"operation_id":"a","scope":"s","subject":"b","exclusive_resource":null,)"
       R"("active_claim":false,"value":"v","operation":"observe"})",
       true},
      {"other members may not be missing",
       R"({"operation":"observe","operation_id":"a","scope":"s","subject":"b",)"
       R"("exclusive_resource":null,"value":"v"})",
       false},
      {"unknown member",
       R"({"operation":"observe","operation_id":"a","scope":"s","subject":"b",)"
       R"("exclusive_resource":null,"active_claim":false,"value":"v","extra":1})",
       false},
      {"member of another variant", R"({"operation":"export","operation_id":"a"})", false},
      {"unknown tag", R"({"operation":"delete"})", false},
      {"tag in another case", R"({"operation":"Export"})", false},
      {"no tag", R"({"operation_id":"a"})", false},
      {"repeated tag", R"({"operation":"export","operation":"export"})", false},
      {"tag not a string", R"({"operation":1})", false},
      {"not an object", R"(["export"])", false},
      {"unknown member inside a snapshot fact",
       R"({"operation":"import","operation_id":"i",)"
       R"("snapshot":{"configuration":{"logical_manager_id":"lm","replicas":[],"grants":[]},)"
       R"("replica_id":"r1","facts":[{"x":1}]}})",
       false},
      {"unknown member inside a snapshot grant",
       R"({"operation":"import","operation_id":"i",)"
       R"("snapshot":{"configuration":{"logical_manager_id":"lm","replicas":[],)"
       R"("grants":[{"scope":"s","owner_replica_id":"r1","x":1}]},"replica_id":"r1",)"
       R"("facts":[]}})",
       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json::from_json<Request>(c.json).has_value(), c.accepted) << c.name;
  }
}

TEST(ResponseJson, EveryVariantWritesItsTagFirstAndReadsBack) {
  const Fact fact = first_vector_fact();
  const std::string fact_json = json::to_json(fact);
  const struct {
    Response response;
    std::string json;
  } cases[] = {
      {Response{Response::Observed{fact}}, vector_text("observe_receipt", "response_json")},
      {Response{Response::Imported{.inserted = 2, .history_len = 5}},
       R"({"result":"imported","inserted":2,"history_len":5})"},
      {Response{Response::Snapshot{
           Snapshot{.configuration = {.logical_manager_id = "lm", .replicas = {}, .grants = {}},
                    .replica_id = "r1",
                    .facts = {fact}}}},
       R"({"result":"snapshot","snapshot":{"configuration":{"logical_manager_id":"lm",)"
       R"("replicas":[],"grants":[]},"replica_id":"r1","facts":[)" +
           fact_json + "]}}"},
      {Response{Response::Inspection{
           .history_len = 3,
           .current = {fact},
           .conflicts = {Conflict{ConflictKind::SubjectFork, "subject:s:b", {"r1:1", "r2:1"}}},
           .blocked_exclusive_resources = {"gpu"}}},
       R"({"result":"inspection","history_len":3,"current":[)" + fact_json +
           R"(],"conflicts":[{"kind":"SubjectFork","resource":"subject:s:b",)"
           R"("event_ids":["r1:1","r2:1"]}],"blocked_exclusive_resources":["gpu"]})"},
      {Response{Response::ServiceCheck{.coordinator_replica_id = "r1",
                                       .eligible_in_supplied_history = true}},
       R"({"result":"service_check","coordinator_replica_id":"r1",)"
       R"("eligible_in_supplied_history":true})"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json::to_json(c.response), c.json);
    auto read = json::from_json<Response>(c.json);
    ASSERT_TRUE(read.has_value()) << c.json << ": " << read.error().text();
    EXPECT_EQ(*read, c.response) << c.json;
  }
}

TEST(ResponseJson, ReadingIsStrict) {
  for (const char* text : {
           R"({"result":"imported","inserted":1})",
           R"({"result":"imported","inserted":1,"history_len":1,"replayed":false})",
           R"({"result":"imported","inserted":-1,"history_len":1})",
           R"({"result":"refused"})",
           R"({"inserted":1,"history_len":1})",
       }) {
    EXPECT_FALSE(json::from_json<Response>(text).has_value()) << text;
  }
}

TEST(ExecutedJson, MatchesTheObserveVectorWithAndWithoutReplay) {
  Executed executed{
      .response = Response{Response::Observed{first_vector_fact()}},
      .receipt = ReceiptEvidence{.operation_id = "op-1",
                                 .kind = ReceiptKind::Observe,
                                 .source_replica_id = std::nullopt,
                                 .wire_operation_id = std::nullopt,
                                 .sha256 = vector_text("observe_receipt", "receipt_sha256")},
      .replayed = false};
  EXPECT_EQ(json::to_json(executed), vector_text("observe_receipt", "executed_json"));
  executed.replayed = true;
  EXPECT_EQ(json::to_json(executed), vector_text("observe_receipt", "executed_replayed_json"));

  const Executed without_receipt{.response = Response{Response::ServiceCheck{"r1", false}},
                                 .receipt = std::nullopt,
                                 .replayed = false};
  EXPECT_EQ(json::to_json(without_receipt),
            R"({"response":{"result":"service_check","coordinator_replica_id":"r1",)"
            R"("eligible_in_supplied_history":false},"receipt":null,"replayed":false})");
}

}  // namespace
}  // namespace corvane_manager_ha_lab::durable
