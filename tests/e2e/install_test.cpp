// mora install as a real process on media made by mora pack: a whole title,
// the wizard's defaults, two disks, the disk question without a folder, an
// add-on, the dry run, Ctrl-C, and how the exit code tells the ends apart.
#include <signal.h>

#include "install_fixture.h"

namespace mora::e2e {
namespace {

const std::string TitleUtf8 = "ゆめ物語";

TEST_F(InstallTest, ASingleDiskWithEveryPartIsInstalledRecordedAndReported) {
  const fs::path medium = PackTitle();
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
  EXPECT_EQ(ReadHost(Dest / "install.exe"), SetupProgramBytes());
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "cg\\b.bin"), std::string(2000, 'b'));
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "scene\\a.txt"), "alpha");
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
  const std::vector<std::string> program = {"game.exe", "install.dat", "install.exe", "readme.txt"};
  const std::vector<std::string> everything = {"bgm\\track1.mp3", "game.dat",    "game.exe",
                                               "game.ext",        "install.dat", "install.exe",
                                               "movie\\op.mpg",   "readme.txt"};
  const struct {
    int SetupKind;
    std::vector<std::string> Options;
    std::vector<std::string> Installed;
  } cases[] = {
      {0, {}, program},
      {1, {}, everything},
      {1, {"--parts", "none"}, program},
      {0,
       {"--parts", "sound"},
       Sorted({"bgm\\track1.mp3", "game.exe", "install.dat", "install.exe", "readme.txt"})},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    UseFreshHome("home" + std::to_string(++n));
    nlohmann::ordered_json manifest = TitleManifest();
    manifest["settings"]["SetupKind"] = c.SetupKind;
    const fs::path medium = Pack("medium" + std::to_string(n), manifest, TitleSources());
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

// Two disks of one title, and the second disk of another title.
class TwoDiskTest : public InstallTest {
 protected:
  static nlohmann::ordered_json TwoDiskManifest(const std::string& title) {
    nlohmann::ordered_json manifest = TitleManifest();
    manifest["settings"]["Title"] = title;
    manifest["settings"].erase("ReadmeFile");
    manifest["settings"].erase("ShowReadme");
    manifest["disks"] = nlohmann::ordered_json::parse(R"([
      {"files": [{"path": "game.exe", "part": "program"},
                 {"path": "one.txt", "part": "program"},
                 {"path": "one.dat", "part": "data"}]},
      {"files": [{"path": "two.txt", "part": "program"},
                 {"path": "two.dat", "part": "data"}]}
    ])");
    return manifest;
  }

  void SetUp() override {
    InstallTest::SetUp();
    const TSources sources = {{"game.exe", "GAME"},
                              {"one.txt", "first disk"},
                              {"one.dat", "1"},
                              {"two.txt", "second disk"},
                              {"two.dat", "2"}};
    Disk1 = Pack("media", TwoDiskManifest(TitleUtf8), sources);
    Disk2 = Root / "media" / "disk2";
    Pack("stranger", TwoDiskManifest("別のタイトル"), sources);
    Stranger = Root / "stranger" / "disk2";
  }

  fs::path Disk1;
  fs::path Disk2;
  fs::path Stranger;
};

TEST_F(TwoDiskTest, TheDiskQuestionTakesTheNextMediaFolderThatHoldsTheDisk) {
  const TMoraRun run =
      RunMora({"install", Disk1.string(), "--dest", Dest.string(), "--parts", "data", "--media",
               Stranger.string(), "--media", Disk2.string(), "--json"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json out = ParseJson(run);
  EXPECT_EQ(out["diskQuestions"],
            (nlohmann::json{{{"disk", 2}, {"folder", Utf8(Win(Stranger)) + "\\"}},
                            {{"disk", 2}, {"folder", Utf8(Win(Disk2)) + "\\"}}}));
  EXPECT_NE(run.Err.find(Stranger.string() + ": no disk 2 of this title there"), std::string::npos)
      << run.Err;
  // The first disk's loose files and the archive's directory, then the
  // second disk's file, the archive and the settings.
  const std::vector<std::string> recorded = Strings(out["installedFiles"]);
  ASSERT_EQ(recorded.size(), 7u);
  EXPECT_EQ(Sorted({recorded.begin(), recorded.begin() + 3}),
            Sorted({"game.exe", "install.exe", "one.txt"}));
  EXPECT_EQ(std::vector<std::string>(recorded.begin() + 3, recorded.end()),
            (std::vector<std::string>{"game.ext", "two.txt", "game.dat", "install.dat"}));
  EXPECT_EQ(ReadHost(Dest / "two.txt"), "second disk");
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "one.dat"), "1");
  EXPECT_EQ(ArchiveEntry(Dest / "game.dat", "two.dat"), "2");
}

