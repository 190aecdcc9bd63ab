// An owned file descriptor (file, socket or listener), closed when its owner
// lets go of it.
//
// Single owner; move-only. Not for concurrent use.
#ifndef CORVANE_MANAGERD_FILE_DESCRIPTOR_H
#define CORVANE_MANAGERD_FILE_DESCRIPTOR_H

#include <unistd.h>

#include <utility>

namespace corvane_manager_resident_lab {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes the descriptor now; a close error is of no use to anyone here.
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

}  // namespace corvane_manager_resident_lab

#endif
