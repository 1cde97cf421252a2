// Where the POSIX layer keeps its state, and the drive mapping.
//
// State layout. With MORA_HOME set, everything lies under that one folder:
//   $MORA_HOME/prefix/drive_c            C:\ (with windows\ and Program Files\)
//   $MORA_HOME/prefix/dosdevices/<x>:    other drive letters (symlinks, as
//                                        Wine keeps them; c: and z: are made)
//   $MORA_HOME/registry.json             HKCU and HKLM store (+ registry.json.lock)
//   $MORA_HOME/locks/                    named-mutex lock files
//   $MORA_HOME/pending-deletions.json    deletion at the next restart
//   $MORA_HOME/applications/             program groups and shortcuts
//   $MORA_HOME/trash/                    deletions that may be undone
// Without MORA_HOME the same items are spread over the XDG folders:
//   ${XDG_DATA_HOME:-~/.local/share}/mora/{prefix,pending-deletions.json}
//   ${XDG_DATA_HOME:-~/.local/share}/{applications,Trash}
//   ${XDG_CONFIG_HOME:-~/.config}/mora/registry.json
//   ${XDG_RUNTIME_DIR}/mora/locks (or /tmp/mora-<uid>/locks without a runtime folder)
// MORA_PREFIX, when set, moves the prefix alone (it wins over both).
//
// Drive mapping: C:\ is <prefix>/drive_c, Z:\ is /, any other letter X is
// <prefix>/dosdevices/x: (which the user may link anywhere; when missing the
// drive simply does not exist). Names are converted 932 <-> UTF-8.
#include "platform/posix/state.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"

namespace mora::platform::posix {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = Env("HOME");
  return home.empty() ? std::string("/tmp") : home;
}

std::string TrimSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

[[noreturn]] void InvalidPath(std::string_view path, std::string_view why) {
  throw base::EInvalidPath(std::string(path) + ": " + std::string(why));
}

std::string CurrentHostFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (!::getcwd(buffer.data(), buffer.size())) return "/";
  return buffer.data();
}

// Splits a host path on "/" and resolves "." and ".." lexically.
std::vector<std::string> HostComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string_view::npos) j = path.size();
    std::string part(path.substr(i, j - i));
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  return parts;
}

