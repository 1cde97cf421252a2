// Shell links and program groups on POSIX, in freedesktop form. The Programs
// folder is the state's applications folder; a program group is a folder in
// it and a link a desktop entry "<Name>.desktop" (UTF-8 names):
//   [Desktop Entry]
//   Type=Application
//   Name=<the link's name>          Comment=<its description>
//   Exec=wine "<program>" "<arg>"... (a Windows program) or xdg-open "<file>"
//   Path=<working folder>
//   X-Mora-Target, -Arguments, -WorkDir, -IconFile (the program's own drive
//   paths and texts), X-Mora-IconIndex, -HotKey, -ShowCommand (decimal)
// File operations work on the host file system directly; an undoable
// deletion moves into the freedesktop trash of the state layout. Read-only
// files are taken like any other: the shell asks about them only when it
// may ask, and nothing is ever asked here.
#include "platform/shelllink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string_view>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/folders.h"
#include "platform/posix/state.h"
#include "platform/shell.h"

namespace mora::platform {

using base::FormatS;
using base::Sjis;

namespace fs = std::filesystem;

namespace {

constexpr std::string_view DesktopGroup = "[Desktop Entry]";
constexpr std::string_view DesktopExtension = ".desktop";
// Entries we write are a few hundred bytes; anything this large is not one.
constexpr std::size_t MaxDesktopEntrySize = 1024 * 1024;

// A text of the link as UTF-8; what names the link and the field in the message.
std::string Utf8Of(std::string_view text, const std::string& linkPath, std::string_view what) {
  try {
    return base::Cp932ToUtf8(text);
  } catch (const base::EConvertError&) {
    throw base::EInvalidPath(linkPath + ": " + std::string(what) +
                             Sjis(" は Shift-JIS のテキストとして変換できません"));
  }
}

// A string value of a desktop entry: "\" doubled, line breaks and tabs as
// escapes, a leading blank as "\s" (it would be trimmed otherwise).
std::string EscapeValue(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '\\': result += "\\\\"; break;
      case '\n': result += "\\n"; break;
      case '\r': result += "\\r"; break;
      case '\t': result += "\\t"; break;
      case ' ': result += i == 0 ? "\\s" : " "; break;
      default: result += text[i];
    }
  }
  return result;
}

std::string UnescapeValue(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      result += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case 's': result += ' '; break;
      case 'n': result += '\n'; break;
      case 'r': result += '\r'; break;
      case 't': result += '\t'; break;
      case '\\': result += '\\'; break;
      default:  // not an escape of the format: kept as it stands
        result += '\\';
        result += next;
    }
  }
  return result;
}

// One argument of Exec, quoted: inside the quotes ", `, $ and \ take a
// backslash; "%" is doubled everywhere, as field codes start with it.
std::string QuoteExecArgument(std::string_view argument) {
  std::string result = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') result += '\\';
    result += c;
    if (c == '%') result += '%';
  }
  return result + "\"";
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
  if (text.size() < ending.size()) return false;
  return base::SameText932(text.substr(text.size() - ending.size()), ending);
}

// A program that runs through wine: a Windows program file (it starts with
// "MZ") or, when the target is not there yet, a name with a program's ending.
bool IsWindowsProgram(const std::string& target932, const std::string& host) {
  struct stat st {};
  if (::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      char head[2] = {};
      const ssize_t n = ::read(fd, head, sizeof head);
      ::close(fd);
      if (n == 2) return head[0] == 'M' && head[1] == 'Z';
    }
  }
  for (const std::string_view ending : {".exe", ".com", ".bat", ".cmd"}) {
    if (EndsWithIgnoringCase(target932, ending)) return true;
  }
  return false;
}

std::string ExecLine(const TShellLinkData& link, const std::string& linkPath) {
  const std::string host = posix::HostPath(link.Target);
  if (!IsWindowsProgram(link.Target, host)) return "xdg-open " + QuoteExecArgument(host);
  std::string exec = "wine " + QuoteExecArgument(host);
  const auto arguments = ParseCommandLine("x " + link.Arguments);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    exec += " " + QuoteExecArgument(Utf8Of(arguments[i], linkPath, "Arguments"));
  }
  return exec;
}

