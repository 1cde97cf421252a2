#include "base/sjis.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/errors.h"

namespace mora::base {
namespace {

#include "base/cp932_table.inc"

constexpr char16_t NoMapping = 0;

std::string HexBytes(std::string_view bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X", c);
    if (!out.empty()) out += ' ';
    out += buffer;
  }
  return out;
}

[[noreturn]] void FailConvert(std::string_view what, std::size_t offset, std::string_view bytes) {
  throw EConvertError(std::string(what) + " at byte " + std::to_string(offset) + " (" +
                      HexBytes(bytes) + ")");
}

// Single-byte codes outside ASCII, as code page 932 maps them.
char16_t SingleByteToUnit(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte == 0x80) return 0x0080;
  if (byte == 0xA0) return 0xF8F0;
  if (byte >= 0xA1 && byte <= 0xDF) return static_cast<char16_t>(0xFF61 + (byte - 0xA1));
  if (byte >= 0xFD) return static_cast<char16_t>(0xF8F1 + (byte - 0xFD));
  return NoMapping;
}

bool IsTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

char16_t DoubleByteToUnit(unsigned char lead, unsigned char trail) {
  if (!IsTrailByte(trail)) return NoMapping;
  const int leadIndex = lead <= 0x9F ? lead - 0x81 : 31 + (lead - 0xE0);
  const int trailIndex = trail <= 0x7E ? trail - 0x40 : 63 + (trail - 0x80);
  return Cp932Forward[leadIndex * 188 + trailIndex];
}

// Returns the 932 code for a UTF-16 unit: 0x00-0xFF single byte, above that a
// double-byte code; -1 when the unit has no mapping.
int UnitToCode(char16_t unit) {
  if (unit < 0x80) return unit;
  if (unit == 0x0080) return 0x80;
  if (unit == 0xF8F0) return 0xA0;
  if (unit >= 0xFF61 && unit <= 0xFF9F) return 0xA1 + (unit - 0xFF61);
  if (unit >= 0xF8F1 && unit <= 0xF8F3) return 0xFD + (unit - 0xF8F1);
  const auto* begin = std::begin(Cp932Reverse);
  const auto* end = std::end(Cp932Reverse);
  const auto* found = std::lower_bound(
      begin, end, unit, [](const std::uint16_t(&pair)[2], char16_t u) { return pair[0] < u; });
  if (found == end || (*found)[0] != unit) return -1;
  return (*found)[1];
}

// Decodes one UTF-8 sequence at pos; returns the code point or -1 when invalid.
long DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(pos);
  int length;
  long code;
  if (first < 0x80) {
    ++pos;
    return first;
  } else if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    code = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    code = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    code = first & 0x07;
  } else {
    return -1;
  }
  if (static_cast<std::size_t>(length) > text.size() - pos) return -1;
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return -1;
    code = (code << 6) | (next & 0x3F);
  }
  const long minimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < minimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return -1;
  }
  pos += length;
  return code;
}

void AppendUtf8(std::string& out, long code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes 932 text to UTF-16; lossy replaces unmapped bytes with U+FFFD.
std::u16string Decode932(std::string_view text, bool lossy) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(byte)) {
      const char16_t unit = i + 1 < text.size()
                                ? DoubleByteToUnit(byte, static_cast<unsigned char>(text[i + 1]))
                                : NoMapping;
      if (unit == NoMapping) {
        if (!lossy) {
          FailConvert("Shift-JIS text has no character for the bytes", i,
                      text.substr(i, i + 1 < text.size() ? 2 : 1));
        }
        out += u'\uFFFD';
        i += 1;
        continue;
      }
      out += unit;
      i += 2;
    } else {
      const char16_t unit = SingleByteToUnit(byte);
      if (unit == NoMapping && byte != 0) {
        if (!lossy)
          FailConvert("Shift-JIS text has no character for the byte", i, text.substr(i, 1));
        out += u'\uFFFD';
      } else {
        out += unit;
      }
      i += 1;
    }
  }
  return out;
}

}  // namespace

bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsCharStart(std::string_view text, std::size_t index) {
  std::size_t i = 0;
  while (i < index) i += IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  return i == index;
}

