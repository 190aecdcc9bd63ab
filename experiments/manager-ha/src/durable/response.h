// The store's typed answers, one per request variant.
//
// A response is written as one canonical object whose first member,
// "result", names the variant, followed by the variant's members in
// declared order. A receipt stores these bytes and a replay returns them
// parsed, so the format is part of the store. Reading is strict like the
// request's: unknown "result", unknown, repeated or missing members refused.
//
// Plain values; safe to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_DURABLE_RESPONSE_H
#define CORVANE_MANAGER_HA_DURABLE_RESPONSE_H

#include <cstdint>
#include <expected>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "durable/snapshot.h"
#include "fact.h"
#include "json_record.h"
#include "materialize.h"

namespace corvane_manager_ha_lab::durable {

struct Response {
  // The fact an Observe created.
  struct Observed {
    Fact fact;

    friend bool operator==(const Observed&, const Observed&) = default;
  };
  // Facts an Import added, and the local history's length afterwards.
  struct Imported {
    std::uint64_t inserted = 0;
    std::uint64_t history_len = 0;

    friend bool operator==(const Imported&, const Imported&) = default;
  };
  // The local snapshot an Export made.
  struct Snapshot {
    durable::Snapshot snapshot;

    friend bool operator==(const Snapshot&, const Snapshot&) = default;
  };
  // The materialized local state.
  struct Inspection {
    std::uint64_t history_len = 0;
    std::vector<Fact> current;  // in SubjectKey order
    std::vector<Conflict> conflicts;
    std::vector<std::string> blocked_exclusive_resources;

    friend bool operator==(const Inspection&, const Inspection&) = default;
  };
  // Who coordinates, and whether the local replica may run the service.
  struct ServiceCheck {
    std::string coordinator_replica_id;
    bool eligible_in_supplied_history = false;

    friend bool operator==(const ServiceCheck&, const ServiceCheck&) = default;
  };

  using Variant = std::variant<Observed, Imported, Snapshot, Inspection, ServiceCheck>;
  Variant value;

  friend bool operator==(const Response&, const Response&) = default;
};

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

template <>
struct Record<durable::Response::Observed> {
  static constexpr std::string_view name = "Observed";
  static constexpr auto fields = std::tuple{field("fact", &durable::Response::Observed::fact)};
};

template <>
struct Record<durable::Response::Imported> {
  using T = durable::Response::Imported;
  static constexpr std::string_view name = "Imported";
  static constexpr auto fields =
      std::tuple{field("inserted", &T::inserted), field("history_len", &T::history_len)};
};

template <>
struct Record<durable::Response::Snapshot> {
  static constexpr std::string_view name = "Snapshot";
  static constexpr auto fields =
      std::tuple{field("snapshot", &durable::Response::Snapshot::snapshot)};
};

template <>
struct Record<durable::Response::Inspection> {
  using T = durable::Response::Inspection;
  static constexpr std::string_view name = "Inspection";
  static constexpr auto fields =
      std::tuple{field("history_len", &T::history_len), field("current", &T::current),
                 field("conflicts", &T::conflicts),
                 field("blocked_exclusive_resources", &T::blocked_exclusive_resources)};
};

template <>
struct Record<durable::Response::ServiceCheck> {
  using T = durable::Response::ServiceCheck;
  static constexpr std::string_view name = "ServiceCheck";
  static constexpr auto fields =
      std::tuple{field("coordinator_replica_id", &T::coordinator_replica_id),
                 field("eligible_in_supplied_history", &T::eligible_in_supplied_history)};
};

template <>
struct Codec<durable::Response> {
  static std::expected<durable::Response, Error> read(const Value& v);
  static void write(Writer& w, const durable::Response& response);
};

}  // namespace corvane_manager_ha_lab::json

#endif
