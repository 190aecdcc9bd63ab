// The text of an operating-system error as every component reports it:
// the system's description, then " (os error N)".
//
// Thread-safe.
#ifndef CORVANE_MANAGER_HA_DURABLE_OS_ERROR_H
#define CORVANE_MANAGER_HA_DURABLE_OS_ERROR_H

#include <string>

namespace corvane_manager_ha_lab::durable {

std::string os_error_text(int code);

}  // namespace corvane_manager_ha_lab::durable

#endif
