// Runs the daemon binary to completion for whole-program tests: arguments,
// environment changes, and the captured standard output, error and status.
//
// Each call is independent; safe from one test thread at a time.
#ifndef CORVANE_TESTS_PROCESS_H
#define CORVANE_TESTS_PROCESS_H

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