bool IsPathDelimiter(std::string_view text, std::size_t index) {
  return index < text.size() && text[index] == '\\' && IsCharStart(text, index);
}

std::size_t LastCharStart(std::string_view text) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size();) {
    last = i;
    i += IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  }
  return last;
}

bool EndsWithPathDelimiter(std::string_view text) {
  const std::size_t last = LastCharStart(text);
  return last != std::string_view::npos && last == text.size() - 1 && text[last] == '\\';
}

std::size_t LastPathDelimiter(std::string_view text) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(byte)) {
      i += 2;
    } else {
      if (byte == '\\') found = i;
      i += 1;
    }
  }
  return found;
}

namespace {

// Shifts the single-byte letters first..last by delta and leaves every
// double-byte character whole, as code page 932's case mapping does.
std::string ShiftSingleByteLetters(std::string_view text, char first, char last, int delta) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    const auto byte = static_cast<unsigned char>(out[i]);
    if (IsLeadByte(byte)) {
      i += 2;
      continue;
    }
    if (byte >= first && byte <= last) out[i] = static_cast<char>(byte + delta);
    i += 1;
  }
  return out;
}

}  // namespace

std::string UpperCase932(std::string_view text) {
  return ShiftSingleByteLetters(text, 'a', 'z', -32);
}

std::string LowerCase932(std::string_view text) {
  return ShiftSingleByteLetters(text, 'A', 'Z', 32);
}

int CompareText932(std::string_view a, std::string_view b) {
  // Lower-casing only touches single-byte letters, so comparing the mapped
  // strings byte by byte (as unsigned bytes) keeps double-byte characters
  // intact.
  TLowerCaseReader left(a);
  TLowerCaseReader right(b);
  while (!left.AtEnd() && !right.AtEnd()) {
    const unsigned char x = left.Next();
    const unsigned char y = right.Next();
    if (x != y) return x < y ? -1 : 1;
  }
  if (left.AtEnd() && right.AtEnd()) return 0;
  return left.AtEnd() ? -1 : 1;
}

bool SameText932(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText932(a, b) == 0;
}

std::u16string Cp932ToUtf16(std::string_view text) { return Decode932(text, false); }

std::string Cp932ToUtf8(std::string_view text) { return Utf16ToUtf8(Decode932(text, false)); }

std::string Cp932ToUtf8Lossy(std::string_view text) { return Utf16ToUtf8(Decode932(text, true)); }

std::string Utf16ToCp932(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int code = UnitToCode(text[i]);
    if (code < 0) {
      throw EConvertError("the character U+" +
                          [&] {
                            char buffer[8];
                            std::snprintf(buffer, sizeof buffer, "%04X",
                                          static_cast<unsigned>(text[i]));
                            return std::string(buffer);
                          }() +
                          " at position " + std::to_string(i) + " has no Shift-JIS code");
    }
    if (code > 0xFF) {
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
    } else {
      out += static_cast<char>(code);
    }
  }
  return out;
}

std::string Utf8ToCp932(std::string_view utf8) { return Utf16ToCp932(Utf8ToUtf16(utf8)); }

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    const long code = DecodeUtf8(utf8, pos);
    if (code < 0) {
      FailConvert("invalid UTF-8", start,
                  utf8.substr(start, std::min<std::size_t>(4, utf8.size() - start)));
    }
    if (code >= 0x10000) {
      const long v = code - 0x10000;
      out += static_cast<char16_t>(0xD800 + (v >> 10));
      out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    long code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      throw EConvertError("unpaired UTF-16 surrogate at position " + std::to_string(i));
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::string Sjis(std::string_view utf8Literal) { return Utf8ToCp932(utf8Literal); }

std::string FormatS(std::string_view format, std::string_view argument) {
  std::string out(format);
  for (std::size_t i = 0; i + 1 < out.size();) {
    const auto byte = static_cast<unsigned char>(out[i]);
    if (IsLeadByte(byte)) {
      i += 2;
      continue;
    }
    if (out[i] == '%' && out[i + 1] == 's') {
      out.replace(i, 2, argument);
      return out;
    }
    i += 1;
  }
  return out;
}

}  // namespace mora::base
