#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace mora::e2e {

namespace {

std::vector<std::string> MergedEnvironment(const TEnvironment& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (changes.count(name) == 0) result.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) result.push_back(name + "=" + *value);
  }
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

void Check(int result, const char* what) {
  if (result != 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(result));
}

}  // namespace

TRunningProcess::TRunningProcess(const std::string& program,
                                 const std::vector<std::string>& arguments,
                                 const TEnvironment& environment, bool holdInput) {
  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  int input[2] = {-1, -1};
  if (holdInput && ::pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (holdInput) {
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  posix_spawn_file_actions_adddup2(&actions, output[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so a course that hangs can be ended whole.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> envp = MergedEnvironment(environment);
  auto argvPointers = Pointers(argv);
  auto envpPointers = Pointers(envp);
  const int result = ::posix_spawn(&FPid, program.c_str(), &actions, &attributes,
                                   argvPointers.data(), envpPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(output[1]);
  if (holdInput) ::close(input[0]);
  FOutput = output[0];
  FInput = input[1];
  Check(result, "posix_spawn");
}

TRunningProcess::~TRunningProcess() {
  if (!FFinished) Finish(10);
  CloseInput();
}

void TRunningProcess::CloseInput() {
  if (FInput >= 0) ::close(FInput);
  FInput = -1;
}

TProcessOutput TRunningProcess::Finish(int timeoutSeconds) {
  TProcessOutput result;
  FFinished = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  char buffer[4096];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.TimedOut = true;
      ::kill(-FPid, SIGKILL);
      break;
    }
    pollfd wait{FOutput, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    const ssize_t n = ::read(FOutput, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.Output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(FOutput);
  FOutput = -1;
  int status = 0;
  while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
  }
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TProcessOutput RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const TEnvironment& environment, int timeoutSeconds) {
  TRunningProcess process(program, arguments, environment);
  return process.Finish(timeoutSeconds);
}

}  // namespace mora::e2e
