// Code page 932 (Shift-JIS) byte strings: lead-byte tests, double-byte-aware
// path delimiter tests, ASCII-only case mapping, and conversion to and from
// UTF-8 and UTF-16. Results never depend on the machine's locale.
// Conversions throw EConvertError for bytes or characters without a mapping.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mora::base {

// True for the first byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool IsLeadByte(unsigned char byte);

// True when the byte at index starts a character (it is not the trail byte
// of a double-byte character that starts earlier).
bool IsCharStart(std::string_view text, std::size_t index);

// True when the byte at index is a "\" that is a character of its own, not the
// trail byte 0x5C of a double-byte character.
bool IsPathDelimiter(std::string_view text, std::size_t index);

// True when the last character of the text is a single-byte "\".
bool EndsWithPathDelimiter(std::string_view text);

// Index of the last single-byte "\" in the text, or npos.
std::size_t LastPathDelimiter(std::string_view text);

// Index of the first character of the last character (npos for empty text).
std::size_t LastCharStart(std::string_view text);

// ASCII letters change case; every byte of a double-byte character, and every
// other byte, stays as it is.
std::string UpperCase932(std::string_view text);
std::string LowerCase932(std::string_view text);

// Reads text byte by byte as LowerCase932 maps it, without building the
// mapped copy: for comparing and hashing names in loops over many of them.
class TLowerCaseReader {
 public:
  explicit TLowerCaseReader(std::string_view text) : FText(text) {}
  bool AtEnd() const { return FAt >= FText.size(); }
  unsigned char Next() {
    const auto byte = static_cast<unsigned char>(FText[FAt++]);
    if (FInTrail) {
      FInTrail = false;
      return byte;
    }
    if (IsLeadByte(byte)) {
      FInTrail = true;
      return byte;
    }
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte;
  }

 private:
  std::string_view FText;
  std::size_t FAt = 0;
  bool FInTrail = false;
};

// Compares with the ASCII letters a-z and A-Z taken as equal; double-byte
// characters are compared unchanged. Result <0, 0, >0 like strcmp.
int CompareText932(std::string_view a, std::string_view b);
bool SameText932(std::string_view a, std::string_view b);

// Conversions. Invalid input throws EConvertError naming the offending bytes.
std::string Cp932ToUtf8(std::string_view text);
std::u16string Cp932ToUtf16(std::string_view text);
std::string Utf8ToCp932(std::string_view utf8);
std::string Utf16ToCp932(std::u16string_view text);

// Lenient display conversion: bytes without a mapping become U+FFFD.
std::string Cp932ToUtf8Lossy(std::string_view text);

// UTF-8 <-> UTF-16 (used by the Windows platform layer and the UI).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

// A user-visible text written as a UTF-8 literal in the source, as 932 bytes.
// This is the one place where the program's own texts become Shift-JIS.
std::string Sjis(std::string_view utf8Literal);

// Replaces the first "%s" of a 932 format text (the program's texts use
// Delphi-style single substitutions).
std::string FormatS(std::string_view format, std::string_view argument);

}  // namespace mora::base
