// Faults around real mora processes in a sandbox (sandbox_fixture.h): media
// cut at every byte, the disk filling up during the copy (a file-size limit,
// its signal ignored, so writes fail as on a full disk), the process killed
// at several points of an installation and of an uninstallation, and the
// medium's data vanishing while it is read. Afterwards nothing outside the
// destination changed, a new installation into the same folder succeeds and
// an uninstallation removes everything that was recorded.
#include <signal.h>

#include <random>

#include "sandbox_fixture.h"

namespace mora::e2e {
namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitDamaged = 3;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

class FaultTest : public SandboxTest {
 protected:
  // A title with loose files, a data archive of many entries and separate
  // files, each part large enough that a run can be stopped in it.
  fs::path WriteBusyMedium(const std::string& name) {
    const fs::path medium = Root / name;
    settings::TMoraInstallSet title = SmallTitle();
    TSources loose;
    // More lines than the error pipe of a stopped child holds (4 KiB).
    for (int i = 0; i < 300; ++i) {
      const std::string file = "loose/file" + std::to_string(100 + i) + ".txt";
      loose[file] = RandomBytes(4096, static_cast<unsigned>(i));
      title.PlainFiles.push_back("loose\\file" + std::to_string(100 + i) + ".txt");
    }
    archive::TVrArchiveWriter archive;
    for (int i = 0; i < 40; ++i) {
      archive.AddBytes("data/entry" + std::to_string(100 + i) + ".bin",
                       RandomBytes(128 * 1024, static_cast<unsigned>(1000 + i)), Entry());
    }
    WriteMedium(medium, title, loose, &archive);
    return medium;
  }

