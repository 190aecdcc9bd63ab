#include "durable/utf8.h"

#include <cstdint>
#include <optional>

namespace corvane_manager_ha_lab::durable {

namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";

struct Decoded {
  char32_t code_point;
  std::size_t length;
};

// Decodes the sequence starting at `at`. When it is invalid, `length` is the
// length of its maximal subpart (at least 1) and the result is empty.
std::optional<Decoded> decode(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  length = 1;
  if (lead < 0x80) return Decoded{lead, 1};
  std::size_t needed = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;
  }
  for (std::size_t i = 1; i <= needed; ++i) {
    if (at + i >= text.size()) return std::nullopt;
    const std::uint8_t next = byte(at + i);
    if (next < low || next > high) return std::nullopt;
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (next & 0x3F);
    length = i + 1;
  }
  return Decoded{value, needed + 1};
}

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

}  // namespace

std::string lossy_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t length = 0;
    if (decode(bytes, at, length)) {
      out.append(bytes.substr(at, length));
    } else {
      out.append(REPLACEMENT);
    }
    at += length;
  }
  return out;
}

std::vector<std::string_view> split_whitespace(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t length = 0;
    const auto decoded = decode(text, at, length);
    if (decoded && is_white_space(decoded->code_point)) {
      if (at > start) pieces.push_back(text.substr(start, at - start));
      start = at + length;
    }
    at += length;
  }
  if (at > start) pieces.push_back(text.substr(start, at - start));
  return pieces;
}

}  // namespace corvane_manager_ha_lab::durable
