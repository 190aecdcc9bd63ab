#include "lib/shared.h"

namespace corvane_manager_resident_lab {

PeerTable::Guard::~Guard() {
  if (lock_.owns_lock() && std::uncaught_exceptions() > exceptions_) table_->poisoned_ = true;
}

std::expected<PeerTable::Guard, std::string> PeerTable::lock() {
  std::unique_lock lock(mutex_);
  if (poisoned_) return std::unexpected(std::string(STATUS_LOCK_POISONED));
  return Guard(*this, std::move(lock));
}

PeerEntries initial_peer_entries(const std::vector<corvane_manager_network_lab::Peer>& peers,
                                 Clock::time_point now) {
  PeerEntries entries;
  for (const auto& peer : peers) {
    entries.emplace(peer.replica_id, PeerEntry{PeerStatus{}, std::nullopt, now});
  }
  return entries;
}

void Shared::enter_incoming() {
  const std::uint64_t now_active = active_incoming.fetch_add(1) + 1;
  std::uint64_t peak = peak_incoming.load();
  while (now_active > peak && !peak_incoming.compare_exchange_weak(peak, now_active)) {
  }
}

}  // namespace corvane_manager_resident_lab
