// The native setup program as a real process, on media made by our own
// writers: where the settings come from, the two silent ends (the game
// running, another setup of the title), the launcher's choices (the
// temporary copy that goes on with the rest of the answers, installing in
// place, starting the game found through "InstallPath" at the moment of the
// click), the uninstaller going through its temporary copy, and bad input.
// Each test has a state folder (MORA_HOME) and a temporary folder of its own.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/vrwriter.h"
#include "base/sjis.h"
#include "installer/shortcuts.h"
#include "platform/filehandle.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "platform/resources.h"
#include "process_runner.h"
#include "settings/installset.h"
#include "startup/gamelock.h"

namespace mora::e2e {
namespace {

namespace fs = std::filesystem;
using base::Sjis;

constexpr int ExitFinished = 0;
constexpr int ExitFailed = 1;

std::string Utf8(const std::string& text932) { return base::Cp932ToUtf8(text932); }

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Whole files in one read: the programs copied around are tens of megabytes
// in the sanitizer build.
std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::string();
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void WriteHost(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

void CopyProgram(const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(to).parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  ::chmod(to.c_str(), 0755);
}

// Waits up to ten seconds for a condition another process brings about.
template <class TCondition>
bool WaitUntil(TCondition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

// Where the archive of a medium lies; install.dat lies beside a separate
// game.dat, and inside the archive in the other cases.
enum class TPlacement { Folder, Resource, Appended, ResourceAndAppended, NoVfResource };

class SetupCourse : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "mora-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    Home = pattern;
    ASSERT_EQ(::setenv("MORA_HOME", Home.c_str(), 1), 0);
    Temp = Home + "/tmp";
    fs::create_directories(Temp);
    Medium = Home + "/medium/";
    MediumPath = platform::PathFromNative(Medium);
    GameLog = Home + "/game.log";
    Title = Sjis("モーラ試験ゲーム");
    Dest = "C:\\Program Files\\MoraE2E\\Sample\\";
  }

  void TearDown() override {
    ::unsetenv("MORA_HOME");
    std::error_code ignored;
    fs::remove_all(Home, ignored);
  }

  TEnvironment Environment() const {
    return {{"MORA_HOME", Home},
            {"TMPDIR", Temp},
            {"MORA_GAME_LOG", GameLog},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"MORA_SETUP_ANSWERS", std::nullopt},
            {"MORA_SETUP_ANSWERS_LINE", std::nullopt}};
  }

  // The settings of a one-disk title with a program and a data part.
  settings::TMoraInstallSet Settings() const {
    settings::TMoraInstallSet set;
    set.Title = Title;
    set.RegistryKey = "MoraE2E\\Sample";
    set.ProgramFile = "game.exe";
    set.DefaultDir = "<ProgramFiles>\\MoraE2E\\Sample";
    set.MediaName = "CD-ROM";
    set.FooterText = "Mora E2E";
    set.SetDiskCount(1);
    set.ProgramSize = 4096;
    set.DataSize = 4096;
    set.DiskProgramSizes()[0] = 4096;
    set.DiskDataSizes()[0] = 4096;
    set.PlainFiles = {"game.exe", "install.exe"};
    return set;
  }

  archive::TVrArchiveWriter Archive(const settings::TMoraInstallSet& set, bool withSettings) const {
    archive::TVrArchiveWriter writer;
    writer.AddBytes("data\\scene.txt", "the first scene");
    writer.AddBytes("data\\music.txt", "a tune");
    if (withSettings) writer.AddBytes("install.dat", set.SaveToBytes());
    if (set.FilesInArchive != 0) {
      archive::TArchiveEntryOptions separate;
      separate.InstallAsFile = true;
      writer.AddBytes("readme.txt", "read me", separate);
    }
    return writer;
  }