std::string DesktopEntry(const std::string& linkPath, const std::string& hostPath,
                         const TShellLinkData& link) {
  std::string name = fs::path(hostPath).filename().string();
  if (name.size() > DesktopExtension.size() &&
      name.compare(name.size() - DesktopExtension.size(), DesktopExtension.size(),
                   DesktopExtension) == 0) {
    name.resize(name.size() - DesktopExtension.size());
  }
  std::string entry = std::string(DesktopGroup) + "\n";
  entry += "Type=Application\n";
  entry += "Name=" + EscapeValue(name) + "\n";
  entry += "Comment=" + EscapeValue(Utf8Of(link.Description, linkPath, "Description")) + "\n";
  entry += "Exec=" + EscapeValue(ExecLine(link, linkPath)) + "\n";
  if (!link.WorkDir.empty()) entry += "Path=" + EscapeValue(posix::HostPath(link.WorkDir)) + "\n";
  entry += "Terminal=false\n";
  entry += "X-Mora-Target=" + EscapeValue(Utf8Of(link.Target, linkPath, "Target")) + "\n";
  entry += "X-Mora-Arguments=" + EscapeValue(Utf8Of(link.Arguments, linkPath, "Arguments")) + "\n";
  entry += "X-Mora-WorkDir=" + EscapeValue(Utf8Of(link.WorkDir, linkPath, "WorkDir")) + "\n";
  entry += "X-Mora-IconFile=" + EscapeValue(Utf8Of(link.IconFile, linkPath, "IconFile")) + "\n";
  entry += "X-Mora-IconIndex=" + std::to_string(link.IconIndex) + "\n";
  entry += "X-Mora-HotKey=" + std::to_string(link.HotKey) + "\n";
  entry += "X-Mora-ShowCommand=" + std::to_string(link.ShowCommand) + "\n";
  return entry;
}

[[noreturn]] void Damaged(const std::string& linkPath, const std::string& what) {
  throw base::EDamagedData(linkPath + ": " + what);
}

// The keys of the [Desktop Entry] group, values unescaped (UTF-8).
std::map<std::string, std::string> ParseDesktopEntry(std::string_view text,
                                                     const std::string& linkPath) {
  std::map<std::string, std::string> values;
  bool inGroup = false;
  bool sawGroup = false;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == DesktopGroup;
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      Damaged(linkPath, "line " + std::to_string(lineNumber) + ": no \"=\" in a key line");
    }
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    std::string_view value = line.substr(equals + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    values[std::string(key)] = UnescapeValue(value);
  }
  if (!sawGroup) Damaged(linkPath, "no [Desktop Entry] group");
  return values;
}

std::string TextField(const std::map<std::string, std::string>& values, const std::string& key,
                      const std::string& linkPath) {
  const auto found = values.find(key);
  if (found == values.end()) return {};
  try {
    return base::Utf8ToCp932(found->second);
  } catch (const base::EConvertError&) {
    Damaged(linkPath, key + ": the text has no Shift-JIS form");
  }
}

template <typename TNumber>
TNumber NumberField(const std::map<std::string, std::string>& values, const std::string& key,
                    TNumber fallback, const std::string& linkPath) {
  const auto found = values.find(key);
  if (found == values.end()) return fallback;
  const std::string& text = found->second;
  TNumber number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) {
    Damaged(linkPath, key + ": \"" + text + "\" is not a number in range");
  }
  return number;
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// ---- file operations ----------------------------------------------------------

bool Exists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

bool IsFolder(const fs::path& path) {
  std::error_code ignored;
  return fs::is_directory(fs::symlink_status(path, ignored));
}

// True when inner is folder itself or lies below it (compared lexically on
// absolute host paths).
bool IsWithin(const fs::path& inner, const fs::path& folder) {
  const fs::path a = inner.lexically_normal();
  const fs::path b = folder.lexically_normal();
  auto i = a.begin();
  for (auto j = b.begin(); j != b.end(); ++j, ++i) {
    if (j->empty()) continue;  // a trailing "/" of the folder
    if (i == a.end() || *i != *j) return false;
  }
  return true;
}

// "name (2).ext", "name (3).ext", ...: the first that is free in its folder.
fs::path FreeName(const fs::path& target) {
  for (int n = 2;; ++n) {
    fs::path candidate = target.parent_path() / (target.stem().string() + " (" + std::to_string(n) +
                                                 ")" + target.extension().string());
    if (!Exists(candidate)) return candidate;
  }
}

