// The copy step on real media: what it copies, builds and records, how it
// walks the disks, and how it stops (abort, failed check, reported failure,
// raised failure).
#include "engine_fixture.h"

#include "base/errors.h"
#include "settings/fileutil.h"

namespace mora::installer::testing {
namespace {

constexpr std::int32_t Older = DosTime(2001, 2, 3, 4, 5, 6);
constexpr std::int32_t Newer = DosTime(2003, 7, 8, 9, 10, 12);

archive::TArchiveEntryOptions Entry(std::int32_t fileTime, bool installAsFile = false,
                                    bool stored = true) {
  archive::TArchiveEntryOptions options;
  options.FileTime = fileTime;
  options.InstallAsFile = installAsFile;
  options.Stored = stored;
  return options;
}

std::string ArchiveEntry(const std::string& archiveName, const std::string& name) {
  archive::TVrFileCollection collection;
  collection.Open(archiveName);
  platform::TMemoryStream stream;
  collection.LoadEntry(stream, name);
  return stream.Bytes();
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(MediaKindTest, ClassifiesExtensionsBySubstringOfTheLists) {
  const struct {
    const char* Extension;
    int Kind;
  } cases[] = {
      {".mp3", MediaKindSound}, {".MP3", MediaKindSound},  {".Ogg", MediaKindSound},
      {".mid", MediaKindSound}, {".mp", MediaKindSound},   {".", MediaKindSound},
      {".mpe", MediaKindMovie}, {".MPEG", MediaKindMovie}, {".avi", MediaKindMovie},
      {".wmv", MediaKindMovie}, {"", MediaKindOther},      {".txt", MediaKindOther},
      {".exe", MediaKindOther}, {".mp4", MediaKindOther},  {"mp3", MediaKindSound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MediaKindOf(c.Extension), c.Kind) << c.Extension;
  }
}

TEST(SafeNameTest, RefusesNamesThatLeaveTheFolder) {
  const struct {
    std::string Name;
    bool Safe;
  } cases[] = {
      {"a.txt", true},
      {"sub\\a.txt", true},
      {"sub/a.txt", true},
      {"..a", true},
      {"a..b\\c", true},
      {"\x95\x5C\\x.txt", true},  // a trail byte 0x5C is no delimiter
      {"", false},
      {"..", false},
      {"..\\a.txt", false},
      {"sub\\..\\..\\a.txt", false},
      {"sub/../../a.txt", false},
      {"\\a.txt", false},
      {"/a.txt", false},
      {"C:\\a.txt", false},
      {"C:a.txt", false},
      {"a.txt:stream", false},
      {"a\\\\b", false},
      {"...\\a.txt", false},
      {". .\\a.txt", false},
      {"sub\\.. ", false},
      {std::string("a\0b", 3), false},
      {"a\x01.txt", false},
      {"a\x81", false},              // a lead byte without its trail byte
      {"\x85\x5C..\\a.txt", false},  // no character: the system would see "\.."
      {"x\x81:stream", false},
      // Device names, whatever the case, extension or trailing spaces.
      {"CON", false},
      {"sub\nul.txt", false},
      {"Aux ", false},
      {"prn.log\a.txt", false},
      {"com1", false},
      {"LPT9.dat", false},
      {"conout$", false},
      {"com0", true},
      {"com10", true},
      {"console.txt", true},
      {"nul_", true},
      {"a.nul", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSafeInstalledName(c.Name), c.Safe) << base::Cp932ToUtf8Lossy(c.Name);
  }
}

// ---- a whole installation --------------------------------------------------------

TEST_F(EngineTest, ASingleDiskRecordsEveryPartInTheOrderOfTheSteps) {
  for (const bool filesInArchive : {false, true}) {
    SCOPED_TRACE(filesInArchive ? "files in the archive" : "loose files");
    RemoveTree(Dest);
    Settings.DeleteRegKey();
    Shell.Calls.clear();
    Observer = TRecordingObserver();
    Settings.InstalledFiles.clear();
    Settings.UninstallMode = 0;
    Settings.DataInstalled = 0;
    Settings.FilesInArchive = filesInArchive ? 1 : 0;
    Settings.PlainFiles = {"readme.txt", "bin\\game.exe"};
    Settings.ReadmeFile = "readme.txt";
    Settings.ShowReadme = 1;
    archive::TVrArchiveWriter writer;
    writer.AddBytes("a.dat", "alpha", Entry(Older));
    writer.AddBytes("b.dat", "beta", Entry(Older));
    writer.AddBytes("cfg\\opt.ini", "[opt]\r\nvalue=1\r\n", Entry(Older, true, false));
    writer.AddBytes("install.dat", "never installed", Entry(Older, true));
    WriteDisk(Settings, {{"readme.txt", "read me"}, {"bin\\game.exe", "exe"}, {"setup.exe", "no"}},
              &writer);

    ASSERT_EQ(Install(Request()), TStepOutcome::Finished);

    std::vector<std::string> expectedTail;
    std::size_t loose = 0;
    if (filesInArchive) {
      expectedTail = {"game.ext", "cfg\\opt.ini", "game.dat", "install.dat"};
    } else {
      loose = 2;
      expectedTail = {"game.ext", "game.dat", "install.dat"};
    }
    const std::vector<std::string>& names = Settings.InstalledFiles;
    ASSERT_EQ(names.size(), loose + expectedTail.size());
    EXPECT_EQ(Sorted({names.begin(), names.begin() + static_cast<std::ptrdiff_t>(loose)}),
              Sorted(loose == 0 ? std::vector<std::string>{}
                                : std::vector<std::string>{"readme.txt", "bin\\game.exe"}));
    EXPECT_EQ(
        std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(loose), names.end()),
        expectedTail);

    // What is on disk is what the record says.
    EXPECT_EQ(FilesBelow(Dest), Sorted(names));
    EXPECT_EQ(ArchiveEntry(Dest + "game.dat", "a.dat"), "alpha");
    EXPECT_EQ(ArchiveEntry(Dest + "game.dat", "b.dat"), "beta");
    if (filesInArchive) {
      EXPECT_EQ(ReadFile(Dest + "cfg\\opt.ini"), "[opt]\r\nvalue=1\r\n");
      EXPECT_EQ(platform::GetFileDosTime(Dest + "cfg\\opt.ini"), Older);
    } else {
      EXPECT_EQ(ReadFile(Dest + "bin\\game.exe"), "exe");
    }
    const settings::TMoraInstallSet record = Record();
    EXPECT_EQ(record.InstalledFiles, names);
    EXPECT_EQ(record.UninstallMode, 1);
    EXPECT_EQ(record.DataInstalled, 1);
    EXPECT_EQ(record.Title, Settings.Title);

    EXPECT_EQ(InstallPath(), Dest);
    EXPECT_EQ(Shell.Calls, std::vector<std::string>{"create " + Settings.Title + " " + Dest});
    EXPECT_EQ(Observer.Documents,
              (std::vector<std::vector<std::string>>{{Dest + "readme.txt", "", Dest}}));
    EXPECT_TRUE(Observer.BackHidden && Observer.NextHidden && Observer.ProgressHidden);
    EXPECT_EQ(Observer.Caption, Sjis("ファイルコピー"));
    EXPECT_EQ(Observer.ProgressMax, 1234);  // RequiredBytes / 10
    EXPECT_EQ(Observer.Headings,
              (std::vector<std::string>{Sjis("データファイルをチェックしています"),
                                        Sjis("ショートカットを作成しています"),
                                        Sjis("レジストリを更新しています")}));
    EXPECT_EQ(Observer.Waits, (std::vector<std::uint32_t>{2000, 1000}));
    EXPECT_EQ(Observer.FrontRequests, 1);
    EXPECT_TRUE(Observer.Dialogs.empty());
    // Loose bytes (7 + 3 when copied) and the stored archive entries (5 + 4).
    EXPECT_EQ(Engine.CopiedBytes(), filesInArchive ? 9 : 19);
  }
}

TEST_F(EngineTest, LooseSoundAndMovieFilesFollowTheirPartsExceptInAnAddOn) {
  const struct {
    bool Sound, Movie, AddOn;
    std::vector<std::string> Installed;
  } cases[] = {
      {false, false, false, {"readme.txt", "install.dat"}},
      {true, false, false, {"readme.txt", "snd\\bgm.MP3", "voice.wav", "install.dat"}},
      {false, true, false, {"intro.mpeg", "readme.txt", "install.dat"}},
      {false,
       false,
       true,
       {"intro.mpeg", "readme.txt", "snd\\bgm.MP3", "voice.wav", "install.dat"}},
  };
  Settings.PlainFiles = {"readme.txt", "snd\\bgm.mp3", "intro.mpeg", "voice.wav"};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Sound) + std::to_string(c.Movie) + std::to_string(c.AddOn));
    RemoveTree(Dest);
    Settings.InstalledFiles.clear();
    Settings.AddOnPackage = c.AddOn ? 1 : 0;
    WriteDisk(Settings,
              {{"readme.txt", "r"}, {"snd\\bgm.MP3", "b"}, {"intro.mpeg", "i"}, {"voice.wav", "v"}},
              nullptr);
    TInstallRequest request = Request();
    request.Data = false;
    request.Sound = c.Sound;
    request.Movie = c.Movie;
    ASSERT_EQ(Install(request), TStepOutcome::Finished);
    EXPECT_EQ(FilesBelow(Dest), Sorted(c.Installed));
    EXPECT_EQ(Sorted(Settings.InstalledFiles), Sorted(c.Installed));
  }
  // Only the installations that are no add-on made shortcuts.
  EXPECT_EQ(Shell.Calls.size(), 3u);
}

