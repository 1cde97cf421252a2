// Hostile media through mora install, and hostile installation records
// through mora uninstall, as real processes in a sandbox (sandbox_fixture.h):
// names that would leave the destination, device names and Shift-JIS trail
// bytes in archive entries, InstalledFiles and PlainFiles; absurd counts and
// lengths; files cut at every byte; an entry that inflates far beyond its
// size; volume chains with gaps; files that are no files. Each run ends by
// itself within a time bound with its documented exit code and message, and
// nothing outside the destination is written or deleted.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "archive/vrlayout.h"
#include "sandbox_fixture.h"

namespace mora::e2e {
namespace {

constexpr int ExitOk = 0;
constexpr int ExitDamaged = 3;

const std::string RefusedName = "インストール先の外を指すファイル名です";

// The settings file of `title` as bytes.
std::string SettingsBytes(const settings::TMoraInstallSet& title, const fs::path& scratch) {
  title.SaveToFile(Win(scratch));
  std::string bytes = ReadHost(scratch);
  fs::remove(scratch);
  return bytes;
}

// Replaces the int32 `back` bytes in front of the first `marker`.
std::string PatchInt32(std::string bytes, const std::string& marker, int back,
                       std::uint32_t value) {
  const std::size_t at = bytes.find(marker);
  EXPECT_NE(at, std::string::npos) << marker;
  if (at == std::string::npos) return bytes;
  const std::size_t field = at - static_cast<std::size_t>(back);
  for (std::size_t i = 0; i < 4; ++i) bytes[field + i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

void WriteHost(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A file of `size` zero bytes that takes no room (a hole).
void WriteHole(const fs::path& path, std::int64_t size) {
  { std::ofstream create(path, std::ios::binary); }
  fs::resize_file(path, static_cast<std::uintmax_t>(size));
}

constexpr std::int64_t VolumeSize = std::int64_t{1} << 30;

struct THostileCase {
  std::string Case;
  std::function<void(const fs::path& medium)> Make;
  std::vector<std::string> Options;
  int ExitCode;
  std::string Message;             // in stderr (UTF-8); "" when none is due
  std::vector<std::string> Files;  // in the destination afterwards (UTF-8, sorted)
};

TEST_F(SandboxTest, HostileMediaEndCleanlyAndWriteNothingOutsideTheDestination) {
  const auto separate = [](const std::vector<std::pair<std::string, std::string>>& entries) {
    return [entries](const fs::path& medium) {
      settings::TMoraInstallSet title = SmallTitle();
      title.FilesInArchive = 1;
      archive::TVrArchiveWriter archive;
      for (const auto& [name, bytes] : entries) archive.AddBytes(name, bytes, Entry(true, true));
      WriteMedium(medium, title, {}, &archive);
    };
  };
  // A hostile separate entry between two harmless ones: the first is
  // written, the run stops at the hostile one.
  const auto refused = [&](const std::string& name) {
    return THostileCase{"separate entry " + Utf8(name),
                        separate({{"ok.txt", "fine"}, {name, "escaped"}, {"late.txt", "late"}}),
                        {},
                        ExitDamaged,
                        RefusedName,
                        {"ok.txt"}};
  };
  // Medium whose archive (game.dat with its directory in game.ext) is given
  // as bytes; the data part is installed from it.
  const auto crafted = [](std::string data, std::string directory) {
    return [data, directory](const fs::path& medium) {
      WriteMedium(medium, SmallTitle(), {}, nullptr);
      WriteHost(medium / "game.dat", data);
      WriteHost(medium / "game.ext", directory);
    };
  };
  const std::string hostSentinel = Win(Box / "sentinel.txt");  // "Z:\...\box\sentinel.txt"
  archive::TDirectory oneEntry;
  oneEntry.Entries = {{"a.bin", 0, 1, 0x2A434000, 0, 0}};
  oneEntry.EndOffset = 4;
  const std::string oneEntryDirectory = archive::EncodeDirectory(oneEntry);
  const auto withCount = [&](std::uint32_t count) {
    std::string bytes = oneEntryDirectory;
    for (std::size_t i = 0; i < 4; ++i) bytes[6 + i] = static_cast<char>(count >> (8 * i));
    return bytes;
  };
  const auto withNameLength = [&](std::uint32_t length) {
    std::string bytes = oneEntryDirectory;
    for (std::size_t i = 0; i < 4; ++i) bytes[10 + i] = static_cast<char>(length >> (8 * i));
    return bytes;
  };
  archive::TDirectory farEntry;
  farEntry.Entries = {{"a.bin", 0, 1, 0x2A434000, 0, 0}, {"b.bin", 4, 1, 0x2A434000, 0, 0}};
  farEntry.EndOffset = std::int64_t{1} << 40;
  // An entry in the third volume (game.002) behind a first volume that is
  // all there and a second that is missing.
  archive::TDirectory gapEntry;
  gapEntry.Entries = {{"a.bin", 2 * VolumeSize, 1, 0x2A434000, 0, 0}};
  gapEntry.EndOffset = 2 * VolumeSize + 4;

  const fs::path scratch = Root / "scratch.dat";
  const std::vector<THostileCase> cases = {
      // Names of separate entries that would leave the destination, reach a
      // device or a stream, or are no names.
      refused("..\\sentinel.txt"),
      refused("../sentinel.txt"),
      refused("sub\\..\\..\\sentinel.txt"),
      refused("..\\..\\..\\sentinel.txt"),
      refused("\\sentinel.txt"),
      refused("\\\\server\\share\\sentinel.txt"),
      refused("C:\\windows\\sentinel.txt"),
      refused(hostSentinel),
      refused("ok.txt:stream"),
      refused("CON"),
      refused("nul.txt"),
      refused("sub\\COM1"),
      refused("Lpt9.log"),
      refused("aux "),
      refused("sub\\ . \\x.txt"),
      refused("a\x01"
              "b.txt"),
      refused("abc\x81"),
      // A trail byte 0x5C followed by "..": one component "表.." and a
      // second "..", which would leave the folder.
      refused(Sjis("表") + "..\\..\\sentinel.txt"),
      // The trail byte 0x5C of "表" and "ソ" is no delimiter: these stay
      // inside, in folders of those names.
      {"separate entries with trail bytes 0x5C",
       separate({{Sjis("ソフト\\表.txt"), "1"}, {Sjis("表") + "..\\x.txt", "2"}}),
       {},
       ExitOk,
       "",
       {"install.dat", "ソフト\\表.txt", "表..\\x.txt"}},

      // Hostile names in PlainFiles select nothing: only files below the
      // medium's folder are copied.
      {"plain files naming places outside",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.PlainFiles = {"readme.txt",
                             "..\\sentinel.txt",
                             "..\\..\\box\\sentinel.txt",
                             "c:\\windows\\sentinel.txt",
                             "\\sentinel.txt",
                             "con",
                             "nul.txt"};
         WriteMedium(medium, title, {{"readme.txt", "read me"}, {"other.txt", "no"}}, nullptr);
       },
       {},
       ExitOk,
       "",
       {"install.dat", "readme.txt"}},

      // Hostile names in the medium's InstalledFiles are carried into the
      // record; the uninstallation refuses them.
      {"installed files naming places outside",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.PlainFiles = {"readme.txt"};
         title.InstalledFiles = {"..\\sentinel.txt",
                                 "..\\..\\sentinel.txt",
                                 hostSentinel,
                                 "C:\\windows\\sentinel.txt",
                                 "\\sentinel.txt",
                                 Sjis("表") + "..\\..\\sentinel.txt",
                                 "nul"};
         WriteMedium(medium, title, {{"readme.txt", "read me"}}, nullptr);
       },
       {},
       ExitOk,
       "",
       {"install.dat", "readme.txt"}},

      // Absurd counts and lengths in install.dat.
      {"install.dat with a PlainFiles count of 2^31 - 1",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.PlainFiles = {"zzzz"};
         WriteHost(medium / "install.dat",
                   PatchInt32(SettingsBytes(title, scratch), "zzzz", 8, 0x7FFFFFFF));
       },
       {},
       ExitDamaged,
       "install.dat",
       {}},
      {"install.dat with an InstalledFiles count of 2^30",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.InstalledFiles = {"yyyy"};
         WriteHost(medium / "install.dat",
                   PatchInt32(SettingsBytes(title, scratch), "yyyy", 8, 0x40000000));
       },
       {},
       ExitDamaged,
       "install.dat",
       {}},
      {"install.dat with a string of 2^31 - 16 bytes",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.ProgramFile = "program.exe";
         WriteHost(medium / "install.dat",
                   PatchInt32(SettingsBytes(title, scratch), "program.exe", 4, 0x7FFFFFF0));
       },
       {},
       ExitDamaged,
       "install.dat",
       {}},
      // Absurd counts, lengths and offsets in the archive's directory.
      {"archive with an entry count of 2^31 - 1",
       crafted("data", withCount(0x7FFFFFFF)),
       {"--parts", "data"},
       ExitDamaged,
       "game.",
       {}},
      {"archive with a negative entry count",
       crafted("data", withCount(0x80000000)),
       {"--parts", "data"},
       ExitDamaged,
       "game.",
       {}},
      {"archive with a name of 2^31 - 1 bytes",
       crafted("data", withNameLength(0x7FFFFFFF)),
       {"--parts", "data"},
       ExitDamaged,
       "game.",
       {}},
      {"archive whose entry lies a terabyte past its end",
       crafted("datadata", archive::EncodeDirectory(farEntry)),
       {"--parts", "data"},
       ExitDamaged,
       "game.",
       {}},