std::string PercentEncode(std::string_view path) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string result;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || byte == '/' || byte == '-' || byte == '.' ||
                       byte == '_' || byte == '~';
    if (plain) {
      result += c;
    } else {
      result += '%';
      result += Digits[byte >> 4];
      result += Digits[byte & 15];
    }
  }
  return result;
}

// Copies a file or a folder tree; an existing folder takes the source's
// contents in (files replaced), anything else existing is replaced.
int CopyTree(const fs::path& source, const fs::path& target) {
  std::error_code error;
  if (Exists(target) && !(IsFolder(target) && IsFolder(source))) {
    fs::remove_all(target, error);
    if (error) return error.value();
  }
  fs::copy(source, target,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing |
               fs::copy_options::copy_symlinks,
           error);
  return error ? error.value() : 0;
}

int MoveTree(const fs::path& source, const fs::path& target) {
  if (Exists(target) && !(IsFolder(target) && IsFolder(source))) {
    std::error_code error;
    fs::remove_all(target, error);
    if (error) return error.value();
  }
  std::error_code error;
  fs::rename(source, target, error);
  if (!error) return 0;
  // Another file system, or a folder that merges into one that exists.
  if (const int copied = CopyTree(source, target)) return copied;
  fs::remove_all(source, error);
  return error ? error.value() : 0;
}

int MoveToTrash(const fs::path& source) {
  const fs::path trash = posix::StateLayout().TrashFolder;
  if (!posix::MakeHostFolders((trash / "files").string(), 0700) ||
      !posix::MakeHostFolders((trash / "info").string(), 0700)) {
    return EACCES;
  }
  const std::string base = source.filename().string();
  for (int n = 1;; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const fs::path info = trash / "info" / (name + ".trashinfo");
    const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    char date[32] = {};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string text =
        "[Trash Info]\nPath=" + PercentEncode(source.string()) + "\nDeletionDate=" + date + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    const fs::path target = trash / "files" / name;
    const int moved = written ? MoveTree(source, target) : EIO;
    if (moved != 0) ::unlink(info.c_str());
    return moved;
  }
}

}  // namespace

std::optional<std::string> SpecialFolderPath(int csidl) {
  if (csidl != csidlPrograms) return std::nullopt;
  std::string folder = posix::DrivePathFromHost(posix::StateLayout().ShortcutRoot);
  if (base::EndsWithPathDelimiter(folder) && folder.size() > 3) folder.pop_back();
  return folder;
}

std::string ShellLinkExtension() { return std::string(DesktopExtension); }

bool ShellLinkPathFits(const std::string& linkPath) {
  // HostPath refuses a name over NAME_MAX bytes and a path over PATH_MAX.
  return posix::TryHostPath(linkPath).has_value();
}

TShellLinkSave SaveShellLink(const std::string& linkPath, const TShellLinkData& link) {
  const std::string host = posix::HostPath(linkPath);
  const std::string entry = DesktopEntry(linkPath, host, link);
  if (!posix::WriteHostFileAtomic(host, entry)) {
    throw base::EPlatformError(FormatS(Sjis("ショートカット %s を作成できません"), linkPath));
  }
  return TShellLinkSave::Saved;
}

std::optional<TShellLinkData> ReadShellLink(const std::string& linkPath) {
  const std::string host = posix::HostPath(linkPath);
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return std::nullopt;
  if (!S_ISREG(st.st_mode)) Damaged(linkPath, "not a file");
  if (static_cast<std::uint64_t>(st.st_size) > MaxDesktopEntrySize) {
    Damaged(linkPath, std::to_string(st.st_size) + " bytes is too large for a desktop entry");
  }
  const auto text = posix::ReadHostFile(host);
  if (!text) throw base::EPlatformError(FormatS(Sjis("ファイル %s は開けません"), linkPath));
  const auto values = ParseDesktopEntry(*text, linkPath);
  TShellLinkData link;
  link.Target = TextField(values, "X-Mora-Target", linkPath);
  link.Arguments = TextField(values, "X-Mora-Arguments", linkPath);
  link.Description = TextField(values, "Comment", linkPath);
  link.WorkDir = TextField(values, "X-Mora-WorkDir", linkPath);
  link.IconFile = TextField(values, "X-Mora-IconFile", linkPath);
  link.IconIndex = NumberField<std::int32_t>(values, "X-Mora-IconIndex", 0, linkPath);
  link.HotKey = NumberField<std::uint16_t>(values, "X-Mora-HotKey", 0, linkPath);
  link.ShowCommand = NumberField<std::int32_t>(values, "X-Mora-ShowCommand", 1, linkPath);
  return link;
}