  // Installs again with room, checks the record against the files, and
  // uninstalls: the destination is gone and nothing outside changed.
  void InstallAgainAndRemove(const fs::path& medium,
                             const std::map<std::string, std::string>& outside) {
    const TMoraRun again = RunBounded(Install(medium, {"--parts", "data"}));
    ASSERT_EQ(again.ExitCode, ExitOk) << again.Err;
    settings::TMoraInstallSet record;
    record.LoadFromFile(Win(Dest / "install.dat"));
    std::vector<std::string> recorded;
    for (const std::string& name : record.InstalledFiles) recorded.push_back(Utf8(name));
    EXPECT_EQ(Sorted(recorded), FilesBelow(Dest));
    const TMoraRun removal = RunBounded(Uninstall());
    EXPECT_EQ(removal.ExitCode, ExitOk) << removal.Err;
    EXPECT_FALSE(fs::exists(Dest)) << testing::PrintToString(FilesBelow(Dest));
    EXPECT_EQ(OutsideState(), outside);
  }
};

TEST_F(FaultTest, SettingsAndArchivesCutAtEveryByteEndWithAMessage) {
  settings::TMoraInstallSet title = SmallTitle();
  title.PlainFiles = {"readme.txt"};
  title.InstalledFiles = {"readme.txt"};
  archive::TVrArchiveWriter archive;
  archive.AddBytes("a.txt", "alpha", Entry());
  archive.AddBytes("b.txt", "beta", Entry(true));
  const fs::path whole = Root / "whole";
  WriteMedium(whole, title, {{"readme.txt", "read me"}}, &archive);
  const fs::path cut = Root / "cut";
  fs::copy(whole, cut, fs::copy_options::recursive);
  // The test itself rewrites the files of the cut medium.
  const auto withoutCut = [&] {
    auto state = OutsideState();
    std::erase_if(state, [](const auto& item) { return item.first.rfind("cut", 0) == 0; });
    return state;
  };
  const auto outside = withoutCut();
  for (const char* file : {"install.dat", "game.dat"}) {
    const std::string bytes = ReadHost(whole / file);
    for (std::size_t size = 0; size < bytes.size(); ++size) {
      SCOPED_TRACE(std::string(file) + " cut to " + std::to_string(size) + " bytes");
      std::ofstream(cut / file, std::ios::binary | std::ios::trunc) << bytes.substr(0, size);
      fs::remove_all(Dest);
      const TMoraRun run = RunBounded(Install(cut, {"--parts", "data"}));
      if (std::string(file) == "game.dat") {
        // The directory's offsets reach past a cut archive.
        EXPECT_EQ(run.ExitCode, ExitDamaged) << run.Err;
        EXPECT_NE(run.Err.find("game.dat"), std::string::npos) << run.Err;
        EXPECT_FALSE(fs::exists(Dest / "install.dat"));
        continue;
      }
      // The settings reader keeps the defaults of fixed-width fields that
      // find no more data, so a cut install.dat may load: without a title
      // the program group cannot be made (after the record was saved).
      // A string that claims more bytes than are left is damage.
      if (run.ExitCode == ExitDamaged) {
        EXPECT_NE(run.Err.find("install.dat"), std::string::npos) << run.Err;
        EXPECT_FALSE(fs::exists(Dest / "install.dat"));
      } else if (run.ExitCode == ExitFailure) {
        EXPECT_NE(run.Err.find("not a valid program group name"), std::string::npos) << run.Err;
      } else {
        EXPECT_EQ(run.ExitCode, ExitOk) << run.Err;
      }
      // Whatever was recorded is removed again.
      if (fs::exists(Dest / "install.dat")) {
        const TMoraRun removal = RunBounded(Uninstall());
        EXPECT_EQ(removal.ExitCode, ExitOk) << removal.Err;
        EXPECT_FALSE(fs::exists(Dest));
      }
    }
    std::ofstream(cut / file, std::ios::binary | std::ios::trunc) << bytes;
  }
  EXPECT_EQ(withoutCut(), outside);
}

TEST_F(FaultTest, ADiskThatFillsUpEndsTheInstallationWithoutARecordOfWhatIsMissing) {
  // With a file-size limit of 1 MiB each of these is the file that no longer
  // fits: a loose file, the data archive, a separate file.
  const std::string big = RandomBytes(3 << 20, 7);
  const struct {
    const char* Case;
    std::function<void(const fs::path& medium)> Make;
    std::string Message;
    std::string Missing;  // the file that must not be left cut off
  } cases[] = {
      {"a loose file",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.PlainFiles = {"small.txt", "big.bin"};
         WriteMedium(medium, title, {{"small.txt", "small"}, {"big.bin", big}}, nullptr);
       },
       "ファイルをコピーできませんでした", "big.bin"},
      {"the data archive",
       [&](const fs::path& medium) {
         archive::TVrArchiveWriter archive;
         archive.AddBytes("small.txt", "small", Entry());
         archive.AddBytes("big.bin", big, Entry());
         WriteMedium(medium, SmallTitle(), {}, &archive);
       },
       "game.dat", ""},
      {"a separate file",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.FilesInArchive = 1;
         archive::TVrArchiveWriter archive;
         archive.AddBytes("small.txt", "small", Entry(true, true));
         archive.AddBytes("big.bin", big, Entry(true, true));
         WriteMedium(medium, title, {}, &archive);
       },
       "ファイルが作成できません", "big.bin"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    const fs::path medium = Root / ("medium" + std::to_string(++n));
    c.Make(medium);
    fs::remove_all(Dest);
    const auto outside = OutsideState();
    const TMoraRun full =
        RunBounded(Install(medium, {"--parts", "data"}), "trap '' XFSZ; ulimit -f 2048;");
    EXPECT_NE(full.ExitCode, ExitOk) << full.Err;
    EXPECT_NE(full.Err.find(c.Message), std::string::npos) << full.Err;
    // Nothing is recorded: the record is written last.
    EXPECT_FALSE(fs::exists(Dest / "install.dat"));
    if (!c.Missing.empty()) {
      EXPECT_FALSE(fs::exists(Dest / c.Missing));
    }
    EXPECT_EQ(OutsideState(), outside);
    InstallAgainAndRemove(medium, outside);
  }
}

