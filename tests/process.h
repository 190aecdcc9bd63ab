// Runs the daemon binary to completion for whole-program tests: arguments,
// environment changes, and the captured standard output, error and status.
//
// Each call is independent; safe from one test thread at a time.
#ifndef CORVANE_TESTS_PROCESS_H
#define CORVANE_TESTS_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane_tests {

struct Outcome {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// `environment`: a value sets the variable, nullopt removes it; everything
// else is inherited.
Outcome run_binary(const std::string& binary, const std::vector<std::string>& arguments,
                   const std::map<std::string, std::optional<std::string>>& environment = {});

// A program started in the background, for a daemon that runs until told to
// stop. Its standard output and error go to pipes that are read once it has
// ended (the daemon writes at most one line). A process still running when
// the value goes away is killed and waited for, so a failing test never
// leaves one behind.
class BackgroundProcess {
 public:
  // `umask`: the file mode creation mask of the child, when given.
  BackgroundProcess(const std::string& binary, const std::vector<std::string>& arguments,
                    const std::map<std::string, std::optional<std::string>>& environment = {},
                    std::optional<mode_t> umask = std::nullopt);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool running();
  // Waits at most `limit` for the process to end; its outcome, or nothing
  // while it still runs.
  std::optional<Outcome> wait(std::chrono::milliseconds limit);

 private:
  void reap(int status);

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::optional<Outcome> outcome_;
};

// A fresh private directory (mode 0700) under /tmp, removed with its contents
// when the value goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& bytes, unsigned mode = 0600);

}  // namespace corvane_tests

#endif
