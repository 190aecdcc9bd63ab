// The resident mode: claim the store with the lock file, bind the peer
// listener and the control socket, start the replication worker, serve the
// accept loop on the calling thread until a control shutdown, then stop and
// join every thread.
//
// Called once per process, from the main thread.
#ifndef CORVANE_MANAGERD_RUN_H
#define CORVANE_MANAGERD_RUN_H

#include <chrono>
#include <expected>
#include <string>

#include "lib/configuration.h"

namespace corvane_manager_resident_lab {

// The accept loop sleeps this long after each pass.
inline constexpr std::chrono::milliseconds ACCEPT_PASS_SLEEP{10};
// Listen backlog of the peer listener.
inline constexpr int PEER_LISTEN_BACKLOG = 128;

// Success after a control shutdown, or the one error that ended the daemon.
std::expected<void, std::string> run(Configuration configuration);

}  // namespace corvane_manager_resident_lab

#endif
