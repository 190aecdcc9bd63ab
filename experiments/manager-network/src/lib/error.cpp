#include "lib/error.h"

#include "durable/os_error.h"

namespace corvane_manager_network_lab {

std::string_view category_name(ErrorCategory category) {
  switch (category) {
    case ErrorCategory::Unavailable: return "unavailable";
    case ErrorCategory::Refused: return "refused";
    case ErrorCategory::Malformed: return "malformed";
  }
  return "unavailable";
}

Error Error::os(int code) {
  return Error{ErrorCategory::Unavailable, ErrorSource::Local,
               corvane_manager_ha_lab::durable::os_error_text(code)};
}

Error Error::json(std::string message) {
  return Error{ErrorCategory::Malformed, ErrorSource::Local, std::move(message)};
}

Error Error::refused(std::string detail) {
  return Error{ErrorCategory::Refused, ErrorSource::Local, std::move(detail)};
}

Error Error::malformed(std::string detail) {
  return Error{ErrorCategory::Malformed, ErrorSource::Local, std::move(detail)};
}

}  // namespace corvane_manager_network_lab
