// Small text predicates shared by the command line and the configuration
// checks.
//
// Pure; safe from any thread.
#ifndef CORVANE_MANAGERD_CLI_TEXT_H
#define CORVANE_MANAGERD_CLI_TEXT_H

#include <string_view>

namespace corvane_manager_resident_lab::cli {

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

}  // namespace corvane_manager_resident_lab::cli

#endif
