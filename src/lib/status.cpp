#include "lib/status.h"

#include "lib/control.h"

namespace corvane_manager_resident_lab {

namespace {

// Whole milliseconds from `earlier` to `later`, rounded down; 0 when
// `later` is not after `earlier`. A positive clock difference always fits.
std::uint64_t whole_ms(Clock::time_point earlier, Clock::time_point later) {
  if (later <= earlier) return 0;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(later - earlier).count();
  return static_cast<std::uint64_t>(ms);
}

}  // namespace

std::map<std::string, PeerStatus> peer_statuses(const PeerEntries& entries, Clock::time_point now) {
  std::map<std::string, PeerStatus> out;
  for (const auto& [id, entry] : entries) {
    PeerStatus status = entry.status;
    status.last_success_age_ms.reset();
    if (entry.last_success) status.last_success_age_ms = whole_ms(*entry.last_success, now);
    status.next_attempt_in_ms = whole_ms(now, entry.next_attempt);
    out.emplace(id, std::move(status));
  }
  return out;
}

std::string status_response(const Configuration& configuration, Shared& shared,
                            Clock::time_point now) {
  Status status;
  {
    auto table = shared.peers.lock();
    if (!table) return std::string(STATUS_UNAVAILABLE);
    status.peers = peer_statuses(table->entries(), now);
  }
  status.replica_id = configuration.network.replica_id;
  status.active_incoming = shared.active_incoming.load();
  status.peak_incoming = shared.peak_incoming.load();
  status.rejected_connections = shared.rejected_connections.load();
  status.append_worker_failures = shared.append_worker_failures.load();
  status.incoming_limit = configuration.incoming_workers;
  return corvane_manager_ha_lab::json::to_json(status);
}

}  // namespace corvane_manager_resident_lab
