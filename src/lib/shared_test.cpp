#include "lib/shared.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace corvane_manager_resident_lab {
namespace {

PeerEntries one_peer() { return {{"r2", PeerEntry{PeerStatus{}, std::nullopt, Clock::now()}}}; }

TEST(PeerTable, AHolderThatUnwindsPoisonsItForEveryLaterHolder) {
  PeerTable table(one_peer());
  std::thread holder([&] {
    try {
      auto guard = table.lock();
      ASSERT_TRUE(guard);
      guard->entries().at("r2").status.failures = 1;
      throw std::runtime_error("half way through an update");
    } catch (const std::runtime_error&) {
    }
  });
  holder.join();
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto later = table.lock();
    ASSERT_FALSE(later);
    EXPECT_EQ(later.error(), "status lock poisoned");
  }
}

TEST(PeerTable, OrdinaryReleasesAndGuardsTakenDuringUnwindingDoNotPoison) {
  PeerTable table(one_peer());
  {
    auto guard = table.lock();
    ASSERT_TRUE(guard);
    guard->entries().at("r2").status.failures = 2;
  }
  // A guard taken and released while an earlier exception unwinds (in a
  // destructor) saw a consistent table from start to end.
  struct LocksOnDestruction {
    PeerTable& table;
    ~LocksOnDestruction() { EXPECT_TRUE(table.lock()); }
  };
  try {
    LocksOnDestruction probe{table};
    throw std::runtime_error("unrelated");
  } catch (const std::runtime_error&) {
  }
  auto guard = table.lock();
  ASSERT_TRUE(guard);
  EXPECT_EQ(guard->entries().at("r2").status.failures, 2u);
}

TEST(Shared, PeakIncomingFollowsTheHighestActiveCount) {
  Shared shared({});
  shared.enter_incoming();
  shared.enter_incoming();
  shared.active_incoming.fetch_sub(2);
  shared.enter_incoming();
  EXPECT_EQ(shared.active_incoming.load(), 1u);
  EXPECT_EQ(shared.peak_incoming.load(), 2u);
}

TEST(Shared, InitialEntriesHaveOneUnattemptedDuePeerEach) {
  namespace net = corvane_manager_network_lab;
  const auto now = Clock::now();
  const std::vector<net::Peer> peers = {{"r3", {}, "k3"}, {"r2", {}, "k2"}};
  const PeerEntries expected = {{"r2", PeerEntry{PeerStatus{}, std::nullopt, now}},
                                {"r3", PeerEntry{PeerStatus{}, std::nullopt, now}}};
  EXPECT_EQ(initial_peer_entries(peers, now), expected);
  EXPECT_EQ(PeerStatus{}.outcome, "unknown");
}

}  // namespace
}  // namespace corvane_manager_resident_lab
