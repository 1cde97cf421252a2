// Files and folders through the kernel's W calls.
#include "platform/files.h"

#include <algorithm>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/win32/winapi.h"

namespace mora::platform {

using base::FormatS;
using base::Sjis;
using win32::ToWide;

namespace {

bool QueryAttributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return ::GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

// A path without its trailing delimiter, unless that delimiter is all there
// is after the drive ("C:\") or the whole path ("\").
std::string WithoutTrailingDelimiter(const std::string& path) {
  if (!base::EndsWithPathDelimiter(path) || path.size() == 1) return path;
  if (path.size() == 3 && path[1] == ':') return path;
  return path.substr(0, path.size() - 1);
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint32_t GetFileAttributes(const std::string& path) {
  return ::GetFileAttributesW(ToWide(path).c_str());
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  return ::SetFileAttributesW(ToWide(path).c_str(), attributes) != 0;
}

std::optional<std::int32_t> GetFileDosTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!QueryAttributes(path, data)) return std::nullopt;
  return win32::FileTimeToDos(data.ftLastWriteTime);
}

bool SetFileDosTime(const std::string& path, std::int32_t dosTime) {
  const auto fileTime = win32::DosToFileTime(dosTime);
  if (!fileTime) return false;
  // Folders open only with backup semantics.
  win32::TUniqueHandle handle(::CreateFileW(ToWide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr));
  return handle && ::SetFileTime(handle.Get(), nullptr, nullptr, &*fileTime) != 0;
}

std::optional<std::int64_t> GetFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!QueryAttributes(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  const std::wstring wideTarget = ToWide(target);
  if (win32::IsReadOnlyFile(wideTarget)) return false;
  return ::CopyFileW(ToWide(source).c_str(), wideTarget.c_str(), failIfExists ? TRUE : FALSE) != 0;
}

bool DeleteFile(const std::string& path) { return ::DeleteFileW(ToWide(path).c_str()) != 0; }

bool MoveFile(const std::string& source, const std::string& target) {
  const std::wstring wideTarget = ToWide(target);
  if (win32::IsReadOnlyFile(wideTarget)) return false;
  return ::MoveFileExW(ToWide(source).c_str(), wideTarget.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool FlushFiles(const std::vector<std::string>& paths) {
  bool ok = true;
  for (const std::string& path : paths) {
    win32::TUniqueHandle handle(::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid() || !::FlushFileBuffers(handle.Get())) ok = false;
  }
  return ok;
}

bool CreateDirectory(const std::string& path) {
  return ::CreateDirectoryW(ToWide(path).c_str(), nullptr) != 0;
}

bool ForceDirectories(const std::string& path) {
  const std::string folder = WithoutTrailingDelimiter(path);
  if (folder.empty()) return false;
  if (DirectoryExists(folder)) return true;
  const std::size_t delimiter = base::LastPathDelimiter(folder);
  if (delimiter != std::string::npos && delimiter > 0) {
    const std::string parent = folder.substr(0, delimiter);
    // A drive ("C:") or the start of a UNC name ("\\") is not created.
    const bool isDrive = parent.size() == 2 && parent[1] == ':';
    const bool isUncStart = parent.find_first_not_of('\\') == std::string::npos;
    if (!isDrive && !isUncStart && !ForceDirectories(parent)) return false;
  }
  return CreateDirectory(folder) || DirectoryExists(folder);
}

bool RemoveDirectory(const std::string& path) {
  return ::RemoveDirectoryW(ToWide(path).c_str()) != 0;
}

std::vector<TFindData> FindFiles(const std::string& folder) {
  std::vector<TFindData> result;
  std::string pattern = folder;
  if (!pattern.empty() && !base::EndsWithPathDelimiter(pattern)) pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAW data;
  win32::TFindHandle find(::FindFirstFileW(ToWide(pattern).c_str(), &data));
  if (!find.Valid()) return result;
  do {
    const std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    // A name that code page 932 cannot spell is listed by its short name, so
    // the caller can still reach it; without one it cannot be named at all.
    auto converted = win32::TryFromWide(name);
    if (!converted && data.cAlternateFileName[0] != L'\0') {
      converted = win32::TryFromWide(data.cAlternateFileName);
    }
    if (!converted) continue;
    TFindData entry;
    entry.Name = std::move(*converted);
    entry.Attributes = data.dwFileAttributes;
    entry.Size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                           data.nFileSizeLow);
    entry.DosTime = win32::FileTimeToDos(data.ftLastWriteTime).value_or(0);
    result.push_back(std::move(entry));
  } while (::FindNextFileW(find.Get(), &data));
  return result;
}

std::int64_t DiskFreeBytes(const std::string& rootPath) {
  ULARGE_INTEGER available;
  ULARGE_INTEGER total;
  ULARGE_INTEGER free;
  if (!::GetDiskFreeSpaceExW(ToWide(rootPath).c_str(), &available, &total, &free)) return -1;
  return static_cast<std::int64_t>(available.QuadPart);
}

std::optional<std::string> ShortPathName(const std::string& path) {
  const std::wstring wide = ToWide(path);
  const std::wstring shortPath = win32::QueryString(
      [&](wchar_t* buffer, DWORD size) { return ::GetShortPathNameW(wide.c_str(), buffer, size); });
  if (shortPath.empty()) return std::nullopt;
  return win32::TryFromWide(shortPath).value_or(path);
}

std::string ExpandFileName(const std::string& path) {
  const std::wstring wide = ToWide(path);
  const std::wstring full = win32::QueryString([&](wchar_t* buffer, DWORD size) {
    return ::GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
  });
  if (full.empty()) return path;
  return win32::PathFromWide(full);
}

std::string ReadFileBytes(const std::string& path) {
  const auto failure = [&] {
    return base::EFOpenError(FormatS(Sjis("ファイル %s は開けません"), path));
  };
  const auto wide = win32::TryToWide(path);
  if (!wide) throw failure();
  win32::TUniqueHandle handle(::CreateFileW(wide->c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!handle || !::GetFileSizeEx(handle.Get(), &size)) throw failure();
  if (static_cast<std::uint64_t>(size.QuadPart) > std::string().max_size()) throw failure();
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(handle.Get(), bytes.data() + done, chunk, &read, nullptr)) throw failure();
    if (read == 0) break;  // the file shrank while we read it
    done += read;
  }
  bytes.resize(done);
  return bytes;
}

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  const auto failure = [&] {
    return base::EFCreateError(FormatS(Sjis("ファイル %s を作成できません"), path));
  };
  const auto wide = win32::TryToWide(path);
  if (!wide) throw failure();
  if (win32::IsReadOnlyFile(*wide)) throw failure();
  const std::wstring temporary = *wide + L".~" + std::to_wstring(::GetCurrentProcessId());
  bool written = false;
  {
    win32::TUniqueHandle handle(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle) {
      std::size_t done = 0;
      written = true;
      while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD count = 0;
        if (!::WriteFile(handle.Get(), bytes.data() + done, chunk, &count, nullptr) || count == 0) {
          written = false;
          break;
        }
        done += count;
      }
      written = written && ::FlushFileBuffers(handle.Get());
    }
  }
  if (!written || !::MoveFileExW(temporary.c_str(), wide->c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temporary.c_str());
    throw failure();
  }
}

}  // namespace mora::platform
