// Files and folders on POSIX. The read-only attribute is the absence of all
// write permission bits; hidden, system and archive are kept in the extended
// attribute "user.mora.dosattrib" (a decimal number). A file without that
// attribute reports archive (as a freshly written file does on Windows), a
// folder nothing. Where the system refuses to change a read-only file
// (delete, replace, overwrite) this layer refuses too, even for root.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/filehandle.h"
#include "platform/posix/state.h"

namespace mora::platform {

using base::FormatS;
using base::Sjis;
using posix::TryHostPath;

namespace {

constexpr const char* AttributeName = "user.mora.dosattrib";
constexpr std::uint32_t StoredBits = faHidden | faSysFile | faArchive;

bool IsReadOnlyMode(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

std::optional<struct stat> HostStat(const std::string& host) {
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return std::nullopt;
  return st;
}

std::optional<std::uint32_t> StoredAttributes(const std::string& host) {
  char buffer[16] = {};
  const ssize_t n = ::getxattr(host.c_str(), AttributeName, buffer, sizeof buffer - 1);
  if (n <= 0) return std::nullopt;
  char* end = nullptr;
  const unsigned long value = std::strtoul(buffer, &end, 10);
  if (end == buffer) return std::nullopt;
  return static_cast<std::uint32_t>(value) & StoredBits;
}

std::uint32_t AttributesOf(const std::string& host, const struct stat& st) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    attributes = faDirectory;
    if (auto stored = StoredAttributes(host)) attributes |= *stored;
  } else {
    attributes = StoredAttributes(host).value_or(faArchive);
  }
  if (IsReadOnlyMode(st.st_mode)) attributes |= faReadOnly;
  if (attributes == 0) attributes = faNormal;
  return attributes;
}

// MS-DOS times run to 2107; a 32-bit time_t ends in 2038 (the build defines
// _TIME_BITS=64 for 32-bit targets).
static_assert(sizeof(std::time_t) == 8, "time_t must reach the MS-DOS years up to 2107");

std::optional<std::int32_t> ToDosTime(std::time_t t) {
  struct tm local {};
  if (!::localtime_r(&t, &local)) return std::nullopt;
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return std::nullopt;
  const std::uint32_t date =
      static_cast<std::uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  const std::uint32_t time =
      static_cast<std::uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

std::optional<std::time_t> FromDosTime(std::int32_t dosTime) {
  const auto value = static_cast<std::uint32_t>(dosTime);
  const std::uint32_t date = value >> 16;
  const std::uint32_t time = value & 0xFFFF;
  struct tm local {};
  local.tm_year = static_cast<int>((date >> 9) + 1980 - 1900);
  local.tm_mon = static_cast<int>(((date >> 5) & 15)) - 1;
  local.tm_mday = static_cast<int>(date & 31);
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>((time >> 5) & 63);
  local.tm_sec = static_cast<int>((time & 31) * 2);
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 ||
      local.tm_min > 59 || local.tm_sec > 59) {
    return std::nullopt;
  }
  const std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return t;
}

// Removes a file on failure paths.
void RemoveHost(const std::string& host) { ::unlink(host.c_str()); }

[[noreturn]] void CannotOpen(const std::string& path) {
  throw base::EFOpenError(FormatS(Sjis("ファイル %s は開けません"), path));
}

[[noreturn]] void CannotCreate(const std::string& path) {
  throw base::EFCreateError(FormatS(Sjis("ファイル %s を作成できません"), path));
}

}  // namespace

bool FileExists(const std::string& path) {
  const auto host = TryHostPath(path);
  if (!host) return false;
  const auto st = HostStat(*host);
  return st && !S_ISDIR(st->st_mode);
}

bool DirectoryExists(const std::string& path) {
  const auto host = TryHostPath(path);
  if (!host) return false;
  const auto st = HostStat(*host);
  return st && S_ISDIR(st->st_mode);
}

std::uint32_t GetFileAttributes(const std::string& path) {
  const auto host = TryHostPath(path);
  if (!host) return InvalidFileAttributes;
  const auto st = HostStat(*host);
  if (!st) return InvalidFileAttributes;
  return AttributesOf(*host, *st);
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  const auto host = TryHostPath(path);
  if (!host) return false;
  const auto st = HostStat(*host);
  if (!st) return false;
  const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
  mode_t mode = st->st_mode & 07777;
  if (attributes & faReadOnly) {
    mode &= ~writeBits;
  } else if (IsReadOnlyMode(mode)) {
    mode |= S_IWUSR;
  }
  if (mode != (st->st_mode & 07777) && ::chmod(host->c_str(), mode) != 0) return false;
  const std::uint32_t stored = attributes & StoredBits;
  const std::uint32_t usual = S_ISDIR(st->st_mode) ? 0 : faArchive;
  if (stored == usual) {
    if (::removexattr(host->c_str(), AttributeName) != 0 && errno != ENODATA && errno != ENOTSUP) {
      return false;
    }
    return true;
  }
  const std::string text = std::to_string(stored);
  return ::setxattr(host->c_str(), AttributeName, text.data(), text.size(), 0) == 0;
}

