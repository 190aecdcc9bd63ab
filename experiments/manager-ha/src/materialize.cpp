// Grouping of a history into subject chains, chain and claim conflicts, and
// the written form of conflict kinds.
//
// Pure computation; safe from any thread.
#include "materialize.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

namespace corvane_manager_ha_lab {

namespace {
constexpr std::array<std::pair<ConflictKind, std::string_view>, 3> KIND_NAMES{{
    {ConflictKind::MissingPredecessor, "MissingPredecessor"},
    {ConflictKind::SubjectFork, "SubjectFork"},
    {ConflictKind::ExclusiveResource, "ExclusiveResource"},
}};

using Chain = std::vector<const Fact*>;

bool before_in_chain(const Fact* a, const Fact* b) {
  return std::tie(a->subject_revision, a->event_id) < std::tie(b->subject_revision, b->event_id);
}

// Whether `fact` (revision > 1) names a held fact of the same subject and
// origin exactly one revision below it.
bool predecessor_held(const std::map<std::string, Fact>& facts, const Fact& fact) {
  if (!fact.predecessor) return false;
  const auto found = facts.find(*fact.predecessor);
  if (found == facts.end()) return false;
  const Fact& before = found->second;
  return before.scope == fact.scope && before.subject == fact.subject &&
         before.origin_replica_id == fact.origin_replica_id &&
         before.subject_revision != std::numeric_limits<std::uint64_t>::max() &&
         before.subject_revision + 1 == fact.subject_revision;
}

// The conflict of one sorted subject chain, if any. A broken link outranks a
// fork, so a chain with both is reported once.
std::optional<ConflictKind> chain_conflict(const std::map<std::string, Fact>& facts,
                                           const Chain& chain) {
  for (const Fact* fact : chain) {
    if (fact->subject_revision > 1 && !predecessor_held(facts, *fact)) {
      return ConflictKind::MissingPredecessor;
    }
  }
  const auto fork = std::ranges::adjacent_find(chain, [](const Fact* a, const Fact* b) {
    return a->subject_revision == b->subject_revision;
  });
  if (fork != chain.end()) return ConflictKind::SubjectFork;
  return std::nullopt;
}

std::vector<std::string> identities(const Chain& chain) {
  std::vector<std::string> ids;
  ids.reserve(chain.size());
  for (const Fact* fact : chain) ids.push_back(fact->event_id);
  return ids;
}

// Two or more current heads actively claiming one resource: none of them is
// current any more and the resource is blocked.
void resolve_competing_claims(View& view) {
  std::map<std::string, std::vector<std::pair<SubjectKey, std::string>>> claims;
  for (const auto& [key, fact] : view.current) {
    if (fact.active_claim && fact.exclusive_resource) {
      claims[*fact.exclusive_resource].emplace_back(key, fact.event_id);
    }
  }
  for (auto& [resource, claimants] : claims) {
    if (claimants.size() < 2) continue;
    std::vector<std::string> ids;
    for (auto& [key, id] : claimants) {
      view.current.erase(key);
      ids.push_back(std::move(id));
    }
    std::ranges::sort(ids);
    view.blocked_exclusive_resources.insert(resource);
    view.conflicts.push_back(Conflict{ConflictKind::ExclusiveResource, resource, std::move(ids)});
  }
}
}  // namespace

std::string_view conflict_kind_name(ConflictKind kind) {
  for (const auto& [value, name] : KIND_NAMES) {
    if (value == kind) return name;
  }
  return {};
}

std::vector<Fact> View::current_facts() const {
  std::vector<Fact> out;
  out.reserve(current.size());
  for (const auto& [key, fact] : current) out.push_back(fact);
  return out;
}

View materialize(const std::map<std::string, Fact>& facts) {
  std::map<SubjectKey, Chain> chains;
  for (const auto& [id, fact] : facts) chains[subject_key(fact)].push_back(&fact);

  View view;
  for (auto& [key, chain] : chains) {
    std::ranges::sort(chain, before_in_chain);
    const std::optional<ConflictKind> kind = chain_conflict(facts, chain);
    if (!kind) {
      view.current.emplace(key, *chain.back());
      continue;
    }
    // Any resource a conflicting subject ever named is blocked, claimed or not:
    // nobody can tell which of its facts should hold.
    for (const Fact* fact : chain) {
      if (fact->exclusive_resource)
        view.blocked_exclusive_resources.insert(*fact->exclusive_resource);
    }
    view.conflicts.push_back(
        Conflict{*kind, "subject:" + key.scope + ":" + key.subject, identities(chain)});
  }
  resolve_competing_claims(view);
  std::ranges::stable_sort(view.conflicts, [](const Conflict& a, const Conflict& b) {
    return std::tie(a.resource, a.event_ids) < std::tie(b.resource, b.event_ids);
  });
  return view;
}

}  // namespace corvane_manager_ha_lab

namespace corvane_manager_ha_lab::json {

std::expected<ConflictKind, Error> Codec<ConflictKind>::read(const Value& v) {
  if (!v.is(Kind::String)) return std::unexpected(type_error(v, "a conflict kind string"));
  for (const auto& [value, name] : KIND_NAMES) {
    if (name == v.text) return value;
  }
  return std::unexpected(Error{"unknown conflict kind " + quote(v.text) +
                                   ", expected one of `MissingPredecessor`, `SubjectFork`, "
                                   "`ExclusiveResource`",
                               v.position});
}

void Codec<ConflictKind>::write(Writer& w, const ConflictKind& kind) {
  w.string(conflict_kind_name(kind));
}

}  // namespace corvane_manager_ha_lab::json
