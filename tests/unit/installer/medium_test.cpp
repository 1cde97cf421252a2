// Opening a medium: where the settings come from (the setup program's
// resource, its appended archive, an archive file named on the command line,
// a folder) and which archive the run opens, for start-up; and the same
// placements given to mora as a path. Programs are PE images (and native
// ELF ones) built at test time, archives come from the archive writer.
#include "installer/medium.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/vrwriter.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "elf_image.h"
#include "pe_image.h"
#include "platform/files.h"

namespace mora::installer {
namespace {

using archive::TVrArchiveWriter;
using base::Sjis;

// The settings record of a medium, told apart by its title.
std::string SettingsBytes(const std::string& title, bool addOn = false, bool uninstall = false) {
  settings::TMoraInstallSet record;
  record.Title = title;
  record.AddOnPackage = addOn ? 1 : 0;
  record.UninstallMode = uninstall ? 1 : 0;
  return record.SaveToBytes();
}

// An archive whose entry "where.txt" names it, with install.dat when given.
TVrArchiveWriter Archive(const std::string& where,
                         const std::optional<std::string>& settings = std::nullopt) {
  TVrArchiveWriter writer;
  writer.AddBytes("where.txt", where);
  if (settings) writer.AddBytes("install.dat", *settings);
  return writer;
}

std::string PeProgram(const std::string& resource) {
  return platform::test::BuildPeImage(resource, "numbered").Bytes;
}

std::string Load(archive::TVrFileCollection& collection, const std::string& name) {
  platform::TMemoryStream stream;
  collection.LoadEntry(stream, name);
  return stream.Bytes();
}

class MediumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FRoot = std::string("C:\\MoraMediumTest\\") + info->name() + "\\";
    ASSERT_TRUE(platform::ForceDirectories(FRoot));
  }

  // A fresh folder for one case.
  std::string Folder(const std::string& name) const {
    const std::string folder = FRoot + name + "\\";
    EXPECT_TRUE(platform::ForceDirectories(folder));
    return folder;
  }
  static void Write(const std::string& path, const std::string& bytes) {
    platform::WriteFileAtomic(path, bytes);
  }

  std::string FRoot;
};

// What start-up gets for one way of starting: the settings case and title,
// SourceDir, and the run's archive.
struct TStartCase {
  std::string Name;
  // Makes the files in folder f; returns how the program was started.
  std::function<TSetupStart(const std::string& f)> Make;
  TSettingsCase Case;
  std::string Title;      // empty: install.dat missing
  std::string SourceDir;  // relative to f; "-" for empty
  TArchivePlacement Placement;
  std::string Where;  // where.txt of the run's archive; empty: none
  bool NativeOnly = false;
};

