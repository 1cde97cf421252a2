// System version, sleep, deletion at the next restart and .ini writing on
// POSIX. The pending deletions are a JSON list in the state root (see
// state.cpp), {"format": 1, "entries": [{"boot": id, "path": host path}]},
// each entry recorded with the boot id of the system it was made on
// (/proc/sys/kernel/random/boot_id, or $MORA_BOOT_ID where a test or a system
// without /proc supplies one). ProcessPendingDeletions deletes the entries of
// earlier boots. A path that is not valid UTF-8 is stored as {"hex": ...}.
#include "platform/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/posix/state.h"

namespace mora::platform {

namespace {

using nlohmann::json;

std::string BootId() {
  if (const char* id = std::getenv("MORA_BOOT_ID"); id && *id) return id;
  auto text = posix::ReadHostFile("/proc/sys/kernel/random/boot_id");
  if (!text) return std::string();
  while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) text->pop_back();
  return *text;
}

json EncodeHostPath(const std::string& path) {
  try {
    (void)json(path).dump();
    return json(path);
  } catch (const json::exception&) {
    return json{{"hex", posix::HexEncode(path)}};
  }
}

std::optional<std::string> DecodeHostPath(const json& j) {
  if (j.is_string()) return j.get<std::string>();
  if (j.is_object() && j.contains("hex") && j["hex"].is_string()) {
    return posix::HexDecode(j["hex"].get<std::string>());
  }
  return std::nullopt;
}

struct TPending {
  std::string Boot;
  std::string Path;
};

// A damaged list reads as empty: deleting on its word would be guesswork.
std::vector<TPending> LoadPending(const std::string& file) {
  std::vector<TPending> entries;
  const auto text = posix::ReadHostFile(file);
  if (!text) return entries;
  const json j = json::parse(*text, nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains("entries") || !j["entries"].is_array()) {
    return entries;
  }
  for (const json& entry : j["entries"]) {
    if (!entry.is_object() || !entry.contains("boot") || !entry["boot"].is_string() ||
        !entry.contains("path")) {
      continue;
    }
    auto path = DecodeHostPath(entry["path"]);
    if (!path || path->empty() || (*path)[0] != '/') continue;
    entries.push_back({entry["boot"].get<std::string>(), std::move(*path)});
  }
  return entries;
}

bool SavePending(const std::string& file, const std::vector<TPending>& entries) {
  json list = json::array();
  for (const auto& entry : entries) {
    list.push_back(json{{"boot", entry.Boot}, {"path", EncodeHostPath(entry.Path)}});
  }
  return posix::WriteHostFileAtomic(file, json{{"format", 1}, {"entries", list}}.dump(1));
}

bool PreparePendingFolder(const std::string& file) {
  const std::size_t slash = file.find_last_of('/');
  return slash == std::string::npos || slash == 0 ||
         posix::MakeHostFolders(file.substr(0, slash), 0700);
}

std::string Trim(const std::string& text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
  while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(start, end - start);
}

// The section name of a "[name]" line, or nullopt for other lines.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed[0] != '[') return std::nullopt;
  const std::size_t close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

}  // namespace

// The NT family, version 10.0 as GetVersion() packs it (major in the low byte).
std::uint32_t WindowsVersion() { return 0x0000000Au; }

TPlatformFamily PlatformFamily() { return TPlatformFamily::WindowsNT; }

bool IsTerminal(TStandardStream stream) {
  const int descriptor = stream == TStandardStream::Input    ? STDIN_FILENO
                         : stream == TStandardStream::Output ? STDOUT_FILENO
                                                             : STDERR_FILENO;
  return ::isatty(descriptor) != 0;
}

void SleepMs(std::uint32_t milliseconds) {
  struct timespec wait {};
  wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

bool DeleteAtRestart(const std::string& path) {
  const auto host = posix::TryHostPath(path);
  const std::string boot = BootId();
  if (!host || boot.empty()) return false;
  const std::string file = posix::StateLayout().PendingFile;
  if (!PreparePendingFolder(file)) return false;
  posix::THostFileLock lock(file + ".lock", true);
  if (!lock.Locked()) return false;
  auto entries = LoadPending(file);
  for (const auto& entry : entries) {
    if (entry.Path == *host && entry.Boot == boot) return true;
  }
  entries.push_back({boot, *host});
  return SavePending(file, entries);
}

void ProcessPendingDeletions() {
  const std::string boot = BootId();
  if (boot.empty()) return;
  const std::string file = posix::StateLayout().PendingFile;
  if (!posix::ReadHostFile(file)) return;
  posix::THostFileLock lock(file + ".lock", true);
  if (!lock.Locked()) return;
  auto entries = LoadPending(file);
  std::vector<TPending> kept;
  for (const auto& entry : entries) {
    if (entry.Boot == boot) {
      kept.push_back(entry);
      continue;
    }
    // After a restart the file is gone, whatever its attributes; an empty
    // folder goes too, as the system's own pending removal does.
    if (::unlink(entry.Path.c_str()) != 0 && errno == EISDIR) ::rmdir(entry.Path.c_str());
  }
  if (kept.size() != entries.size()) SavePending(file, kept);
}

// Rewrites the file with the key set in the section; keys and sections
// compare without regard to ASCII case, lines end in CR LF. A file name
// without a folder lies in the Windows folder, as the system has it.
// The dynamic loader takes no library from the program's folder unless the
// program was linked to ask for it, which ours are not.
void RestrictDllSearchPath() {}

bool WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value) {
  if (fileName.empty() || key.empty()) return false;
  std::string path = fileName;
  if (base::LastPathDelimiter(fileName) == std::string::npos &&
      fileName.find(':') == std::string::npos) {
    path = WindowsFolder() + "\\" + fileName;
  }
  try {
    std::vector<std::string> lines;
    if (FileExists(path)) {
      const std::string text = ReadFileBytes(path);
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
      }
    }
    const std::string entry = key + "=" + value;
    std::size_t sectionLine = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto name = SectionOf(lines[i]);
      if (name && base::SameText932(*name, section)) {
        sectionLine = i;
        break;
      }
    }
    if (sectionLine == lines.size()) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    } else {
      std::size_t end = sectionLine + 1;
      while (end < lines.size() && !SectionOf(lines[end])) ++end;
      bool replaced = false;
      for (std::size_t i = sectionLine + 1; i < end && !replaced; ++i) {
        const std::size_t equals = lines[i].find('=');
        if (equals != std::string::npos &&
            base::SameText932(Trim(lines[i].substr(0, equals)), key)) {
          lines[i] = entry;
          replaced = true;
        }
      }
      if (!replaced) {
        std::size_t insertAt = end;
        while (insertAt > sectionLine + 1 && Trim(lines[insertAt - 1]).empty()) --insertAt;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
      }
    }
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    WriteFileAtomic(path, text);
    return true;
  } catch (const base::Exception&) {
    return false;
  }
}

}  // namespace mora::platform
