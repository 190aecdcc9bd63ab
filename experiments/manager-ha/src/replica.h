// One replica's complete in-memory fact history.
//
// A Replica originates local facts (`observe`) and admits facts from any
// origin (`ingest`), enforcing scope ownership and identity rules; broken or
// forked subject chains are admitted and left for materialization to report.
// Every refusal leaves the replica as it was, except that `observe` keeps the
// producer sequence it has spent once the new fact is built.
//
// No internal locking: one request at a time works on a Replica.
#ifndef CORVANE_MANAGER_HA_REPLICA_H
#define CORVANE_MANAGER_HA_REPLICA_H

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "fact.h"
#include "topology.h"

namespace corvane_manager_ha_lab {

struct ServicePermit;

class Replica {
 public:
  Replica(Topology topology, std::string replica_id, std::string host_id)
      : topology(std::move(topology)),
        replica_id(std::move(replica_id)),
        host_id(std::move(host_id)) {}

  Topology topology;
  std::string replica_id;
  std::string host_id;
  std::uint64_t next_producer_sequence = 1;
  std::map<std::string, Fact> facts;  // keyed and iterated in event_id order

  // Originates one local fact in a scope this replica owns and adds it.
  std::expected<Fact, std::string> observe(const std::string& scope, const std::string& subject,
                                           std::optional<std::string> exclusive_resource,
                                           bool active_claim, const std::string& value);

  // Validates a fact from any origin and adds it; a byte-identical repeat is
  // accepted without change.
  std::expected<void, std::string> ingest(Fact fact);

  // The latest fact of one local subject, provided its history is one
  // unbroken chain; absent when the subject has no facts.
  std::expected<std::optional<Fact>, std::string> local_subject_head(
      const std::string& scope, const std::string& subject) const;

  // Whether this replica may advertise `exclusive_service` under `permit`:
  // the permit names this replica and the service, and was issued for exactly
  // the history this replica holds now.
  bool advertises(const std::string& exclusive_service,
                  const std::optional<ServicePermit>& permit) const;

  friend bool operator==(const Replica&, const Replica&) = default;
};

}  // namespace corvane_manager_ha_lab

#endif
