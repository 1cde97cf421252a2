// A sandbox for installations that are attacked: the destination lies three
// folders deep inside a box of sentinel files, beside a folder outside the
// box and a file in the Windows folder of the drive mapping, so that any
// write or deletion that leaves the destination shows in a snapshot of
// everything but the destination and the state that a run may change (the
// registry store, the program groups, the lock files).
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "install_fixture.h"

namespace mora::e2e {

class SandboxTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    Box = Root / "box";
    Dest = Box / "a" / "b" / "installed";
    Outside = Root / "outside";
    for (const fs::path& folder : {Box, Box / "a", Box / "a" / "b", Outside}) {
      fs::create_directories(folder);
      std::ofstream(folder / "sentinel.txt", std::ios::binary) << "sentinel";
    }
    // The drive C: of the mapping, made now so that a run does not make it.
    ASSERT_TRUE(platform::ForceDirectories(platform::WindowsFolder()));
    WindowsSentinel = platform::PathToNative(platform::WindowsFolder() + "\\sentinel.txt");
    std::ofstream(WindowsSentinel, std::ios::binary) << "sentinel";
  }

  // Everything below Root but the destination and the state a run may
  // change; the drive mapping (home/prefix) is kept in.
  std::map<std::string, std::string> OutsideState() const {
    std::map<std::string, std::string> state = TreeState(Root);
    const std::string dest = fs::relative(Dest, Root).string();
    const std::string home = fs::relative(Home, Root).string();
    for (auto item = state.begin(); item != state.end();) {
      const std::string& name = item->first;
      const bool inDest = name == dest || name.rfind(dest + "/", 0) == 0;
      const bool homeState = name.rfind(home, 0) == 0 && name.rfind(home + "/prefix", 0) != 0;
      item = inDest || homeState ? state.erase(item) : std::next(item);
    }
    return state;
  }

  // Runs mora and checks what every hostile run must hold: it ended by
  // itself within the time bound, not by a signal.
  static TMoraRun RunBounded(const std::vector<std::string>& arguments,
                             const std::string& shellPrefix = "") {
    const auto start = std::chrono::steady_clock::now();
    TMoraRun run = RunMoraAfter(shellPrefix, arguments);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(run.Signal, 0) << run.Err;
    EXPECT_NE(run.ExitCode, -1) << run.Err;
    EXPECT_LT(seconds.count(), 60) << "mora ran for " << seconds.count() << " s";
    return run;
  }

  std::vector<std::string> Install(const fs::path& medium,
                                   std::vector<std::string> options = {}) const {
    std::vector<std::string> arguments = {"install", medium.string(), "--dest", Dest.string(),
                                          "--yes"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
  }
  std::vector<std::string> Uninstall() const {
    return {"uninstall", Dest.string(), "--yes", "--delete-save"};
  }

  fs::path Box;
  fs::path Outside;
  std::string WindowsSentinel;  // host path
};

}  // namespace mora::e2e
