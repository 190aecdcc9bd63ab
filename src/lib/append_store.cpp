#include "lib/append_store.h"

namespace corvane_manager_resident_lab {

namespace durable = corvane_manager_ha_lab::durable;

std::expected<durable::Store, durable::DurableError> store(const Configuration& configuration) {
  const auto& network = configuration.network;
  return durable::Store::open(network.database_path, network.manager, network.replica_id);
}

AppendCompletion append_observation_store(const Configuration& configuration,
                                          const AppendObservationRequest&) {
  auto opened = store(configuration);
  if (!opened) return AppendUncertain{};
  // The store does not execute requests yet, so nothing can be vouched for.
  return AppendUncertain{};
}

}  // namespace corvane_manager_resident_lab
