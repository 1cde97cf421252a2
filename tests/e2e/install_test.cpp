// mora install as a real process: a whole title, the wizard's defaults, two
// disks, the disk question without a folder, an add-on, the dry run, Ctrl-C,
// and how the exit code tells the ends apart.
#include <signal.h>

#include "install_fixture.h"

namespace mora::e2e {
namespace {

const std::string TitleUtf8 = "ゆめ物語";

TEST_F(InstallTest, ASingleDiskWithEveryPartIsInstalledRecordedAndReported) {
  const fs::path medium = WriteTitleMedium();
  const TMoraRun run = RunMora({"install", medium.string(), "--dest", Dest.string(), "--parts",
                                "data,sound,movie", "--json"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json out = ParseJson(run);
  const std::string dest = DestText();
  ASSERT_EQ(dest.rfind("Z:\\", 0), 0u) << dest;

  EXPECT_EQ(out["result"], "installed");
  EXPECT_EQ(out["dest"], dest);
  // The loose files in the order the medium listed them, then the data
  // archive's directory, its volume and the settings file.
  const std::vector<std::string> recorded = Strings(out["installedFiles"]);
  ASSERT_EQ(recorded.size(), 8u);
  EXPECT_EQ(Sorted({recorded.begin(), recorded.begin() + 5}),
            Sorted({"game.exe", "install.exe", "readme.txt", "bgm\\track1.mp3", "movie\\op.mpg"}));
  EXPECT_EQ(std::vector<std::string>(recorded.begin() + 5, recorded.end()),
            (std::vector<std::string>{"game.ext", "game.dat", "install.dat"}));
  EXPECT_EQ(out["dataInstalled"], true);
  EXPECT_EQ(out["registry"], (nlohmann::json{{"key", "HKEY_CURRENT_USER\\Software\\MoraE2E\\Yume"},
                                             {"value", "InstallPath"},
                                             {"data", dest}}));
  ASSERT_TRUE(out["shortcuts"].is_object());
  EXPECT_EQ(out["shortcuts"]["group"], TitleUtf8);
  std::map<std::string, std::pair<std::string, int>> links;
  for (const auto& link : out["shortcuts"]["links"]) {
    links[link["name"]] = {link["target"], link["iconIndex"]};
  }
  EXPECT_EQ(links, (std::map<std::string, std::pair<std::string, int>>{
                       {TitleUtf8, {dest + "game.exe", 0}},
                       {TitleUtf8 + "のアンインストール", {dest + "install.exe", 1}},
                       {"お読みください", {dest + "readme.txt", 0}}}));
  EXPECT_EQ(out["readme"], dest + "readme.txt");
  EXPECT_EQ(out["diskQuestions"], nlohmann::json::array());
  EXPECT_EQ(out.size(), 8u);

  // What is there is what the JSON said: files, record, registry, group.
  EXPECT_EQ(FilesBelow(Dest), Sorted(recorded));
  EXPECT_EQ(ReadHost(Dest / "bgm" / "track1.mp3"), std::string(300, 's'));
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "cg\\b.bin"), std::string(2000, 'b'));
  settings::TMoraInstallSet record;
  record.LoadFromFile(Win(Dest / "install.dat"));
  EXPECT_EQ(record.InstalledFiles, recorded);
  EXPECT_EQ(record.UninstallMode, 1);
  EXPECT_EQ(InstallPath("MoraE2E\\Yume"), Win(Dest) + "\\");
  EXPECT_EQ(Sorted({"お読みください.desktop", TitleUtf8 + ".desktop",
                    TitleUtf8 + "のアンインストール.desktop"}),
            FilesBelow(Home / "applications" / TitleUtf8));
  // The wizard's messages and progress went to stderr, stdout holds the JSON.
  EXPECT_NE(run.Err.find("game.exe をコピー中..."), std::string::npos) << run.Err;
}

TEST_F(InstallTest, TheWizardsDefaultsChooseTheFolderAndTheParts) {
  const struct {
    int SetupKind;
    std::vector<std::string> Options;
    std::vector<std::string> Installed;
  } cases[] = {
      {0, {}, {"game.exe", "install.dat", "install.exe", "readme.txt"}},
      {1, {}, {"bgm\\track1.mp3", "game.dat", "game.exe", "game.ext", "install.dat",
               "install.exe", "movie\\op.mpg", "readme.txt"}},
      {1, {"--parts", "none"}, {"game.exe", "install.dat", "install.exe", "readme.txt"}},
      {0, {"--parts", "sound"},
       {"bgm\\track1.mp3", "game.exe", "install.dat", "install.exe", "readme.txt"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    UseFreshHome("home" + std::to_string(++n));
    settings::TMoraInstallSet title = Title();
    title.SetupKind = static_cast<std::uint8_t>(c.SetupKind);
    const fs::path medium = Root / ("medium" + std::to_string(n));
    const archive::TVrArchiveWriter writer = TitleArchive();
    WriteMedium(medium, title, TitleFiles(), &writer);
    std::vector<std::string> arguments = {"install", medium.string(), "--json"};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    const TMoraRun run = RunMora(arguments);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    // DefaultDir "<ProgramFiles>\Mora\Yume": drive C: lies in the prefix.
    const fs::path folder = Home / "prefix" / "drive_c" / "Program Files" / "Mora" / "Yume";
    EXPECT_EQ(ParseJson(run)["dest"], "C:\\Program Files\\Mora\\Yume\\");
    EXPECT_EQ(FilesBelow(folder), c.Installed);
  }
}

// Two disks of one title, and a disk of another title.
class TwoDiskTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    settings::TMoraInstallSet first = Title();
    first.SetDiskCount(2);
    first.PlainFiles = {"one.txt"};
    settings::TMoraInstallSet second = first;
    second.DiskIndex = 1;
    second.PlainFiles = {"two.txt"};
    settings::TMoraInstallSet stranger = second;
    stranger.Title = Sjis("別のタイトル");
    archive::TVrArchiveWriter firstArchive;
    firstArchive.AddBytes("one.dat", "1", Entry(Older));
    archive::TVrArchiveWriter secondArchive;
    secondArchive.AddBytes("two.dat", "2", Entry(Older));
    WriteMedium(Root / "disk1", first, {{"one.txt", "first disk"}}, &firstArchive);
    WriteMedium(Root / "disk2", second, {{"two.txt", "second disk"}}, &secondArchive);
    WriteMedium(Root / "stranger", stranger, {{"two.txt", "wrong disk"}}, &secondArchive);
  }
};

TEST_F(TwoDiskTest, TheDiskQuestionTakesTheNextMediaFolderThatHoldsTheDisk) {
  const TMoraRun run =
      RunMora({"install", (Root / "disk1").string(), "--dest", Dest.string(), "--parts", "data",
               "--media", (Root / "stranger").string(), "--media", (Root / "disk2").string(),
               "--json"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json out = ParseJson(run);
  EXPECT_EQ(out["diskQuestions"],
            (nlohmann::json{{{"disk", 2}, {"folder", Utf8(Win(Root / "stranger")) + "\\"}},
                            {{"disk", 2}, {"folder", Utf8(Win(Root / "disk2")) + "\\"}}}));
  EXPECT_NE(run.Err.find((Root / "stranger").string() + ": no disk 2 of this title there"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(Strings(out["installedFiles"]),
            (std::vector<std::string>{"one.txt", "game.ext", "two.txt", "game.dat", "install.dat"}));
  EXPECT_EQ(ReadHost(Dest / "two.txt"), "second disk");
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "one.dat"), "1");
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "two.dat"), "2");
}

TEST_F(TwoDiskTest, ADiskNotGivenEndsWithTheMissingDiskCode) {
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "--yes" : "no terminal");
    std::vector<std::string> arguments = {"install", (Root / "disk1").string(), "--dest",
                                          Dest.string(), "--json"};
    if (yes) arguments.push_back("--yes");
    const TMoraRun run = RunMora(arguments);
    EXPECT_EQ(run.ExitCode, 6) << run.Err;
    EXPECT_NE(run.Err.find("ディスク2を入れてからOKをクリックしてください"), std::string::npos)
        << run.Err;
    const nlohmann::json out = ParseJson(run);
    EXPECT_EQ(out["result"], "missing-disk");
    EXPECT_EQ(out["diskQuestions"], (nlohmann::json{{{"disk", 2}, {"folder", nullptr}}}));
    EXPECT_TRUE(out["installedFiles"].is_null());
    EXPECT_TRUE(out["registry"].is_null());
    EXPECT_TRUE(out["shortcuts"].is_null());
    // The first disk's files were copied; nothing was recorded.
    EXPECT_EQ(FilesBelow(Dest), std::vector<std::string>{"one.txt"});
    EXPECT_EQ(InstallPath("MoraE2E\\Yume"), "(none)");
    EXPECT_FALSE(fs::exists(Home / "applications" / TitleUtf8));
  }
}

