// Starting programs and documents through ShellExecuteW with the verb "open".
#include "platform/shell.h"

#include "platform/win32/winapi.h"

namespace mora::platform {

int ShellExecuteOpen(const std::string& file, const std::string& parameters,
                     const std::string& folder) {
  return ShellExecuteOpenFor(nullptr, file, parameters, folder);
}

int ShellExecuteOpenFor(TNativeWindow owner, const std::string& file, const std::string& parameters,
                        const std::string& folder) {
  const auto wideFile = win32::TryToWide(file);
  const auto wideParameters = win32::TryToWide(parameters);
  const auto wideFolder = win32::TryToWide(folder);
  if (!wideFile || !wideParameters || !wideFolder) return ERROR_FILE_NOT_FOUND;
  // The shell may hand the start to COM components.
  win32::TComScope com;
  const HINSTANCE result = ::ShellExecuteW(static_cast<HWND>(owner), L"open", wideFile->c_str(),
                                           parameters.empty() ? nullptr : wideParameters->c_str(),
                                           folder.empty() ? nullptr : wideFolder->c_str(), SW_SHOW);
  return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}

}  // namespace mora::platform
