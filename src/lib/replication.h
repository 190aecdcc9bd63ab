// The replication worker: the one thread that pushes the local history to
// the configured peers and books each attempt in the peer table.
//
// Until outbound exchanges exist it idles as a replica without peers does:
// it sleeps in short steps and returns once the stop flag is set. Runs on its
// own thread with its own copy of the configuration.
#ifndef CORVANE_MANAGERD_REPLICATION_H
#define CORVANE_MANAGERD_REPLICATION_H

#include <chrono>
#include <expected>
#include <memory>
#include <string>

#include "lib/configuration.h"
#include "lib/shared.h"

namespace corvane_manager_resident_lab {

// How long the worker sleeps between checks of the stop flag.
inline constexpr std::chrono::milliseconds REPLICATION_PASS_SLEEP{10};

// Returns success when stopped by the stop flag, or the error that ended it.
std::expected<void, std::string> synchronize(Configuration configuration,
                                             std::shared_ptr<Shared> shared);

}  // namespace corvane_manager_resident_lab

#endif
