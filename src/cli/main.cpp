// Entry of the mora command-line tool.
#include <algorithm>
#include <exception>
#include <iostream>
#include <vector>

#include "cli/commands.h"
#include "platform/system.h"

namespace mora::cli {
namespace {

struct TRegistered {
  int Order;
  TCommandSetup Setup;
};

std::vector<TRegistered>& Registry() {
  static std::vector<TRegistered> registry;
  return registry;
}

}  // namespace

TCommandRegistration::TCommandRegistration(int order, TCommandSetup setup) {
  Registry().push_back({order, std::move(setup)});
}

int Run(int argc, char** argv) {
  platform::BeginProcess(argc, argv);
  CLI::App app{"mora: inspect, test, extract, install and build setup media"};
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", std::string("mora ") + MORA_VERSION);
  int exitCode = ExitOk;
  std::sort(Registry().begin(), Registry().end(),
            [](const TRegistered& a, const TRegistered& b) { return a.Order < b.Order; });
  for (auto& command : Registry()) command.Setup(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? ExitOk : ExitUsage;
  } catch (...) {
    return ReportFailure(std::current_exception());
  }
  if (app.get_subcommands().empty()) {
    std::cout << app.help();
  }
  return exitCode;
}

}  // namespace mora::cli

int main(int argc, char** argv) { return mora::cli::Run(argc, argv); }
