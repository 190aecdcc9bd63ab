// The status document of the control socket: who this replica is, each
// peer's replication state and the daemon's connection counters.
//
// `status_response` takes the peer-table lock only to copy the table; the
// counters are read afterwards, one by one. Thread-safe.
#ifndef CORVANE_MANAGERD_STATUS_H
#define CORVANE_MANAGERD_STATUS_H

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "json_record.h"
#include "lib/configuration.h"
#include "lib/peer_status.h"
#include "lib/shared.h"

namespace corvane_manager_resident_lab {

struct Status {
  std::string kind = "resident_observation";
  std::string replica_id;
  // Where the canonical view of the store is printed instead of here.
  std::string canonical_inspection_available_via = "--inspect-store";
  std::map<std::string, PeerStatus> peers;  // in byte order of the replica ID
  std::uint64_t active_incoming = 0;
  std::uint64_t peak_incoming = 0;
  std::uint64_t rejected_connections = 0;
  std::uint64_t append_worker_failures = 0;
  std::uint64_t incoming_limit = 0;
  std::uint64_t outgoing_limit = 1;  // one outbound exchange at a time
  bool activation_authority = false;

  friend bool operator==(const Status&, const Status&) = default;
};

// The peer table as seen at `now`: ages and waits in whole milliseconds.
std::map<std::string, PeerStatus> peer_statuses(const PeerEntries& entries, Clock::time_point now);

// The answer to a status request: the compact Status document, or the
// unavailable document when the peer table is poisoned.
std::string status_response(const Configuration& configuration, Shared& shared,
                            Clock::time_point now);

}  // namespace corvane_manager_resident_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Record<corvane_manager_resident_lab::Status> {
  using S = corvane_manager_resident_lab::Status;
  static constexpr std::string_view name = "Status";
  static constexpr auto fields = std::tuple{
      field("kind", &S::kind),
      field("replica_id", &S::replica_id),
      field("canonical_inspection_available_via", &S::canonical_inspection_available_via),
      field("peers", &S::peers),
      field("active_incoming", &S::active_incoming),
      field("peak_incoming", &S::peak_incoming),
      field("rejected_connections", &S::rejected_connections),
      field("append_worker_failures", &S::append_worker_failures),
      field("incoming_limit", &S::incoming_limit),
      field("outgoing_limit", &S::outgoing_limit),
      field("activation_authority", &S::activation_authority)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
