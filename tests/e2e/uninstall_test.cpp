// mora uninstall as a real process on installations that mora install made
// from media packed by mora pack: what it removes and keeps with and without
// --delete-save, its dry run, and its exit codes.
#include "install_fixture.h"

namespace mora::e2e {
namespace {

const std::string TitleUtf8 = "ゆめ物語";

struct TKeptItem {
  std::string Name;
  std::string Reason;
  bool operator==(const TKeptItem&) const = default;
};

std::vector<TKeptItem> KeptOf(const nlohmann::json& out) {
  std::vector<TKeptItem> kept;
  for (const auto& item : out["kept"]) kept.push_back({item["name"], item["reason"]});
  return kept;
}

TEST_F(InstallTest, UninstallRemovesTheRecordedFilesAndKeepsTheRest) {
  const struct {
    const char* Case;
    bool DeleteSave;
    bool UserFile;
    std::vector<TKeptItem> Kept;
    bool FolderRemoved;
  } cases[] = {
      {"save data kept", false, false, {{"save.dat", "save data"}}, false},
      {"a file of the user's kept",
       true,
       true,
       {{"memo\\notes.txt", "not recorded"}, {"memo\\", "holds files"}},
       false},
      {"everything removed", true, false, {}, true},
  };
  const fs::path medium = PackTitle();
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    UseFreshHome("home" + std::to_string(++n));
    fs::remove_all(Dest);
    ASSERT_EQ(RunMora({"install", medium.string(), "--dest", Dest.string(), "--parts",
                       "data,sound,movie"})
                  .ExitCode,
              0);
    settings::TMoraInstallSet record;
    record.LoadFromFile(Win(Dest / "install.dat"));
    platform::WriteFileAtomic(Win(Dest / "save.dat"), "saved game");
    if (c.UserFile) {
      fs::create_directories(Dest / "memo");
      platform::WriteFileAtomic(Win(Dest / "memo" / "notes.txt"), "mine");
    }
    std::vector<std::string> options = {"uninstall", Dest.string(), "--json"};
    if (c.DeleteSave) options.push_back("--delete-save");

    // The dry run removes nothing and tells what the real run then does.
    const auto home = TreeState(Home);
    const auto installed = TreeState(Dest);
    std::vector<std::string> dryOptions = options;
    dryOptions.push_back("--dry-run");
    const TMoraRun dry = RunMora(dryOptions);
    ASSERT_EQ(dry.ExitCode, 0) << dry.Err;
    EXPECT_EQ(TreeState(Home), home);
    EXPECT_EQ(TreeState(Dest), installed);
    const nlohmann::json planned = ParseJson(dry);
    EXPECT_EQ(planned["result"], "planned");

    options.push_back("--yes");
    const TMoraRun run = RunMora(options);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const nlohmann::json out = ParseJson(run);
    EXPECT_EQ(out["result"], "uninstalled");
    EXPECT_EQ(out["dryRun"], false);
    EXPECT_EQ(out["folder"], DestText());
    EXPECT_EQ(out["title"], TitleUtf8);
    std::vector<std::string> removed = record.InstalledFiles;
    if (c.DeleteSave) removed.push_back("save.dat");
    EXPECT_EQ(Strings(out["removed"]["files"]), removed);
    EXPECT_EQ(Strings(out["removed"]["folders"]), (std::vector<std::string>{"bgm\\", "movie\\"}));
    EXPECT_EQ(out["removed"]["installationFolder"], c.FolderRemoved);
    EXPECT_EQ(out["removed"]["programGroup"], TitleUtf8);
    EXPECT_EQ(out["removed"]["registryKey"], "HKEY_CURRENT_USER\\Software\\MoraE2E\\Yume");
    EXPECT_EQ(KeptOf(out), c.Kept);
    EXPECT_EQ(out["missing"], nlohmann::json::array());
    EXPECT_EQ(planned["removed"], out["removed"]);
    EXPECT_EQ(planned["kept"], out["kept"]);

    // What is left is what was kept; the group and the registry key are gone.
    std::vector<std::string> left;
    for (const TKeptItem& item : c.Kept) {
      if (item.Name.back() != '\\') left.push_back(item.Name);
    }
    EXPECT_EQ(FilesBelow(Dest), Sorted(left));
    EXPECT_EQ(fs::exists(Dest), !c.FolderRemoved);
    EXPECT_FALSE(fs::exists(Home / "applications" / TitleUtf8));
    EXPECT_EQ(InstallPath("MoraE2E\\Yume"), "(none)");
    EXPECT_FALSE(platform::RegKeyExists(platform::TRootKey::CurrentUser, "Software\\MoraE2E"));
  }
}

TEST_F(InstallTest, UninstallExitCodes) {
  const fs::path medium = PackTitle();
  ASSERT_EQ(RunMora({"install", medium.string(), "--dest", Dest.string()}).ExitCode, 0);
  fs::create_directories(Root / "empty");
  fs::create_directories(Root / "cut");
  platform::WriteFileAtomic(Win(Root / "cut" / "install.dat"), DamagedSettingsBytes());
  const struct {
    fs::path Folder;
    std::vector<std::string> Options;
    int ExitCode;
    std::string Message;
  } cases[] = {
      {Root / "nothere", {"--yes"}, 4, "no such folder"},
      {Root / "empty", {"--yes"}, 4, "no install.dat there"},
      {medium, {"--yes"}, 1, "not an installation's"},
      {Root / "cut", {"--yes"}, 3, "install.dat"},
      // No terminal to ask on and no --yes: nothing is removed.
      {Dest, {}, 2, "--yes removes without a question"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Folder.string());
    std::vector<std::string> arguments = {"uninstall", c.Folder.string()};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    const TMoraRun run = RunMora(arguments);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Err;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
  }
  EXPECT_TRUE(fs::exists(Dest / "install.dat"));
  EXPECT_TRUE(fs::exists(medium / "install.dat"));
  EXPECT_EQ(InstallPath("MoraE2E\\Yume"), Win(Dest) + "\\");
}

}  // namespace
}  // namespace mora::e2e
