#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>

#include "platform/files.h"
#include "platform/folders.h"

namespace mora::platform::test {

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
  return folder;
}

std::int32_t DosTime(int year, int month, int day, int hour, int minute, int second) {
  const std::uint32_t date =
      static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const std::uint32_t time = static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

}  // namespace mora::platform::test