std::optional<std::int32_t> GetFileDosTime(const std::string& path) {
  const auto host = TryHostPath(path);
  if (!host) return std::nullopt;
  const auto st = HostStat(*host);
  if (!st) return std::nullopt;
  return ToDosTime(st->st_mtim.tv_sec);
}

bool SetFileDosTime(const std::string& path, std::int32_t dosTime) {
  const auto host = TryHostPath(path);
  const auto t = FromDosTime(dosTime);
  if (!host || !t) return false;
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = *t;
  return ::utimensat(AT_FDCWD, host->c_str(), times, 0) == 0;
}

std::optional<std::int64_t> GetFileSize(const std::string& path) {
  const auto host = TryHostPath(path);
  if (!host) return std::nullopt;
  const auto st = HostStat(*host);
  if (!st || S_ISDIR(st->st_mode)) return std::nullopt;
  return st->st_size;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  const auto sourceHost = TryHostPath(source);
  const auto targetHost = TryHostPath(target);
  if (!sourceHost || !targetHost) return false;
  const auto sourceStat = HostStat(*sourceHost);
  if (!sourceStat || !S_ISREG(sourceStat->st_mode)) return false;
  if (const auto targetStat = HostStat(*targetHost)) {
    if (failIfExists || S_ISDIR(targetStat->st_mode)) return false;
    // Copying a file onto itself would truncate it first.
    if (targetStat->st_dev == sourceStat->st_dev && targetStat->st_ino == sourceStat->st_ino) {
      return false;
    }
  }
  TFileOpenOptions readOptions;
  readOptions.Access = TFileAccess::Read;
  readOptions.Share = TFileShare::Read;
  auto in = TFileHandle::TryOpen(source, readOptions);
  if (!in) return false;
  TFileOpenOptions writeOptions;
  writeOptions.Access = TFileAccess::Write;
  writeOptions.Share = TFileShare::None;
  writeOptions.Creation = TFileCreation::CreateAlways;
  auto out = TFileHandle::TryOpen(target, writeOptions);
  if (!out) return false;
  try {
    // Inside the system where it can (no bytes through the program), the
    // rest through a buffer.
    while (out->CopyInSystemFrom(*in, std::int64_t{1} << 30) > 0) {
    }
    std::unique_ptr<char[]> buffer(new char[1 << 20]);
    while (true) {
      const std::int64_t n = in->Read(buffer.get(), 1 << 20);
      if (n == 0) break;
      out->Write(buffer.get(), n);
    }
  } catch (const base::EStreamError&) {
    out->Close();
    RemoveHost(*targetHost);
    return false;
  }
  out->Close();
  in->Close();
  // The copy keeps the source's permissions (so its read-only attribute),
  // stored attributes and last-write time, as the system copy does.
  (void)::chmod(targetHost->c_str(), sourceStat->st_mode & 07777);
  char attributes[16] = {};
  const ssize_t n = ::getxattr(sourceHost->c_str(), AttributeName, attributes, sizeof attributes);
  if (n > 0) {
    (void)::setxattr(targetHost->c_str(), AttributeName, attributes, static_cast<size_t>(n), 0);
  }
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = sourceStat->st_mtim;
  (void)::utimensat(AT_FDCWD, targetHost->c_str(), times, 0);
  return true;
}

bool DeleteFile(const std::string& path) {
  const auto host = TryHostPath(path);
  if (!host) return false;
  struct stat st {};
  if (::lstat(host->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) return false;
  return ::unlink(host->c_str()) == 0;
}

bool MoveFile(const std::string& source, const std::string& target) {
  const auto sourceHost = TryHostPath(source);
  const auto targetHost = TryHostPath(target);
  if (!sourceHost || !targetHost) return false;
  const auto sourceStat = HostStat(*sourceHost);
  if (!sourceStat) return false;
  if (const auto targetStat = HostStat(*targetHost)) {
    if (targetStat->st_dev == sourceStat->st_dev && targetStat->st_ino == sourceStat->st_ino) {
      return true;
    }
    if (S_ISDIR(targetStat->st_mode) || IsReadOnlyMode(targetStat->st_mode)) return false;
  }
  if (::rename(sourceHost->c_str(), targetHost->c_str()) == 0) return true;
  if (errno != EXDEV || S_ISDIR(sourceStat->st_mode)) return false;
  if (!CopyFile(source, target, false)) return false;
  // The source's read-only bit must not keep the moved file from leaving.
  if (::unlink(sourceHost->c_str()) != 0) return false;
  return true;
}

bool FlushFiles(const std::vector<std::string>& paths) {
  bool ok = true;
  std::vector<dev_t> synced;
  for (const std::string& path : paths) {
    const auto host = TryHostPath(path);
    const int fd = host ? ::open(host->c_str(), O_RDONLY | O_CLOEXEC) : -1;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      if (fd >= 0) ::close(fd);
      ok = false;
      continue;
    }
    // One syncfs writes every file of its file system, as one journal
    // commit instead of one per file.
    if (std::find(synced.begin(), synced.end(), st.st_dev) == synced.end()) {
      if (::syncfs(fd) == 0) {
        synced.push_back(st.st_dev);
      } else if (::fsync(fd) != 0) {
        ok = false;
      }
    }
    ::close(fd);
  }
  return ok;
}

