// System version, restart-time deletion, sleep and profile (.ini) writing.
#pragma once

#include <cstdint>
#include <string>

namespace mora::platform {

enum class TPlatformFamily { Windows95, WindowsNT };

std::uint32_t WindowsVersion();  // GetVersion(); low byte = major version
TPlatformFamily PlatformFamily();

void SleepMs(std::uint32_t milliseconds);

// The process's standard streams, and whether one of them is a terminal (a
// console on Windows): where a program may draw a progress line or ask a
// question. False when it is a file, a pipe or closed. Never throws.
enum class TStandardStream { Input, Output, Error };
bool IsTerminal(TStandardStream stream);

// Asks the system to delete the file at the next restart (MoveFileEx with
// delay-until-reboot and no new name). POSIX keeps a pending list keyed by the
// boot id; ProcessPendingDeletions, called by BeginProcess, deletes what was
// scheduled before an earlier boot. Failures answer false.
bool DeleteAtRestart(const std::string& path);
void ProcessPendingDeletions();

// The first call of every program of ours (mora's main, the setup program's
// entry routine), before it looks at anything else: on POSIX it takes main's
// arguments (SetCommandLineArguments) and carries out the deletions scheduled
// before the last restart, so the first run after a restart removes them; on
// Windows the system has done both. Never throws.
void BeginProcess(int argc, char** argv);

// For a program that runs from folders others can write to (a download or
// the temporary folder): from now on the system loads DLLs that the program
// or the system ask for by name from the system folder only, never from the
// program's or the current folder. Windows: SetDefaultDllDirectories with
// the system folder where the system offers it, and the current folder
// dropped from the search path in any case. POSIX: nothing to do. Never
// throws.
void RestrictDllSearchPath();

// WritePrivateProfileString: sets key=value in [section] of an .ini file,
// replacing an existing key of that name. False on failure.
bool WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace mora::platform
