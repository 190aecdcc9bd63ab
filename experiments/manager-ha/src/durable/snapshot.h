// A snapshot: one replica's whole history with the configuration it serves,
// the payload of imports, of network requests and of service checks.
//
// A snapshot is trusted only after `restore_snapshot` has rebuilt the
// exporter's replica from it under the local topology: its configuration
// must describe the same group (list order aside) and every fact must pass
// the fact model's admission rules.
//
// Plain values and pure functions; safe to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_DURABLE_SNAPSHOT_H
#define CORVANE_MANAGER_HA_DURABLE_SNAPSHOT_H

#include <expected>
#include <string>
#include <tuple>
#include <vector>

#include "durable/error.h"
#include "fact.h"
#include "json_record.h"
#include "replica.h"
#include "topology.h"

namespace corvane_manager_ha_lab::durable {

struct Snapshot {
  // The exporter's configuration as it was configured, lists in file order.
  Configuration configuration;
  std::string replica_id;
  std::vector<Fact> facts;  // in event_id order when exported

  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// The local snapshot: `configuration` as the store was opened with it (not
// the normalized topology) and every fact of `local` in event_id order.
Snapshot export_snapshot(const Configuration& configuration, const Replica& local);

// The exporter's replica rebuilt from `snapshot`, after proving that the
// snapshot's configuration yields exactly `topology` and names a declared
// replica. Every failure is Refused(policy_violation).
std::expected<Replica, DurableError> restore_snapshot(const Topology& topology,
                                                      const Snapshot& snapshot);

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

template <>
struct Record<durable::Snapshot> {
  static constexpr std::string_view name = "Snapshot";
  static constexpr auto fields =
      std::tuple{field("configuration", &durable::Snapshot::configuration),
                 field("replica_id", &durable::Snapshot::replica_id),
                 field("facts", &durable::Snapshot::facts)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
