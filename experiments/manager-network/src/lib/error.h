// The error of every peer-network operation: what kind of failure, who
// decided it, and a human-readable detail. Its text form is the detail alone.
//
// Plain value; safe to copy and share between threads.
#ifndef CORVANE_MANAGER_NETWORK_ERROR_H
#define CORVANE_MANAGER_NETWORK_ERROR_H

#include <string>
#include <string_view>

namespace corvane_manager_ha_lab::durable {
class DurableError;
}

namespace corvane_manager_network_lab {

enum class ErrorCategory { Unavailable, Refused, Malformed };

enum class ErrorSource { Local, UnauthenticatedRemoteDiagnostic, AuthenticatedRemoteRefusal };

// "unavailable", "refused" or "malformed".
std::string_view category_name(ErrorCategory category);

struct Error {
  ErrorCategory category = ErrorCategory::Unavailable;
  ErrorSource source = ErrorSource::Local;
  std::string detail;

  // An operating-system or socket failure: the system's description and
  // " (os error N)".
  static Error os(int code);
  // A JSON reader or writer failure, with the reader's message.
  static Error json(std::string message);
  static Error refused(std::string detail);
  static Error malformed(std::string detail);
  // A store failure as it enters the network code: its own text as the
  // detail, and a category by its kind.
  static Error durable(const corvane_manager_ha_lab::durable::DurableError& error);

  const std::string& text() const { return detail; }

  friend bool operator==(const Error&, const Error&) = default;
};

}  // namespace corvane_manager_network_lab

#endif
