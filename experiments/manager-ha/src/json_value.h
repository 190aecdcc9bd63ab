// The JSON document tree produced by the strict reader, and the reader itself.
//
// `json::parse` accepts exactly one JSON value surrounded only by whitespace,
// validates UTF-8, and records where each value and member name ended so that
// typed readers (json_record.h) can report faults with a line and column.
// Numbers are kept as their source text; typed readers decide their width.
//
// Values are plain data: safe to share read-only between threads.
#ifndef CORVANE_MANAGER_HA_JSON_VALUE_H
#define CORVANE_MANAGER_HA_JSON_VALUE_H

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace corvane_manager_ha_lab::json {

// A place in the source text, both counted from 1. Column counts bytes.
struct Position {
  std::size_t line = 1;
  std::size_t column = 1;

  friend bool operator==(const Position&, const Position&) = default;
};

// A reading fault. `text()` is the message every caller reports.
struct Error {
  Error(std::string message, Position position, std::string member = {})
      : message(std::move(message)), position(position), member(std::move(member)) {}

  std::string message;  // what is wrong
  Position position;
  std::string member;   // path of the member at fault ("network.peers[0].endpoint"), or empty

  // "member `<path>`: <message> at line L column C", without the member part
  // when the fault is not inside a member.
  std::string text() const;

  // The same fault seen from the enclosing record or array: `step` is a
  // member name or an index written as "[i]".
  Error within(std::string_view step) const;
  friend bool operator==(const Error&, const Error&) = default;
};

enum class Kind { Null, Boolean, Number, String, Array, Object };

struct Member;

class Value {
 public:
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;             // string contents, or a number's source text
  std::vector<Value> items;     // array elements
  std::vector<Member> members;  // object members in source order, duplicates kept
  Position position;            // where the value ended in the source

  bool is(Kind k) const { return kind == k; }
};

struct Member {
  std::string name;
  Position position;  // where the member name ended
  Value value;
};

// Deepest nesting of arrays and objects accepted; deeper input is refused
// rather than risking the reader's stack.
inline constexpr std::size_t MAX_NESTING = 128;

// Parses `text` as one JSON value.
std::expected<Value, Error> parse(std::string_view text);

// A short description of a value's JSON type for messages ("string", "array"...).
std::string_view kind_name(Kind kind);

}  // namespace corvane_manager_ha_lab::json

#endif
