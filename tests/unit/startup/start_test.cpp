// The names start-up derives: the running game's mutex from the
// installation path, and the temporary copy's names in the order they are
// tried. The whole course runs as real processes in tests/e2e.
#include "startup/start.h"

#include <gtest/gtest.h>

#include <string>

namespace mora::startup {
namespace {

TEST(GameLockNameTest, UpperCasesAndTurnsSingleByteDelimitersIntoDashes) {
  struct TCase {
    std::string Path;
    std::string Name;
  } cases[] = {
      {"c:\\game\\abc", "C:-GAME-ABC-"},
      {"c:\\game\\abc\\", "C:-GAME-ABC-"},
      {"c:\\game\\", "C:-GAME-"},
      {"c:\\game", "C:-GAME-"},
      // ソ (0x83 0x5C) and 表 (0x95 0x5C) end in the byte of "\": they stay,
      // and a lower-case letter's byte as trail byte (0x83 0x61, ヂ) is not
      // upper-cased.
      {"d:\\\x83\x5C\x95\x5C\\\x83\x61x", "D:-\x83\x5C\x95\x5C-\x83\x61X-"},
      {"e:\\\x83\x5C", "E:-\x83\x5C-"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(GameLockName(c.Path), c.Name) << c.Path;
  }
}

TEST(TempCopyNameTest, TheFirstNameThenNumbersFromZeroToNinetyEight) {
  EXPECT_EQ(TempCopyAttempts, 100);
  EXPECT_EQ(TempCopyName(0), "~minstall.exe");
  EXPECT_EQ(TempCopyName(1), "~minstall0.exe");
  EXPECT_EQ(TempCopyName(11), "~minstall10.exe");
  EXPECT_EQ(TempCopyName(TempCopyAttempts - 1), "~minstall98.exe");
}

}  // namespace
}  // namespace mora::startup
