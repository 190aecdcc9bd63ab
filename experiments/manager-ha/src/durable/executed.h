// The full outcome of one store request: the response, the receipt that
// proves it (Observe and Import only) and whether the response was taken
// from an existing receipt instead of acting again.
//
// Its compact JSON ("response", "receipt", "replayed") is the answer the
// daemon returns for a stored observation.
//
// Plain value; safe to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_DURABLE_EXECUTED_H
#define CORVANE_MANAGER_HA_DURABLE_EXECUTED_H

#include <optional>
#include <tuple>

#include "durable/receipt.h"
#include "durable/response.h"
#include "json_record.h"

namespace corvane_manager_ha_lab::durable {

struct Executed {
  Response response;
  std::optional<ReceiptEvidence> receipt;
  bool replayed = false;

  friend bool operator==(const Executed&, const Executed&) = default;
};

}  // namespace corvane_manager_ha_lab::durable

namespace corvane_manager_ha_lab::json {

template <>
struct Record<durable::Executed> {
  using T = durable::Executed;
  static constexpr std::string_view name = "Executed";
  static constexpr auto fields =
      std::tuple{field("response", &T::response), field("receipt", &T::receipt),
                 field("replayed", &T::replayed)};
};

}  // namespace corvane_manager_ha_lab::json

#endif
