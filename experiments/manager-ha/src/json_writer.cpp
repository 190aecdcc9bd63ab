#include "json_writer.h"

namespace corvane_manager_ha_lab::json {

void append_string(std::string& out, std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    switch (byte) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case 0x08: out += "\\b"; break;
      case 0x09: out += "\\t"; break;
      case 0x0A: out += "\\n"; break;
      case 0x0C: out += "\\f"; break;
      case 0x0D: out += "\\r"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out.push_back(hex[byte >> 4]);
          out.push_back(hex[byte & 0x0F]);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
}

std::string quote(std::string_view text) {
  std::string out;
  append_string(out, text);
  return out;
}

void Writer::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!nonempty_.empty()) {
    if (nonempty_.back()) out_.push_back(',');
    nonempty_.back() = true;
  }
}

void Writer::begin_object() {
  before_value();
  out_.push_back('{');
  nonempty_.push_back(false);
}

void Writer::end_object() {
  out_.push_back('}');
  nonempty_.pop_back();
}

void Writer::begin_array() {
  before_value();
  out_.push_back('[');
  nonempty_.push_back(false);
}

void Writer::end_array() {
  out_.push_back(']');
  nonempty_.pop_back();
}

void Writer::key(std::string_view name) {
  before_value();
  append_string(out_, name);
  out_.push_back(':');
  after_key_ = true;
}

void Writer::string(std::string_view text) {
  before_value();
  append_string(out_, text);
}

void Writer::unsigned_integer(std::uint64_t value) {
  before_value();
  out_ += std::to_string(value);
}

void Writer::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
}

void Writer::null() {
  before_value();
  out_ += "null";
}

void Writer::raw(std::string_view json) {
  before_value();
  out_ += json;
}

}  // namespace corvane_manager_ha_lab::json