TEST_F(TwoDiskTest, ADiskNotGivenEndsWithTheMissingDiskCode) {
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "--yes" : "no terminal");
    std::vector<std::string> arguments = {"install", Disk1.string(), "--dest", Dest.string(),
                                          "--json"};
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
    EXPECT_EQ(FilesBelow(Dest), Sorted({"game.exe", "install.exe", "one.txt"}));
    EXPECT_EQ(InstallPath("MoraE2E\\Yume"), "(none)");
    EXPECT_FALSE(fs::exists(Home / "applications" / TitleUtf8));
  }
}

TEST_F(InstallTest, AnAddOnExtendsTheInstallationItsTitleRecorded) {
  ASSERT_EQ(RunMora({"install", PackTitle().string(), "--dest", Dest.string(), "--parts", "data"})
                .ExitCode,
            0);
  const fs::path setup = PackAddOn();

  // Another folder holds no installation of the title to add to.
  fs::create_directories(Root / "elsewhere");
  const TMoraRun refused =
      RunMora({"install", setup.string(), "--dest", (Root / "elsewhere").string()});
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_NE(refused.Err.find("正しいインストール先を指定してください"), std::string::npos)
      << refused.Err;

  // Without --dest the installation the registry names is the destination.
  const TMoraRun run = RunMora({"install", setup.string(), "--json"});
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

bool Lists(const nlohmann::json& files, const std::string& name, std::int64_t size) {
  return std::find(files.begin(), files.end(), nlohmann::json{{"name", name}, {"size", size}}) !=
         files.end();
}

TEST_F(InstallTest, ADryRunWritesNothingAndListsWhatTheInstallationWrites) {
  // Drive C: exists before the first run, so the comparison sees only what
  // the run itself would add.
  ASSERT_TRUE(platform::DirectoryExists("C:\\Program Files"));
  const fs::path medium = PackTitle();
  const fs::path folder = Home / "prefix" / "drive_c" / "Program Files" / "Mora" / "Yume";
  {
    SCOPED_TRACE("a title of loose files and data into the proposed folder");
    const nlohmann::json plan =
        PlanThenRun(Home, {"install", medium.string(), "--parts", "data,sound,movie"}, folder);
    EXPECT_EQ(plan["dest"], "C:\\Program Files\\Mora\\Yume\\");
    // One disk: the sum of the parts its install.dat gives for it.
    settings::TMoraInstallSet disk;
    disk.LoadFromFile(Win(medium / "install.dat"));
    EXPECT_EQ(plan["requiredBytes"], disk.DiskProgramSizes()[0] + disk.DiskDataSizes()[0] +
                                         disk.DiskSoundSizes()[0] + disk.DiskMovieSizes()[0]);
    EXPECT_GE(plan["freeBytes"].get<std::int64_t>(), 0);
    EXPECT_EQ(plan["deletes"], nlohmann::json::array());
    EXPECT_TRUE(Lists(plan["files"], "game.exe", 4));
    EXPECT_TRUE(Lists(plan["files"], "bgm\\track1.mp3", 300));
    EXPECT_TRUE(Lists(plan["files"], "movie\\op.mpg", 400));
  }
  {
    SCOPED_TRACE("the same again: the old data archive goes first");
    const nlohmann::json plan =
        PlanThenRun(Home, {"install", medium.string(), "--parts", "data,sound,movie"}, folder);
    EXPECT_EQ(plan["deletes"], (nlohmann::json{"game.dat", "game.ext"}));
  }
  {
    SCOPED_TRACE("a title whose files lie in the archive");
    nlohmann::ordered_json manifest = TitleManifest();
    manifest["settings"]["FilesInArchive"] = true;
    manifest["disks"][0]["files"] = nlohmann::ordered_json::parse(R"([
      {"path": "game.exe", "part": "program"},
      {"path": "readme.txt", "part": "program"},
      {"path": "config/opt.ini", "name": "config/opt.ini", "part": "program"},
      {"path": "scene/a.txt", "name": "scene/a.txt", "part": "data"}
    ])");
    const fs::path packed = Pack("inarchive", manifest,
                                 {{"game.exe", "GAME"},
                                  {"readme.txt", "read me"},
                                  {"config/opt.ini", std::string(5000, 'o')},
                                  {"scene/a.txt", "alpha"}});
    const nlohmann::json plan = PlanThenRun(
        Home, {"install", packed.string(), "--dest", Dest.string(), "--parts", "data"}, Dest);
    // Compressed in the archive; the file written is the whole content.
    EXPECT_TRUE(Lists(plan["files"], "config\\opt.ini", 5000));
  }
  {
    SCOPED_TRACE("an add-on to that installation");
    const fs::path setup = PackAddOn();
    const nlohmann::json plan =
        PlanThenRun(Home, {"install", setup.string(), "--dest", Dest.string()}, Dest);
    EXPECT_EQ(plan["deletes"], nlohmann::json::array());
    EXPECT_TRUE(plan["shortcuts"].is_null());
    EXPECT_TRUE(Lists(plan["files"], "extra\\voice.wav", 5));
  }
}