TEST_F(EngineTest, AnAddOnExtendsTheArchiveAndMergesItsNamesIntoTheRecord) {
  Settings.PlainFiles = {"readme.txt"};
  archive::TVrArchiveWriter base;
  base.AddBytes("a.dat", "a1", Entry(Older));
  base.AddBytes("b.dat", "b1", Entry(Older));
  WriteDisk(Settings, {{"readme.txt", "r"}}, &base);
  ASSERT_EQ(Install(Request()), TStepOutcome::Finished);
  const std::vector<std::string> baseNames = Record().InstalledFiles;
  ASSERT_EQ(baseNames,
            (std::vector<std::string>{"readme.txt", "game.ext", "game.dat", "install.dat"}));

  settings::TMoraInstallSet addOn;
  addOn.Title = Settings.Title;
  addOn.RegistryKey = Settings.RegistryKey;
  addOn.SetDiskCount(1);
  addOn.AddOnPackage = 1;
  addOn.PlainFiles = {"extra\\voice.wav"};
  archive::TVrArchiveWriter extension;
  extension.AddBytes("b.dat", "b2", Entry(Newer));
  extension.AddBytes("c.dat", "c1", Entry(Older));
  WriteDisk(addOn, {{"extra\\voice.wav", "v"}}, &extension);
  Settings = addOn;
  Observer = TRecordingObserver();
  TInstallRequest request = Request();
  request.Data = false;
  request.Sound = false;
  request.Movie = false;
  ASSERT_EQ(Install(request), TStepOutcome::Finished);

  EXPECT_EQ(ArchiveEntry(Dest + "game.dat", "a.dat"), "a1");
  EXPECT_EQ(ArchiveEntry(Dest + "game.dat", "b.dat"), "b2");
  EXPECT_EQ(ArchiveEntry(Dest + "game.dat", "c.dat"), "c1");
  std::vector<std::string> merged = baseNames;
  merged.push_back("extra\\voice.wav");
  const settings::TMoraInstallSet record = Record();
  EXPECT_EQ(record.InstalledFiles, merged);
  EXPECT_EQ(record.DataInstalled, 1);  // the base installation's record, extended
  EXPECT_EQ(FilesBelow(Dest), Sorted(merged));
  EXPECT_EQ(Shell.Calls.size(), 1u);  // shortcuts came from the base installation only
  EXPECT_EQ(InstallPath(), Dest);
}