std::vector<TStartCase> StartCases() {
  const auto appendTo = [](const std::string& path, const std::string& program,
                           const TVrArchiveWriter& writer) {
    platform::WriteFileAtomic(path, program);
    writer.AppendTo(path);
  };
  return {
      {"resource",
       [](const std::string& f) {
         platform::WriteFileAtomic(f + "setup.exe",
                                   PeProgram(Archive("resource", SettingsBytes("R")).BuildImage()));
         return TSetupStart{f + "setup.exe", ""};
       },
       TSettingsCase::Resource, "R", "-", TArchivePlacement::Resource, "resource"},
      {"resource beats trailer",
       [=](const std::string& f) {
         appendTo(f + "setup.exe", PeProgram(Archive("resource", SettingsBytes("R")).BuildImage()),
                  Archive("appended", SettingsBytes("A", true)));
         return TSetupStart{f + "setup.exe", ""};
       },
       TSettingsCase::Resource, "R", "-", TArchivePlacement::Resource, "resource"},
      {"resource without vf counts as absent",
       [=](const std::string& f) {
         appendTo(f + "setup.exe", PeProgram("not an archive"),
                  Archive("appended", SettingsBytes("A", true)));
         return TSetupStart{f + "setup.exe", ""};
       },
       TSettingsCase::Appended, "A", "-", TArchivePlacement::Appended, "appended"},
      {"appended to a native program",
       [=](const std::string& f) {
         appendTo(f + "setup", platform::test::BuildElf(""),
                  Archive("appended", SettingsBytes("A", true)));
         return TSetupStart{f + "setup", ""};
       },
       TSettingsCase::Appended, "A", "-", TArchivePlacement::Appended, "appended"},
      {"native program's resource",
       [](const std::string& f) {
         platform::WriteFileAtomic(
             f + "setup",
             platform::test::BuildElf(platform::test::ElfRecord(
                 "BINTYPE", "DUMMY", Archive("elf", SettingsBytes("E")).BuildImage())));
         return TSetupStart{f + "setup", ""};
       },
       TSettingsCase::Resource, "E", "-", TArchivePlacement::Resource, "elf", true},
      {"a loose install.dat beside the program overrides the appended one",
       [=](const std::string& f) {
         appendTo(f + "setup.exe", "MZ plain", Archive("appended", SettingsBytes("A", true)));
         platform::WriteFileAtomic(f + "install.dat", SettingsBytes("L", true));
         return TSetupStart{f + "setup.exe", ""};
       },
       TSettingsCase::Appended, "L", "-", TArchivePlacement::Appended, "appended"},
      {"named archive file",
       [](const std::string& f) {
         platform::WriteFileAtomic(f + "setup.exe", PeProgram(""));
         platform::ForceDirectories(f + "disk");
         Archive("named", SettingsBytes("N")).WriteSeparate(f + "disk\\other.dat");
         return TSetupStart{f + "setup.exe", f + "disk\\other.dat"};
       },
       TSettingsCase::NamedFile, "N", "disk\\other.dat", TArchivePlacement::File, "named"},
      {"folder argument",
       [](const std::string& f) {
         platform::WriteFileAtomic(f + "setup.exe", PeProgram(""));
         platform::ForceDirectories(f + "medium");
         platform::WriteFileAtomic(f + "medium\\install.dat", SettingsBytes("F"));
         Archive("folder").WriteWithCompanion(f + "medium\\game.dat");
         return TSetupStart{f + "setup.exe", f + "medium\\"};
       },
       TSettingsCase::Folder, "F", "medium\\", TArchivePlacement::File, "folder"},
      {"the program's own folder",
       [](const std::string& f) {
         platform::WriteFileAtomic(f + "setup.exe", PeProgram(""));
         platform::WriteFileAtomic(f + "install.dat", SettingsBytes("O"));
         Archive("own").WriteSeparate(f + "game.dat");
         return TSetupStart{f + "setup.exe", ""};
       },
       TSettingsCase::Folder, "O", "", TArchivePlacement::File, "own"},
      {"folder argument without install.dat",
       [](const std::string& f) {
         platform::WriteFileAtomic(f + "setup.exe", PeProgram(""));
         platform::WriteFileAtomic(f + "install.dat", SettingsBytes("O"));  // not looked at
         platform::ForceDirectories(f + "empty");
         return TSetupStart{f + "setup.exe", f + "empty"};
       },
       TSettingsCase::Folder, "", "empty", TArchivePlacement::None, ""},
      {"folder without game.dat",
       [](const std::string& f) {
         platform::WriteFileAtomic(f + "setup.exe", "MZ");
         platform::WriteFileAtomic(f + "install.dat", SettingsBytes("O"));
         return TSetupStart{f + "setup.exe", ""};
       },
       TSettingsCase::Folder, "O", "", TArchivePlacement::None, ""},
  };
}

TEST_F(MediumTest, StartUpFindsSettingsAndArchiveInEveryPlacement) {
  int index = 0;
  for (const TStartCase& row : StartCases()) {
    SCOPED_TRACE(row.Name);
#ifdef _WIN32
    if (row.NativeOnly) continue;
#endif
    const std::string f = Folder("case" + std::to_string(index++));
    const TSetupStart start = row.Make(f);
    const TProgramArchive probe = ProbeProgram(start.ProgramFile);
    TMediumSettings loaded = LoadMediumSettings(start, probe);
    EXPECT_EQ(loaded.Case, row.Case);
    EXPECT_EQ(loaded.SourceDir, row.SourceDir == "-" ? std::string() : f + row.SourceDir);
    if (row.Title.empty()) {
      EXPECT_TRUE(loaded.SettingsMissing());
      EXPECT_EQ(loaded.SettingsFile, f + row.SourceDir + "\\install.dat");
      continue;
    }
    ASSERT_FALSE(loaded.SettingsMissing());
    EXPECT_EQ(loaded.Settings->Title, row.Title);

    TMediumArchive run = OpenRunArchive(start, probe, *loaded.Settings, loaded.SourceDir);
    ASSERT_NE(run.Archive, nullptr);
    EXPECT_EQ(run.Placement, row.Placement);
    if (row.Where.empty()) {
      EXPECT_EQ(run.Archive->Stream(), nullptr);
      // Only loose files in a folder named game.dat are served.
      EXPECT_EQ(run.Archive->BaseFolder, loaded.SourceDir + "game.dat\\");
    } else {
      EXPECT_EQ(Load(*run.Archive, "where.txt"), row.Where);
    }
  }
}

