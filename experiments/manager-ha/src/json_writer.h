// The canonical JSON writer: the byte format of everything the system stores,
// hashes, signs or compares.
//
// Output is compact (no whitespace), members come in the order the caller
// writes them, and strings are escaped minimally: `"` and `\` are escaped,
// 0x08 0x09 0x0A 0x0C 0x0D use their short escapes, every other byte below
// 0x20 becomes \u00XX in lowercase hex, and everything else (the slash, 0x7F,
// non-ASCII UTF-8) is written unchanged.
//
// A Writer is a single-owner value; not for concurrent use.
#ifndef CORVANE_MANAGER_HA_JSON_WRITER_H
#define CORVANE_MANAGER_HA_JSON_WRITER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane_manager_ha_lab::json {

// Appends `text` as a canonical JSON string literal, quotes included.
void append_string(std::string& out, std::string_view text);

// The canonical JSON string literal of `text`.
std::string quote(std::string_view text);

class Writer {
 public:
  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  // Writes a member name; the member's value follows.
  void key(std::string_view name);

  void string(std::string_view text);
  void unsigned_integer(std::uint64_t value);
  void boolean(bool value);
  void null();
  // Writes already canonical JSON as one value.
  void raw(std::string_view json);

  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  void before_value();

  std::string out_;
  // One entry per open container: whether it already holds an element.
  std::vector<bool> nonempty_;
  bool after_key_ = false;
};

}  // namespace corvane_manager_ha_lab::json

#endif