TEST_F(EngineTest, SetupKindTwoOverwritesSeparateFilesAndRecordsNothing) {
  Settings.SetupKind = 2;
  Settings.FilesInArchive = 1;
  archive::TVrArchiveWriter writer;
  writer.AddBytes("system\\runtime.dll", "from the medium", Entry(Older, true));
  writer.AddBytes("data.dat", "not built", Entry(Older));
  WriteDisk(Settings, {}, &writer);
  WriteFile(Dest + "system\\runtime.dll", "newer copy");
  ASSERT_TRUE(platform::SetFileDosTime(Dest + "system\\runtime.dll", Newer));
  TInstallRequest request = Request();
  request.Data = false;
  request.Sound = false;
  request.Movie = false;

  ASSERT_EQ(Install(request), TStepOutcome::Finished);
  EXPECT_EQ(ReadFile(Dest + "system\\runtime.dll"), "from the medium");
  EXPECT_EQ(platform::GetFileDosTime(Dest + "system\\runtime.dll"), Older);
  EXPECT_EQ(FilesBelow(Dest), std::vector<std::string>{"system\\runtime.dll"});
  EXPECT_EQ(Settings.InstalledFiles, std::vector<std::string>{"system\\runtime.dll"});
  EXPECT_TRUE(Shell.Calls.empty());
  EXPECT_EQ(InstallPath(), "(none)");
  EXPECT_EQ(Settings.UninstallMode, 0);
}

