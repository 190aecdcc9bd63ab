// UTF-8 helpers for texts the store derives from foreign bytes: paths made
// into text, and schema statements split at white space.
//
// Stateless; safe from any thread.
#ifndef CORVANE_MANAGER_HA_DURABLE_UTF8_H
#define CORVANE_MANAGER_HA_DURABLE_UTF8_H

#include <string>
#include <string_view>
#include <vector>

namespace corvane_manager_ha_lab::durable {

// `bytes` with each maximal invalid UTF-8 sequence replaced by U+FFFD.
std::string lossy_utf8(std::string_view bytes);

// The non-empty pieces of `text` between runs of Unicode white space
// (U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028,
// U+2029, U+202F, U+205F, U+3000). Invalid UTF-8 is kept inside the pieces.
std::vector<std::string_view> split_whitespace(std::string_view text);

}  // namespace corvane_manager_ha_lab::durable

#endif