bool CreateDirectory(const std::string& path) {
  const auto host = TryHostPath(path);
  return host && ::mkdir(host->c_str(), 0777) == 0;
}

bool ForceDirectories(const std::string& path) {
  const auto host = TryHostPath(path);
  return host && posix::MakeHostFolders(*host);
}

bool RemoveDirectory(const std::string& path) {
  const auto host = TryHostPath(path);
  return host && ::rmdir(host->c_str()) == 0;
}

std::vector<TFindData> FindFiles(const std::string& folder) {
  std::vector<TFindData> result;
  const auto host = TryHostPath(folder);
  if (!host) return result;
  DIR* dir = ::opendir(host->c_str());
  if (!dir) return result;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string name932;
    try {
      name932 = base::Utf8ToCp932(name);
    } catch (const base::EConvertError&) {
      continue;  // a name this program could not open again
    }
    if (name.find('\\') != std::string::npos) continue;  // not representable
    const std::string entryHost = *host + "/" + name;
    struct stat st {};
    if (::lstat(entryHost.c_str(), &st) != 0) continue;
    const bool isLink = S_ISLNK(st.st_mode);
    bool dangling = false;
    if (isLink && ::stat(entryHost.c_str(), &st) != 0) {
      dangling = true;
      if (::lstat(entryHost.c_str(), &st) != 0) continue;
    }
    TFindData data;
    data.Name = std::move(name932);
    data.Attributes = dangling ? faArchive : AttributesOf(entryHost, st);
    if (isLink) data.Attributes = (data.Attributes & ~faNormal) | faReparsePoint;
    data.Size = S_ISDIR(st.st_mode) || dangling ? 0 : st.st_size;
    data.DosTime = ToDosTime(st.st_mtim.tv_sec).value_or(0);
    result.push_back(std::move(data));
  }
  ::closedir(dir);
  return result;
}

std::int64_t DiskFreeBytes(const std::string& rootPath) {
  const auto host = TryHostPath(rootPath);
  if (!host) return -1;
  struct statvfs info {};
  if (::statvfs(host->c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

std::optional<std::string> ShortPathName(const std::string& path) {
  const auto host = TryHostPath(path);
  if (!host || !HostStat(*host)) return std::nullopt;
  return path;
}

std::string ExpandFileName(const std::string& path) {
  try {
    return posix::FullPath932(path);
  } catch (const base::EInvalidPath&) {
    return path;
  }
}

std::string ReadFileBytes(const std::string& path) {
  TFileOpenOptions options;
  options.Access = TFileAccess::Read;
  options.Share = TFileShare::ReadWrite;
  auto handle = TFileHandle::TryOpen(path, options);
  if (!handle) CannotOpen(path);
  std::string bytes;
  try {
    const std::int64_t size = handle->Size();
    // A file larger than memory can hold would be cut short by the
    // conversion (32-bit systems) while the read still fills size bytes.
    if (size < 0 || static_cast<std::uint64_t>(size) > bytes.max_size()) CannotOpen(path);
    bytes.resize(static_cast<std::size_t>(size));
    bytes.resize(static_cast<std::size_t>(handle->Read(bytes.data(), size)));
    char extra[4096];
    while (const std::int64_t n = handle->Read(extra, sizeof extra)) {
      bytes.append(extra, static_cast<std::size_t>(n));
    }
  } catch (const base::EStreamError&) {
    CannotOpen(path);
  }
  return bytes;
}

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  const auto host = TryHostPath(path);
  if (!host) CannotCreate(path);
  if (const auto st = HostStat(*host)) {
    if (S_ISDIR(st->st_mode) || IsReadOnlyMode(st->st_mode)) CannotCreate(path);
  }
  if (!posix::WriteHostFileAtomic(*host, bytes)) CannotCreate(path);
}

}  // namespace mora::platform
