#include "lib/status.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace corvane_manager_resident_lab {
namespace {

using namespace std::chrono_literals;

Configuration configuration_with_workers(std::uint64_t workers) {
  Configuration c;
  c.network.replica_id = "r1";
  c.incoming_workers = workers;
  return c;
}

TEST(Status, DocumentBeforeAnyAttempt) {
  const auto now = Clock::now();
  Shared shared(
      {{"r3", PeerEntry{{}, std::nullopt, now}}, {"r2", PeerEntry{{}, std::nullopt, now}}});
  const std::string peer =
      R"({"authenticated_successes":0,"failures":0,"last_success_age_ms":null,)"
      R"("acknowledged_history_len":null,"local_history_len_at_attempt":null,)"
      R"("history_count_delta":null,"outcome":"unknown","next_attempt_in_ms":0})";
  EXPECT_EQ(status_response(configuration_with_workers(3), shared, now + 5ms),
            R"({"kind":"resident_observation","replica_id":"r1",)"
            R"("canonical_inspection_available_via":"--inspect-store","peers":{"r2":)" +
                peer + R"(,"r3":)" + peer +
                R"(},"active_incoming":0,"peak_incoming":0,"rejected_connections":0,)"
                R"("append_worker_failures":0,"incoming_limit":3,"outgoing_limit":1,)"
                R"("activation_authority":false})");
}

TEST(Status, AgesWaitsAndCountersAtTheMomentOfTheRequest) {
  const auto now = Clock::now();
  PeerEntry ok{{}, now - 1500us, now + 999'999us};
  ok.status.authenticated_successes = 4;
  ok.status.acknowledged_history_len = 3;
  ok.status.local_history_len_at_attempt = 5;
  ok.status.history_count_delta = -2;
  ok.status.outcome = "authenticated_import_receipt";
  ok.status.last_success_age_ms = 12345;  // stale copy: the age comes from the instant
  PeerEntry wide{{}, std::nullopt, now - 1s};
  wide.status.failures = std::numeric_limits<std::uint64_t>::max();
  wide.status.history_count_delta = -static_cast<Int128>(std::numeric_limits<std::uint64_t>::max());
  wide.status.outcome = "local_exchange_failure";
  Shared shared({{"a", ok}, {"b", wide}});
  shared.active_incoming = 1;
  shared.peak_incoming = 2;
  shared.rejected_connections = 3;
  shared.append_worker_failures = 4;

  EXPECT_EQ(status_response(configuration_with_workers(8), shared, now),
            R"({"kind":"resident_observation","replica_id":"r1",)"
            R"("canonical_inspection_available_via":"--inspect-store","peers":{)"
            R"("a":{"authenticated_successes":4,"failures":0,"last_success_age_ms":1,)"
            R"("acknowledged_history_len":3,"local_history_len_at_attempt":5,)"
            R"("history_count_delta":-2,"outcome":"authenticated_import_receipt",)"
            R"("next_attempt_in_ms":999},)"
            R"("b":{"authenticated_successes":0,"failures":18446744073709551615,)"
            R"("last_success_age_ms":null,"acknowledged_history_len":null,)"
            R"("local_history_len_at_attempt":null,"history_count_delta":-18446744073709551615,)"
            R"("outcome":"local_exchange_failure","next_attempt_in_ms":0}},)"
            R"("active_incoming":1,"peak_incoming":2,"rejected_connections":3,)"
            R"("append_worker_failures":4,"incoming_limit":8,"outgoing_limit":1,)"
            R"("activation_authority":false})");
}

TEST(Status, APoisonedPeerTableMakesTheStatusUnavailable) {
  Shared shared({{"r2", PeerEntry{{}, std::nullopt, Clock::now()}}});
  try {
    auto guard = shared.peers.lock();
    throw std::runtime_error("unwinding with the table held");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(status_response(configuration_with_workers(1), shared, Clock::now()),
            R"({"error":"status_unavailable"})");
}

TEST(Status, SignedHistoryDeltaTextAndReading) {
  const Int128 two_to_64 = static_cast<Int128>(1) << 64;
  const Int128 min = -(static_cast<Int128>(1) << 126) - (static_cast<Int128>(1) << 126);
  struct Case {
    Int128 value;
    std::string text;
  };
  const std::vector<Case> cases = {
      {0, "0"},
      {2, "2"},
      {-2, "-2"},
      {two_to_64, "18446744073709551616"},
      {-two_to_64 + 1, "-18446744073709551615"},
      {min, "-170141183460469231731687303715884105728"},
      {-(min + 1), "170141183460469231731687303715884105727"},
  };
  namespace json = corvane_manager_ha_lab::json;
  for (const auto& c : cases) {
    EXPECT_EQ(int128_text(c.value), c.text);
    auto back = json::from_json<Int128>(c.text);
    ASSERT_TRUE(back) << c.text;
    EXPECT_TRUE(*back == c.value) << c.text;
  }
  for (const char* bad : {"170141183460469231731687303715884105728", "1.5", "-", "\"1\""}) {
    EXPECT_FALSE(json::from_json<Int128>(bad)) << bad;
  }
}

}  // namespace
}  // namespace corvane_manager_resident_lab