TEST_F(EngineTest, AnOldArchiveIsClearedUpToTheFirstMissingVolume) {
  for (const char* name : {"game.dat", "game.ext", "game.001", "game.003", "save.dat"}) {
    WriteFile(Dest + name, "old");
  }
  WriteDisk(Settings, {}, nullptr);
  TInstallRequest request = Request();
  request.Data = false;
  ASSERT_EQ(Install(request), TStepOutcome::Finished);
  EXPECT_EQ(FilesBelow(Dest), (std::vector<std::string>{"game.003", "install.dat", "save.dat"}));
}

TEST_F(EngineTest, InstallingOverTheSameTitleKeepsTheNamesRecordedBefore) {
  const struct {
    const char* Case;
    bool SameTitle;
  } cases[] = {{"same title", true}, {"another title", false}};
  Settings.PlainFiles = {"readme.txt", "bgm.mp3"};
  const settings::TMoraInstallSet pristine = Settings;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    RemoveTree(Dest);
    // The first installation (of this or another title) took the music too.
    Settings = pristine;
    if (!c.SameTitle) Settings.Title = "another title";
    WriteDisk(Settings, {{"readme.txt", "r"}, {"bgm.mp3", "b"}}, nullptr);
    TInstallRequest request = Request();
    request.Data = false;
    ASSERT_EQ(Install(request), TStepOutcome::Finished);
    Settings = pristine;
    request.Sound = false;
    ASSERT_EQ(Install(request), TStepOutcome::Finished);
    const std::vector<std::string> expected =
        c.SameTitle ? std::vector<std::string>{"readme.txt", "install.dat", "bgm.mp3"}
                    : std::vector<std::string>{"readme.txt", "install.dat"};
    EXPECT_EQ(Record().InstalledFiles, expected);
  }
}

// ---- disks --------------------------------------------------------------------------

