#include "base/sjis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"

namespace mora::base {
namespace {

// "表" is 0x95 0x5C and "ソ" is 0x83 0x5C: their trail byte is the value of "\".
const std::string Hyou = "\x95\x5C";
const std::string So = "\x83\x5C";

TEST(SjisDelimiters, TrailByte5CIsNeverADelimiter) {
  const std::string path = "C:\\" + Hyou;
  EXPECT_TRUE(IsPathDelimiter(path, 2));
  EXPECT_FALSE(IsPathDelimiter(path, 4));
  EXPECT_FALSE(EndsWithPathDelimiter(path));
  EXPECT_EQ(LastPathDelimiter(path), 2u);
  EXPECT_TRUE(EndsWithPathDelimiter(path + "\\"));
  EXPECT_EQ(LastPathDelimiter(So + So), std::string::npos);
}

TEST(SjisDelimiters, HalfWidthKatakanaIsSingleByte) {
  // 0xB1 (half-width "ｱ") is a single-byte character, so the "\" after it counts.
  const std::string path = "\xB1\\";
  EXPECT_TRUE(EndsWithPathDelimiter(path));
  EXPECT_FALSE(IsLeadByte(0xB1));
  EXPECT_TRUE(IsLeadByte(0x81));
  EXPECT_TRUE(IsLeadByte(0xFC));
  EXPECT_FALSE(IsLeadByte(0xFD));
  EXPECT_FALSE(IsLeadByte(0xA0));
}

TEST(SjisCase, OnlyAsciiLettersChange) {
  // 0x82 0x61 is the full-width "Ａ": its trail byte is the ASCII "a" and stays.
  const std::string text = "abc\x82\x61z" + Hyou;
  EXPECT_EQ(UpperCase932(text), "ABC\x82\x61Z" + Hyou);
  EXPECT_EQ(LowerCase932("ABC\x82\x60"), "abc\x82\x60");
  EXPECT_TRUE(SameText932("Install.DAT", "install.dat"));
  EXPECT_FALSE(SameText932("\x82\x61", "\x82\x41"));
  EXPECT_LT(CompareText932("a", "B"), 0);
}

TEST(SjisCase, ComparingAgreesWithComparingTheLowerCasedTexts) {
  // Trail bytes in the letter range, a lead byte cut at the end, bytes
  // above 0x7F, prefixes and empty text.
  const std::vector<std::string> texts = {
      "",         "a",        "A",    "B",     "ab",        "aB",        "Ab\\c",
      "\x82\x41", "\x82\x61", "\x82", "a\x82", "\x82\x41Z", "\x82\x41z", "\xE0\x5A",
      "\xE0\x7A", "\xA0",     "\xFD", "z",     "[",         "`",
  };
  for (const std::string& a : texts) {
    for (const std::string& b : texts) {
      const int expected = LowerCase932(a).compare(LowerCase932(b));
      const int sign = expected < 0 ? -1 : (expected > 0 ? 1 : 0);
      EXPECT_EQ(CompareText932(a, b), sign)
          << testing::PrintToString(a) << " " << testing::PrintToString(b);
      EXPECT_EQ(SameText932(a, b), sign == 0);
    }
  }
}

TEST(SjisConversion, RoundTripsThroughUtf8AndUtf16) {
  const std::string utf8 = "インストール先\\表ソ ｱｲｳ abc";
  const std::string sjis = Utf8ToCp932(utf8);
  EXPECT_EQ(sjis.substr(0, 2), "\x83\x43");  // イ
  EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
  EXPECT_EQ(Utf16ToCp932(Cp932ToUtf16(sjis)), sjis);
  EXPECT_EQ(Cp932ToUtf16("\x95\x5C"), u"表");
}

TEST(SjisConversion, DuplicateCodesEncodeToThePreferredOne) {
  // "≒" exists in row 1 (0x81E0) and in NEC row 13 (0x8790); both decode to
  // it, and encoding chooses the row-1 code.
  EXPECT_EQ(Cp932ToUtf16("\x87\x90"), u"≒");
  EXPECT_EQ(Utf8ToCp932("≒"), "\x81\xE0");
  // The IBM extension is preferred over the NEC-selected copy.
  EXPECT_EQ(Utf8ToCp932("ⅰ"), "\xFA\x40");
}

TEST(SjisConversion, BadInputThrowsConvertError) {
  EXPECT_THROW(Cp932ToUtf8("\x81"), EConvertError);              // lead byte at the end
  EXPECT_THROW(Cp932ToUtf8("\x81\x20"), EConvertError);          // invalid trail byte
  EXPECT_THROW(Utf8ToCp932("\xC3\x28"), EConvertError);          // invalid UTF-8
  EXPECT_THROW(Utf8ToCp932("\xF0\x9F\x98\x80"), EConvertError);  // no 932 code
  EXPECT_EQ(Cp932ToUtf8Lossy("a\x81"), "a\xEF\xBF\xBD");
}

TEST(SjisFormat, ReplacesFirstPercentSOnly) {
  EXPECT_EQ(FormatS("%s:x %s", "a"), "a:x %s");
  // A "%" that is a trail byte is not a format character (0x81 0x25 is not
  // valid 932, so use 0x83 0x25 only as bytes here).
  EXPECT_EQ(FormatS("\x83%s", "Z"), "\x83%s");
}

}  // namespace
}  // namespace mora::base
