// Running the native programs of the build as real processes for the
// end-to-end tests: arguments and environment as given, standard input
// empty (or a pipe the test holds), standard output and error collected
// until every process that inherited them has closed them, so the output of
// a course includes the programs the first one started.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mora::e2e {

struct TProcessOutput {
  int ExitCode = -1;   // of the process started; -1 when it did not end normally
  std::string Output;  // standard output and error, interleaved as written
  bool TimedOut = false;
};

// Environment changes: a value sets the variable, nullopt removes it.
using TEnvironment = std::map<std::string, std::optional<std::string>>;

class TRunningProcess {
 public:
  // Starts program with the arguments; with holdInput the test keeps the
  // write end of a pipe as the program's standard input (CloseInput ends
  // it), otherwise the input is empty.
  TRunningProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const TEnvironment& environment, bool holdInput = false);
  ~TRunningProcess();
  TRunningProcess(const TRunningProcess&) = delete;
  TRunningProcess& operator=(const TRunningProcess&) = delete;

  pid_t Pid() const { return FPid; }
  void CloseInput();
  // Reads the output until every writer has closed it (or the time is up,
  // when the process is killed), then collects the exit code.
  TProcessOutput Finish(int timeoutSeconds = 120);

 private:
  pid_t FPid = -1;
  int FOutput = -1;
  int FInput = -1;
  bool FFinished = false;
};

// Starts the program and finishes it at once.
TProcessOutput RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const TEnvironment& environment, int timeoutSeconds = 120);

}  // namespace mora::e2e