TEST_F(MediumTest, DamageInTheProgramsArchivePropagates) {
  const std::string f = Folder("damaged");
  // install.dat inside the resource archive claims a title longer than itself.
  std::string damaged = SettingsBytes("TitleMarker");
  const std::size_t title = damaged.find("TitleMarker");
  ASSERT_NE(title, std::string::npos);
  damaged.replace(title - 4, 4, std::string("\xF0\xFF\xFF\x7F", 4));
  Write(f + "setup.exe", PeProgram(Archive("r", damaged).BuildImage()));
  const TSetupStart start{f + "setup.exe", ""};
  try {
    LoadMediumSettings(start, ProbeProgram(start.ProgramFile));
    ADD_FAILURE() << "damaged settings loaded";
  } catch (const base::EDamagedData& e) {
    EXPECT_EQ(e.Message().rfind("install.dat (" + start.ProgramFile + ")", 0), 0u) << e.Message();
  }
  // A resource archive without install.dat.
  Write(f + "setup.exe", PeProgram(Archive("r").BuildImage()));
  try {
    LoadMediumSettings(start, ProbeProgram(start.ProgramFile));
    ADD_FAILURE() << "settings without install.dat";
  } catch (const base::Exception& e) {
    EXPECT_EQ(e.Message(), "install.dat" + Sjis(":ファイルがありません"));
  }
  // An empty resource, when the probe has found the archive there.
  Write(f + "setup.exe", PeProgram(""));
  TProgramArchive probe;
  probe.ArchiveInResource = true;
  try {
    LoadMediumSettings(start, probe);
    ADD_FAILURE() << "empty resource accepted";
  } catch (const base::EResNotFound& e) {
    EXPECT_EQ(e.Message(), Sjis("リソースが見つかりません"));
  }
}

TEST_F(MediumTest, OpenMediumAsTheInstallCommandDoes) {
  const std::string f = Folder("medium");
  // A medium folder, as the temporary copy gets it.
  Write(f + "install.dat", SettingsBytes("T"));
  Archive("medium").WriteSeparate(f + "game.dat");
  TMedium medium = OpenMedium(StartForMedium(f));
  EXPECT_EQ(medium.SettingsCase, TSettingsCase::Folder);
  EXPECT_EQ(medium.SourceDir, f);
  EXPECT_EQ(medium.Settings->Title, "T");
  EXPECT_EQ(medium.Archive.ArchiveFile, f + "game.dat");
  EXPECT_EQ(Load(*medium.Archive.Archive, "where.txt"), "medium");

  // An add-on: the setup program with its archive appended.
  const std::string addOn = Folder("addon") + "addon.exe";
  Write(addOn, "MZ add-on");
  Archive("addon", SettingsBytes("Add", true)).AppendTo(addOn);
  medium = OpenMedium(StartForMedium(addOn));
  EXPECT_EQ(medium.SettingsCase, TSettingsCase::Appended);
  EXPECT_EQ(medium.Archive.Placement, TArchivePlacement::Appended);
  EXPECT_EQ(Load(*medium.Archive.Archive, "where.txt"), "addon");

  // An add-on's settings beside no program: its archive cannot be found.
  const std::string loose = Folder("loose");
  Write(loose + "install.dat", SettingsBytes("Add", true));
  EXPECT_THROW(OpenMedium(StartForMedium(loose)), EMediumMissing);
  // An installation folder: no archive is opened.
  Write(loose + "install.dat", SettingsBytes("Installed", false, true));
  medium = OpenMedium(StartForMedium(loose));
  EXPECT_EQ(medium.Archive.Archive, nullptr);
  // No install.dat at all.
  const std::string none = Folder("none");
  try {
    OpenMedium(StartForMedium(none));
    ADD_FAILURE() << "a folder without settings opened";
  } catch (const EMediumMissing& e) {
    EXPECT_EQ(e.Message().rfind(Sjis("インストール設定ファイルがありません"), 0), 0u);
  }
}

