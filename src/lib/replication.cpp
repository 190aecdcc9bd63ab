#include "lib/replication.h"

#include <thread>

namespace corvane_manager_resident_lab {

std::expected<void, std::string> synchronize(Configuration, std::shared_ptr<Shared> shared) {
  while (!shared->stop.load()) std::this_thread::sleep_for(REPLICATION_PASS_SLEEP);
  return {};
}

}  // namespace corvane_manager_resident_lab
