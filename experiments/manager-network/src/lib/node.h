// A network node: one validated network configuration bound to one open
// durable store. It is the handle through which one thread serves an inbound
// peer connection or runs one outbound exchange.
//
// Built only by `ConfigurationFile::open`. Owned and used by one thread at a
// time and never copied; every thread that needs a node opens its own, so
// each node owns its own store connection.
#ifndef CORVANE_MANAGER_NETWORK_NODE_H
#define CORVANE_MANAGER_NETWORK_NODE_H

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "durable/store.h"
#include "lib/configuration_file.h"
#include "lib/error.h"
#include "topology.h"

namespace corvane_manager_network_lab {

class Node {
 public:
  Node(Node&&) noexcept = default;
  Node& operator=(Node&&) noexcept = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  std::string replica_id;
  corvane_manager_ha_lab::durable::Configuration manager;
  std::vector<Peer> peers;  // file order
  corvane_manager_ha_lab::durable::Store store;
  // Makes the serving side fail at one audit phase, for tests of the audit
  // trail; absent in every node the daemon opens.
  std::optional<int> audit_fault_phase;

  // The first configured peer whose replica ID is `peer_replica_id`, byte
  // for byte; refused with "peer is not configured" otherwise.
  std::expected<Peer, Error> peer(std::string_view peer_replica_id) const;

 private:
  friend struct ConfigurationFile;
  Node(std::string replica_id, corvane_manager_ha_lab::durable::Configuration manager,
       std::vector<Peer> peers, corvane_manager_ha_lab::durable::Store store)
      : replica_id(std::move(replica_id)),
        manager(std::move(manager)),
        peers(std::move(peers)),
        store(std::move(store)) {}
};

}  // namespace corvane_manager_network_lab

#endif
