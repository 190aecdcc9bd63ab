// The store's canonical JSON function: every request, response, fact,
// receipt digest input and audit record the store keeps or hashes is
// serialized through `json`, so all of them share the writer's byte rules
// (compact, members in declared order, absent optionals as null, minimal
// escaping).
//
// Stateless; safe from any thread.
#ifndef CORVANE_MANAGER_HA_DURABLE_CANONICAL_JSON_H
#define CORVANE_MANAGER_HA_DURABLE_CANONICAL_JSON_H

#include <expected>
#include <string>

#include "durable/error.h"
#include "json_record.h"

namespace corvane_manager_ha_lab::durable {

// The canonical compact JSON of `value`. The writer has no failure of its
// own today; the result type keeps callers ready for one (it would be Storage).
template <class T>
std::expected<std::string, DurableError> json(const T& value) {
  return corvane_manager_ha_lab::json::to_json(value);
}

// Reads `text` as one `T`; a reader error becomes Storage with its message.
template <class T>
std::expected<T, DurableError> from_json(std::string_view text) {
  auto value = corvane_manager_ha_lab::json::from_json<T>(text);
  if (!value) return std::unexpected(json_error(value.error()));
  return std::move(*value);
}

}  // namespace corvane_manager_ha_lab::durable

#endif