  // The medium folder: the setup program ("setup"), the game and the
  // uninstaller as loose files, and settings and archive where asked.
  std::string MakeMedium(const settings::TMoraInstallSet& set,
                         TPlacement placement = TPlacement::Folder) {
    fs::create_directories(Medium);
    CopyProgram(MORA_GAME_EXE, Medium + "game.exe");
    CopyProgram(MORA_SETUP_EXE, Medium + "install.exe");
    const std::string setup = Medium + "setup";
    const std::string program = ReadHost(MORA_SETUP_EXE);
    const auto inside = Archive(set, true);
    switch (placement) {
      case TPlacement::Folder:
        CopyProgram(MORA_SETUP_EXE, setup);
        set.SaveToFile(MediumPath + "install.dat");
        Archive(set, false).WriteSeparate(MediumPath + "game.dat");
        break;
      case TPlacement::Resource:
      case TPlacement::ResourceAndAppended:
      case TPlacement::NoVfResource: {
        const std::string resource =
            placement == TPlacement::NoVfResource ? "not an archive" : inside.BuildImage();
        WriteHost(setup, platform::WithNativeResources(
                             program, platform::NativeResourceRecord("BINTYPE", "DUMMY", resource),
                             "setup"));
        ::chmod(setup.c_str(), 0755);
        if (placement != TPlacement::Resource) {
          settings::TMoraInstallSet appended = set;
          appended.Title = set.Title + Sjis("（追記）");
          Archive(appended, true).AppendTo(MediumPath + "setup");
        }
        break;
      }
      case TPlacement::Appended:
        CopyProgram(MORA_SETUP_EXE, setup);
        inside.AppendTo(MediumPath + "setup");
        break;
    }
    return setup;
  }

  std::string AnswerFile(const std::string& utf8Text) {
    const std::string path = Home + "/answers" + std::to_string(++FAnswerFiles) + ".txt";
    WriteHost(path, utf8Text);
    return path;
  }

  // Runs a setup program; answers (UTF-8 lines) are given as a file when
  // there are any.
  TProcessOutput RunSetup(const std::string& program, const std::string& answers,
                          std::vector<std::string> arguments = {}) {
    if (!answers.empty()) arguments.insert(arguments.begin(), {"--answers", AnswerFile(answers)});
    return RunProcess(program, arguments, Environment());
  }

  // The files scheduled for deletion at the next restart (host paths).
  std::vector<std::string> PendingDeletions() const {
    const std::string text = ReadHost(Home + "/pending-deletions.json");
    std::vector<std::string> paths;
    if (text.empty()) return paths;
    const auto list = nlohmann::json::parse(text);
    for (const auto& entry : list["entries"]) paths.push_back(entry["path"].get<std::string>());
    return paths;
  }

  // What a run leaves in the temporary folder.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Temp)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string Host(const std::string& drivePath) const { return platform::PathToNative(drivePath); }

  // An installed game in a folder of drive C: the game program, and
  // "InstallPath" naming the folder.
  std::string InstallGameAt(const std::string& folder) {
    EXPECT_TRUE(platform::ForceDirectories(folder));
    CopyProgram(MORA_GAME_EXE, Host(folder + "game.exe"));
    Settings().WriteRegString("InstallPath", folder);
    return folder;
  }

  std::string Home;
  std::string Temp;
  std::string Medium;      // host path with "/"
  std::string MediumPath;  // the same as the program sees it, with "\"
  std::string GameLog;
  std::string Title;
  std::string Dest;  // where the default destination lies

