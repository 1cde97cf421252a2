// Crossing between code page 932 byte strings and the UTF-16 of the W calls.
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/win32/winapi.h"

namespace mora::platform::win32 {

using base::FormatS;
using base::Sjis;

std::optional<std::wstring> TryToWide(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  try {
    const std::u16string wide = base::Cp932ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
  } catch (const base::EConvertError&) {
    return std::nullopt;
  }
}

std::wstring ToWide(std::string_view text) {
  auto wide = TryToWide(text);
  if (!wide) {
    throw base::EInvalidPath(FormatS(Sjis("%s は Shift-JIS のテキストとして変換できません"),
                                     std::string(text.substr(0, text.find('\0')))));
  }
  return std::move(*wide);
}

std::wstring ToWideText(std::string_view text) {
  std::wstring result;
  std::size_t start = 0;
  for (;;) {
    const std::size_t zero = text.find('\0', start);
    result += ToWide(text.substr(start, zero == std::string_view::npos ? zero : zero - start));
    if (zero == std::string_view::npos) return result;
    result += L'\0';
    start = zero + 1;
  }
}

bool IsReadOnlyFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::optional<std::string> TryFromWide(std::wstring_view text) {
  try {
    return base::Utf16ToCp932(std::u16string(text.begin(), text.end()));
  } catch (const base::EConvertError&) {
    return std::nullopt;
  }
}

std::string FromWideLossy(std::wstring_view text) {
  if (auto whole = TryFromWide(text)) return std::move(*whole);
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 1;
    if (IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
      length = 2;
    }
    if (auto one = TryFromWide(text.substr(i, length))) {
      result += *one;
    } else {
      result += '?';
    }
    i += length - 1;
  }
  return result;
}

std::string PathFromWide(const std::wstring& path) {
  if (auto whole = TryFromWide(path)) return std::move(*whole);
  const std::wstring shortPath = QueryString(
      [&](wchar_t* buffer, DWORD size) { return ::GetShortPathNameW(path.c_str(), buffer, size); });
  if (!shortPath.empty()) {
    if (auto converted = TryFromWide(shortPath)) return std::move(*converted);
  }
  throw base::EInvalidPath(FormatS(Sjis("パス %s は Shift-JIS で表せません"), FromWideLossy(path)));
}

std::optional<std::int32_t> FileTimeToDos(const FILETIME& fileTime) {
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  if (!::FileTimeToLocalFileTime(&fileTime, &local) ||
      !::FileTimeToDosDateTime(&local, &date, &time)) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(date) << 16) | time);
}

std::optional<FILETIME> DosToFileTime(std::int32_t dosTime) {
  const auto value = static_cast<std::uint32_t>(dosTime);
  FILETIME local;
  FILETIME utc;
  if (!::DosDateTimeToFileTime(static_cast<WORD>(value >> 16), static_cast<WORD>(value & 0xFFFF),
                               &local) ||
      !::LocalFileTimeToFileTime(&local, &utc)) {
    return std::nullopt;
  }
  return utc;
}

}  // namespace mora::platform::win32