std::string JoinHost(const std::vector<std::string>& parts) {
  std::string result;
  for (const auto& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

// Ensures drive_c (with the folders a fresh system has) once per prefix.
void EnsurePrefix(const std::string& prefix) {
  static std::mutex guard;
  static std::string done;
  std::lock_guard<std::mutex> lock(guard);
  if (done == prefix) return;
  MakeHostFolders(prefix + "/drive_c/windows");
  MakeHostFolders(prefix + "/drive_c/Program Files");
  if (MakeHostFolders(prefix + "/dosdevices")) {
    (void)::symlink("../drive_c", (prefix + "/dosdevices/c:").c_str());
    (void)::symlink("/", (prefix + "/dosdevices/z:").c_str());
  }
  done = prefix;
}

bool IsForbiddenNameByte(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
         c == '*';
}

bool StartsWithFolder(const std::string& path, const std::string& folder) {
  if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == '/' || folder == "/";
}

}  // namespace

TStateLayout StateLayout() {
  TStateLayout layout;
  const std::string home = TrimSlash(Env("MORA_HOME"));
  if (!home.empty()) {
    layout.Prefix = home + "/prefix";
    layout.RegistryFile = home + "/registry.json";
    layout.LockFolder = home + "/locks";
    layout.PendingFile = home + "/pending-deletions.json";
    layout.ShortcutRoot = home + "/applications";
    layout.TrashFolder = home + "/trash";
  } else {
    std::string data = TrimSlash(Env("XDG_DATA_HOME"));
    if (data.empty()) data = HomeFolder() + "/.local/share";
    std::string config = TrimSlash(Env("XDG_CONFIG_HOME"));
    if (config.empty()) config = HomeFolder() + "/.config";
    const std::string runtime = TrimSlash(Env("XDG_RUNTIME_DIR"));
    layout.Prefix = data + "/mora/prefix";
    layout.RegistryFile = config + "/mora/registry.json";
    layout.LockFolder = runtime.empty() ? "/tmp/mora-" + std::to_string(::getuid()) + "/locks"
                                        : runtime + "/mora/locks";
    layout.PendingFile = data + "/mora/pending-deletions.json";
    layout.ShortcutRoot = data + "/applications";
    layout.TrashFolder = data + "/Trash";
  }
  const std::string prefix = TrimSlash(Env("MORA_PREFIX"));
  if (!prefix.empty()) layout.Prefix = prefix;
  return layout;
}

bool MakeHostFolders(const std::string& hostPath, unsigned mode) {
  if (hostPath.empty()) return false;
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::size_t slash = hostPath.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeHostFolders(hostPath.substr(0, slash), mode)) return false;
  }
  if (::mkdir(hostPath.c_str(), mode) == 0) return true;
  return errno == EEXIST && ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FullPath932(std::string_view path) {
  std::string p(path);
  // "/" never occurs as a 932 trail byte (those start at 0x40).
  for (auto& c : p) {
    if (c == '/') c = '\\';
  }
  auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  std::string combined;
  if (p.size() >= 2 && isLetter(p[0]) && p[1] == ':') {
    const char drive = static_cast<char>(p[0] & ~0x20);
    std::string rest = p.substr(2);
    if (!rest.empty() && rest[0] == '\\') {
      combined = std::string(1, drive) + ":" + rest;
    } else {
      // Drive-relative: against the current folder when it is on that drive.
      std::string current = DrivePathFromHost(CurrentHostFolder());
      if (current[0] == drive) {
        combined = current + "\\" + rest;
      } else {
        combined = std::string(1, drive) + ":\\" + rest;
      }
    }
  } else if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    InvalidPath(path, "network paths are not supported");
  } else if (!p.empty() && p[0] == '\\') {
    combined = DrivePathFromHost(CurrentHostFolder()).substr(0, 2) + p;
  } else {
    combined = DrivePathFromHost(CurrentHostFolder()) + "\\" + p;
  }
  // combined is "X:\...": split the part after "X:" on single-byte "\".
  std::vector<std::string> parts;
  std::string current;
  const std::string rest = combined.substr(2);
  for (std::size_t i = 0; i <= rest.size(); ++i) {
    if (i == rest.size() || base::IsPathDelimiter(rest, i)) {
      if (current == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!current.empty() && current != ".") {
        parts.push_back(current);
      }
      current.clear();
    } else {
      current += rest[i];
    }
  }
  std::string result = combined.substr(0, 2) + "\\";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += "\\";
    result += parts[i];
  }
  if (!parts.empty() && base::EndsWithPathDelimiter(p)) result += "\\";
  return result;
}

std::string HostPath(std::string_view path) {
  if (path.empty()) InvalidPath(path, "empty path");
  if (path.find('\0') != std::string_view::npos) InvalidPath("?", "path holds a zero byte");
  const std::string full = FullPath932(path);
  const char drive = full[0];
  std::string host;
  if (drive == 'Z') {
    host.clear();
  } else {
    const std::string prefix = StateLayout().Prefix;
    EnsurePrefix(prefix);
    if (drive == 'C') {
      host = prefix + "/drive_c";
    } else {
      host = prefix + "/dosdevices/" + std::string(1, static_cast<char>(drive | 0x20)) + ":";
    }
  }
  const std::string rest = full.substr(3);
  std::string component;
  auto flush = [&]() {
    if (component.empty()) return;
    for (unsigned char c : component) {
      if (IsForbiddenNameByte(c)) InvalidPath(path, "a name holds a character not allowed");
    }
    std::string utf8;
    try {
      utf8 = base::Cp932ToUtf8(component);
    } catch (const base::EConvertError&) {
      InvalidPath(path, "a name is not valid Shift-JIS text");
    }
    if (utf8.size() > NAME_MAX) InvalidPath(path, "a name is too long");
    host += "/" + utf8;
    component.clear();
  };
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (base::IsPathDelimiter(rest, i)) {
      flush();
    } else {
      component += rest[i];
    }
  }
  flush();
  if (host.empty()) host = "/";
  if (host.size() >= PATH_MAX) InvalidPath(path, "the path is too long");
  return host;
}

std::optional<std::string> TryHostPath(std::string_view path) {
  try {
    return HostPath(path);
  } catch (const base::EInvalidPath&) {
    return std::nullopt;
  }
}