 private:
  int FAnswerFiles = 0;
};

// The whole installation from the wizard's first page (the file page of a
// one-disk title) to its exit page.
const char* const WizardInstall =
    "check CheckData on\n"
    "click btnNext\n"    // file page
    "click btnNext\n"    // folder page
    "click btnNext\n"    // confirm page: インストール
    "click btnAbort\n";  // exit page: 閉じる(&C)

// Closing the wizard on its first page.
const char* const WizardLeave =
    "click btnAbort\n"
    "answer yes\n";

TEST_F(SetupCourse, WithoutInstallDatTheMessageEndsTheRun) {
  // No settings beside the program; then a folder argument without settings
  // while the program's own folder has them.
  const std::string setup = MakeMedium(Settings());
  fs::remove(Medium + "install.dat");
  struct TCase {
    const char* Name;
    std::vector<std::string> Arguments;
    bool SettingsBeside;
  } cases[] = {{"beside the program", {}, false}, {"folder argument", {Home + "/empty/"}, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::create_directories(Home + "/empty");
    if (c.SettingsBeside) Settings().SaveToFile(MediumPath + "install.dat");
    const auto run = RunSetup(setup, "answer ok\n", c.Arguments);
    EXPECT_EQ(run.ExitCode, ExitFailed) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "dialog 警告 \"インストール設定ファイルがありません\" [OK]"))
        << run.Output;
    EXPECT_FALSE(Contains(run.Output, "show ")) << run.Output;
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_TRUE(PendingDeletions().empty());
  }
}

TEST_F(SetupCourse, TheSettingsComeFromTheFirstPlaceThatHasThem) {
  struct TCase {
    const char* Name;
    TPlacement Placement;
    bool AppendedTitle;  // the appended archive's settings win
  } cases[] = {
      {"resource", TPlacement::Resource, false},
      {"resource beats trailer", TPlacement::ResourceAndAppended, false},
      {"resource without vf counts as absent", TPlacement::NoVfResource, true},
      {"appended", TPlacement::Appended, false},
      {"folder", TPlacement::Folder, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(Medium);
    const std::string setup = MakeMedium(Settings(), c.Placement);
    const auto run = RunSetup(setup, "click btnExit\n");
    EXPECT_EQ(run.ExitCode, ExitFinished) << run.Output;
    const std::string title = Utf8(Title) + (c.AppendedTitle ? "（追記）" : "");
    EXPECT_TRUE(Contains(run.Output, "show FormStart (\"" + title + "\")")) << run.Output;
    EXPECT_TRUE(PendingDeletions().empty());
  }
}

TEST_F(SetupCourse, AFileArgumentIsAnArchiveAndAFolderArgumentHoldsTheMedium) {
  // With an argument the wizard comes at once, and the program asks to be
  // deleted at the next restart.
  const std::string setup = MakeMedium(Settings());
  settings::TMoraInstallSet other = Settings();
  other.Title = Sjis("別のゲーム");
  Archive(other, true).WriteSeparate(platform::PathFromNative(Home + "/other.dat"));
  struct TCase {
    const char* Name;
    std::string Argument;
    std::string Caption;
  } cases[] = {
      {"file", Home + "/other.dat", "別のゲームのセットアップ"},
      {"folder", Medium, Utf8(Title) + "のセットアップ"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto run = RunSetup(setup, WizardLeave, {c.Argument});
    EXPECT_EQ(run.ExitCode, ExitFinished) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "show FormMain (\"" + c.Caption + "\")")) << run.Output;
    EXPECT_FALSE(Contains(run.Output, "FormStart")) << run.Output;
    EXPECT_EQ(PendingDeletions(), std::vector<std::string>{setup});
  }
}

TEST_F(SetupCourse, ASecondSetupOfTheTitleEndsSilentlyWhileTheFirstHoldsTheLock) {
  const std::string setup = MakeMedium(Settings());
  const std::string go = Home + "/go";
  TRunningProcess first(setup, {"--answers", AnswerFile("wait-file " + go + "\nclick btnExit\n")},
                        Environment());
  ASSERT_TRUE(WaitUntil([&] { return platform::TNamedMutex::Exists(Title); }));

  const auto second = RunSetup(setup, "");
  EXPECT_EQ(second.ExitCode, ExitFinished);
  EXPECT_EQ(second.Output, "");  // no window, no message

  WriteHost(go, "");
  const auto firstRun = first.Finish();
  EXPECT_EQ(firstRun.ExitCode, ExitFinished) << firstRun.Output;
  EXPECT_TRUE(Contains(firstRun.Output, "show FormStart")) << firstRun.Output;
  EXPECT_FALSE(platform::TNamedMutex::Exists(Title));

  // Released at the end: the next one runs.
  const auto third = RunSetup(setup, "click btnExit\n");
  EXPECT_EQ(third.ExitCode, ExitFinished);
  EXPECT_TRUE(Contains(third.Output, "show FormStart")) << third.Output;
}

