#include "lib/peer_status.h"

#include <algorithm>

namespace corvane_manager_resident_lab {

namespace {
__extension__ typedef unsigned __int128 Unsigned128;
}  // namespace

std::string int128_text(Int128 value) {
  // Work on the magnitude as unsigned so that the most negative value has one.
  const bool negative = value < 0;
  Unsigned128 magnitude =
      negative ? Unsigned128(0) - static_cast<Unsigned128>(value) : static_cast<Unsigned128>(value);
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) digits.push_back('-');
  std::reverse(digits.begin(), digits.end());
  return digits;
}

}  // namespace corvane_manager_resident_lab

namespace corvane_manager_ha_lab::json {

using corvane_manager_resident_lab::Int128;
__extension__ typedef unsigned __int128 Unsigned128;

std::expected<Int128, Error> Codec<Int128>::read(const Value& v) {
  constexpr std::string_view expected = "signed 128-bit integer";
  if (!v.is(Kind::Number)) return std::unexpected(type_error(v, expected));
  std::string_view text = v.text;
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::unexpected(type_error(v, expected));
  }
  // Accumulate towards the negative end, which has the larger magnitude.
  constexpr Int128 lowest = static_cast<Int128>(Unsigned128(1) << 127);
  Int128 value = 0;
  for (const char c : text) {
    const int digit = c - '0';
    if (value < (lowest + digit) / 10) return std::unexpected(type_error(v, expected));
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == lowest) return std::unexpected(type_error(v, expected));
    value = -value;
  }
  return value;
}

void Codec<Int128>::write(Writer& w, Int128 value) {
  w.raw(corvane_manager_resident_lab::int128_text(value));
}

}  // namespace corvane_manager_ha_lab::json