TEST_F(EngineTest, TheNextDiskIsAskedForUntilTheRightTitlesDiskIsIn) {
  Settings.SetDiskCount(2);
  Settings.PlainFiles = {"one.txt"};
  settings::TMoraInstallSet second = Settings;
  second.DiskIndex = 1;
  second.PlainFiles = {"two.txt"};
  settings::TMoraInstallSet stranger = second;
  stranger.Title = Sjis("別のタイトル");
  archive::TVrArchiveWriter firstArchive;
  firstArchive.AddBytes("one.dat", "1", Entry(Older));
  archive::TVrArchiveWriter secondArchive;
  secondArchive.AddBytes("two.dat", "2", Entry(Older));
  WriteDisk(Settings, {{"one.txt", "first disk"}}, &firstArchive);

  int changes = 0;
  Observer.OnWait = [&](std::uint32_t milliseconds) {
    if (milliseconds != 500) return;
    // The user puts in another title's disk first, then the right one.
    if (changes++ == 0) {
      WriteDisk(stranger, {{"two.txt", "wrong disk"}}, &secondArchive);
    } else {
      WriteDisk(second, {{"two.txt", "second disk"}}, &secondArchive);
    }
  };
  Observer.Answers = {ui::mrAbort, ui::mrNo, ui::mrOk, ui::mrOk};
  TInstallRequest request = Request();
  request.AllDisks = true;

  ASSERT_EQ(Install(request), TStepOutcome::Finished);
  const std::string prompt = Sjis("ディスク2を入れてからOKをクリックしてください");
  const std::string question = Sjis("インストールを中断しますか？");
  EXPECT_EQ(Observer.DialogTexts(), (std::vector<std::string>{prompt, question, prompt, prompt}));
  EXPECT_EQ(Observer.Dialogs[0].Kind, ui::TMsgDlgType::mtInformation);
  EXPECT_EQ(Observer.Dialogs[0].Buttons, ui::mbOK | ui::mbAbort);
  EXPECT_EQ(Observer.Dialogs[1].Kind, ui::TMsgDlgType::mtConfirmation);
  EXPECT_EQ(Observer.Dialogs[1].Buttons, ui::mbYesNo);
  EXPECT_EQ(Observer.Waits, (std::vector<std::uint32_t>{500, 500, 2000, 1000}));

  EXPECT_EQ(Settings.DiskIndex, 1);
  EXPECT_EQ(ReadFile(Dest + "two.txt"), "second disk");
  EXPECT_EQ(ArchiveEntry(Dest + "game.dat", "one.dat"), "1");
  EXPECT_EQ(ArchiveEntry(Dest + "game.dat", "two.dat"), "2");
  // The first disk's names were carried over to the second disk's settings.
  EXPECT_EQ(Record().InstalledFiles, (std::vector<std::string>{"one.txt", "game.ext", "two.txt",
                                                               "game.dat", "install.dat"}));
}

TEST_F(EngineTest, ADamagedSettingsFileOnTheNextDiskIsReportedAndAskedAgain) {
  Settings.SetDiskCount(2);
  settings::TMoraInstallSet second = Settings;
  second.DiskIndex = 1;
  WriteDisk(Settings, {}, nullptr);
  int changes = 0;
  Observer.OnWait = [&](std::uint32_t milliseconds) {
    if (milliseconds != 500) return;
    if (changes++ == 0) {
      // DiskIndex 1, then a Title of 1000 bytes of which two are there.
      WriteFile(Medium + "install.dat", std::string("is107") + std::string("\x01\0\0\0", 4) +
                                            std::string("\xE8\x03\0\0", 4) + "ab");
    } else {
      WriteDisk(second, {}, nullptr);
    }
  };
  Observer.Answers = {ui::mrOk, ui::mrOk, ui::mrOk};
  TInstallRequest request = Request();
  request.AllDisks = true;
  request.Data = false;
  ASSERT_EQ(Install(request), TStepOutcome::Finished);
  ASSERT_EQ(Observer.Dialogs.size(), 3u);
  EXPECT_EQ(Observer.Dialogs[1].Kind, ui::TMsgDlgType::mtWarning);
  EXPECT_NE(Observer.Dialogs[1].Text.find("install.dat"), std::string::npos);
  EXPECT_EQ(Settings.DiskIndex, 1);
}

// ---- separate files -------------------------------------------------------------------

