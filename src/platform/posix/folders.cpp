// Well-known folders, the running module and the command line on POSIX.
#include "platform/folders.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/posix/state.h"

namespace mora::platform {

namespace {

std::vector<std::string>& StoredArguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

std::string HostCurrentFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (!::getcwd(buffer.data(), buffer.size())) return "/";
  return buffer.data();
}

bool IsWindowsStyle(const std::string& text) {
  const bool letter =
      !text.empty() && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
  return (letter && text.size() >= 2 && text[1] == ':') || (!text.empty() && text[0] == '\\') ||
         text.find('\\') != std::string::npos;
}

}  // namespace

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string host = (tmp && *tmp) ? tmp : "/tmp";
  std::string path;
  try {
    path = posix::DrivePathFromHost(host);
  } catch (const base::EInvalidPath&) {
    path = "Z:\\tmp";  // $TMPDIR has no drive-path form
  }
  if (!base::EndsWithPathDelimiter(path)) path += "\\";
  return path;
}

std::string WindowsFolder() { return "C:\\windows"; }

std::string ProgramFilesFolder() { return "C:\\Program Files"; }

std::string CurrentFolder() { return posix::DrivePathFromHost(HostCurrentFolder()); }

std::string ModuleFileName() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return std::string();
  try {
    return posix::DrivePathFromHost(std::string(buffer.data(), static_cast<std::size_t>(n)));
  } catch (const base::EInvalidPath&) {
    return std::string();
  }
}

std::vector<std::string> CommandLineArguments() { return StoredArguments(); }

// Options ("-x") stay texts; everything else is taken as a path, which keeps
// a Windows-style one as it is and turns a native one into a drive path.
// Arguments that cannot be represented become their "?"-replaced texts.
void SetCommandLineArguments(int argc, char** argv) {
  auto& arguments = StoredArguments();
  arguments.clear();
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i] ? argv[i] : "";
    if (argument.empty() || argument[0] == '-') {
      arguments.push_back(posix::Utf8ToCp932Lossy(argument));
      continue;
    }
    try {
      arguments.push_back(PathFromNative(argument));
    } catch (const base::EInvalidPath&) {
      arguments.push_back(posix::Utf8ToCp932Lossy(argument));
    }
  }
}

// A Windows-style argument (drive letter and colon, a leading "\" or any "\")
// is a drive path already; a native one is made absolute and mapped.
std::string PathFromNative(const std::string& nativePath) {
  if (nativePath.empty()) return std::string();
  if (IsWindowsStyle(nativePath)) {
    try {
      return base::Utf8ToCp932(nativePath);
    } catch (const base::EConvertError&) {
      throw base::EInvalidPath(posix::Utf8ToCp932Lossy(nativePath) +
                               ": the path has no Shift-JIS form");
    }
  }
  std::string path = posix::DrivePathFromHost(nativePath);
  if (nativePath.back() == '/' && !base::EndsWithPathDelimiter(path)) path += "\\";
  return path;
}

std::string PathToNative(const std::string& path) { return posix::HostPath(path); }

}  // namespace mora::platform