TEST_F(TwoDiskTest, ADryRunReadsFurtherDisksFromTheirFolders) {
  const auto home = TreeState(Home);
  const TMoraRun run = RunMora({"install", Disk1.string(), "--dest", Dest.string(), "--dry-run",
                                "--json", "--media", Disk2.string()});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json plan = ParseJson(run);
  const std::vector<std::string> recorded = Strings(plan["installedFiles"]);
  ASSERT_EQ(recorded.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(recorded.begin() + 3, recorded.end()),
            (std::vector<std::string>{"two.txt", "install.dat"}));
  EXPECT_FALSE(fs::exists(Dest));

  // Without the second disk the plan ends where the run would.
  const TMoraRun missing =
      RunMora({"install", Disk1.string(), "--dest", Dest.string(), "--dry-run"});
  EXPECT_EQ(missing.ExitCode, 6) << missing.Err;
  EXPECT_NE(missing.Out.find("Disk 2 was not given"), std::string::npos) << missing.Out;
  EXPECT_NE(missing.Out.find("Dry run: nothing is written."), std::string::npos);
  EXPECT_EQ(TreeState(Home), home);
  EXPECT_FALSE(fs::exists(Dest));
}

TEST_F(InstallTest, CtrlCStopsTheCopyAtItsNextPoll) {
  nlohmann::ordered_json manifest = TitleManifest();
  manifest["settings"].erase("ReadmeFile");
  manifest["settings"].erase("ShowReadme");
  manifest["disks"][0]["files"] = nlohmann::ordered_json::parse(R"([
    {"path": "game.exe", "part": "program"},
    {"path": "many", "part": "program"}
  ])");
  TSources sources = {{"game.exe", "GAME"}};
  for (int i = 1000; i < 2000; ++i) sources["many/file" + std::to_string(i) + ".txt"] = "x";
  const fs::path medium = Pack("many", manifest, sources);
  // The child prints a line per file and blocks on the small pipe once the
  // test stops reading, so the signal lands in the middle of the copy.
  TMoraChild child({"install", medium.string(), "--dest", Dest.string()}, 4096);
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
  const fs::path medium = PackTitle();
  // Damaged media, which mora pack never makes: a stored entry whose check
  // value does not match its bytes, an entry installed as a file whose
  // content does not match its value, and a damaged settings file.
  archive::TVrArchiveWriter badArchive;
  archive::TArchiveEntryOptions wrong = Entry();
  wrong.CRC = 0xDEADBEEF;
  badArchive.AddBytes("data.dat", "content", wrong);
  WriteMedium(Root / "unsound", SmallTitle(), {}, &badArchive);
  settings::TMoraInstallSet inArchive = SmallTitle();
  inArchive.FilesInArchive = 1;
  archive::TVrArchiveWriter badFile;
  archive::TArchiveEntryOptions wrongFile = Entry(false, true);
  wrongFile.CRC = 0x12345678;
  badFile.AddBytes("config.ini", "[config]", wrongFile);
  WriteMedium(Root / "badfile", inArchive, {}, &badFile);
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
      {{(Root / "unsound").string(), "--dest", dest, "--parts", "data"},
       3,
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