TEST_F(EngineTest, SeparateFilesAreSkippedWhenTheInstalledOneIsNotOlder) {
  const struct {
    const char* Case;
    std::optional<std::int32_t> Existing;
    int SetupKind;
    bool Written;
    std::string Content = "installed";  // of the existing file
    bool Recorded = Written;
  } cases[] = {
      {"missing", std::nullopt, 0, true},
      {"older", DosTime(2002, 1, 1, 0, 0, 0), 0, true},
      {"same", Newer, 0, false},
      {"newer", DosTime(2005, 1, 1, 0, 0, 0), 0, false},
      {"newer, kind 2", DosTime(2005, 1, 1, 0, 0, 0), 2, true},
      // The entry's own bytes, left by an earlier run that stopped before
      // it saved its record: kept, and recorded so that it is removed.
      {"same, the entry's bytes", Newer, 0, false, "medium", true},
  };
  Settings.FilesInArchive = 1;
  archive::TVrArchiveWriter writer;
  writer.AddBytes("opt\\config.ini", "medium", Entry(Newer, true, false));
  WriteDisk(Settings, {}, &writer);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    RemoveTree(Dest);
    Settings.InstalledFiles.clear();
    Settings.SetupKind = static_cast<std::uint8_t>(c.SetupKind);
    if (c.Existing) {
      WriteFile(Dest + "opt\\config.ini", c.Content);
      ASSERT_TRUE(platform::SetFileDosTime(Dest + "opt\\config.ini", *c.Existing));
    }
    TInstallRequest request = Request();
    request.Data = false;
    ASSERT_EQ(Install(request), TStepOutcome::Finished);
    EXPECT_EQ(ReadFile(Dest + "opt\\config.ini"), c.Written ? "medium" : c.Content);
    EXPECT_EQ(Settings.IndexOfInstalledFile("opt\\config.ini") >= 0, c.Recorded);
  }
}

TEST_F(EngineTest, ADamagedSeparateFileFailsNamingTheEntryAndLeavesNoFile) {
  // Separate files are inflated, checked and written in one pass; the large
  // cases have written megabytes into the folder before the damage shows.
  const std::string name = "cfg\\opt.ini";
  const std::string large = std::string(3 << 20, 'x') + "end";
  const struct {
    const char* Case;
    std::string Content;
    bool BadCheckValue;  // else the zlib stream's own check value is damaged
    bool EarlierCopy;    // an older installed copy that must stay as it was
  } cases[] = {
      {"small, check value", std::string(300, 'x'), true, false},
      {"small, zlib data", std::string(300, 'x'), false, false},
      {"large, check value, earlier copy", large, true, true},
      {"large, zlib data", large, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    RemoveTree(Dest);
    Settings.FilesInArchive = 1;
    Settings.InstalledFiles.clear();
    archive::TVrArchiveWriter writer;
    archive::TArchiveEntryOptions options = Entry(Newer, true, false);
    if (c.BadCheckValue) options.CRC = 0x12345678;
    writer.AddBytes(name, c.Content, options);
    WriteDisk(Settings, {}, &writer);
    if (!c.BadCheckValue) {
      // The compressed stream ends the archive; its last bytes are its own
      // check value, which inflating then finds wrong.
      std::string bytes = ReadFile(Medium + "game.dat");
      bytes.back() = static_cast<char>(bytes.back() ^ 0x55);
      WriteFile(Medium + "game.dat", bytes);
    }
    if (c.EarlierCopy) {
      WriteFile(Dest + name, "installed before");
      ASSERT_TRUE(platform::SetFileDosTime(Dest + name, Older));
    }
    try {
      Install(Request());
      ADD_FAILURE() << "no failure raised";
    } catch (const base::EDamagedData& error) {
      EXPECT_EQ(error.Message(), Sjis("ファイルが壊れています") + "\r\n" + name);
    }
    std::vector<std::string> left;
    settings::ListFiles(Dest + "cfg", settings::AllAttributeBits, true, true, left, true);
    if (c.EarlierCopy) {
      EXPECT_EQ(ReadFile(Dest + name), "installed before");
      EXPECT_EQ(left, std::vector<std::string>{Dest + name});
    } else {
      EXPECT_FALSE(platform::FileExists(Dest + name));
      EXPECT_TRUE(left.empty()) << left.front();
    }
    EXPECT_FALSE(platform::FileExists(Dest + "install.dat"));
    EXPECT_TRUE(Shell.Calls.empty());
  }
}

TEST_F(EngineTest, ASeparateFileLargerThanAnEntryInMemoryIsStreamedIntact) {
  // Far beyond what the medium's reader would hold in memory: the entry
  // never passes through memory whole.
  MediumArchive.MemoryEntryLimit = 64 * 1024;
  std::string content;
  for (int i = 0; content.size() < (2u << 20); ++i) content += "line " + std::to_string(i) + "\r\n";
  Settings.FilesInArchive = 1;
  archive::TVrArchiveWriter writer;
  writer.AddBytes("movie\\op.txt", content, Entry(Older, true, false));
  writer.AddBytes("movie\\raw.bin", content, Entry(Older, true, true));
  WriteDisk(Settings, {}, &writer);
  TInstallRequest request = Request();
  request.Data = false;
  ASSERT_EQ(Install(request), TStepOutcome::Finished);
  EXPECT_EQ(ReadFile(Dest + "movie\\op.txt"), content);
  EXPECT_EQ(ReadFile(Dest + "movie\\raw.bin"), content);
  EXPECT_EQ(platform::GetFileDosTime(Dest + "movie\\op.txt"), Older);
  EXPECT_GE(Settings.IndexOfInstalledFile("movie\\op.txt"), 0);
}

TEST_F(EngineTest, ASeparateFileNamedOutsideTheDestinationIsRefused) {
  const std::vector<std::string> names = {"..\\outside.txt",
                                          "sub\\..\\..\\outside.txt",
                                          "\\EngineTests\\outside.txt",
                                          "C:\\EngineTests\\outside.txt",
                                          "game.exe:stream",
                                          "...\\outside.txt"};
  Settings.FilesInArchive = 1;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    RemoveTree(Dest);
    archive::TVrArchiveWriter writer;
    writer.AddBytes("inside.txt", "fine", Entry(Older, true));
    writer.AddBytes(name, "escaped", Entry(Older, true));
    WriteDisk(Settings, {}, &writer);
    try {
      Install(Request());
      ADD_FAILURE() << "no failure raised";
    } catch (const base::EDamagedData& error) {
      EXPECT_NE(error.Message().find(name), std::string::npos);
    }
    EXPECT_FALSE(platform::FileExists(Root + "outside.txt"));
    EXPECT_FALSE(platform::FileExists("C:\\EngineTests\\outside.txt"));
    EXPECT_FALSE(platform::FileExists(Dest + "game.exe"));
    EXPECT_FALSE(platform::FileExists(Dest + "install.dat"));
  }
}

