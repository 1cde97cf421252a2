// Files and folders: existence, attributes, DOS file times, copy, delete,
// folder creation and removal, enumeration, free space, short names, and
// whole-file reads and atomic writes. Paths are code page 932 byte strings
// with "\" delimiters and drive letters; the POSIX layer maps them onto the
// host file system (drive_c under the prefix, Z:\ = /).
// Expected conditions answer false / empty / -1; only the whole-file helpers
// and paths that cannot be represented throw (EFOpenError, EFCreateError,
// EInvalidPath).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mora::platform {

// Attribute bits as the system defines them.
constexpr std::uint32_t faReadOnly = 0x01;
constexpr std::uint32_t faHidden = 0x02;
constexpr std::uint32_t faSysFile = 0x04;
constexpr std::uint32_t faVolumeID = 0x08;
constexpr std::uint32_t faDirectory = 0x10;
constexpr std::uint32_t faArchive = 0x20;
constexpr std::uint32_t faNormal = 0x80;
// A link: a symbolic link, or on Windows also a junction (FindFiles only).
constexpr std::uint32_t faReparsePoint = 0x400;
constexpr std::uint32_t InvalidFileAttributes = 0xFFFFFFFFu;

bool FileExists(const std::string& path);       // an existing file, not a folder
bool DirectoryExists(const std::string& path);  // an existing folder

// InvalidFileAttributes when the path does not exist.
std::uint32_t GetFileAttributes(const std::string& path);
bool SetFileAttributes(const std::string& path, std::uint32_t attributes);

// Last-write time as a 32-bit MS-DOS date-time (local time, date high).
std::optional<std::int32_t> GetFileDosTime(const std::string& path);
bool SetFileDosTime(const std::string& path, std::int32_t dosTime);

std::optional<std::int64_t> GetFileSize(const std::string& path);

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists);
bool DeleteFile(const std::string& path);
bool MoveFile(const std::string& source, const std::string& target);  // replaces target
bool CreateDirectory(const std::string& path);                        // one level
bool ForceDirectories(const std::string& path);                       // with all missing parents
bool RemoveDirectory(const std::string& path);                        // an empty folder
// Forces the written data of these files onto the disk, at the cost of one
// flush rather than one per file where the system allows it (POSIX: the
// file systems holding them are synced once each; Windows flushes each
// file). False when a file cannot be opened or a flush fails.
bool FlushFiles(const std::vector<std::string>& paths);

struct TFindData {
  std::string Name;  // without the folder
  std::uint32_t Attributes = 0;
  std::int64_t Size = 0;
  std::int32_t DosTime = 0;
};

// Entries of one folder in the file system's order, without "." and "..";
// empty when the folder does not exist or cannot be read. A link carries
// faReparsePoint; on POSIX its other attributes and its size are those of
// what it points to (a link to a folder has faDirectory too, as Windows
// reports its own folder links), and a link that points nowhere is an
// entry of size 0 without faDirectory.
std::vector<TFindData> FindFiles(const std::string& folder);

// Bytes available to the caller on the drive of rootPath ("C:\"); -1 when
// the drive is unknown or the query fails.
std::int64_t DiskFreeBytes(const std::string& rootPath);

// The 8.3 form of an existing path; the path itself where the system keeps
// no short names; nullopt when the path does not exist.
std::optional<std::string> ShortPathName(const std::string& path);

// Full path of a relative one, against the current folder.
std::string ExpandFileName(const std::string& path);

// Whole-file helpers. ReadFileBytes throws EFOpenError ("ファイル %s は開けません")
// when the file cannot be read or is larger than memory can hold;
// WriteFileAtomic writes a temporary file beside the target and renames it
// over the target, so a crash leaves either the old or the new file whole;
// it throws EFCreateError ("ファイル %s を作成できません").
std::string ReadFileBytes(const std::string& path);
void WriteFileAtomic(const std::string& path, const std::string& bytes);

}  // namespace mora::platform
