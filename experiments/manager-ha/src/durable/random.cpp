#include "durable/random.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "durable/digest.h"
#include "durable/unique_fd.h"

namespace corvane_manager_ha_lab::durable {

std::expected<std::string, DurableError> random_hex_16() {
  const UniqueFd source(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
  if (!source.valid()) return std::unexpected(io_error(errno));
  std::array<char, 16> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t n = ::read(source.get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(io_error(errno));
    }
    if (n == 0) return std::unexpected(DurableError::storage("failed to fill whole buffer"));
    filled += static_cast<std::size_t>(n);
  }
  return lower_hex(std::string_view(bytes.data(), bytes.size()));
}

}  // namespace corvane_manager_ha_lab::durable
