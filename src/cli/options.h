// The command-line grammar of corvane-managerd.
//
// `cli::parse` turns the argument list (without the program name) into
// `Options` or one error text. Paths are kept as the raw argument bytes.
//
// Pure; safe from any thread.
#ifndef CORVANE_MANAGERD_CLI_OPTIONS_H
#define CORVANE_MANAGERD_CLI_OPTIONS_H

#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace corvane_manager_resident_lab::cli {

struct Options {
  std::string config;
  std::optional<std::string> state_dir;
  std::optional<std::string> runtime_dir;
  bool validate_config = false;
  bool inspect_store = false;

  friend bool operator==(const Options&, const Options&) = default;
};

std::expected<Options, std::string> parse(const std::vector<std::string>& arguments);

}  // namespace corvane_manager_resident_lab::cli

#endif