TEST_F(SetupCourse, TheRunningGameEndsSetupSilently) {
  const std::string setup = MakeMedium(Settings());
  const std::string installed = InstallGameAt("C:\\Games\\Sample\\");
  TRunningProcess game(Host(installed + "game.exe"), {}, Environment(), true);
  ASSERT_TRUE(WaitUntil([&] {
    return Contains(ReadHost(GameLog), "holding " + Utf8(startup::GameLockName(installed)));
  })) << ReadHost(GameLog);
  EXPECT_EQ(Utf8(startup::GameLockName(installed)), "C:-GAMES-SAMPLE-");

  const auto silent = RunSetup(setup, "");
  EXPECT_EQ(silent.ExitCode, ExitFinished);
  EXPECT_EQ(silent.Output, "");

  game.CloseInput();
  EXPECT_EQ(game.Finish().ExitCode, 0);
  const auto afterwards = RunSetup(setup, "click btnExit\n");
  EXPECT_TRUE(Contains(afterwards.Output, "show FormStart")) << afterwards.Output;
}

// The launcher's install choice copies the program into the temporary folder
// and starts the copy with the medium's folder in quotes; the copy goes on
// with the rest of the answers, opens the wizard at once and asks to be
// deleted at the next restart. Names already taken are passed over.
TEST_F(SetupCourse, TheInstallChoiceGoesOnInATemporaryCopy) {
  const std::string setup = MakeMedium(Settings());
  const std::string answers = std::string("click インストール\n") + WizardLeave;
  const std::string first = Temp + "/~minstall.exe";

  struct TCase {
    const char* Name;
    std::function<void()> Prepare;
    std::string Copy;
  };
  std::optional<platform::TFileHandle> holder;
  const TCase cases[] = {
      {"free", [] {}, "~minstall.exe"},
      {"read-only",
       [&] {
         WriteHost(first, "old copy");
         ::chmod(first.c_str(), 0444);
       },
       "~minstall.exe"},
      {"held open",
       [&] {
         platform::TFileOpenOptions options;  // read, others may only read
         holder = platform::TFileHandle::Open(platform::PathFromNative(first), options);
       },
       "~minstall0.exe"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Prepare();
    const auto run = RunSetup(setup, answers);
    EXPECT_EQ(run.ExitCode, ExitFinished) << run.Output;
    const std::string copy = Temp + "/" + c.Copy;
    const std::string start = "start " + platform::PathFromNative(copy) + " \"" + MediumPath + "\"";
    EXPECT_TRUE(Contains(run.Output, start)) << run.Output;
    // The copy's part: the main window and the wizard, no launcher again.
    const std::string rest = run.Output.substr(run.Output.find(start));
    EXPECT_TRUE(Contains(rest, "show FormMain")) << run.Output;
    EXPECT_FALSE(Contains(rest, "FormStart")) << run.Output;
    EXPECT_EQ(ReadHost(copy), ReadHost(setup));
    EXPECT_EQ(PendingDeletions(), std::vector<std::string>{copy});
    fs::remove(Home + "/pending-deletions.json");
  }
  holder.reset();
}

// The whole course: install through the launcher and the temporary copy,
// then remove it all with the uninstaller the installation holds, which
// goes through a temporary copy of its own.
TEST_F(SetupCourse, InstallFromTheLauncherAndUninstallFromTheInstallationFolder) {
  const std::string setup = MakeMedium(Settings());
  const auto install = RunSetup(setup, std::string("click インストール\n") + WizardInstall);
  ASSERT_EQ(install.ExitCode, ExitFinished) << install.Output;
  EXPECT_TRUE(Contains(install.Output, "close FormType (\"完了\") with 1")) << install.Output;

  EXPECT_EQ(ReadHost(Host(Dest + "game.exe")), ReadHost(MORA_GAME_EXE));
  EXPECT_TRUE(platform::FileExists(Dest + "install.exe"));
  EXPECT_TRUE(platform::FileExists(Dest + "game.dat"));
  settings::TMoraInstallSet installed;
  installed.LoadFromFile(Dest + "install.dat");
  EXPECT_EQ(installed.UninstallMode, 1);
  EXPECT_EQ(Settings().ReadRegString("InstallPath", ""), Dest);
  const auto group = installer::ReadProgramGroup(Title);
  ASSERT_EQ(group.size(), 2u);
  EXPECT_EQ(group[0].Link.Target, Dest + "game.exe");
  EXPECT_EQ(group[1].Link.Target, Dest + "install.exe");
  EXPECT_EQ(group[1].Link.IconIndex, 1);

  // The uninstaller started from its folder without an argument (as its
  // shortcut starts it).
  const auto uninstall = RunSetup(Host(Dest + "install.exe"), "click btnNext\nclick btnAbort\n");
  ASSERT_EQ(uninstall.ExitCode, ExitFinished) << uninstall.Output;
  const std::string start =
      "start " + platform::PathFromNative(Temp + "/~minstall.exe") + " \"" + Dest + "\"";
  EXPECT_TRUE(Contains(uninstall.Output, start)) << uninstall.Output;
  EXPECT_TRUE(Contains(uninstall.Output, "show FormMain (\"" + Utf8(Title) + "の削除\")"))
      << uninstall.Output;
  EXPECT_FALSE(platform::DirectoryExists(Dest));
  EXPECT_EQ(Settings().ReadRegString("InstallPath", ""), "");
  EXPECT_TRUE(installer::ReadProgramGroup(Title).empty());
  EXPECT_EQ(PendingDeletions(), std::vector<std::string>{Temp + "/~minstall.exe"});
}

TEST_F(SetupCourse, FilesInArchiveInstallsInThisProcess) {
  settings::TMoraInstallSet set = Settings();
  set.FilesInArchive = 1;
  const std::string setup = MakeMedium(set);
  const auto run = RunSetup(setup, std::string("click btnInstall\n") + WizardInstall);
  ASSERT_EQ(run.ExitCode, ExitFinished) << run.Output;
  EXPECT_FALSE(Contains(run.Output, "start ")) << run.Output;
  EXPECT_TRUE(Contains(run.Output, "show FormMain")) << run.Output;
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_TRUE(PendingDeletions().empty());
  EXPECT_TRUE(platform::FileExists(Dest + "game.dat"));
  EXPECT_EQ(ReadHost(Host(Dest + "readme.txt")), "read me");
  EXPECT_FALSE(platform::FileExists(Dest + "game.exe"));  // loose files stay on the medium
  EXPECT_EQ(Settings().ReadRegString("InstallPath", ""), Dest);
}

// "ゲームスタート" starts the program below the installation folder recorded
// when it is clicked, not when the menu opened; a folder without the program
// then gives the start failure's message.
TEST_F(SetupCourse, StartGameUsesTheInstallationFolderAtTheClick) {
  const std::string setup = MakeMedium(Settings());
  InstallGameAt("C:\\Games\\First\\");
  platform::ForceDirectories("C:\\Games\\Second\\");
  CopyProgram(MORA_GAME_EXE, Host("C:\\Games\\Second\\game.exe"));
  platform::ForceDirectories("C:\\Games\\Empty\\");
  struct TCase {
    std::string Folder;
    int ExitCode;
    std::string Expected;
  } cases[] = {
      {"C:\\Games\\Second\\", ExitFinished, "started C:\\Games\\Second\\game.exe"},
      {"C:\\Games\\Empty\\", ExitFailed,
       "dialog 警告 \"プログラムを実行できませんでした\\r\\nエラーコード[2]\" [OK]"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Folder);
    Settings().WriteRegString("InstallPath", "C:\\Games\\First\\");
    const std::string go = Home + "/go";
    fs::remove(go);
    fs::remove(GameLog);
    TRunningProcess run(
        setup, {"--answers", AnswerFile("wait-file " + go + "\nclick ゲームスタート\nanswer ok\n")},
        Environment());
    ASSERT_TRUE(WaitUntil([&] { return platform::TNamedMutex::Exists(Title); }));
    Settings().WriteRegString("InstallPath", c.Folder);
    WriteHost(go, "");
    const auto result = run.Finish();
    EXPECT_EQ(result.ExitCode, c.ExitCode) << result.Output;
    EXPECT_TRUE(Contains(result.Output, "start " + c.Folder + "game.exe ")) << result.Output;
    EXPECT_TRUE(Contains(result.Output + ReadHost(GameLog), c.Expected))
        << result.Output << ReadHost(GameLog);
  }
}

TEST_F(SetupCourse, BadInputEndsWithAMessageAndLeavesNothingBehind) {
  struct TCase {
    const char* Name;
    std::function<void()> Spoil;
    std::string Expected;  // in the transcript
  };
  const TCase cases[] = {
      {"damaged install.dat",
       [&] {
         // The last plain file's name announces more bytes than are left.
         std::string bytes = Settings().SaveToBytes();
         const std::size_t name = bytes.rfind("install.exe");
         ASSERT_NE(name, std::string::npos);
         bytes.replace(name - 4, 4, std::string("\xff\x7f\0\0", 4));
         WriteHost(Medium + "install.dat", bytes);
       },
       "install.dat"},
      {"damaged game.dat", [&] { WriteHost(Medium + "game.dat", std::string(64, 'x')); },
       "game.dat"},
      {"resource archive without install.dat",
       [&] {
         archive::TVrArchiveWriter empty;
         empty.AddBytes("other.txt", "x");
         WriteHost(
             Medium + "setup",
             platform::WithNativeResources(
                 ReadHost(MORA_SETUP_EXE),
                 platform::NativeResourceRecord("BINTYPE", "DUMMY", empty.BuildImage()), "setup"));
         ::chmod((Medium + "setup").c_str(), 0755);
       },
       "install.dat:ファイルがありません\" [OK]"},
      {"damaged resource archive",
       [&] {
         WriteHost(Medium + "setup", platform::WithNativeResources(
                                         ReadHost(MORA_SETUP_EXE),
                                         platform::NativeResourceRecord(
                                             "BINTYPE", "DUMMY", "vf" + std::string(20, '\x7f')),
                                         "setup"));
         ::chmod((Medium + "setup").c_str(), 0755);
       },
       "DUMMY"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(Medium);
    const std::string setup = MakeMedium(Settings());
    c.Spoil();
    const auto run = RunSetup(setup, "answer ok\n");
    EXPECT_EQ(run.ExitCode, ExitFailed) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "dialog エラー \"")) << run.Output;
    EXPECT_TRUE(Contains(run.Output, c.Expected)) << run.Output;
    EXPECT_FALSE(Contains(run.Output, "start ")) << run.Output;
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_FALSE(platform::TNamedMutex::Exists(Title));
  }
}

TEST_F(SetupCourse, ATemporaryFolderThatCannotBeWrittenGivesTheCopyMessage) {
  const std::string setup = MakeMedium(Settings());
  TEnvironment environment = Environment();
  WriteHost(Home + "/not-a-folder", "");
  environment["TMPDIR"] = Home + "/not-a-folder";
  const auto run =
      RunProcess(setup, {"--answers", AnswerFile("click インストール\nanswer ok\n")}, environment);
  EXPECT_EQ(run.ExitCode, ExitFailed) << run.Output;
  EXPECT_TRUE(Contains(run.Output, "dialog 警告 \"ファイルをコピーできません\" [OK]"))
      << run.Output;
  EXPECT_FALSE(Contains(run.Output, "start ")) << run.Output;
}

}  // namespace
}  // namespace mora::e2e