bool OpenFolderWindow(const std::string& folder) {
  // Without a display there is no one to show a window to.
  if (!HasDisplay()) return true;
  return ShellExecuteOpen(folder, "", folder) > 32;
}

bool DeleteProgramGroupRequest(const std::string& group) {
  std::string name;
  try {
    name = base::Cp932ToUtf8(group);
  } catch (const base::EConvertError&) {
    return false;
  }
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\\') != std::string::npos) {
    return false;
  }
  const fs::path folder = fs::path(posix::StateLayout().ShortcutRoot) / name;
  // remove_all takes a symbolic link itself away, never what it points to.
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return !Exists(folder);
}

TShellFileOpResult ShellFileOperation(TShellFileOp operation, const std::vector<std::string>& from,
                                      const std::vector<std::string>& to, std::uint16_t flags,
                                      const std::string&) {
  TShellFileOpResult result;
  std::vector<fs::path> sources;
  for (const auto& name : from) {
    const auto host = posix::TryHostPath(name);
    if (!host || !Exists(*host)) {
      result.Error = ENOENT;
      return result;
    }
    sources.emplace_back(*host);
  }
  std::vector<fs::path> targets;
  for (const auto& name : to) {
    const auto host = posix::TryHostPath(name);
    if (!host) {
      result.Error = EINVAL;
      return result;
    }
    targets.emplace_back(*host);
  }
  if (sources.empty()) {
    result.Error = EINVAL;
    return result;
  }

  if (operation == TShellFileOp::Delete) {
    for (const auto& source : sources) {
      std::error_code error;
      if (flags & fofFlagAllowUndo) {
        result.Error = MoveToTrash(source);
      } else {
        fs::remove_all(source, error);
        result.Error = error ? error.value() : 0;
      }
      if (result.Error) return result;
    }
    return result;
  }

  // Pair each source with its target.
  std::vector<fs::path> pairedTargets;
  const bool pairwise = operation == TShellFileOp::Rename || (flags & fofFlagMultiDestFiles);
  if (pairwise) {
    if (targets.size() != sources.size()) {
      result.Error = EINVAL;
      return result;
    }
    pairedTargets = targets;
  } else {
    if (targets.size() != 1) {
      result.Error = EINVAL;
      return result;
    }
    const fs::path& target = targets.front();
    if (sources.size() > 1 && !IsFolder(target)) {
      std::error_code error;
      fs::create_directories(target, error);
      if (error) {
        result.Error = error.value();
        return result;
      }
    }
    for (const auto& source : sources) {
      pairedTargets.push_back(IsFolder(target) ? target / source.filename() : target);
    }
  }

  for (std::size_t i = 0; i < sources.size(); ++i) {
    const fs::path& source = sources[i];
    fs::path target = pairedTargets[i];
    // A folder never goes into itself.
    if (IsFolder(source) && IsWithin(target, source)) {
      result.Error = EINVAL;
      return result;
    }
    if (operation == TShellFileOp::Rename) {
      if (Exists(target)) {
        result.Error = EEXIST;
        return result;
      }
      std::error_code error;
      fs::rename(source, target, error);
      result.Error = error ? error.value() : 0;
    } else {
      std::error_code ignored;
      const bool itself = Exists(target) && fs::equivalent(source, target, ignored);
      if (itself && operation == TShellFileOp::Move) continue;
      // A copy onto itself gets a name of its own rather than replacing its source.
      if (Exists(target) && (itself || (flags & fofFlagRenameOnCollision)))
        target = FreeName(target);
      result.Error =
          operation == TShellFileOp::Copy ? CopyTree(source, target) : MoveTree(source, target);
    }
    if (result.Error) return result;
  }
  return result;
}

}  // namespace mora::platform
