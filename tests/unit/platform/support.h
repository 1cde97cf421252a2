// Helpers of the platform tests: a fresh folder per test under the system's
// temporary folder, and 932 text from UTF-8 literals.
#pragma once

#include <cstdint>
#include <string>

namespace mora::platform::test {

// A new, empty folder (with trailing "\") that no other test or run uses.
std::string FreshFolder();

// A name that no other test or run uses (for mutexes and registry keys).
std::string UniqueName(const std::string& stem);

// An MS-DOS date-time from its parts (local time, seconds rounded down to even).
std::int32_t DosTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace mora::platform::test
