// The control socket's request (`Control`) and its fixed answer documents.
//
// A request is one JSON object tagged by its member "operation", which may
// stand anywhere among the members, or the generic array form: the operation
// name followed by that operation's members in declared order. Everything
// else is refused: unknown or repeated members, a missing member, a
// non-string value, an operation name in any other letter case.
//
// Plain values; safe to share read-only between threads.
#ifndef CORVANE_MANAGERD_CONTROL_H
#define CORVANE_MANAGERD_CONTROL_H

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <variant>

#include "json_record.h"

namespace corvane_manager_resident_lab {

// Requests and responses on the control socket are each bounded to this.
inline constexpr std::size_t CONTROL_BOUND = 32'768;

inline constexpr std::string_view BOUND_EXCEEDED = R"({"error":"control request bound exceeded"})";
inline constexpr std::string_view INVALID_REQUEST = R"({"error":"invalid typed control request"})";
inline constexpr std::string_view STATUS_UNAVAILABLE = R"({"error":"status_unavailable"})";
inline constexpr std::string_view SHUTDOWN_REQUESTED = R"({"shutdown_requested":true})";
inline constexpr std::string_view APPEND_REFUSED = R"({"error":"append_observation_refused"})";
inline constexpr std::string_view APPEND_BUSY = R"({"error":"append_observation_busy"})";
inline constexpr std::string_view APPEND_UNCERTAIN = R"({"error":"append_observation_uncertain"})";
inline constexpr std::string_view RESPONSE_TOO_LONG =
    R"({"error":"control response exceeds bound"})";

struct StatusRequest {
  friend bool operator==(const StatusRequest&, const StatusRequest&) = default;
};

struct ShutdownRequest {
  friend bool operator==(const ShutdownRequest&, const ShutdownRequest&) = default;
};

struct AppendObservationRequest {
  std::string operation_id;
  std::string scope;
  std::string subject;
  std::string value;

  friend bool operator==(const AppendObservationRequest&,
                         const AppendObservationRequest&) = default;
};

struct Control {
  std::variant<StatusRequest, ShutdownRequest, AppendObservationRequest> request;

  // Parses one request; the error is the reader's message.
  static std::expected<Control, std::string> parse(std::string_view bytes);

  friend bool operator==(const Control&, const Control&) = default;
};

}  // namespace corvane_manager_resident_lab

namespace corvane_manager_ha_lab::json {

template <>
struct Codec<corvane_manager_resident_lab::Control> {
  static std::expected<corvane_manager_resident_lab::Control, Error> read(const Value& v);
  // The object form, "operation" first.
  static void write(Writer& w, const corvane_manager_resident_lab::Control& control);
};

}  // namespace corvane_manager_ha_lab::json

#endif
