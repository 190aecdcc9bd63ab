// The program's entry sequence: version, command line, configuration file,
// path and configuration checks, and then exactly one mode.
//
// `start` returns what the process should print and its exit status instead of
// printing, so the whole sequence can be driven from tests.
#ifndef CORVANE_MANAGERD_STARTUP_H
#define CORVANE_MANAGERD_STARTUP_H

#include <expected>
#include <string>
#include <vector>

#include "lib/configuration.h"

namespace corvane_manager_resident_lab {

inline constexpr const char* VERSION_LINE = "corvane-managerd 0.1.0";
inline constexpr const char* VALIDATE_CONFIG_LINE =
    R"({"configuration_valid":true,"durable_store_checked":false,"network_started":false})";
inline constexpr std::size_t MAX_CONFIGURATION_BYTES = 1024 * 1024;

// Reads the configuration file (already checked as trusted): at most 1 MiB.
std::expected<std::string, std::string> read_configuration_bytes(const std::string& path);

// Runs the start-up sequence for `arguments` (without the program name).
// Success carries the line for standard output (empty for the resident
// mode); failure carries the error text for "resident refused: ".
std::expected<std::string, std::string> start(const std::vector<std::string>& arguments);

// The process entry: prints, and returns the exit status.
int main(const std::vector<std::string>& arguments);

}  // namespace corvane_manager_resident_lab

#endif