TEST_F(FaultTest, AKilledInstallationLeavesAFolderThatInstallsAndUninstallsAgain) {
  const fs::path medium = WriteBusyMedium("medium");
  // Lines the run prints at its steps; the child blocks on its small error
  // pipe soon after the test stops reading, so it dies there or a little
  // further on.
  const char* const points[] = {
      "file105.txt をコピー中",
      "file250.txt をコピー中",
      "データファイルを構築中(10/",
      "データファイルを構築中(30/",
      "データファイルをチェックしています",
      "ショートカットを作成しています",
      "レジストリを更新しています",
  };
  for (const char* point : points) {
    SCOPED_TRACE(point);
    fs::remove_all(Dest);
    const auto outside = OutsideState();
    {
      TMoraChild child(Install(medium, {"--parts", "data"}), 4096);
      ASSERT_TRUE(child.WaitForError(point)) << child.ErrorSoFar();
      child.Signal(SIGKILL);
      const TMoraRun killed = child.Finish();
      // At the last line the run may have ended before the signal came.
      EXPECT_TRUE(killed.Signal == SIGKILL || killed.ExitCode == ExitOk) << killed.Err;
    }
    EXPECT_EQ(OutsideState(), outside);
    InstallAgainAndRemove(medium, outside);
  }
}

TEST_F(FaultTest, AKilledUninstallationCanBeRunAgain) {
  const fs::path medium = WriteBusyMedium("medium");
  const auto outside = OutsideState();
  for (const int delayMs : {0, 2, 5, 10, 20}) {
    SCOPED_TRACE(delayMs);
    fs::remove_all(Dest);
    ASSERT_EQ(RunBounded(Install(medium, {"--parts", "data"})).ExitCode, ExitOk);
    {
      TMoraChild child(Uninstall(), 4096);
      ASSERT_TRUE(child.WaitForError("ファイルを削除しています")) << child.ErrorSoFar();
      ::usleep(static_cast<useconds_t>(delayMs) * 1000);
      child.Signal(SIGKILL);
      child.Finish();
    }
    EXPECT_EQ(OutsideState(), outside);
    // Whatever the kill left, the record still names it.
    if (fs::exists(Dest)) {
      const TMoraRun again = RunBounded(Uninstall());
      EXPECT_EQ(again.ExitCode, ExitOk) << again.Err;
    }
    EXPECT_FALSE(fs::exists(Dest)) << testing::PrintToString(FilesBelow(Dest));
    EXPECT_EQ(OutsideState(), outside);
  }
}

TEST_F(FaultTest, DataThatVanishesFromTheMediumEndsWithAMessage) {
  // The run stops on its loose files; meanwhile the medium's archive loses
  // its second half (a disk taken out, a read error) or the rest of the
  // loose files go.
  const struct {
    const char* Case;
    std::function<void(const fs::path& medium)> Damage;
    int ExitCode;
    std::string Message;
  } cases[] = {
      {"the archive cut in half",
       [](const fs::path& medium) {
         fs::resize_file(medium / "game.dat", fs::file_size(medium / "game.dat") / 2);
       },
       ExitDamaged, "game.dat"},
      {"the loose files gone", [](const fs::path& medium) { fs::remove_all(medium / "loose"); },
       ExitFailure, "ファイルをコピーできませんでした"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    const fs::path medium = WriteBusyMedium("medium" + std::to_string(++n));
    fs::remove_all(Dest);
    const auto outside = OutsideState();
    TMoraChild child(Install(medium, {"--parts", "data"}), 4096);
    ASSERT_TRUE(child.WaitForError("file101.txt をコピー中")) << child.ErrorSoFar();
    c.Damage(medium);
    const TMoraRun run = child.Finish();
    EXPECT_EQ(run.Signal, 0);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Err;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(Dest / "install.dat"));
    const auto changed = OutsideState();
    // Outside the destination only the medium changed, as the test did it.
    std::map<std::string, std::string> rest = changed;
    std::map<std::string, std::string> restBefore = outside;
    const std::string mediumName = fs::relative(medium, Root).string();
    std::erase_if(rest, [&](const auto& item) { return item.first.rfind(mediumName, 0) == 0; });
    std::erase_if(restBefore,
                  [&](const auto& item) { return item.first.rfind(mediumName, 0) == 0; });
    EXPECT_EQ(rest, restBefore);
  }
}

}  // namespace
}  // namespace mora::e2e
