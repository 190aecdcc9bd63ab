// Owns one open file descriptor and closes it when dropped.
//
// Single owner; not for concurrent use.
#ifndef CORVANE_MANAGER_HA_DURABLE_UNIQUE_FD_H
#define CORVANE_MANAGER_HA_DURABLE_UNIQUE_FD_H

#include <unistd.h>

#include <utility>

namespace corvane_manager_ha_lab::durable {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes the descriptor now; returns close's result (0, or -1 with errno).
  int reset() {
    if (fd_ < 0) return 0;
    return ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_ = -1;
};

}  // namespace corvane_manager_ha_lab::durable

#endif