// ---- the built archive ---------------------------------------------------------------

TEST_F(EngineTest, BuildAndCheckReportProgressEveryTenthAndEveryLargeEntry) {
  archive::TVrArchiveWriter writer;
  for (int i = 0; i < 11; ++i) writer.AddBytes("e" + std::to_string(i), "12345", Entry(Older));
  writer.AddBytes("large", std::string(3145729, 'L'), Entry(Older));
  WriteDisk(Settings, {}, &writer);
  ASSERT_EQ(Install(Request()), TStepOutcome::Finished);
  // The medium's count includes its end mark; the built archive has none.
  EXPECT_EQ(Observer.Statuses,
            (std::vector<std::string>{Sjis("データファイルを構築中(10/13)..."),
                                      Sjis("データファイルを構築中(12/13)..."),
                                      Sjis("データファイルを調べています(10/12)...")}));
  EXPECT_EQ(Engine.CopiedBytes(), 11 * 5 + 3145729);
  EXPECT_EQ(Observer.ProgressMax, 11);
  EXPECT_EQ(Observer.Progress, 9);
}

TEST_F(EngineTest, ABuiltArchiveThatFailsItsCheckStopsTheInstallation) {
  archive::TVrArchiveWriter writer;
  archive::TArchiveEntryOptions options = Entry(Older);
  options.CRC = 0xDEADBEEF;
  writer.AddBytes("data.dat", "content", options);
  WriteDisk(Settings, {}, &writer);
  Observer.Answers = {ui::mrOk};
  EXPECT_EQ(Install(Request()), TStepOutcome::Stopped);
  EXPECT_EQ(Observer.DialogTexts(),
            std::vector<std::string>{
                Sjis("ファイルの内容が正しくありません\r\nインストールしなおしてください\r\n"
                     "何度も失敗する場合は、スキャンディスクを実行して\r\n"
                     "ハードディスクに異常がないか調べてください")});
  EXPECT_EQ(Observer.Dialogs[0].Kind, ui::TMsgDlgType::mtWarning);
  EXPECT_FALSE(platform::FileExists(Dest + "install.dat"));
  EXPECT_TRUE(Shell.Calls.empty());
}

// ---- how the step ends early --------------------------------------------------------

