// Path and file helpers of start-up, wizard, engine and uninstaller: delimiter handling on 932
// paths (a 0x5C trail byte is no delimiter), recursive listing, copy, size, digit grouping and
// deletion at the next restart. None of them throws for a failing system call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system.h"

namespace mora::settings {

// The six attribute bits a listing filters on (read-only ... archive).
constexpr std::uint32_t AllAttributeBits = 0x3F;

// The path with "\" appended unless it already ends in one; "" gives "\".
std::string AppendPathDelimiter(const std::string& path);

// Drops one trailing delimiter, then the last component with the delimiter
// before it: A\B\C -> A\B, A\B\ -> A, A -> "".
void CutLastPathPart(std::string& path);

// Appends the full paths of the folder's entries that pass the filter: a
// directory when attributeMask holds the directory bit; another entry when
// its attributes share a bit with the mask, or when it has none of the six
// bits and takePlainFiles is set. With recurse, each subfolder's entries
// follow directly after the subfolder's own place. A missing or unreadable
// folder adds nothing.
// Links (faReparsePoint) do not belong to the tree: a link to a folder is
// neither taken nor entered, a link to a file counts as that file. So a
// listing stays inside the folder, ends on link loops, and the uninstaller's
// folder removal, which enters what this lists as folders, never reaches
// through a link.
void ListFiles(const std::string& folder, std::uint32_t attributeMask, bool takePlainFiles,
               bool clearListFirst, std::vector<std::string>& list, bool recurse);

// Copies the file, replacing an existing target; false on failure.
bool CopyFileOver(const std::string& source, const std::string& target);

// The file's size; 0 when it cannot be measured, INT32_MAX for larger files.
std::int32_t FileSizeOf(const std::string& fileName);

// Decimal digits grouped by "," in threes from the right: 1234567 ->
// "1,234,567". Negative numbers keep their sign in front: -1000 -> "-1,000".
std::string FormatThousands(std::int32_t value);

// Arranges that the file is deleted at the next restart: on the NT family
// through the system's delayed move, on the 95 family through the "rename"
// section of wininit.ini (key "NUL", the file's short path). Failures are
// ignored.
void DeleteFileOnReboot(const std::string& fileName,
                        platform::TPlatformFamily family = platform::PlatformFamily());

}  // namespace mora::settings
