// One immutable observation ("fact") and the key of a subject's history.
//
// A fact's identity is `<origin_replica_id>:<producer_sequence>` with the
// sequence zero-padded to 20 digits, so the byte order of one origin's
// identities is the numeric order of its sequences. The canonical JSON of a
// fact (twelve members, always all written) is what the store hashes and what
// snapshots carry.
//
// Plain values; safe to copy and to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_FACT_H
#define CORVANE_MANAGER_HA_FACT_H

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "json_record.h"

namespace corvane_manager_ha_lab {

struct Fact {
  std::string event_id;
  std::string logical_manager_id;
  std::string origin_replica_id;
  std::string origin_host_id;
  std::uint64_t producer_sequence = 0;
  std::string scope;
  std::string subject;
  std::uint64_t subject_revision = 0;
  std::optional<std::string> predecessor;
  std::optional<std::string> exclusive_resource;
  bool active_claim = false;
  std::string value;

  friend bool operator==(const Fact&, const Fact&) = default;
};

// The event identity of sequence `producer_sequence` of `replica_id`.
std::string event_id(std::string_view replica_id, std::uint64_t producer_sequence);

// (scope, subject): names one subject history. Ordered by scope, then subject,
// each byte-lexicographically.
struct SubjectKey {
  std::string scope;
  std::string subject;

  friend bool operator==(const SubjectKey&, const SubjectKey&) = default;
  friend std::strong_ordering operator<=>(const SubjectKey&, const SubjectKey&) = default;
};

inline SubjectKey subject_key(const Fact& fact) { return SubjectKey{fact.scope, fact.subject}; }

}  // namespace corvane_manager_ha_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Record<Fact> {
  static constexpr std::string_view name = "Fact";
  static constexpr auto fields = std::tuple{field("event_id", &Fact::event_id),
                                            field("logical_manager_id", &Fact::logical_manager_id),
                                            field("origin_replica_id", &Fact::origin_replica_id),
                                            field("origin_host_id", &Fact::origin_host_id),
                                            field("producer_sequence", &Fact::producer_sequence),
                                            field("scope", &Fact::scope),
                                            field("subject", &Fact::subject),
                                            field("subject_revision", &Fact::subject_revision),
                                            field("predecessor", &Fact::predecessor),
                                            field("exclusive_resource", &Fact::exclusive_resource),
                                            field("active_claim", &Fact::active_claim),
                                            field("value", &Fact::value)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
