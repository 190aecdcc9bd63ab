// The store's typed requests: record an observation, import a snapshot,
// export the local snapshot, inspect the materialized state, or check who
// may run an exclusive service.
//
// A request is written as one canonical object whose first member,
// "operation", names the variant, followed by the variant's members in
// declared order. These bytes are what a receipt stores and what a replay is
// compared with, so the member order and the writer's rules are part of the
// store's format. Reading is strict: an unknown "operation", an unknown or
// repeated member, or a missing member (only `exclusive_resource` may be
// left out) is refused.
//
// Plain values; safe to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_DURABLE_REQUEST_H
#define CORVANE_MANAGER_HA_DURABLE_REQUEST_H

#include <expected>
#include <optional>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "durable/snapshot.h"
#include "json_record.h"

namespace corvane_manager_ha_lab::durable {

struct Request {
  // One local observation.
  struct Observe {
    std::string operation_id;
    std::string scope;
    std::string subject;
    std::optional<std::string> exclusive_resource;
    bool active_claim = false;
    std::string value;

    friend bool operator==(const Observe&, const Observe&) = default;
  };
  // Every fact of another replica's snapshot that the local history lacks.
  struct Import {
    std::string operation_id;
    Snapshot snapshot;

    friend bool operator==(const Import&, const Import&) = default;
  };
  struct Export {
    friend bool operator==(const Export&, const Export&) = default;
  };
  struct Inspect {
    friend bool operator==(const Inspect&, const Inspect&) = default;
  };
  // Reconciles the local replica with the replicas of `snapshots` and asks
  // whether the local replica may run `exclusive_service`.
  struct CheckService {
    std::vector<Snapshot> snapshots;
    std::string exclusive_service;

    friend bool operator==(const CheckService&, const CheckService&) = default;
  };

  using Variant = std::variant<Observe, Import, Export, Inspect, CheckService>;
  Variant value;

  friend bool operator==(const Request&, const Request&) = default;
};

// The operation identifier of an Observe or an Import; null for the requests
// that keep no receipt.
const std::string* operation_id(const Request& request);

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

template <>
struct Record<durable::Request::Observe> {
  using T = durable::Request::Observe;
  static constexpr std::string_view name = "Observe";
  static constexpr auto fields = std::tuple{
      field("operation_id", &T::operation_id), field("scope", &T::scope),
      field("subject", &T::subject),           field("exclusive_resource", &T::exclusive_resource),
      field("active_claim", &T::active_claim), field("value", &T::value)};
};

template <>
struct Record<durable::Request::Import> {
  using T = durable::Request::Import;
  static constexpr std::string_view name = "Import";
  static constexpr auto fields =
      std::tuple{field("operation_id", &T::operation_id), field("snapshot", &T::snapshot)};
};

template <>
struct Record<durable::Request::Export> {
  static constexpr std::string_view name = "Export";
  static constexpr auto fields = std::tuple{};
};

template <>
struct Record<durable::Request::Inspect> {
  static constexpr std::string_view name = "Inspect";
  static constexpr auto fields = std::tuple{};
};

template <>
struct Record<durable::Request::CheckService> {
  using T = durable::Request::CheckService;
  static constexpr std::string_view name = "CheckService";
  static constexpr auto fields = std::tuple{field("snapshots", &T::snapshots),
                                            field("exclusive_service", &T::exclusive_service)};
};

template <>
struct Codec<durable::Request> {
  static std::expected<durable::Request, Error> read(const Value& v);
  static void write(Writer& w, const durable::Request& request);
};

}  // namespace corvane_manager_ha_lab::json

#endif