      // A volume chain with a gap: game.001 is missing, the entry lies in
      // game.002.
      {"volume chain with a gap",
       [&](const fs::path& medium) {
         WriteMedium(medium, SmallTitle(), {}, nullptr);
         WriteHole(medium / "game.dat", VolumeSize);
         WriteHost(medium / "game.002", "data");
         WriteHost(medium / "game.ext", archive::EncodeDirectory(gapEntry));
       },
       {"--parts", "data"},
       ExitDamaged,
       "game.",
       {}},

      // Files that are no files.
      {"install.dat that is a folder",
       [&](const fs::path& medium) { fs::create_directories(medium / "install.dat"); },
       {},
       4,
       "install.dat",
       {}},
      {"install.dat that is a named pipe",
       [&](const fs::path& medium) {
         fs::create_directories(medium);
         ASSERT_EQ(::mkfifo((medium / "install.dat").c_str(), 0600), 0);
       },
       {},
       4,
       "install.dat",
       {}},
      {"game.dat that is a named pipe",
       [&](const fs::path& medium) {
         WriteMedium(medium, SmallTitle(), {}, nullptr);
         ASSERT_EQ(::mkfifo((medium / "game.dat").c_str(), 0600), 0);
       },
       {"--parts", "data"},
       4,
       "game.dat",
       {}},
      {"a loose file that is a link to nowhere",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.PlainFiles = {"gone.txt"};
         WriteMedium(medium, title, {{"a.txt", "a"}}, nullptr);
         fs::create_symlink(Root / "nowhere", medium / "gone.txt");
       },
       {},
       1,
       "ファイルをコピーできませんでした",
       {}},

