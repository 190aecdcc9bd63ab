// The state a manager acts on, derived from a whole fact history: the current
// fact of every sound subject, the conflicts found (broken or forked subject
// chains, competing active claims on one exclusive resource) and the exclusive
// resources those conflicts block.
//
// `materialize` is a pure function of the set of facts, so every replica that
// holds the same history derives the same view, byte for byte once written.
//
// Plain values and a pure function; safe from any thread.
#ifndef CORVANE_MANAGER_HA_MATERIALIZE_H
#define CORVANE_MANAGER_HA_MATERIALIZE_H

#include <expected>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fact.h"
#include "json_record.h"

namespace corvane_manager_ha_lab {

enum class ConflictKind { MissingPredecessor, SubjectFork, ExclusiveResource };

// The kind as written in JSON: its name in upper camel case.
std::string_view conflict_kind_name(ConflictKind kind);

struct Conflict {
  ConflictKind kind = ConflictKind::MissingPredecessor;
  // "subject:<scope>:<subject>" for the subject kinds, the resource name for
  // ExclusiveResource.
  std::string resource;
  std::vector<std::string> event_ids;

  friend bool operator==(const Conflict&, const Conflict&) = default;
};

struct View {
  // Ordered by resource, then by the identities involved.
  std::vector<Conflict> conflicts;
  std::map<SubjectKey, Fact> current;
  std::set<std::string> blocked_exclusive_resources;

  // The current facts in SubjectKey order.
  std::vector<Fact> current_facts() const;

  friend bool operator==(const View&, const View&) = default;
};

// Derives the view of `facts` (keyed by event_id); never fails.
View materialize(const std::map<std::string, Fact>& facts);

}  // namespace corvane_manager_ha_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Codec<ConflictKind> {
  static std::expected<ConflictKind, Error> read(const Value& v);
  static void write(Writer& w, const ConflictKind& kind);
};

template <>
struct Record<Conflict> {
  static constexpr std::string_view name = "Conflict";
  static constexpr auto fields =
      std::tuple{field("kind", &Conflict::kind), field("resource", &Conflict::resource),
                 field("event_ids", &Conflict::event_ids)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
