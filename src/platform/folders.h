// Well-known folders, the running module and the command line.
// Folders are code page 932 paths. TempFolder ends in "\"; WindowsFolder and
// ProgramFilesFolder do not (as the system reports them).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mora::platform {

std::string TempFolder();     // GetTempPathW; POSIX: $TMPDIR (or /tmp) as Z:\...
std::string WindowsFolder();  // GetWindowsDirectoryW; POSIX: C:\windows in the prefix
// HKLM\Software\Microsoft\Windows\CurrentVersion "ProgramFilesDir"; empty when
// the value is missing. POSIX: C:\Program Files in the prefix.
std::string ProgramFilesFolder();
std::string CurrentFolder();  // the process's current folder

std::string ModuleFileName();  // the running executable, full path

// Arguments after the program name, as 932 paths or texts. On Windows the
// command line is parsed by ParseCommandLine; on POSIX argv is taken as
// given (set by SetCommandLineArguments from main), a native path entering as
// a drive path (Z:\... or the mapped drive) and a Windows-style path as it is;
// options ("-x") stay texts.
std::vector<std::string> CommandLineArguments();
void SetCommandLineArguments(int argc, char** argv);  // POSIX main(); no-op on Windows

// The toolkit's command-line split: white space separates, double quotes
// group (and are removed), a backslash never escapes. The first element is
// the program name. "prog \"C:\\medium\\\"" gives {"prog", "C:\\medium\\"}.
std::vector<std::string> ParseCommandLine(std::string_view commandLine);

// A path in the host's own form (UTF-8 on POSIX, e.g. from a command line)
// as a 932 drive path; on Windows the UTF-8 text converted to 932.
std::string PathFromNative(const std::string& nativePath);
// The host's own form of a 932 drive path (UTF-8); for messages and tools.
std::string PathToNative(const std::string& path);

}  // namespace mora::platform
