// Every run of mora first carries out the deletions that a run before the
// last restart scheduled (the boot id is faked through MORA_BOOT_ID).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/system.h"

namespace mora {
namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs mora with the given state folder and boot id; its exit code.
int RunMora(const std::string& home, const std::string& bootId, const std::string& arguments) {
  const std::string command = "MORA_HOME=" + Quote(home) + " MORA_BOOT_ID=" + Quote(bootId) + " " +
                              Quote(MORA_EXE) + " " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HostExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

class RestartDeletions : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "mora-restart-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    FHome = pattern;
    ASSERT_EQ(::setenv("MORA_HOME", FHome.c_str(), 1), 0);
  }
  void TearDown() override {
    ::unsetenv("MORA_BOOT_ID");
    std::error_code ignored;
    std::filesystem::remove_all(FHome, ignored);
  }

  // A file on drive C scheduled for deletion during the given boot, as the
  // setup program schedules its temporary copy.
  std::string Schedule(const std::string& name, const std::string& bootId) {
    const std::string path = "C:\\windows\\temp\\" + name;
    platform::ForceDirectories("C:\\windows\\temp");
    platform::WriteFileAtomic(path, "MZ");
    ::setenv("MORA_BOOT_ID", bootId.c_str(), 1);
    EXPECT_TRUE(platform::DeleteAtRestart(path));
    return platform::PathToNative(path);
  }

  std::string FHome;
};

TEST_F(RestartDeletions, TheFirstRunAfterARestartCarriesThemOut) {
  const std::string before = Schedule("~minstall.exe", "boot-one");
  const std::string current = Schedule("~minstall0.exe", "boot-two");
  ASSERT_TRUE(
      platform::SetFileAttributes("C:\\windows\\temp\\~minstall.exe", platform::faReadOnly));

  // Any run will do, one that fails too.
  EXPECT_EQ(RunMora(FHome, "boot-two", "list /nonexistent/game.dat"), 4);
  EXPECT_FALSE(HostExists(before));
  EXPECT_TRUE(HostExists(current));  // scheduled in this boot: not yet

  EXPECT_EQ(RunMora(FHome, "boot-three", "--version"), 0);
  EXPECT_FALSE(HostExists(current));
  std::ifstream list(FHome + "/pending-deletions.json");
  const std::string text((std::istreambuf_iterator<char>(list)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("minstall"), std::string::npos) << text;
}

}  // namespace
}  // namespace mora
