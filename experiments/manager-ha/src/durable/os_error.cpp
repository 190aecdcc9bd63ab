#include "durable/os_error.h"

#include <cstring>

namespace corvane_manager_ha_lab::durable {

std::string os_error_text(int code) {
  char buffer[256];
  // GNU strerror_r returns the message, which may or may not live in `buffer`.
  const char* description = strerror_r(code, buffer, sizeof buffer);
  return std::string(description) + " (os error " + std::to_string(code) + ")";
}

}  // namespace corvane_manager_ha_lab::durable
