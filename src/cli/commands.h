// Subcommands of the mora tool. Each command file registers itself with a
// static TCommandRegistration; main() builds the CLI11 application from the
// registered commands, runs the chosen one and reports what escapes it
// through the one failure path (cli/common.h).
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "cli/common.h"

namespace mora::cli {

// A command's set-up: adds a subcommand to the app and sets its callback. The
// callback returns the exit code through the int it is given.
using TCommandSetup = std::function<void(CLI::App& app, int& exitCode)>;

struct TCommandRegistration {
  TCommandRegistration(int order, TCommandSetup setup);
};

}  // namespace mora::cli
