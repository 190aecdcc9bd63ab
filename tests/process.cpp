#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace corvane_tests {

namespace {

void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
}

// Starts `binary` with its standard output and error on two new pipes whose
// reading ends are returned in `out` and `err`.
pid_t spawn(const std::string& binary, const std::vector<std::string>& arguments,
            const std::map<std::string, std::optional<std::string>>& environment,
            std::optional<mode_t> umask, int& out, int& err) {
  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    if (umask) ::umask(*umask);
    for (const auto& [name, value] : environment) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (pid < 0) throw std::runtime_error("fork failed");
  out = out_pipe[0];
  err = err_pipe[0];
  return pid;
}

}  // namespace

Outcome run_binary(const std::string& binary, const std::vector<std::string>& arguments,
                   const std::map<std::string, std::optional<std::string>>& environment) {
  int out = -1, err = -1;
  const pid_t pid = spawn(binary, arguments, environment, std::nullopt, out, err);
  Outcome outcome;
  drain(out, err, outcome.out, outcome.err);
  ::close(out);
  ::close(err);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

BackgroundProcess::BackgroundProcess(
    const std::string& binary, const std::vector<std::string>& arguments,
    const std::map<std::string, std::optional<std::string>>& environment,
    std::optional<mode_t> umask) {
  pid_ = spawn(binary, arguments, environment, umask, out_, err_);
}

BackgroundProcess::~BackgroundProcess() {
  if (!outcome_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  ::close(out_);
  ::close(err_);
}

void BackgroundProcess::reap(int status) {
  Outcome outcome;
  drain(out_, err_, outcome.out, outcome.err);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome_ = outcome;
}

bool BackgroundProcess::running() {
  if (outcome_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  reap(status);
  return false;
}

std::optional<Outcome> BackgroundProcess::wait(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (running()) {
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return outcome_;
}

TempDir::TempDir() {
  char pattern[] = "/tmp/corvane-test-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& bytes, unsigned mode) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  ::chmod(path.c_str(), mode);
}

}  // namespace corvane_tests
