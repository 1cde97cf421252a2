#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <vector>

#include "platform/files.h"
#include "platform/folders.h"

namespace mora::platform::test {

namespace {

std::vector<std::string>& CreatedFolders() {
  static std::vector<std::string> folders;
  return folders;
}

void RemoveTree(const std::string& folder) {
  for (const auto& entry : FindFiles(folder)) {
    const std::string path = folder + entry.Name;
    if ((entry.Attributes & faDirectory) && !(entry.Attributes & faReparsePoint)) {
      RemoveTree(path + "\\");
    } else {
      if (entry.Attributes & faReadOnly) SetFileAttributes(path, entry.Attributes & ~faReadOnly);
      DeleteFile(path);
    }
  }
  RemoveDirectory(folder);
}

// Removes the test folders once every test has run.
class TFolderCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    for (const auto& folder : CreatedFolders()) RemoveTree(folder);
    CreatedFolders().clear();
  }
};

[[maybe_unused]] ::testing::Environment* const FolderCleanup =
    ::testing::AddGlobalTestEnvironment(new TFolderCleanup);

}  // namespace

std::string UniqueName(const std::string& stem) {
  static std::atomic<int> counter{0};
  static const unsigned long long runId = [] {
    std::random_device device;
    return (static_cast<unsigned long long>(device()) << 20) ^
           static_cast<unsigned long long>(
               std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  return stem + "-" + std::to_string(runId % 1000000007ull) + "-" + std::to_string(++counter);
}

std::string FreshFolder() {
  const std::string folder = TempFolder() + UniqueName("mora-platform-test") + "\\";
  EXPECT_TRUE(ForceDirectories(folder)) << folder;
  CreatedFolders().push_back(folder);
  return folder;
}

std::int32_t DosTime(int year, int month, int day, int hour, int minute, int second) {
  const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const std::uint32_t time =
      static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

}  // namespace mora::platform::test