TEST_F(InstallTest, AnAddOnExtendsTheInstallationItsTitleRecorded) {
  ASSERT_EQ(RunMora({"install", WriteTitleMedium().string(), "--dest", Dest.string(), "--parts",
                     "data"})
                .ExitCode,
            0);
  // The add-on: a setup program carrying its archive (with its install.dat),
  // and a loose sound file beside it.
  settings::TMoraInstallSet addOn = Title();
  addOn.AddOnPackage = 1;
  addOn.PlainFiles = {"extra\\voice.wav"};
  archive::TVrArchiveWriter writer;
  writer.AddBytes("scene\\a.txt", "alpha 2", Entry(Newer));
  writer.AddBytes("addon.dat", "more", Entry(Newer));
  writer.AddBytes("install.dat", addOn.SaveToBytes(), Entry(Newer, true, true));
  const fs::path folder = Root / "addon";
  WriteMedium(folder, addOn, {{"extra\\voice.wav", "voice"}}, nullptr);
  fs::remove(folder / "install.dat");
  const std::string setup = Win(folder / "setup.exe");
  platform::WriteFileAtomic(setup, "MZ" + std::string(300, '\x90'));
  writer.AppendTo(setup);

  // Another folder holds no installation of the title to add to.
  fs::create_directories(Root / "elsewhere");
  const TMoraRun refused =
      RunMora({"install", (folder / "setup.exe").string(), "--dest", (Root / "elsewhere").string()});
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_NE(refused.Err.find("正しいインストール先を指定してください"), std::string::npos)
      << refused.Err;

  // Without --dest the installation the registry names is the destination.
  const TMoraRun run = RunMora({"install", (folder / "setup.exe").string(), "--json"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json out = ParseJson(run);
  EXPECT_EQ(out["dest"], DestText());
  // The add-on's names join the end of the installation's record.
  const std::vector<std::string> recorded = Strings(out["installedFiles"]);
  EXPECT_EQ(Sorted(recorded), Sorted({"game.exe", "install.exe", "readme.txt", "game.ext",
                                      "game.dat", "install.dat", "extra\\voice.wav"}));
  EXPECT_EQ(recorded.back(), "extra\\voice.wav");
  EXPECT_TRUE(out["shortcuts"].is_null());  // an add-on makes no program group
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "scene\\a.txt"), "alpha 2");
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "cg\\b.bin"), std::string(2000, 'b'));
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "addon.dat"), "more");
  EXPECT_EQ(ReadHost(Dest / "extra" / "voice.wav"), "voice");
}

