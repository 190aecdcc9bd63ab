#include "lib/worker_thread.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "durable/os_error.h"

namespace corvane_manager_resident_lab {

void abort_thread_spawn(const std::system_error& error) {
  const std::string line = "failed to spawn thread: " +
                           corvane_manager_ha_lab::durable::os_error_text(error.code().value()) +
                           "\n";
  // Nothing else may run after this; a partial write is all that is left to lose.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  std::abort();
}

}  // namespace corvane_manager_resident_lab
