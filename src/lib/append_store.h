// The store work of one append worker: open the replica's own store
// connection and execute the observation under its operation identifier, so
// that a repeated request is answered from the stored receipt.
//
// Runs on the append worker's thread with its own copies; every call opens
// and closes its own store.
#ifndef CORVANE_MANAGERD_APPEND_STORE_H
#define CORVANE_MANAGERD_APPEND_STORE_H

#include <expected>

#include "durable/error.h"
#include "durable/store.h"
#include "lib/append.h"
#include "lib/configuration.h"
#include "lib/control.h"

namespace corvane_manager_resident_lab {

// The replica's durable store, opened for `network.replica_id`.
std::expected<corvane_manager_ha_lab::durable::Store, corvane_manager_ha_lab::durable::DurableError>
store(const Configuration& configuration);

// Stored with the executed record's compact JSON, refused when the store
// refused the request, uncertain whenever durability cannot be vouched for.
AppendCompletion append_observation_store(const Configuration& configuration,
                                          const AppendObservationRequest& request);

}  // namespace corvane_manager_resident_lab

#endif
