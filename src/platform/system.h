// System version, restart-time deletion, sleep and profile (.ini) writing.
#pragma once

#include <cstdint>
#include <string>

namespace mora::platform {

enum class TPlatformFamily { Windows95, WindowsNT };

std::uint32_t WindowsVersion();  // GetVersion(); low byte = major version
TPlatformFamily PlatformFamily();

void SleepMs(std::uint32_t milliseconds);

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

// WritePrivateProfileString: sets key=value in [section] of an .ini file,
// replacing an existing key of that name. False on failure.
bool WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace mora::platform