// The files below a folder that are new or changed since `before`, with
// their sizes.
std::map<std::string, std::int64_t> WrittenSince(const std::map<std::string, std::string>& before,
                                                 const fs::path& folder) {
  std::map<std::string, std::int64_t> written;
  for (const auto& [name, state] : TreeState(folder)) {
    const auto found = before.find(name);
    if (state.rfind("file ", 0) != 0 || (found != before.end() && found->second == state)) continue;
    std::string key = name;
    std::replace(key.begin(), key.end(), '/', '\\');
    written[key] = static_cast<std::int64_t>(fs::file_size(folder / name));
  }
  return written;
}

// Runs the installation with --dry-run, which must leave the state and the
// destination as they are, then for real, which must write exactly the
// files the plan listed, at their sizes, and report what the plan said.
// Returns the plan.
nlohmann::json PlanThenRun(const fs::path& home, std::vector<std::string> arguments,
                           const fs::path& folder) {
  arguments.push_back("--json");
  const auto state = TreeState(home);
  const auto installed = TreeState(folder);
  std::vector<std::string> dryArguments = arguments;
  dryArguments.push_back("--dry-run");
  const TMoraRun dry = RunMora(dryArguments);
  EXPECT_EQ(dry.ExitCode, 0) << dry.Err;
  EXPECT_EQ(TreeState(home), state);
  EXPECT_EQ(TreeState(folder), installed);
  const nlohmann::json plan = ParseJson(dry);
  EXPECT_EQ(plan["dryRun"], true);
  EXPECT_EQ(plan["result"], "planned");

  const TMoraRun real = RunMora(arguments);
  EXPECT_EQ(real.ExitCode, 0) << real.Err;
  const nlohmann::json done = ParseJson(real);
  std::map<std::string, std::int64_t> planned;
  std::int64_t total = 0;
  for (const auto& file : plan["files"]) {
    planned[file["name"]] = file["size"];
    total += file["size"].get<std::int64_t>();
  }
  EXPECT_EQ(plan["writtenBytes"], total);
  EXPECT_EQ(WrittenSince(installed, folder), planned);
  for (const auto& name : plan["deletes"]) {
    EXPECT_EQ(planned.count(name), 1u) << name << " is deleted and written again";
  }
  for (const char* field : {"dest", "installedFiles", "dataInstalled", "registry", "readme"}) {
    EXPECT_EQ(plan[field], done[field]) << field;
  }
  // The plan lists the links in the order they are made; the group is read
  // back sorted by name.
  auto byName = [](nlohmann::json shortcuts) {
    if (shortcuts.is_null()) return shortcuts;
    std::sort(shortcuts["links"].begin(), shortcuts["links"].end(),
              [](const auto& a, const auto& b) { return a["name"] < b["name"]; });
    return shortcuts;
  };
  EXPECT_EQ(byName(plan["shortcuts"]), byName(done["shortcuts"]));
  return plan;
}