      // A separate entry whose 300 KB inflate to 300 MiB: streamed into its
      // file and checked on the way, so it installs whole without being
      // held in memory, and goes again with the uninstallation.
      {"separate entry inflating to 300 MiB",
       [&](const fs::path& medium) {
         settings::TMoraInstallSet title = SmallTitle();
         title.FilesInArchive = 1;
         WriteHole(Root / "zeros.bin", std::int64_t{300} << 20);
         archive::TArchiveEntryOptions options = Entry(false, true);
         options.CompressionLevel = 1;
         archive::TVrArchiveWriter archive;
         archive.AddFile("zeros.bin", Win(Root / "zeros.bin"), options);
         WriteMedium(medium, title, {}, &archive);
         fs::remove(Root / "zeros.bin");
       },
       {},
       ExitOk,
       "",
       {"install.dat", "zeros.bin"}},
  };

  int n = 0;
  for (const THostileCase& c : cases) {
    SCOPED_TRACE(c.Case);
    const fs::path medium = Root / ("medium" + std::to_string(++n));
    c.Make(medium);
    fs::remove_all(Dest);
    const auto before = OutsideState();
    const TMoraRun run = RunBounded(Install(medium, c.Options));
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Err;
    if (!c.Message.empty()) {
      EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    }
    EXPECT_EQ(FilesBelow(Dest), c.Files);
    EXPECT_EQ(OutsideState(), before);
    if (c.ExitCode == ExitOk) {
      // What was installed goes again, and only that.
      const TMoraRun removal = RunBounded(Uninstall());
      EXPECT_EQ(removal.ExitCode, ExitOk) << removal.Err;
      EXPECT_FALSE(fs::exists(Dest));
      EXPECT_EQ(OutsideState(), before);
    }
  }
}

