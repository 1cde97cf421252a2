// Well-known folders, the running module and the command line on Windows.
#include "platform/folders.h"

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/win32/winapi.h"

namespace mora::platform {

using base::FormatS;
using base::Sjis;

namespace {

std::string ReportedFolder(const std::wstring& folder, const char* what) {
  if (folder.empty()) {
    throw base::EPlatformError(FormatS(Sjis("%s を取得できません"), what));
  }
  return win32::PathFromWide(folder);
}

}  // namespace

std::string TempFolder() {
  std::string folder = ReportedFolder(
      win32::QueryString([](wchar_t* buffer, DWORD size) { return ::GetTempPathW(size, buffer); }),
      "GetTempPath");
  if (!base::EndsWithPathDelimiter(folder)) folder += '\\';
  return folder;
}

std::string WindowsFolder() {
  return ReportedFolder(win32::QueryString([](wchar_t* buffer, DWORD size) {
                          return ::GetWindowsDirectoryW(buffer, size);
                        }),
                        "GetWindowsDirectory");
}

std::string ProgramFilesFolder() {
  // Windows 3.x keeps no such value.
  if ((WindowsVersion() & 0xFF) <= 3) return {};
  const auto value = RegQueryValue(
      TRootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
  if (!value || value->Type == TRegValueType::Other) return {};
  return value->Data;
}

std::string CurrentFolder() {
  return ReportedFolder(win32::QueryString([](wchar_t* buffer, DWORD size) {
                          return ::GetCurrentDirectoryW(size, buffer);
                        }),
                        "GetCurrentDirectory");
}

std::string ModuleFileName() {
  // GetModuleFileNameW answers the buffer size (truncated) when it is too small.
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) break;
    if (length < buffer.size()) {
      buffer.resize(length);
      return win32::PathFromWide(buffer);
    }
    buffer.assign(buffer.size() * 2, L'\0');
  }
  throw base::EPlatformError(FormatS(Sjis("%s を取得できません"), "GetModuleFileName"));
}

std::vector<std::string> CommandLineArguments() {
  // Characters that 932 cannot spell become "?", as the system's own ANSI
  // command line shows them.
  auto arguments = ParseCommandLine(win32::FromWideLossy(::GetCommandLineW()));
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

void SetCommandLineArguments(int, char**) {}

std::string PathFromNative(const std::string& nativePath) {
  try {
    return base::Utf8ToCp932(nativePath);
  } catch (const base::EConvertError&) {
  }
  // main()'s argv holds the ANSI code page's text, not UTF-8.
  const int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, nativePath.data(),
                                           static_cast<int>(nativePath.size()), nullptr, 0);
  if (length > 0) {
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, nativePath.data(),
                          static_cast<int>(nativePath.size()), wide.data(), length);
    if (auto converted = win32::TryFromWide(wide)) return std::move(*converted);
  }
  throw base::EInvalidPath(FormatS(Sjis("パス %s は Shift-JIS で表せません"), nativePath));
}

std::string PathToNative(const std::string& path) {
  try {
    return base::Cp932ToUtf8(path);
  } catch (const base::EConvertError&) {
    throw base::EInvalidPath(FormatS(Sjis("%s は Shift-JIS のテキストとして変換できません"), path));
  }
}

}  // namespace mora::platform
