#include "cli/options.h"

#include "cli/text.h"

namespace corvane_manager_resident_lab::cli {

namespace {

std::unexpected<std::string> fail(const char* message) { return std::unexpected(std::string(message)); }

bool is_value_option(const std::string& a) {
  return a == "--config" || a == "--state-dir" || a == "--runtime-dir";
}

}  // namespace

std::expected<Options, std::string> parse(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return fail("--config required");
  Options options;
  if (arguments.size() == 1 && (arguments[0].empty() || arguments[0][0] != '-')) {
    options.config = arguments[0];
    return options;
  }
  std::optional<std::string> config;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!is_valid_utf8(argument)) return fail("invalid flag");
    if (is_value_option(argument)) {
      std::optional<std::string>& target = argument == "--config"      ? config
                                           : argument == "--state-dir" ? options.state_dir
                                                                       : options.runtime_dir;
      if (target) return fail("duplicate option");
      if (i + 1 == arguments.size()) return fail("missing option value");
      const std::string& value = arguments[i + 1];
      if (!value.empty() && value[0] == '-') return fail("missing option value");
      target = value;
      ++i;
    } else if (argument == "--inspect-store") {
      if (options.inspect_store) return fail("duplicate --inspect-store");
      options.inspect_store = true;
    } else if (argument == "--validate-config") {
      if (options.validate_config) return fail("duplicate --validate-config");
      options.validate_config = true;
    } else {
      return fail("unknown or positional argument in flag mode");
    }
  }
  if (options.inspect_store && options.validate_config) {
    return fail("--inspect-store cannot be combined with --validate-config");
  }
  if (options.inspect_store && options.runtime_dir) return fail("--inspect-store does not accept --runtime-dir");
  if (!config) return fail("--config required");
  if (!options.state_dir) return fail("--state-dir required");
  if (!options.inspect_store && !options.runtime_dir) return fail("--runtime-dir required");
  options.config = std::move(*config);
  return options;
}

}  // namespace corvane_manager_resident_lab::cli
