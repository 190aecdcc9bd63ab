#include "lib/startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "cli/network_mode.h"
#include "cli/options.h"
#include "cli/path_trust.h"
#include "durable/os_error.h"
#include "lib/run.h"

namespace corvane_manager_resident_lab {

namespace {

using corvane_manager_ha_lab::durable::os_error_text;

std::unexpected<std::string> os_failure() { return std::unexpected(os_error_text(errno)); }

// Closes a descriptor on every path.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

std::expected<std::string, std::string> inspect_store(const Configuration&, const std::string&) {
  return std::unexpected(std::string("store inspection is not available in this build"));
}

}  // namespace

std::expected<std::string, std::string> read_configuration_bytes(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) return os_failure();
  std::string bytes;
  char buffer[64 * 1024];
  while (bytes.size() <= MAX_CONFIGURATION_BYTES) {
    const std::size_t want = std::min(sizeof buffer, MAX_CONFIGURATION_BYTES + 1 - bytes.size());
    const ssize_t got = ::read(file.get(), buffer, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return os_failure();
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (bytes.size() > MAX_CONFIGURATION_BYTES) {
    return std::unexpected(std::string("configuration exceeds 1 MiB"));
  }
  return bytes;
}

std::expected<std::string, std::string> start(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1 && arguments[0] == "--version") return std::string(VERSION_LINE);

  auto options = cli::parse(arguments);
  if (!options) return std::unexpected(options.error());
  if (auto trusted = cli::trusted_file(options->config, false); !trusted) {
    return std::unexpected(trusted.error());
  }
  auto bytes = read_configuration_bytes(options->config);
  if (!bytes) return std::unexpected(bytes.error());
  auto configuration = Configuration::read(*bytes);
  if (!configuration) return std::unexpected(configuration.error());

  std::string state_dir;
  if (options->state_dir) {
    state_dir = *options->state_dir;
  } else {
    auto parent = cli::parent_directory(configuration->network.database_path);
    if (!parent) return std::unexpected(std::string("state directory missing"));
    state_dir = *parent;
  }

  if (options->inspect_store) {
    if (auto ok = cli::validate_inspection_paths(*configuration, state_dir); !ok) {
      return std::unexpected(ok.error());
    }
    if (auto ok = Configuration::validate_inspection(*configuration); !ok) {
      return std::unexpected(ok.error());
    }
    return inspect_store(*configuration, state_dir);
  }

  std::string runtime_dir;
  if (options->runtime_dir) {
    runtime_dir = *options->runtime_dir;
  } else {
    auto parent = cli::parent_directory(configuration->control_socket);
    if (!parent) return std::unexpected(std::string("runtime directory missing"));
    runtime_dir = *parent;
  }
  if (auto ok = cli::validate_paths(*configuration, state_dir, runtime_dir); !ok) {
    return std::unexpected(ok.error());
  }
  if (auto ok = Configuration::validate(*configuration); !ok) return std::unexpected(ok.error());
  if (auto ok = cli::lenient_network_mode(); !ok) return std::unexpected(ok.error());
  if (options->validate_config) return std::string(VALIDATE_CONFIG_LINE);

  if (auto ok = run(std::move(*configuration)); !ok) return std::unexpected(ok.error());
  return std::string();
}

int main(const std::vector<std::string>& arguments) {
  auto outcome = start(arguments);
  if (!outcome) {
    std::cerr << "resident refused: " << outcome.error() << '\n' << std::flush;
    return 1;
  }
  if (!outcome->empty()) std::cout << *outcome << '\n' << std::flush;
  return 0;
}

}  // namespace corvane_manager_resident_lab