TEST_F(EngineTest, AnAbortAtEachPollStopsBeforeAnythingIsRecorded) {
  const std::string copying = Sjis("one.txt をコピー中...");
  const std::string building = Sjis("データファイルを構築中(10/11)...");
  const std::string checking = Sjis("データファイルを調べています(10/10)...");
  const struct {
    const char* Case;
    std::string StopAt;  // status shown at the pump that sees the abort
    bool AtDiskQuestion;
    bool LooseCopied;
  } cases[] = {
      {"copying a loose file", copying, false, false},
      {"building the archive", building, false, true},
      {"checking the archive", checking, false, true},
      {"at the disk question", "", true, true},
  };
  Settings.PlainFiles = {"one.txt"};
  archive::TVrArchiveWriter writer;
  for (int i = 0; i < 10; ++i) writer.AddBytes("e" + std::to_string(i), "data", Entry(Older));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    RemoveTree(Dest);
    Settings.InstalledFiles.clear();
    Settings.SetDiskCount(c.AtDiskQuestion ? 2 : 1);
    WriteDisk(Settings, {{"one.txt", "1"}}, &writer);
    Observer = TRecordingObserver();
    const std::string stopAt = c.StopAt;
    Observer.StopWhen = [stopAt](const TRecordingObserver& seen) {
      return !stopAt.empty() && seen.Status == stopAt;
    };
    if (c.AtDiskQuestion) Observer.Answers = {ui::mrAbort, ui::mrYes};
    TInstallRequest request = Request();
    request.AllDisks = true;
    EXPECT_EQ(Install(request), TStepOutcome::Stopped);
    EXPECT_EQ(platform::FileExists(Dest + "one.txt"), c.LooseCopied);
    EXPECT_FALSE(platform::FileExists(Dest + "install.dat"));
    EXPECT_TRUE(Shell.Calls.empty());
    EXPECT_EQ(InstallPath(), "(none)");
  }
}

TEST_F(EngineTest, AFolderOrFileThatCannotBeWrittenClosesTheWizardUnrecorded) {
  const struct {
    const char* Case;
    const char* Blocker;  // made a file or folder in the way
    bool BlockerIsFolder;
    std::string Warning;
  } cases[] = {
      {"folder", "sub", false, Sjis("ディレクトリを作成できませんでした")},
      {"file", "readme.txt", true, Sjis("ファイルをコピーできませんでした") + "\r\n"},
  };
  Settings.PlainFiles = {"readme.txt", "sub\\data.txt"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    RemoveTree(Dest);
    Settings.InstalledFiles.clear();
    Observer = TRecordingObserver();
    Observer.Answers = {ui::mrOk};
    WriteDisk(Settings, {{"readme.txt", "r"}, {"sub\\data.txt", "d"}}, nullptr);
    if (c.BlockerIsFolder) {
      platform::ForceDirectories(Dest + c.Blocker);
    } else {
      WriteFile(Dest + c.Blocker, "in the way");
    }
    TInstallRequest request = Request();
    request.Data = false;
    EXPECT_EQ(Install(request), TStepOutcome::Closed);
    ASSERT_EQ(Observer.Dialogs.size(), 1u);
    std::string expected = c.Warning;
    if (c.BlockerIsFolder) expected += Dest + "readme.txt";
    EXPECT_EQ(Observer.Dialogs[0].Text, expected);
    EXPECT_EQ(Observer.Dialogs[0].Kind, ui::TMsgDlgType::mtWarning);
    EXPECT_EQ(Settings.IndexOfInstalledFile(c.Blocker), -1);
    EXPECT_FALSE(platform::FileExists(Dest + "install.dat"));
  }
}

TEST_F(EngineTest, AShortcutFailureLeavesTheRecordButNoRegistryValue) {
  WriteDisk(Settings, {}, nullptr);
  Shell.FailCreate = true;
  TInstallRequest request = Request();
  request.Data = false;
  EXPECT_THROW(Install(request), base::Exception);
  EXPECT_TRUE(platform::FileExists(Dest + "install.dat"));
  EXPECT_EQ(InstallPath(), "(none)");
}

}  // namespace
}  // namespace mora::installer::testing
