#include "lib/append_store.h"

#include "durable/request.h"
#include "json_record.h"

namespace corvane_manager_resident_lab {

namespace durable = corvane_manager_ha_lab::durable;

std::expected<durable::Store, durable::DurableError> store(const Configuration& configuration) {
  const auto& network = configuration.network;
  return durable::Store::open(network.database_path, network.manager, network.replica_id);
}

AppendCompletion append_observation_store(const Configuration& configuration,
                                          const AppendObservationRequest& request) {
  auto opened = store(configuration);
  if (!opened) return AppendUncertain{};
  const durable::Request observe{durable::Request::Observe{
      request.operation_id, request.scope, request.subject, std::nullopt, false, request.value}};
  auto executed = opened->execute_with_receipt(observe);
  if (!executed) {
    // Only the store's own rules give a final answer; corruption, storage and
    // audit failures leave the outcome unknown to the writer.
    if (executed.error().refusal()) return AppendRefused{};
    return AppendUncertain{};
  }
  return AppendStored{corvane_manager_ha_lab::json::to_json(*executed)};
}

}  // namespace corvane_manager_resident_lab
