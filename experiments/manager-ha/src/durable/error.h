// The one error of every store and audit operation, its refusal reasons, and
// the conversions that carry foreign errors (SQLite, the JSON layer, the
// operating system, integer narrowing) into it with their own messages.
//
// Plain values; safe to copy and to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_DURABLE_ERROR_H
#define CORVANE_MANAGER_HA_DURABLE_ERROR_H

#include <concepts>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "json_record.h"

struct sqlite3;

namespace corvane_manager_ha_lab::durable {

// Why a request or a store was refused. The order is fixed: the values are
// also written to audit rows as their texts.
enum class RefusalReason {
  InvalidRequest,
  PolicyViolation,
  OperationIdReused,
  UnsupportedSchema,
  IdentityMismatch,
  UnrecognizedStore,
  MissingStore,
  UnsafeStore,
  TransportUnavailable,
};

// "invalid_request", "policy_violation", ...: the snake_case name.
std::string_view refusal_reason_text(RefusalReason reason);

// The reason whose text is `text`, if any.
std::optional<RefusalReason> parse_refusal_reason(std::string_view text);

class DurableError {
 public:
  // The request or the store was refused; nothing changed.
  struct Refused {
    RefusalReason reason;
    friend bool operator==(const Refused&, const Refused&) = default;
  };
  // Stored data contradicts itself.
  struct Corrupt {
    std::string text;
    friend bool operator==(const Corrupt&, const Corrupt&) = default;
  };
  // SQLite, I/O or serialization failed; the text is that failure's own message.
  struct Storage {
    std::string text;
    friend bool operator==(const Storage&, const Storage&) = default;
  };
  // An audit record broke the audit rules before it was stored.
  struct InvalidAudit {
    std::string text;
    friend bool operator==(const InvalidAudit&, const InvalidAudit&) = default;
  };

  using Variant = std::variant<Refused, Corrupt, Storage, InvalidAudit>;

  DurableError(Refused v) : variant_(std::move(v)) {}
  DurableError(Corrupt v) : variant_(std::move(v)) {}
  DurableError(Storage v) : variant_(std::move(v)) {}
  DurableError(InvalidAudit v) : variant_(std::move(v)) {}

  static DurableError refused(RefusalReason reason) { return Refused{reason}; }
  static DurableError corrupt(std::string text) { return Corrupt{std::move(text)}; }
  static DurableError storage(std::string text) { return Storage{std::move(text)}; }
  static DurableError invalid_audit(std::string text) { return InvalidAudit{std::move(text)}; }

  const Variant& variant() const { return variant_; }

  // The refusal reason when this is a refusal.
  std::optional<RefusalReason> refusal() const;
  bool is_refusal(RefusalReason reason) const { return refusal() == reason; }

  // "refused: <reason>", "corrupt: <text>", "storage: <text>" or
  // "invalid_audit: <text>": what callers print or pass on.
  std::string text() const;

  friend bool operator==(const DurableError&, const DurableError&) = default;

 private:
  Variant variant_;
};

// Corrupt "stored model state is invalid: <text>": the fact model refused
// history that the store itself wrote.
DurableError corrupt_model(std::string_view text);

// Storage errors from foreign failures, each keeping the failure's message.
DurableError sqlite_error(sqlite3* db);           // the connection's last message
DurableError sqlite_error_code(int result_code);  // when no connection is at hand
DurableError json_error(const json::Error& error);
DurableError io_error(int errno_value);

// `value` converted to `To`, or Storage when it does not fit (a count read
// from or written to SQLite's signed 64-bit integers, for example).
template <std::integral To, std::integral From>
std::expected<To, DurableError> narrow(From value) {
  if (std::in_range<To>(value)) return static_cast<To>(value);
  std::string text = "integer " + std::to_string(value) + " does not fit in a";
  text += std::is_signed_v<To> ? " signed " : "n unsigned ";
  text += std::to_string(std::numeric_limits<To>::digits + (std::is_signed_v<To> ? 1 : 0));
  text += "-bit integer";
  return std::unexpected(DurableError::storage(std::move(text)));
}

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

// A refusal reason is written and read as its text.
template <>
struct Codec<durable::RefusalReason> {
  static std::expected<durable::RefusalReason, Error> read(const Value& v);
  static void write(Writer& w, durable::RefusalReason reason);
};

}  // namespace corvane_manager_ha_lab::json

#endif
