// Named mutexes seen from this process and from a second one started through
// the shell, and the shell's failure results.
#include <gtest/gtest.h>

#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "support.h"

namespace mora::platform {
namespace {

std::string ChildProgram() {
#ifdef PLATFORM_TEST_CHILD
  // A build whose programs run under an emulator starts the child through it.
  return PathFromNative(PLATFORM_TEST_CHILD);
#else
  const std::string self = ModuleFileName();
  const std::size_t slash = base::LastPathDelimiter(self);
  const bool exe = self.size() > 4 && base::SameText932(self.substr(self.size() - 4), ".exe");
  return self.substr(0, slash + 1) + "platform_test_child" + (exe ? ".exe" : "");
#endif
}

// Starts the child and waits for its answer: "1" (the mutex exists) or "0".
std::string AskChild(const std::string& mutexName) {
  const std::string answer = test::FreshFolder() + "answer.txt";
  const int result =
      ShellExecuteOpen(ChildProgram(), "\"" + mutexName + "\" \"" + answer + "\"", "");
  EXPECT_GT(result, 32) << ChildProgram();
  if (result <= 32) return "child not started";
  for (int i = 0; i < 600 && !FileExists(answer); ++i) SleepMs(50);
  if (!FileExists(answer)) return "no answer";
  return ReadFileBytes(answer);
}

TEST(PlatformMutex, ExistsWhileHeldInThisProcessOnly) {
  const std::string name = test::UniqueName("MoraMutexTest");
  EXPECT_FALSE(TNamedMutex::Exists(name));
  auto mutex = TNamedMutex::Create(name);
  ASSERT_NE(mutex, nullptr);
  EXPECT_TRUE(TNamedMutex::Exists(name));
  EXPECT_FALSE(TNamedMutex::Exists(name + "x"));
  mutex->Release();
  EXPECT_FALSE(TNamedMutex::Exists(name));
}

TEST(PlatformMutex, ASecondProcessSeesTheMutexOnlyWhileItIsHeld) {
  const std::string name = test::UniqueName("MoraMutexChild");
  auto mutex = TNamedMutex::Create(name);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(AskChild(name), "1");
  mutex->Release();
  mutex.reset();
  EXPECT_EQ(AskChild(name), "0");
}

TEST(PlatformShell, MissingProgramReportsFileNotFound) {
  const std::string folder = test::FreshFolder();
  EXPECT_EQ(ShellExecuteOpen(folder + "absent.exe", "", ""), 2);
}

}  // namespace
}  // namespace mora::platform
