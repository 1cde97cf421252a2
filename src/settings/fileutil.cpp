#include "settings/fileutil.h"

#include <cstdlib>
#include <limits>

#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace mora::settings {

std::string AppendPathDelimiter(const std::string& path) {
  if (base::EndsWithPathDelimiter(path)) return path;
  return path + '\\';
}

void CutLastPathPart(std::string& path) {
  if (base::EndsWithPathDelimiter(path)) path.pop_back();
  const std::size_t delimiter = base::LastPathDelimiter(path);
  if (delimiter == std::string::npos) {
    path.clear();
  } else {
    path.erase(delimiter);
  }
}

void ListFiles(const std::string& folder, std::uint32_t attributeMask, bool takePlainFiles,
               bool clearListFirst, std::vector<std::string>& list, bool recurse) {
  const std::string base = AppendPathDelimiter(folder);
  if (clearListFirst) list.clear();
  for (const platform::TFindData& entry : platform::FindFiles(base)) {
    if (entry.Name == "." || entry.Name == "..") continue;
    const std::string fullPath = base + entry.Name;
    const bool isDirectory = (entry.Attributes & platform::faDirectory) != 0;
    if (isDirectory && (entry.Attributes & platform::faReparsePoint) != 0) continue;
    bool take;
    if (isDirectory) {
      take = (attributeMask & platform::faDirectory) != 0;
    } else {
      take = (entry.Attributes & attributeMask) != 0 ||
             ((entry.Attributes & AllAttributeBits) == 0 && takePlainFiles);
    }
    if (take) list.push_back(fullPath);
    if (recurse && isDirectory) {
      ListFiles(fullPath, attributeMask, takePlainFiles, false, list, true);
    }
  }
}

bool CopyFileOver(const std::string& source, const std::string& target) {
  return platform::CopyFile(source, target, false);
}

std::int32_t FileSizeOf(const std::string& fileName) {
  const std::optional<std::int64_t> size = platform::GetFileSize(fileName);
  if (!size || *size < 0) return 0;
  // The progress display counts in 32 bits; a larger file counts as the most
  // it can hold rather than wrapping to a negative size.
  if (*size > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(*size);
}

std::string FormatThousands(std::int32_t value) {
  const std::int64_t wide = value;
  std::string text = std::to_string(wide < 0 ? -wide : wide);
  // Insert before the 1-based position p = length - 2, then every third
  // position further left, while p > 1.
  for (auto p = static_cast<std::ptrdiff_t>(text.size()) - 2; p > 1; p -= 3) {
    text.insert(static_cast<std::size_t>(p - 1), 1, ',');
  }
  return wide < 0 ? "-" + text : text;
}

void DeleteFileOnReboot(const std::string& fileName, platform::TPlatformFamily family) {
  if (family == platform::TPlatformFamily::WindowsNT) {
    platform::DeleteAtRestart(fileName);
    return;
  }
  // The 95 family deletes at start-up what the "rename" section of
  // wininit.ini maps to NUL; it understands only short names.
  const std::string iniFile = AppendPathDelimiter(platform::WindowsFolder()) + "wininit.ini";
  const std::optional<std::string> shortPath = platform::ShortPathName(fileName);
  // A file that does not exist has nothing to delete; an empty NUL entry
  // would only clutter the section.
  if (!shortPath || shortPath->empty()) return;
  platform::WriteProfileString(iniFile, "rename", "NUL", *shortPath);
}

}  // namespace mora::settings
