#include "lib/node.h"

#include <variant>

namespace corvane_manager_network_lab {

namespace durable = corvane_manager_ha_lab::durable;

Error Error::durable(const durable::DurableError& error) {
  const auto category = std::visit(
      [](const auto& variant) {
        using V = std::remove_cvref_t<decltype(variant)>;
        if constexpr (std::is_same_v<V, durable::DurableError::Storage>) {
          return ErrorCategory::Unavailable;
        } else if constexpr (std::is_same_v<V, durable::DurableError::InvalidAudit>) {
          return ErrorCategory::Malformed;
        } else {
          // Refusals and corruption alike: this store will not take part.
          return ErrorCategory::Refused;
        }
      },
      error.variant());
  return Error{category, ErrorSource::Local, error.text()};
}

std::expected<Node, Error> ConfigurationFile::open() const {
  if (auto ok = validate(); !ok) return std::unexpected(ok.error());
  auto store = durable::Store::open(database_path, manager, replica_id);
  if (!store) return std::unexpected(Error::durable(store.error()));
  return Node(replica_id, manager, peers, std::move(*store));
}

std::expected<Peer, Error> Node::peer(std::string_view peer_replica_id) const {
  for (const Peer& candidate : peers) {
    if (candidate.replica_id == peer_replica_id) return candidate;
  }
  return std::unexpected(Error::refused("peer is not configured"));
}

}  // namespace corvane_manager_network_lab
