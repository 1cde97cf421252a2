// Starting programs and documents with the shell verb "open".
#pragma once

#include <string>

namespace mora::platform {

// Starts file with the given parameters (a command-line text, split as the
// toolkit splits it) and working folder (empty: the current one). Returns the
// shell's result: above 32 on success, 32 or less on failure (2 = file not
// found). POSIX spawns executables directly and opens documents through
// xdg-open; a Windows executable (.exe) is started through wine when present.
int ShellExecuteOpen(const std::string& file, const std::string& parameters,
                     const std::string& folder);

// A native window handle (HWND on Windows), opaque to portable code; nullptr
// for none.
using TNativeWindow = void*;

// The same, owned by a window of the program: the shell's own messages about
// the start belong to it. POSIX has no such messages and ignores the owner.
int ShellExecuteOpenFor(TNativeWindow owner, const std::string& file, const std::string& parameters,
                        const std::string& folder);

}  // namespace mora::platform
