// Subcommands of the mora tool. Each command file registers itself with a
// static TCommandRegistration; main() builds the CLI11 application from the
// registered commands, runs the chosen one and maps exceptions to exit codes.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
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

// A command's set-up: adds a subcommand to the app and sets its callback. The
// callback returns the exit code through the int it is given.
using TCommandSetup = std::function<void(CLI::App& app, int& exitCode)>;

struct TCommandRegistration {
  TCommandRegistration(int order, TCommandSetup setup);
};

// A path given on the command line (UTF-8, host form) as a 932 drive path.
std::string PathArgument(const std::string& nativePath);
// 932 text for the terminal (UTF-8; bytes without a mapping shown as U+FFFD).
std::string ToTerminal(const std::string& text932);

}  // namespace mora::cli
