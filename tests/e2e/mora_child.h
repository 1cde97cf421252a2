// The built mora as a child process of a test: its arguments, stdout and
// stderr kept apart, stdin empty and not a terminal, no display (so nothing
// is opened for the user), the test's own environment otherwise (MORA_HOME).
// A test may read stderr while the child runs and send it a signal.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace mora::e2e {

struct TMoraRun {
  int ExitCode = -1;  // -1 when the child did not end by exit
  int Signal = 0;     // the signal that ended the child, 0 when it exited
  std::string Out;
  std::string Err;
};

class TMoraChild {
 public:
  // stderrPipeSize > 0 shrinks the stderr pipe, so the child blocks on its
  // writes once the test stops reading. A shell prefix ("ulimit -f 64;")
  // runs in a shell that then becomes mora, so limits it sets apply to it.
  explicit TMoraChild(const std::vector<std::string>& arguments, int stderrPipeSize = 0,
                      const std::string& shellPrefix = "");
  ~TMoraChild();
  TMoraChild(const TMoraChild&) = delete;
  TMoraChild& operator=(const TMoraChild&) = delete;

  // Reads stderr until it holds text (true) or the child has closed it.
  bool WaitForError(const std::string& text);
  const std::string& ErrorSoFar() const { return FErr; }
  void Signal(int signal);
  // Reads both pipes to their end and waits for the child.
  TMoraRun Finish();

 private:
  // One round of reading whatever the pipes hold; false once both are closed.
  bool Pump(int timeoutMs);

  pid_t FPid = -1;
  int FOutPipe = -1;
  int FErrPipe = -1;
  std::string FOut;
  std::string FErr;
};

TMoraRun RunMora(const std::vector<std::string>& arguments);
// The same, behind a shell prefix (TMoraChild).
TMoraRun RunMoraAfter(const std::string& shellPrefix, const std::vector<std::string>& arguments);

}  // namespace mora::e2e
