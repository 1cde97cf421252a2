#include "mora_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace mora::e2e {

namespace {

// A test that waits longer than this for its child has failed anyway.
constexpr auto ChildDeadline = std::chrono::seconds(120);

}  // namespace

TMoraChild::TMoraChild(const std::vector<std::string>& arguments, int stderrPipeSize,
                       const std::string& shellPrefix) {
  int out[2];
  int err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("pipe failed");
  if (stderrPipeSize > 0) (void)::fcntl(err[0], F_SETPIPE_SZ, stderrPipeSize);
  std::vector<std::string> argv = {MORA_EXE};
  if (!shellPrefix.empty()) {
    argv = {"/bin/sh", "-c", shellPrefix + " exec \"$0\" \"$@\"", MORA_EXE};
  }
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  FPid = ::fork();
  if (FPid < 0) throw std::runtime_error("fork failed");
  if (FPid == 0) {
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  FOutPipe = out[0];
  FErrPipe = err[0];
}

TMoraChild::~TMoraChild() {
  if (FPid > 0) {
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
  }
  if (FOutPipe >= 0) ::close(FOutPipe);
  if (FErrPipe >= 0) ::close(FErrPipe);
}

bool TMoraChild::Pump(int timeoutMs) {
  pollfd fds[2];
  int count = 0;
  for (const int fd : {FOutPipe, FErrPipe}) {
    if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
  }
  if (count == 0) return false;
  if (::poll(fds, static_cast<nfds_t>(count), timeoutMs) <= 0) return true;
  for (int i = 0; i < count; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
    int& fd = fds[i].fd == FOutPipe ? FOutPipe : FErrPipe;
    std::string& text = fds[i].fd == FOutPipe ? FOut : FErr;
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else {
      ::close(fd);
      fd = -1;
    }
  }
  return true;
}

bool TMoraChild::WaitForError(const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + ChildDeadline;
  while (FErr.find(text) == std::string::npos) {
    if (FErrPipe < 0 || std::chrono::steady_clock::now() > deadline) return false;
    Pump(100);
  }
  return true;
}

void TMoraChild::Signal(int signal) { ::kill(FPid, signal); }

TMoraRun TMoraChild::Finish() {
  const auto deadline = std::chrono::steady_clock::now() + ChildDeadline;
  while (Pump(100)) {
    if (std::chrono::steady_clock::now() > deadline) ::kill(FPid, SIGKILL);
  }
  int status = 0;
  ::waitpid(FPid, &status, 0);
  FPid = -1;
  TMoraRun run;
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.Out = FOut;
  run.Err = FErr;
  return run;
}

TMoraRun RunMora(const std::vector<std::string>& arguments) {
  TMoraChild child(arguments);
  return child.Finish();
}

TMoraRun RunMoraAfter(const std::string& shellPrefix, const std::vector<std::string>& arguments) {
  TMoraChild child(arguments, 0, shellPrefix);
  return child.Finish();
}

}  // namespace mora::e2e
