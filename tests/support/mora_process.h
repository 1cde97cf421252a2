// Runs the mora tool as a real process (POSIX builds): the command line is
// handed to the shell with every argument quoted, and the output (standard
// output and error together) and exit code come back.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/folders.h"

namespace mora::test {

struct TMoraRun {
  int ExitCode = -1;
  std::string Output;
};

// The text as one shell word.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// A 932 drive path as a quoted host path.
inline std::string NativeArgument(const std::string& path) {
  return ShellQuote(platform::PathToNative(path));
}

// Runs the program with arguments (already quoted where needed).
inline TMoraRun RunProgram(const std::string& program, const std::string& arguments) {
  TMoraRun run;
  const std::string command = ShellQuote(program) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Output.append(buffer, n);
  const int status = pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace mora::test
