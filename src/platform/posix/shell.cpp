// The shell verb "open" on POSIX. Executables (any execute bit, or a Windows
// program, which goes through wine) are spawned directly with their
// parameters split as the toolkit splits a command line and passed on as
// UTF-8 texts (a drive path stays a drive path: the child maps it back);
// anything else is handed to xdg-open. Results follow the shell's: 42 on
// success, 2 file not found, 3 path (working folder) not found, 5 access
// denied, 11 bad format, 31 no application for the document.
#include "platform/shell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/posix/state.h"

extern char** environ;

namespace mora::platform {

namespace {

constexpr int ShellOk = 42;
constexpr int ShellFileNotFound = 2;
constexpr int ShellPathNotFound = 3;
constexpr int ShellAccessDenied = 5;
constexpr int ShellBadFormat = 11;
constexpr int ShellNoAssociation = 31;

// Children are not waited for by the caller; finished ones are reaped at the
// next start so they do not linger as zombies.
void ReapFinished(std::vector<pid_t>& children) {
  std::vector<pid_t> running;
  for (pid_t pid : children) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) running.push_back(pid);
  }
  children.swap(running);
}

std::vector<pid_t>& Children() {
  static std::vector<pid_t> children;
  return children;
}

std::mutex& ChildrenGuard() {
  static std::mutex guard;
  return guard;
}

bool IsExecutableFile(const std::string& host) {
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::string();
}

bool IsWindowsProgram(const std::string& host) {
  const auto head = posix::ReadHostFile(host);
  return head && head->size() >= 2 && (*head)[0] == 'M' && (*head)[1] == 'Z';
}

std::string WineLoader() {
  if (const char* wine = std::getenv("MORA_WINE"); wine && *wine) return wine;
  std::string loader = FindInPath("wine");
  if (loader.empty()) loader = FindInPath("wine64");
  if (loader.empty() && IsExecutableFile("/usr/lib/wine/wine64")) loader = "/usr/lib/wine/wine64";
  return loader;
}

int SpawnResult(int error) {
  switch (error) {
    case 0: return ShellOk;
    case ENOENT: return ShellFileNotFound;
    case EACCES:
    case EPERM: return ShellAccessDenied;
    default: return ShellBadFormat;
  }
}

int Spawn(const std::vector<std::string>& arguments, const std::string& hostFolder) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!hostFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, hostFolder.c_str());
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error == 0) {
    std::lock_guard<std::mutex> lock(ChildrenGuard());
    ReapFinished(Children());
    Children().push_back(pid);
  }
  return SpawnResult(error);
}

}  // namespace

int ShellExecuteOpenFor(TNativeWindow, const std::string& file, const std::string& parameters,
                        const std::string& folder) {
  return ShellExecuteOpen(file, parameters, folder);
}

int ShellExecuteOpen(const std::string& file, const std::string& parameters,
                     const std::string& folder) {
  std::string hostFolder;
  if (!folder.empty()) {
    if (!DirectoryExists(folder)) return ShellPathNotFound;
    hostFolder = posix::HostPath(folder);
  }
  std::string host;
  const bool bare = file.find('\\') == std::string::npos && file.find('/') == std::string::npos &&
                    file.find(':') == std::string::npos;
  if (const auto mapped = posix::TryHostPath(file)) {
    struct stat st {};
    if (::stat(mapped->c_str(), &st) == 0) host = *mapped;
  }
  if (host.empty() && bare) {
    try {
      host = FindInPath(base::Cp932ToUtf8(file));
    } catch (const base::EConvertError&) {
      host.clear();
    }
  }
  if (host.empty()) return ShellFileNotFound;

  std::vector<std::string> arguments;
  try {
    auto parsed = ParseCommandLine("x " + parameters);
    for (std::size_t i = 1; i < parsed.size(); ++i) {
      arguments.push_back(base::Cp932ToUtf8(parsed[i]));
    }
  } catch (const base::EConvertError&) {
    return ShellBadFormat;
  }

  std::vector<std::string> command;
  if (IsWindowsProgram(host)) {
    const std::string wine = WineLoader();
    if (wine.empty()) return ShellNoAssociation;
    command = {wine, host};
  } else if (IsExecutableFile(host)) {
    command = {host};
  } else {
    const std::string opener = FindInPath("xdg-open");
    if (opener.empty()) return ShellNoAssociation;
    command = {opener, host};
    arguments.clear();  // a document takes no parameters
  }
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Spawn(command, hostFolder);
}

}  // namespace mora::platform