TEST_F(SandboxTest, AnInstallationRecordNamingPlacesOutsideDeletesNothingThere) {
  const fs::path medium = Root / "medium";
  settings::TMoraInstallSet title = SmallTitle();
  title.PlainFiles = {"readme.txt", "sub\\a.txt"};
  WriteMedium(medium, title, {{"readme.txt", "read me"}, {"sub/a.txt", "a"}}, nullptr);
  ASSERT_EQ(RunBounded(Install(medium)).ExitCode, ExitOk);

  // Links inside the installation folder to a folder and a file outside.
  fs::create_directory_symlink(Outside, Dest / "link");
  fs::create_symlink(Outside / "sentinel.txt", Dest / "filelink");
  fs::create_directory_symlink(Outside, Dest / "sub" / "deeper");
  settings::TMoraInstallSet record;
  record.LoadFromFile(Win(Dest / "install.dat"));
  const std::vector<std::string> outside = {
      "..\\sentinel.txt",
      "..\\..\\sentinel.txt",
      "sub\\..\\..\\sentinel.txt",
      "../sentinel.txt",
      Win(Box / "sentinel.txt"),
      "C:\\windows\\sentinel.txt",
      "\\sentinel.txt",
      Sjis("表") + "..\\..\\sentinel.txt",
      "link\\sentinel.txt",
      "LINK\\sentinel.txt",
      "sub\\deeper\\sentinel.txt",
      "nul",
  };
  // The names go in front of the record, so that they are tried while the
  // installation is still whole; the link to a file is a name of the
  // installation itself (deleting it leaves its target alone).
  std::vector<std::string> names = outside;
  names.push_back("filelink");
  names.insert(names.end(), record.InstalledFiles.begin(), record.InstalledFiles.end());
  record.InstalledFiles = names;
  record.SaveToFile(Win(Dest / "install.dat"));

  const auto before = OutsideState();
  const TMoraRun dry = RunBounded({"uninstall", Dest.string(), "--dry-run", "--json"});
  ASSERT_EQ(dry.ExitCode, ExitOk) << dry.Err;
  const TMoraRun run = RunBounded({"uninstall", Dest.string(), "--yes", "--json"});
  EXPECT_EQ(run.ExitCode, ExitOk) << run.Err;
  EXPECT_NE(run.Err.find("インストール先の外を指すファイル名は削除しませんでした"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(OutsideState(), before);
  EXPECT_TRUE(fs::exists(Outside / "sentinel.txt"));

  // Every refused name is reported as kept for that reason, in the dry run
  // as in the real one.
  const nlohmann::json out = ParseJson(run);
  std::vector<std::string> refused;
  for (const auto& item : out["kept"]) {
    if (item["reason"] == "outside the installation folder") refused.push_back(item["name"]);
  }
  std::vector<std::string> expected;
  for (const std::string& name : outside) expected.push_back(Utf8(name));
  EXPECT_EQ(refused, expected);
  EXPECT_EQ(ParseJson(dry)["kept"], out["kept"]);
  // The installation's own files are gone; the two folder links stay (they
  // hold something), the file link went.
  EXPECT_FALSE(fs::exists(Dest / "readme.txt"));
  EXPECT_FALSE(fs::exists(Dest / "install.dat"));
  EXPECT_FALSE(fs::is_symlink(Dest / "filelink"));
  EXPECT_TRUE(fs::is_symlink(Dest / "link"));
  EXPECT_TRUE(fs::is_symlink(Dest / "sub" / "deeper"));
}

}  // namespace
}  // namespace mora::e2e