TEST_F(InstallTest, ADryRunWritesNothingAndListsWhatTheInstallationWrites) {
  // Drive C: exists before the first run, so the comparison sees only what
  // the run itself would add.
  ASSERT_TRUE(platform::DirectoryExists("C:\\Program Files"));
  const fs::path medium = WriteTitleMedium();
  const fs::path folder = Home / "prefix" / "drive_c" / "Program Files" / "Mora" / "Yume";
  {
    SCOPED_TRACE("a title of loose files and data into the proposed folder");
    const nlohmann::json plan =
        PlanThenRun(Home, {"install", medium.string(), "--parts", "data,sound,movie"}, folder);
    EXPECT_EQ(plan["dest"], "C:\\Program Files\\Mora\\Yume\\");
    EXPECT_EQ(plan["requiredBytes"], 1000 + 2000 + 300 + 400);
    EXPECT_GE(plan["freeBytes"].get<std::int64_t>(), 0);
    EXPECT_EQ(plan["deletes"], nlohmann::json::array());
    const nlohmann::json expected = {{{"name", "game.exe"}, {"size", 4}},
                                     {{"name", "bgm\\track1.mp3"}, {"size", 300}},
                                     {{"name", "movie\\op.mpg"}, {"size", 400}}};
    for (const auto& file : expected) {
      EXPECT_NE(std::find(plan["files"].begin(), plan["files"].end(), file), plan["files"].end())
          << file;
    }
  }
  {
    SCOPED_TRACE("the same again: the old data archive goes first");
    const nlohmann::json plan =
        PlanThenRun(Home, {"install", medium.string(), "--parts", "data,sound,movie"}, folder);
    EXPECT_EQ(plan["deletes"], (nlohmann::json{"game.dat", "game.ext"}));
  }
  {
    SCOPED_TRACE("a title whose files lie in the archive");
    settings::TMoraInstallSet title = Title();
    title.FilesInArchive = 1;
    archive::TVrArchiveWriter writer = TitleArchive();
    // Compressed: the file written is larger than its entry.
    writer.AddBytes("config\\opt.ini", std::string(5000, 'o'), Entry(Older, false, true));
    writer.AddBytes("install.dat", title.SaveToBytes(), Entry(Older, true, true));
    WriteMedium(Root / "inarchive", title, {}, &writer);
    const nlohmann::json plan = PlanThenRun(
        Home, {"install", (Root / "inarchive").string(), "--dest", Dest.string(), "--parts", "data"},
        Dest);
    EXPECT_NE(std::find(plan["files"].begin(), plan["files"].end(),
                        nlohmann::json{{"name", "config\\opt.ini"}, {"size", 5000}}),
              plan["files"].end());
  }
  {
    SCOPED_TRACE("an add-on to that installation");
    settings::TMoraInstallSet addOn = Title();
    addOn.AddOnPackage = 1;
    addOn.PlainFiles = {"extra\\voice.wav"};
    archive::TVrArchiveWriter writer;
    writer.AddBytes("scene\\a.txt", "alpha 2", Entry(Newer));
    writer.AddBytes("install.dat", addOn.SaveToBytes(), Entry(Newer, true, true));
    WriteMedium(Root / "addon", addOn, {{"extra\\voice.wav", "voice"}}, nullptr);
    fs::remove(Root / "addon" / "install.dat");
    const std::string setup = Win(Root / "addon" / "setup.exe");
    platform::WriteFileAtomic(setup, "MZ" + std::string(300, '\x90'));
    writer.AppendTo(setup);
    const nlohmann::json plan = PlanThenRun(
        Home, {"install", (Root / "addon" / "setup.exe").string(), "--dest", Dest.string()}, Dest);
    EXPECT_EQ(plan["deletes"], nlohmann::json::array());
    EXPECT_TRUE(plan["shortcuts"].is_null());
  }
}

