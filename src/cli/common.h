// What every mora command shares: the exit codes, the one mapping from the
// program's error classes to them (with the line that reports a failure),
// the checks of a path given as input and the name messages use for it.
// Nothing here throws except what a caller rethrows into it.
#pragma once

#include <exception>
#include <optional>
#include <string>

namespace mora::cli {

// Exit codes, documented in the README.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;      // any other failure
constexpr int ExitUsage = 2;        // bad command line
constexpr int ExitDamaged = 3;      // damaged or unreadable data
constexpr int ExitMissing = 4;      // a file or entry that does not exist
constexpr int ExitCancelled = 5;    // cancelled by the user
constexpr int ExitMissingDisk = 6;  // a further disk was asked for and not given

// A failure as the user sees it: the exit code and the one line (UTF-8,
// without the leading "mora: ").
struct TFailure {
  int ExitCode = ExitFailure;
  std::string Text;
};

// Tells what a failure raised by the libraries means for the run:
//   EMediumMissing, EFOpenError, a manifest naming a missing file  -> ExitMissing
//   EDamagedData, ERangeError (a count or size read from a file out of
//     range), EResNotFound, EZDecompressionError, EReadError and the other
//     stream errors, an invalid manifest                            -> ExitDamaged
//   EWriteError, EFCreateError (a full disk, a folder we may not write),
//     a manifest whose files do not fit, std::bad_alloc ("out of memory"),
//     anything else                                                 -> ExitFailure
// context, when given, comes before the message ("game.dat: ...").
TFailure DescribeFailure(const std::exception_ptr& failure, const std::string& context = {});
// Prints "mora: <text>" on stderr and returns the exit code.
int ReportFailure(const std::exception_ptr& failure, const std::string& context = {});

// A path given on the command line (UTF-8, host form) as a 932 drive path.
std::string PathArgument(const std::string& nativePath);
// 932 text for the terminal (UTF-8; bytes without a mapping shown as U+FFFD).
std::string ToTerminal(std::string_view text932);
// 932 text of a message as one terminal line: "\r\n" becomes a space.
std::string MessageLine(const std::string& text932);
// The name messages use for an input: the argument as typed, in 932 where it
// converts, else the drive path.
std::string SourceName(const std::string& argument, const std::string& path);

// An input that must be a file: nullopt when path is one; otherwise prints
// "ARGUMENT: no such file" or "ARGUMENT: is a folder, not <what>" and
// answers ExitMissing.
std::optional<int> CheckInputFile(const std::string& argument, const std::string& path,
                                  const char* what);
// An input that may be a file or a folder (a medium): nullopt when it
// exists; otherwise prints "ARGUMENT: no such file or folder" and answers
// ExitMissing.
std::optional<int> CheckInputExists(const std::string& argument, const std::string& path);

}  // namespace mora::cli