std::string DrivePathFromHost(std::string_view hostPath) {
  std::string absolute(hostPath);
  if (absolute.empty() || absolute[0] != '/') absolute = CurrentHostFolder() + "/" + absolute;
  const std::string normal = JoinHost(HostComponents(absolute));
  const std::string driveC = JoinHost(HostComponents(StateLayout().Prefix + "/drive_c"));
  std::string realDriveC;
  if (char* real = ::realpath(driveC.c_str(), nullptr)) {
    realDriveC = real;
    std::free(real);
  }
  std::string drive = "Z:";
  std::string rest = normal;
  if (StartsWithFolder(normal, driveC)) {
    drive = "C:";
    rest = normal.substr(driveC.size());
  } else if (!realDriveC.empty() && StartsWithFolder(normal, realDriveC)) {
    drive = "C:";
    rest = normal.substr(realDriveC.size());
  }
  std::string result = drive + "\\";
  bool first = true;
  for (const auto& part : HostComponents(rest)) {
    if (part.find('\\') != std::string::npos) {
      InvalidPath(base::Cp932ToUtf8Lossy(part), "a name holds a backslash");
    }
    std::string converted;
    try {
      converted = base::Utf8ToCp932(part);
    } catch (const base::EConvertError&) {
      InvalidPath(Utf8ToCp932Lossy(normal), "a name has no Shift-JIS form");
    }
    if (!first) result += "\\";
    result += converted;
    first = false;
  }
  return result;
}

std::string Utf8ToCp932Lossy(std::string_view utf8) {
  try {
    return base::Utf8ToCp932(utf8);
  } catch (const base::EConvertError&) {
  }
  std::string result;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 1;
    if (length > utf8.size() - i) length = 1;
    try {
      result += base::Utf8ToCp932(utf8.substr(i, length));
    } catch (const base::EConvertError&) {
      result += '?';
    }
    i += length;
  }
  return result;
}

std::string HexEncode(std::string_view bytes) {
  static const char Digits[] = "0123456789abcdef";
  std::string result;
  result.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    result += Digits[c >> 4];
    result += Digits[c & 15];
  }
  return result;
}

std::optional<std::string> HexDecode(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string result;
  result.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = value(hex[i]);
    const int low = value(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    result += static_cast<char>(high * 16 + low);
  }
  return result;
}

std::optional<std::string> ReadHostFile(const std::string& hostPath) {
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string result;
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    result.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return result;
}

namespace {

// The process id in a temporary name ".mora-<pid>-<n>.tmp", or 0.
pid_t WriterOfTemporary(const char* name) {
  static constexpr std::string_view prefix = ".mora-";
  static constexpr std::string_view suffix = ".tmp";
  const std::string_view text(name);
  if (text.size() <= prefix.size() + suffix.size() || !text.starts_with(prefix) ||
      !text.ends_with(suffix)) {
    return 0;
  }
  pid_t pid = 0;
  std::size_t at = prefix.size();
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (pid > 99'999'999) return 0;
    pid = pid * 10 + (text[at] - '0');
  }
  return at < text.size() && text[at] == '-' ? pid : 0;
}

// A writer killed between creating its temporary file and renaming it
// leaves the file behind; it would keep an uninstalled folder from being
// removed. Such files of processes that are gone are deleted here.
void RemoveTemporariesOfEndedWriters(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t pid = WriterOfTemporary(entry->d_name);
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
  }
  ::closedir(dir);
}

}  // namespace

bool WriteHostFileAtomic(const std::string& hostPath, std::string_view bytes) {
  // A short name of its own beside the target: appending to the target's
  // name would fail for names near the length limit.
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = hostPath.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : hostPath.substr(0, slash);
  RemoveTemporariesOfEndedWriters(folder);
  const std::string temporary =
      folder + "/.mora-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temporary.c_str(), hostPath.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

THostFileLock::THostFileLock(const std::string& hostPath, bool exclusive) {
  FFd = ::open(hostPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (FFd < 0) return;
  while (::flock(FFd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno != EINTR) {
      ::close(FFd);
      FFd = -1;
      return;
    }
  }
}

THostFileLock::~THostFileLock() {
  if (FFd >= 0) ::close(FFd);
}

}  // namespace mora::platform::posix