// mora's inspecting commands: each placement given as a path.
TEST_F(MediumTest, InspectionFindsTheArchiveOfEveryPlacement) {
  struct TRow {
    std::string Name;
    std::function<std::string(const std::string& f)> Make;  // returns the path given
    TArchivePlacement Placement;
    std::string ArchiveFile;  // relative to f
    std::string Where;
    std::string Title;  // of LoadSettingsOfMedium; empty: none
    bool NativeOnly = false;
  };
  const std::vector<TRow> rows = {
      {"bare game.dat with its companion",
       [](const std::string& f) {
         Archive("companion").WriteWithCompanion(f + "game.dat");
         return f + "game.dat";
       },
       TArchivePlacement::File, "game.dat", "companion", ""},
      {"Windows setup program with the archive as resource",
       [](const std::string& f) {
         Write(f + "setup.exe", PeProgram(Archive("resource", SettingsBytes("R")).BuildImage()));
         return f + "setup.exe";
       },
       TArchivePlacement::Resource, "setup.exe", "resource", "R"},
      {"resource beats trailer",
       [](const std::string& f) {
         Write(f + "setup.exe", PeProgram(Archive("resource").BuildImage()));
         Archive("appended").AppendTo(f + "setup.exe");
         return f + "setup.exe";
       },
       TArchivePlacement::Resource, "setup.exe", "resource", ""},
      {"resource without vf",
       [](const std::string& f) {
         Write(f + "setup.exe", PeProgram("vx"));
         Archive("appended", SettingsBytes("A")).AppendTo(f + "setup.exe");
         return f + "setup.exe";
       },
       TArchivePlacement::Appended, "setup.exe", "appended", "A"},
      {"native program with an appended archive",
       [](const std::string& f) {
         Write(f + "setup", platform::test::BuildElf(""));
         Archive("native").AppendTo(f + "setup");
         return f + "setup";
       },
       TArchivePlacement::Appended, "setup", "native", ""},
      {"native program with the archive as resource",
       [](const std::string& f) {
         Write(f + "setup", platform::test::BuildElf(platform::test::ElfRecord(
                                "BINTYPE", "DUMMY", Archive("elf").BuildImage())));
         return f + "setup";
       },
       TArchivePlacement::Resource, "setup", "elf", "", true},
      {"medium folder",
       [](const std::string& f) {
         Write(f + "install.dat", SettingsBytes("F"));
         Archive("folder").WriteSeparate(f + "game.dat");
         return f.substr(0, f.size() - 1);
       },
       TArchivePlacement::File, "game.dat", "folder", "F"},
      {"setup program without an archive stands for its folder",
       [](const std::string& f) {
         Write(f + "setup.exe", PeProgram(""));
         Write(f + "install.dat", SettingsBytes("P"));
         Archive("beside").WriteSeparate(f + "game.dat");
         return f + "setup.exe";
       },
       TArchivePlacement::File, "game.dat", "beside", "P"},
  };
  int index = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
#ifdef _WIN32
    if (row.NativeOnly) continue;
#endif
    const std::string f = Folder("path" + std::to_string(index++));
    const std::string path = row.Make(f);
    // A loose file beside the archive never stands in for an entry.
    Write(f + "where.txt", "loose");
    TMediumArchive medium = OpenMediumArchive(path);
    EXPECT_EQ(medium.Placement, row.Placement);
    EXPECT_EQ(medium.ArchiveFile, f + row.ArchiveFile);
    EXPECT_EQ(Load(*medium.Archive, "where.txt"), row.Where);
    const auto settings = LoadSettingsOfMedium(path);
    EXPECT_EQ(settings ? settings->Title : std::string(), row.Title);
  }
}

TEST_F(MediumTest, InspectionWithoutAnArchiveNamesWhatIsMissing) {
  const std::string f = Folder("missing");
  Write(f + "install.dat", SettingsBytes("S"));
  Write(f + "plain.exe", "MZ no archive");
  for (const std::string& path : {f, f + "plain.exe"}) {
    try {
      OpenMediumArchive(path);
      ADD_FAILURE() << path << ": opened";
    } catch (const EMediumMissing& e) {
      EXPECT_NE(e.Message().find(f + "game.dat"), std::string::npos) << e.Message();
    }
  }
}

}  // namespace
}  // namespace mora::installer