TEST_F(TwoDiskTest, ADryRunReadsFurtherDisksFromTheirFolders) {
  const auto home = TreeState(Home);
  const TMoraRun run =
      RunMora({"install", (Root / "disk1").string(), "--dest", Dest.string(), "--dry-run",
               "--json", "--media", (Root / "disk2").string()});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json plan = ParseJson(run);
  EXPECT_EQ(Strings(plan["installedFiles"]),
            (std::vector<std::string>{"one.txt", "two.txt", "install.dat"}));
  EXPECT_FALSE(fs::exists(Dest));

  // Without the second disk the plan ends where the run would.
  const TMoraRun missing =
      RunMora({"install", (Root / "disk1").string(), "--dest", Dest.string(), "--dry-run"});
  EXPECT_EQ(missing.ExitCode, 6) << missing.Err;
  EXPECT_NE(missing.Out.find("Disk 2 was not given"), std::string::npos) << missing.Out;
  EXPECT_NE(missing.Out.find("Dry run: nothing is written."), std::string::npos);
  EXPECT_EQ(TreeState(Home), home);
  EXPECT_FALSE(fs::exists(Dest));
}

TEST_F(InstallTest, CtrlCStopsTheCopyAtItsNextPoll) {
  settings::TMoraInstallSet title = Title();
  std::vector<TLoose> loose;
  title.PlainFiles.clear();
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "file" + std::to_string(1000 + i) + ".txt";
    title.PlainFiles.push_back(name);
    loose.push_back({name, "x"});
  }
  WriteMedium(Root / "medium", title, loose, nullptr);
  // The child prints a line per file and blocks on the small pipe once the
  // test stops reading, so the signal lands in the middle of the copy.
  TMoraChild child({"install", (Root / "medium").string(), "--dest", Dest.string()}, 4096);
  ASSERT_TRUE(child.WaitForError("をコピー中...\n")) << child.ErrorSoFar();
  child.Signal(SIGINT);
  const TMoraRun run = child.Finish();
  EXPECT_EQ(run.ExitCode, 5) << run.Err;
  EXPECT_NE(run.Err.find("the installation was stopped"), std::string::npos);
  // Each file's line comes before the poll that may stop the copy: the file
  // of the last line was not copied, every earlier one was.
  std::size_t lines = 0;
  for (std::size_t at = run.Err.find("をコピー中..."); at != std::string::npos;
       at = run.Err.find("をコピー中...", at + 1)) {
    ++lines;
  }
  ASSERT_GT(lines, 0u);
  ASSERT_LT(lines, 1000u);
  EXPECT_EQ(FilesBelow(Dest).size(), lines - 1);
  EXPECT_FALSE(fs::exists(Dest / "install.dat"));
  EXPECT_EQ(InstallPath("MoraE2E\\Yume"), "(none)");
  EXPECT_FALSE(fs::exists(Home / "applications" / TitleUtf8));
}

