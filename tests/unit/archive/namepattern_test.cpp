// Glob patterns over entry names: "*" within one folder level, "**" across
// levels, "?", sets and ranges, ASCII case ignored, "/" and "\" alike, and
// double-byte characters taken whole (their trail byte 0x5C is no separator).
#include <gtest/gtest.h>

#include <string>

#include "archive/namepattern.h"
#include "base/sjis.h"

namespace mora::archive {
namespace {

using base::Sjis;

TEST(NamePattern, MatchesWholeNamesByTheGlobRules) {
  // "ソ" is 0x83 0x5C in code page 932: its trail byte is a "\" byte.
  const std::string so = Sjis("ソ");
  ASSERT_EQ(so, std::string("\x83\x5C"));
  struct TCase {
    std::string Pattern;
    std::string Name;
    bool Matches;
  };
  const TCase cases[] = {
      {"readme.txt", "readme.txt", true},
      {"readme.txt", "README.TXT", true},  // ASCII case ignored
      {"README.*", "readme.txt", true},
      {"readme", "readme.txt", false},  // the whole name
      {"*.txt", "readme.txt", true},
      {"*.txt", "doc\\readme.txt", false},  // "*" stays in one level
      {"*\\*.txt", "doc\\readme.txt", true},
      {"**.txt", "doc\\sub\\readme.txt", true},  // "**" crosses levels
      {"data\\**", "data\\a\\b.bin", true},
      {"data\\**", "database.bin", false},
      {"data/*.bin", "data\\a.bin", true},  // "/" is the separator too
      {"data\\*.bin", "data/a.bin", true},
      {"?.bin", "a.bin", true},
      {"?.bin", "ab.bin", false},
      {"a?b", "a\\b", false},  // "?" is no separator
      {"*", "", true},
      {"?", "", false},
      {"[abc].txt", "B.txt", true},  // sets ignore case as well
      {"[!abc].txt", "d.txt", true},
      {"[^abc].txt", "a.txt", false},
      {"file[0-9].dat", "file7.dat", true},
      {"file[0-9].dat", "filex.dat", false},
      {"[A-Z]*", "map.dat", true},  // a range of capitals takes small letters
      {"[]]x", "]x", true},         // "]" first is a member
      {"[*]", "*", true},           // a set takes "*" literally
      {"[*]", "a", false},
      {"a[b", "a[b", true},  // no closing "]": "[" is itself
      {"data\\" + Sjis("アイ") + ".bin", "DATA\\" + Sjis("アイ") + ".bin", true},
      {"*" + Sjis("イ") + ".bin", "data\\" + Sjis("アイ") + ".bin", false},
      {"*\\*" + Sjis("イ") + ".bin", "data\\" + Sjis("アイ") + ".bin", true},
      {"?.bin", Sjis("ア") + ".bin", true},  // a double-byte character is one
      {"??.bin", Sjis("ア") + ".bin", false},
      {"*.txt", so + ".txt", true},  // its 0x5C byte is no separator
      {"?.txt", so + ".txt", true},
      {"[" + Sjis("アイ") + "]x", Sjis("イ") + "x", true},
      {"*x", so + "x", true},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(TNamePattern(c.Pattern).Matches(c.Name), c.Matches)
        << "pattern " << c.Pattern << " name " << c.Name;
  }
}

}  // namespace
}  // namespace mora::archive
