// Version, sleep, deletion at the next restart and .ini writing on Windows.
#include "platform/system.h"

#include <cstring>

#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/win32/winapi.h"

namespace mora::platform {

std::uint32_t WindowsVersion() {
  // GetVersion answers what the program's manifest lets it see; the major
  // version in the low byte and the platform in the high bit are what we use.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  return ::GetVersion();
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

TPlatformFamily PlatformFamily() {
  return (WindowsVersion() & 0x80000000u) == 0 ? TPlatformFamily::WindowsNT
                                               : TPlatformFamily::Windows95;
}

void SleepMs(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

bool IsTerminal(TStandardStream stream) {
  const DWORD which = stream == TStandardStream::Input    ? STD_INPUT_HANDLE
                      : stream == TStandardStream::Output ? STD_OUTPUT_HANDLE
                                                          : STD_ERROR_HANDLE;
  const HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  // Only a console answers GetConsoleMode; files and pipes fail it.
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != 0;
}

bool DeleteAtRestart(const std::string& path) {
  const auto wide = win32::TryToWide(path);
  if (!wide) return false;
  if (PlatformFamily() == TPlatformFamily::WindowsNT) {
    return ::MoveFileExW(wide->c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
  }
  // The 95 family deletes what wininit.ini's [rename] section maps to NUL;
  // it reads only short names there.
  try {
    std::string windows = WindowsFolder();
    if (!base::EndsWithPathDelimiter(windows)) windows += '\\';
    const auto shortPath = ShortPathName(path);
    if (!shortPath) return false;
    return WriteProfileString(windows + "wininit.ini", "rename", "NUL", *shortPath);
  } catch (const std::exception&) {
    return false;
  }
}

void RestrictDllSearchPath() {
  // Looked up at run time: systems before Windows 8 have it only with an
  // update.
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  constexpr DWORD searchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
    const auto address = ::GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (address != nullptr) {
      TSetDefaultDllDirectories setDirectories = nullptr;
      static_assert(sizeof setDirectories == sizeof address);
      std::memcpy(&setDirectories, &address, sizeof address);
      setDirectories(searchSystem32);
    }
  }
  ::SetDllDirectoryW(L"");
}

// The system itself carries out what DeleteAtRestart scheduled.
void ProcessPendingDeletions() {}

bool WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value) {
  const auto wideFile = win32::TryToWide(fileName);
  const auto wideSection = win32::TryToWide(section);
  const auto wideKey = win32::TryToWide(key);
  const auto wideValue = win32::TryToWide(value);
  if (!wideFile || !wideSection || !wideKey || !wideValue) return false;
  return ::WritePrivateProfileStringW(wideSection->c_str(), wideKey->c_str(), wideValue->c_str(),
                                      wideFile->c_str()) != 0;
}

}  // namespace mora::platform
