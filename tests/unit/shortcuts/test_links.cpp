// Helpers of the shortcut tests (see test_links.h).
#include "test_links.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/files.h"

namespace mora::installer::test {

std::string GroupFolder(const std::string& group) {
  const auto programs = platform::SpecialFolderPath(platform::csidlPrograms);
  return programs.value_or("?") + "\\" + group + "\\";
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> EntryNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : platform::FindFiles(folder)) names.push_back(entry.Name);
  return Sorted(names);
}

std::vector<std::string> LinkNames(const std::string& group) {
  const std::string extension = platform::ShellLinkExtension();
  std::vector<std::string> names;
  for (const auto& name : EntryNames(GroupFolder(group))) {
    const bool isLink =
        name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
    if (isLink) {
      names.push_back(name.substr(0, name.size() - extension.size()));
    } else {
      names.push_back("unexpected: " + name);
    }
  }
  return Sorted(names);
}

std::optional<platform::TShellLinkData> ReadLink(const std::string& group,
                                                 const std::string& name) {
  return platform::ReadShellLink(GroupFolder(group) + name + platform::ShellLinkExtension());
}

void WriteProgram(const std::string& path) {
  platform::WriteFileAtomic(path, std::string("MZ") + std::string(62, '\0'));
}

void WaitForGroupGone(const std::string& group) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (platform::DirectoryExists(GroupFolder(group)) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace mora::installer::test
