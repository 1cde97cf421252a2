// Private to the Win32 platform layer: <windows.h> without the A/W macros that
// collide with our own function names, the one crossing between code page 932
// and UTF-16, and RAII owners for every kind of handle the layer opens.
// ToWide throws EInvalidPath for text that has no UTF-16 form.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Our platform functions share names with Win32 macros; the layer calls the
// W functions by their full names instead.
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef FindResource
#undef GetFileAttributes
#undef MoveFile
#undef RegDeleteValue
#undef RegQueryValue
#undef RemoveDirectory
#undef SetFileAttributes
#undef WriteProfileString

namespace mora::platform::win32 {

// 932 text as UTF-16 for a W call. Throws EInvalidPath naming the text when
// it holds bytes without a mapping or a zero byte (which would cut it short).
std::wstring ToWide(std::string_view text);
// As ToWide, but nullopt instead of throwing.
std::optional<std::wstring> TryToWide(std::string_view text);
// Text data (not a name) as UTF-16, zero characters kept. Throws EInvalidPath.
std::wstring ToWideText(std::string_view text);

// True when the path names an existing file with the read-only attribute.
// Windows refuses to write, replace or overwrite such a file; Wine running as
// root does not, so the layer checks it before each such call as well.
bool IsReadOnlyFile(const std::wstring& path);

// UTF-16 from the system as 932; nullopt when a character has no 932 form.
std::optional<std::string> TryFromWide(std::wstring_view text);
// As TryFromWide, with each character without a 932 form replaced by "?"
// (the system's own best effort for its A functions).
std::string FromWideLossy(std::wstring_view text);
// A path the system reported: as 932, or else its short (8.3) form, which is
// plain ASCII on every file system that keeps short names. Throws
// EInvalidPath when neither can be had.
std::string PathFromWide(const std::wstring& path);

// A W function that fills a buffer and answers the length it needed when the
// buffer was too small (GetTempPathW, GetCurrentDirectoryW, ...). Empty on
// failure.
template <typename TQuery>
std::wstring QueryString(TQuery query) {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(static_cast<std::size_t>(length) + 1, L'\0');
  }
  return {};
}

// Owners. Each closes its handle exactly once; a moved-from owner holds none.
// CreateFileW answers INVALID_HANDLE_VALUE, CreateMutexW/OpenMutexW answer
// nullptr; the two owners keep those conventions apart.
class TUniqueHandle {
 public:
  TUniqueHandle() = default;
  explicit TUniqueHandle(HANDLE handle) : FHandle(handle) {}
  ~TUniqueHandle() { Reset(); }
  TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(other.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;

  HANDLE Get() const { return FHandle; }
  bool Valid() const { return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }
  HANDLE Release() {
    HANDLE handle = FHandle;
    FHandle = nullptr;
    return handle;
  }
  void Reset(HANDLE handle = nullptr) {
    if (Valid()) ::CloseHandle(FHandle);
    FHandle = handle;
  }

 private:
  HANDLE FHandle = nullptr;
};

class TFindHandle {
 public:
  explicit TFindHandle(HANDLE handle) : FHandle(handle) {}
  ~TFindHandle() {
    if (Valid()) ::FindClose(FHandle);
  }
  TFindHandle(const TFindHandle&) = delete;
  TFindHandle& operator=(const TFindHandle&) = delete;
  HANDLE Get() const { return FHandle; }
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }

 private:
  HANDLE FHandle;
};

class TRegKey {
 public:
  TRegKey() = default;
  ~TRegKey() {
    if (FKey) ::RegCloseKey(FKey);
  }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;
  HKEY Get() const { return FKey; }
  HKEY* Receive() { return &FKey; }
  explicit operator bool() const { return FKey != nullptr; }

 private:
  HKEY FKey = nullptr;
};

class TLibrary {
 public:
  explicit TLibrary(HMODULE module) : FModule(module) {}
  ~TLibrary() {
    if (FModule) ::FreeLibrary(FModule);
  }
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;
  HMODULE Get() const { return FModule; }

 private:
  HMODULE FModule;
};

// A COM apartment on the calling thread for the scope's life: the shell's
// objects (links, ShellExecute's handlers) expect one. An apartment the
// thread already has (of either kind) is left alone; a successful call,
// including one that found it there, is balanced by CoUninitialize.
class TComScope {
 public:
  TComScope()
      : FInitialized(SUCCEEDED(
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~TComScope() {
    if (FInitialized) ::CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  bool FInitialized;
};

// Owner of one COM interface reference.
template <typename TInterface>
class TComPtr {
 public:
  TComPtr() = default;
  ~TComPtr() {
    if (FPointer) FPointer->Release();
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  TInterface* operator->() const { return FPointer; }
  TInterface* Get() const { return FPointer; }
  explicit operator bool() const { return FPointer != nullptr; }
  // For functions that hand out a new reference through void**.
  void** Receive() {
    if (FPointer) FPointer->Release();
    FPointer = nullptr;
    return reinterpret_cast<void**>(&FPointer);
  }

 private:
  TInterface* FPointer = nullptr;
};

// FILETIME (UTC) <-> 32-bit MS-DOS date-time in local time, date high.
std::optional<std::int32_t> FileTimeToDos(const FILETIME& fileTime);
std::optional<FILETIME> DosToFileTime(std::int32_t dosTime);

}  // namespace mora::platform::win32
