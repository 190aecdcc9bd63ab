// Origination, admission and chain checks of one replica's fact history.
//
// Not thread-safe: a Replica is worked on by one request at a time.
#include "replica.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <vector>

#include "reconciliation.h"

namespace corvane_manager_ha_lab {

namespace {
// The largest producer sequence or subject revision.
constexpr std::uint64_t MAX_COUNT = std::numeric_limits<std::uint64_t>::max();

constexpr std::string_view NOT_OWNER = "replica does not own this disconnected-write scope";
constexpr std::string_view REQUIRED = "subject and value are required";
constexpr std::string_view CLAIM_WITHOUT_RESOURCE =
    "an active claim requires an exclusive resource";
constexpr std::string_view BLOCKED =
    "subject history is incomplete or forked; further writes are blocked";
constexpr std::string_view REVISION_EXHAUSTED = "subject revision exhausted";
constexpr std::string_view SEQUENCE_EXHAUSTED = "producer sequence exhausted";
constexpr std::string_view UNDECLARED_ORIGIN = "fact origin is not a declared replica";
constexpr std::string_view INVALID = "invalid or out-of-scope fact";
constexpr std::string_view PREDECESSOR_MISMATCH =
    "first revision and predecessor relation disagree";
constexpr std::string_view COLLISION = "event identity collision with different bytes";

std::unexpected<std::string> refuse(std::string_view message) {
  return std::unexpected(std::string(message));
}

bool owns(const Topology& topology, const std::string& scope, const std::string& replica_id) {
  const auto owner = topology.scope_owners.find(scope);
  return owner != topology.scope_owners.end() && owner->second == replica_id;
}

// Everything a fact must satisfy on its own against the declared group,
// once its origin is known to be declared.
bool well_formed(const Topology& topology, const ReplicaConfig& origin, const Fact& fact) {
  return fact.logical_manager_id == topology.logical_manager_id &&
         fact.origin_host_id == origin.host_id && owns(topology, fact.scope, origin.replica_id) &&
         fact.event_id == event_id(fact.origin_replica_id, fact.producer_sequence) &&
         fact.producer_sequence != 0 && fact.subject_revision != 0 && !fact.subject.empty() &&
         !fact.value.empty() && (!fact.active_claim || fact.exclusive_resource.has_value());
}

// One complete chain: revisions 1, 2, ... each naming the fact before it.
bool unbroken_chain(const std::vector<const Fact*>& chain) {
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const Fact& fact = *chain[i];
    if (fact.subject_revision != i + 1) return false;
    if (i == 0 ? fact.predecessor.has_value() : fact.predecessor != chain[i - 1]->event_id) {
      return false;
    }
  }
  return true;
}
}  // namespace

std::expected<std::optional<Fact>, std::string> Replica::local_subject_head(
    const std::string& scope, const std::string& subject) const {
  std::vector<const Fact*> chain;
  for (const auto& [id, fact] : facts) {
    if (fact.origin_replica_id == replica_id && fact.scope == scope && fact.subject == subject) {
      chain.push_back(&fact);
    }
  }
  std::ranges::stable_sort(chain, [](const Fact* a, const Fact* b) {
    return std::tie(a->subject_revision, a->event_id) < std::tie(b->subject_revision, b->event_id);
  });
  if (chain.empty()) return std::optional<Fact>();
  if (!unbroken_chain(chain)) return refuse(BLOCKED);
  return std::optional<Fact>(*chain.back());
}

std::expected<Fact, std::string> Replica::observe(const std::string& scope,
                                                  const std::string& subject,
                                                  std::optional<std::string> exclusive_resource,
                                                  bool active_claim, const std::string& value) {
  if (!owns(topology, scope, replica_id)) return refuse(NOT_OWNER);
  if (subject.empty() || value.empty()) return refuse(REQUIRED);
  if (active_claim && !exclusive_resource) return refuse(CLAIM_WITHOUT_RESOURCE);
  auto head = local_subject_head(scope, subject);
  if (!head) return std::unexpected(std::move(head.error()));
  if (*head && (*head)->subject_revision == MAX_COUNT) return refuse(REVISION_EXHAUSTED);

  Fact fact;
  fact.event_id = event_id(replica_id, next_producer_sequence);
  fact.logical_manager_id = topology.logical_manager_id;
  fact.origin_replica_id = replica_id;
  fact.origin_host_id = host_id;
  fact.producer_sequence = next_producer_sequence;
  fact.scope = scope;
  fact.subject = subject;
  fact.subject_revision = *head ? (*head)->subject_revision + 1 : 1;
  if (*head) fact.predecessor = (*head)->event_id;
  fact.exclusive_resource = std::move(exclusive_resource);
  fact.active_claim = active_claim;
  fact.value = value;

  if (next_producer_sequence == MAX_COUNT) return refuse(SEQUENCE_EXHAUSTED);
  // The sequence is spent even if the fact is refused below, so a number is
  // never handed out twice.
  ++next_producer_sequence;
  auto ingested = ingest(fact);
  if (!ingested) return std::unexpected(std::move(ingested.error()));
  return fact;
}

std::expected<void, std::string> Replica::ingest(Fact fact) {
  const auto origin = topology.replicas.find(fact.origin_replica_id);
  if (origin == topology.replicas.end()) return refuse(UNDECLARED_ORIGIN);
  if (!well_formed(topology, origin->second, fact)) return refuse(INVALID);
  if ((fact.subject_revision == 1) != !fact.predecessor.has_value()) {
    return refuse(PREDECESSOR_MISMATCH);
  }
  if (const auto held = facts.find(fact.event_id); held != facts.end()) {
    if (held->second == fact) return {};
    return refuse(COLLISION);
  }
  if (fact.origin_replica_id == replica_id) {
    if (fact.producer_sequence == MAX_COUNT) return refuse(SEQUENCE_EXHAUSTED);
    next_producer_sequence = std::max(next_producer_sequence, fact.producer_sequence + 1);
  }
  std::string id = fact.event_id;
  facts.emplace(std::move(id), std::move(fact));
  return {};
}

bool Replica::advertises(const std::string& exclusive_service,
                         const std::optional<ServicePermit>& permit) const {
  if (!permit || permit->replica_id != replica_id ||
      permit->exclusive_service != exclusive_service || !facts.contains(permit->claim_event_id) ||
      permit->history.size() != facts.size()) {
    return false;
  }
  return std::ranges::equal(facts, permit->history, [](const auto& held, const std::string& id) {
    return held.first == id;
  });
}

}  // namespace corvane_manager_ha_lab