TEST_F(InstallTest, TheExitCodeTellsTheEndsApart) {
  const fs::path medium = WriteTitleMedium();
  // A stored entry whose check value does not match its bytes.
  settings::TMoraInstallSet title = Title();
  archive::TVrArchiveWriter badArchive;
  archive::TArchiveEntryOptions wrong = Entry(Older);
  wrong.CRC = 0xDEADBEEF;
  badArchive.AddBytes("data.dat", "content", wrong);
  WriteMedium(Root / "unsound", title, {}, &badArchive);
  // An entry installed as a file whose content does not match its value.
  settings::TMoraInstallSet inArchive = Title();
  inArchive.FilesInArchive = 1;
  archive::TVrArchiveWriter badFile;
  archive::TArchiveEntryOptions wrongFile = Entry(Older, false, true);
  wrongFile.CRC = 0x12345678;
  badFile.AddBytes("config.ini", "[config]", wrongFile);
  WriteMedium(Root / "badfile", inArchive, {}, &badFile);
  // A damaged settings file, and a folder without one.
  fs::create_directories(Root / "cut");
  platform::WriteFileAtomic(Win(Root / "cut" / "install.dat"), DamagedSettingsBytes());
  fs::create_directories(Root / "empty");

  const std::string dest = Dest.string();
  const struct {
    std::vector<std::string> Arguments;
    int ExitCode;
    std::string Message;  // on stderr
  } cases[] = {
      {{medium.string(), "--dest", dest, "--all-disks", "--this-disk"}, 2, "exclude each other"},
      {{medium.string(), "--dest", dest, "--parts", "data,bogus"}, 2, "--parts"},
      {{medium.string(), "--dest", "/"}, 1, "正しいインストール先を指定してください"},
      {{(Root / "nothere").string()}, 4, "no such file or folder"},
      {{(Root / "empty").string(), "--dest", dest}, 4, "インストール設定ファイルがありません"},
      {{(Root / "cut").string(), "--dest", dest}, 3, "install.dat"},
      {{(Root / "unsound").string(), "--dest", dest, "--parts", "data"}, 3,
       "ファイルの内容が正しくありません\nインストールしなおしてください\n"
       "何度も失敗する場合は、スキャンディスクを実行して\n"
       "ハードディスクに異常がないか調べてください"},
      {{(Root / "badfile").string(), "--dest", dest}, 3, "ファイルが壊れています"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Arguments.front() + " " + c.Message);
    std::vector<std::string> arguments = {"install"};
    arguments.insert(arguments.end(), c.Arguments.begin(), c.Arguments.end());
    const TMoraRun run = RunMora(arguments);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Err;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    // None of them recorded an installation.
    EXPECT_FALSE(fs::exists(Dest / "install.dat"));
  }
}

}  // namespace
}  // namespace mora::e2e
