// The mora subcommands list, extract and test run as a real process on
// archives made by the archive writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "archive/vrwriter.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "test_support.h"

#ifndef _WIN32
#include "mora_process.h"

#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

namespace mora::archive {
namespace {

using test::TTempFolder;
using TRun = mora::test::TMoraRun;

TRun RunMora(const std::string& arguments, const std::string& shellPrefix = {}) {
  return mora::test::RunProgram(MORA_EXE, arguments, shellPrefix);
}

std::string Native(const std::string& path) { return mora::test::NativeArgument(path); }

const std::string SjisName = "data\\\x83\x41\x83\x43.bin";  // data\アイ.bin

TVrArchiveWriter SampleWriter() {
  TVrArchiveWriter writer;
  TArchiveEntryOptions options;
  options.FileTime = static_cast<std::int32_t>(0xBA214C00u);  // negative as int32
  writer.AddBytes(SjisName, std::string(5000, 'z'), options);
  options.Stored = true;
  options.FileTime = 0x3A214C00;
  writer.AddBytes("readme.txt", "read me", options);
  options.Stored = false;
  options.InstallAsFile = true;
  writer.AddBytes("install.dat", "settings record", options);
  return writer;
}

TEST(MoraArchiveCommands, ListPrintsEveryEntryAsJson) {
  TTempFolder folder;
  SampleWriter().WriteWithCompanion(folder / "game.dat");
  const TRun run = RunMora("list --json " + Native(folder / "game.dat"));
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  const auto list = nlohmann::json::parse(run.Output);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]["Name"], "data\\\xE3\x82\xA2\xE3\x82\xA4.bin");  // UTF-8
  EXPECT_EQ(list[0]["Offset"], 0);
  EXPECT_EQ(list[0]["Stored"], false);
  EXPECT_EQ(list[0]["FileTime"], static_cast<std::int32_t>(0xBA214C00u));
  EXPECT_EQ(list[1]["Stored"], true);
  EXPECT_EQ(list[1]["Size"], 7);
  // CRC-32 of "read me" as an unsigned number.
  EXPECT_EQ(list[1]["CRC"].get<std::uint64_t>(), 0x7B7278E1u);
  EXPECT_EQ(list[2]["InstallAsFile"], true);
  EXPECT_EQ(list[2]["CRC"].get<std::uint64_t>(), 0x8EAC1F21u);
  for (const auto& entry : list) {
    EXPECT_EQ(entry.size(), 7u);
    EXPECT_TRUE(entry["CRC"].is_number_unsigned());
  }
}

TEST(MoraArchiveCommands, ListReadsASetupProgramsAppendedArchive) {
  // A Windows setup program and a native one.
  for (const std::string& header : {std::string("MZ"), std::string("\x7F"
                                                                   "ELF")}) {
    TTempFolder folder;
    test::WriteFile(folder / "setup.exe", header + std::string(300, '\x90'));
    SampleWriter().AppendTo(folder / "setup.exe");
    const TRun run = RunMora("list " + Native(folder / "setup.exe"));
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("readme.txt"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("3 entries"), std::string::npos) << run.Output;
  }
}

TEST(MoraArchiveCommands, AMediumFolderIsReadThroughItsGameDat) {
  TTempFolder folder;
  SampleWriter().WriteSeparate(folder / "game.dat");
  const TRun run = RunMora("list " + Native(folder.Path()));
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find("3 entries"), std::string::npos) << run.Output;

  // Without an archive: neither the folder nor a setup program in it has one.
  TTempFolder empty;
  test::WriteFile(empty / "setup.exe", "MZ no archive");
  for (const std::string& path : {empty.Path(), empty / "setup.exe"}) {
    const TRun missing = RunMora("test " + Native(path));
    EXPECT_EQ(missing.ExitCode, 4) << missing.Output;
    EXPECT_NE(missing.Output.find("game.dat"), std::string::npos) << missing.Output;
  }
}

TEST(MoraArchiveCommands, AGameDatEndingLikeATrailerIsReadFromItsStart) {
  // The last stored entry ends in the int32 0 and "mr", which would name a
  // directory at position 0 if the file were taken as an executable.
  TTempFolder folder;
  TVrArchiveWriter writer;
  TArchiveEntryOptions stored;
  stored.Stored = true;
  writer.AddBytes("a.txt", "alpha", stored);
  writer.AddBytes("tail.bin", std::string("xyz\0\0\0\0mr", 9), stored);
  writer.WriteSeparate(folder / "game.dat");
  const TRun run = RunMora("list " + Native(folder / "game.dat"));
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find("2 entries"), std::string::npos) << run.Output;
}

TEST(MoraArchiveCommands, ExtractWritesInflatedEntriesIntoFolders) {
  TTempFolder folder;
  SampleWriter().WriteSeparate(folder / "game.dat");
  const TRun all =
      RunMora("extract " + Native(folder / "game.dat") + " -o " + Native(folder / "out"));
  ASSERT_EQ(all.ExitCode, 0) << all.Output;
  EXPECT_EQ(test::ReadFile(folder / ("out\\" + SjisName)), std::string(5000, 'z'));
  EXPECT_EQ(test::ReadFile(folder / "out\\install.dat"), "settings record");
  EXPECT_EQ(platform::GetFileDosTime(folder / "out\\readme.txt"), 0x3A214C00);

  const TRun one = RunMora("extract " + Native(folder / "game.dat") + " -o " +
                           Native(folder / "one") + " README.TXT");
  ASSERT_EQ(one.ExitCode, 0) << one.Output;
  EXPECT_EQ(test::ReadFile(folder / "one\\readme.txt"), "read me");
  EXPECT_FALSE(platform::FileExists(folder / "one\\install.dat"));

  const TRun missing = RunMora("extract " + Native(folder / "game.dat") + " -o " +
                               Native(folder / "two") + " nothere.txt");
  EXPECT_EQ(missing.ExitCode, 4) << missing.Output;
}

TEST(MoraArchiveCommands, ExtractRefusesNamesThatEscapeTheFolder) {
  TTempFolder folder;
  for (const char* name : {"..\\evil.txt", "\\evil.txt", "C:\\evil.txt", "a\\..\\..\\evil.txt"}) {
    TVrArchiveWriter writer;
    writer.AddBytes("good.txt", "good");
    writer.AddBytes(name, "evil");
    writer.WriteSeparate(folder / "game.dat");
    const TRun run =
        RunMora("extract " + Native(folder / "game.dat") + " -o " + Native(folder / "inner\\out"));
    EXPECT_EQ(run.ExitCode, 1) << name << ": " << run.Output;
    EXPECT_NE(run.Output.find("outside"), std::string::npos) << run.Output;
    EXPECT_FALSE(platform::FileExists(folder / "inner\\evil.txt"));
    EXPECT_FALSE(platform::FileExists(folder / "inner\\out\\good.txt"));
  }
}

TEST(MoraArchiveCommands, TestAcceptsSoundArchivesAndNamesTheFirstBadEntry) {
  TTempFolder folder;
  SampleWriter().WriteSeparate(folder / "game.dat");
  const TRun sound = RunMora("test " + Native(folder / "game.dat"));
  EXPECT_EQ(sound.ExitCode, 0) << sound.Output;

  // Damage the stored entry readme.txt ("read me" lies in the file once).
  std::string bytes = test::ReadFile(folder / "game.dat");
  const std::size_t at = bytes.find("read me");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'R';
  test::WriteFile(folder / "game.dat", bytes);
  const TRun damaged = RunMora("test " + Native(folder / "game.dat"));
  EXPECT_EQ(damaged.ExitCode, 3) << damaged.Output;
  EXPECT_NE(damaged.Output.find("readme.txt"), std::string::npos) << damaged.Output;

  // A compressed entry without check value whose zlib data are damaged.
  TVrArchiveWriter writer(100);
  writer.AddBytes("packed.bin", std::string(3000, 'p'));
  writer.WriteSeparate(folder / "old.dat");
  bytes = test::ReadFile(folder / "old.dat");
  bytes[bytes.size() - 2] ^= 0x55;  // inside the Adler-32 trailer
  test::WriteFile(folder / "old.dat", bytes);
  const TRun broken = RunMora("test " + Native(folder / "old.dat"));
  EXPECT_EQ(broken.ExitCode, 3) << broken.Output;
  EXPECT_NE(broken.Output.find("packed.bin"), std::string::npos) << broken.Output;

  const TRun none = RunMora("test " + Native(folder / "none.dat"));
  EXPECT_EQ(none.ExitCode, 4) << none.Output;
  test::WriteFile(folder / "junk.dat", test::Int32Bytes(-5) + "junk");
  const TRun junk = RunMora("list " + Native(folder / "junk.dat"));
  EXPECT_EQ(junk.ExitCode, 3) << junk.Output;
}

// Entries chosen by --include globs (repeatable, UTF-8 patterns against
// Shift-JIS names, case ignored), named in lower case by --lowercase, the
// same choice in list and extract.
TEST(MoraArchiveCommands, IncludeAndLowercaseChooseAndNameEntries) {
  TTempFolder folder;
  TVrArchiveWriter writer;
  writer.AddBytes("Data\\Script.TXT", "script");
  writer.AddBytes(SjisName, "japanese");  // data\アイ.bin
  writer.AddBytes("data\\sub\\deep.bin", "deep");
  writer.AddBytes("BGM.ogg", "music");
  writer.WriteSeparate(folder / "game.dat");
  const std::string game = Native(folder / "game.dat");

  struct TCase {
    std::string Options;
    std::vector<std::string> Names;  // as list shows them, in archive order
  };
  const TCase cases[] = {
      {"", {"Data\\Script.TXT", "data\\アイ.bin", "data\\sub\\deep.bin", "BGM.ogg"}},
      {"--include 'data/*'", {"Data\\Script.TXT", "data\\アイ.bin"}},
      {"--include 'data\\**'", {"Data\\Script.TXT", "data\\アイ.bin", "data\\sub\\deep.bin"}},
      {"--include '*.ogg' --include '*/*.txt'", {"Data\\Script.TXT", "BGM.ogg"}},
      {"--include '*\\ア?.bin'", {"data\\アイ.bin"}},
      {"--include '*.[bo]?[ng]'", {"BGM.ogg"}},
      {"--include '**.[bo]?[ng]' --lowercase",
       {"data\\アイ.bin", "data\\sub\\deep.bin", "bgm.ogg"}},
      {"--include 'nothing'", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Options);
    const TRun list = RunMora("list --json " + c.Options + " " + game);
    ASSERT_EQ(list.ExitCode, 0) << list.Output;
    std::vector<std::string> listed;
    for (const auto& entry : nlohmann::json::parse(list.Output))
      listed.push_back(entry["Name"].get<std::string>());
    EXPECT_EQ(listed, c.Names);

    // extract writes exactly those, under those names.
    const std::string out = folder / "out\\";
    platform::ForceDirectories(out);
    const TRun extract = RunMora("extract " + c.Options + " " + game + " -o " + Native(out));
    ASSERT_EQ(extract.ExitCode, 0) << extract.Output;
    for (const std::string& name : c.Names) {
      EXPECT_TRUE(platform::FileExists(out + base::Utf8ToCp932(name))) << name;
    }
    std::vector<std::string> written;
    std::function<void(const std::string&, const std::string&)> walk =
        [&](const std::string& path, const std::string& prefix) {
          for (const auto& found : platform::FindFiles(path)) {
            if ((found.Attributes & platform::faDirectory) != 0) {
              walk(path + found.Name + "\\", prefix + found.Name + "\\");
            } else {
              written.push_back(prefix + found.Name);
            }
          }
        };
    walk(out, "");
    EXPECT_EQ(written.size(), c.Names.size());
    std::filesystem::remove_all(platform::PathToNative(out));
  }
  // On a case-sensitive file system the names are exactly these bytes.
  const std::string out = folder / "lower\\";
  ASSERT_EQ(RunMora("extract --lowercase " + game + " -o " + Native(out)).ExitCode, 0);
  EXPECT_EQ(test::ReadFile(out + "data\\script.txt"), "script");
  EXPECT_FALSE(platform::FileExists(out + "Data\\Script.TXT"));

  // A pattern that code page 932 cannot hold is a usage error.
  const TRun bad = RunMora("list --include '\xF0\x9F\x98\x80' " + game);
  EXPECT_EQ(bad.ExitCode, 2) << bad.Output;
}

// Entries that would land on one file (names alike but for case, or for "/"
// against "\"), or where one needs a folder of another's name, are refused
// before anything is written, naming both; the same everywhere, whatever
// the file system's view of case.
TEST(MoraArchiveCommands, ExtractRefusesEntriesThatWouldLandOnOneFile) {
  struct TCase {
    const char* What;
    std::vector<std::string> Names;
    std::string Options;
    const char* Says;
  };
  const TCase cases[] = {
      {"case", {"keep.txt", "Readme.txt", "README.TXT"}, "", "same file"},
      {"separator", {"keep.txt", "a\\b.txt", "a/B.txt"}, "", "same file"},
      {"file and folder", {"keep.txt", "Data", "data\\x.bin"}, "", "as a file and as a folder"},
      {"folder and file", {"keep.txt", "data\\x.bin", "DATA"}, "", "as a file and as a folder"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TTempFolder folder;
    TVrArchiveWriter writer;
    for (const std::string& name : c.Names) writer.AddBytes(name, "bytes of " + name);
    writer.WriteSeparate(folder / "game.dat");
    const TRun run = RunMora("extract " + c.Options + " " + Native(folder / "game.dat") + " -o " +
                             Native(folder / "out"));
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_NE(run.Output.find(c.Says), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("\"" + c.Names[1] + "\""), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("\"" + c.Names[2] + "\""), std::string::npos) << run.Output;
    EXPECT_FALSE(platform::FileExists(folder / "out\\keep.txt"));

    // Taken one at a time, each is there.
    const TRun one = RunMora("extract --include keep.txt " + Native(folder / "game.dat") + " -o " +
                             Native(folder / "out"));
    EXPECT_EQ(one.ExitCode, 0) << one.Output;
    EXPECT_EQ(test::ReadFile(folder / "out\\keep.txt"), "bytes of keep.txt");
  }
}

// Every command reports a failure class with the same exit code: an
// install.dat whose DiskCount is negative is damaged data (3) for settings,
// info and install alike; a missing input is 4, a folder given for a file 4.
TEST(MoraArchiveCommands, CommandsShareOneTableOfExitCodes) {
  TTempFolder folder;
  // Format 107 up to DiskCount: mark, version, DiskIndex, four empty
  // strings, ShowReadme, an empty BackgroundPicture, BackgroundLayout, then
  // DiskCount -1.
  std::string bytes = "is107" + test::Int32Bytes(0);
  for (int i = 0; i < 4; ++i) bytes += test::Int32Bytes(0);
  bytes += std::string(1, '\0') + test::Int32Bytes(0) + std::string(1, '\0') +
           test::Int32Bytes(-1) + std::string(64, '\0');
  platform::ForceDirectories(folder / "medium");
  test::WriteFile(folder / "medium\\install.dat", bytes);
  struct TCase {
    std::string Arguments;
    int ExitCode;
    const char* Says;
  };
  const TCase cases[] = {
      {"settings " + Native(folder / "medium\\install.dat"), 3, "DiskCount"},
      {"info " + Native(folder / "medium"), 3, "DiskCount"},
      {"install --dry-run " + Native(folder / "medium"), 3, "DiskCount"},
      {"settings " + Native(folder / "none.dat"), 4, "no such file"},
      {"settings " + Native(folder / "medium"), 4, "is a folder"},
      {"info " + Native(folder / "none"), 4, "no such file or folder"},
      {"list " + Native(folder / "none"), 4, "no such file or folder"},
      {"picture " + Native(folder / "medium") + " --seed 1 -o x.png", 4, "is a folder"},
      {"list --bogus " + Native(folder / "medium"), 2, "bogus"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Arguments);
    const TRun run = RunMora(c.Arguments);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Output;
    EXPECT_NE(run.Output.find(c.Says), std::string::npos) << run.Output;
  }
}

// A zlib stream of count zero bytes, deflated piece by piece: about a
// thousandth of count, the most deflate can squeeze.
std::string DeflateZeros(std::uint64_t count) {
  z_stream z{};
  if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK) return {};
  const std::string zeros(1 << 20, '\0');
  std::string out;
  char buffer[1 << 16];
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (z.avail_in == 0 && count > 0) {
      const auto n = static_cast<uInt>(std::min<std::uint64_t>(count, zeros.size()));
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
      z.avail_in = n;
      count -= n;
    }
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    status = deflate(&z, count == 0 && z.avail_in == 0 ? Z_FINISH : Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  }
  deflateEnd(&z);
  return out;
}

// game.dat with its companion directory: one compressed entry "zeros.bin"
// that inflates to size zero bytes, optionally with its end cut off.
void WriteInflationBomb(const std::string& fileName, std::uint64_t size, bool cutShort) {
  std::string data = DeflateZeros(size);
  if (cutShort) data.resize(data.size() - 8);
  TDirectory directory;
  directory.Entries = {{"zeros.bin", 0, 0, 0, BytesCRC32(data), 0}};
  directory.EndOffset = static_cast<std::int64_t>(data.size());
  test::WriteFile(fileName, data);
  test::WriteFile(CompanionFileName(fileName), EncodeDirectory(directory));
}

// The largest resident size of any child process waited for so far, in KiB.
long PeakChildResidentKib() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

TEST(MoraArchiveCommands, EntriesThatInflateHugelyAreTestedAndExtractedInFlatMemory) {
  TTempFolder folder;
  constexpr std::uint64_t Size = std::uint64_t{256} << 20;
  WriteInflationBomb(folder / "game.dat", Size, false);
  ASSERT_LT(platform::GetFileSize(folder / "game.dat").value_or(0), 512 * 1024);
  const TRun test = RunMora("test " + Native(folder / "game.dat"));
  EXPECT_EQ(test.ExitCode, 0) << test.Output;
  const TRun extract =
      RunMora("extract " + Native(folder / "game.dat") + " -o " + Native(folder / "out"));
  EXPECT_EQ(extract.ExitCode, 0) << extract.Output;
  EXPECT_EQ(platform::GetFileSize(folder / "out\\zeros.bin"), static_cast<std::int64_t>(Size));
  // Holding the entry would take 256 MiB at least; streaming takes a few
  // buffers of a megabyte (the sanitizer build adds its own tens).
  EXPECT_LT(PeakChildResidentKib(), 128 * 1024);
}

TEST(MoraArchiveCommands, AnEntryCutShortLeavesNoFileBehind) {
  TTempFolder folder;
  WriteInflationBomb(folder / "game.dat", std::uint64_t{16} << 20, true);
  const TRun test = RunMora("test " + Native(folder / "game.dat"));
  EXPECT_EQ(test.ExitCode, 3) << test.Output;
  EXPECT_NE(test.Output.find("zeros.bin: damaged zlib data"), std::string::npos) << test.Output;

  platform::ForceDirectories(folder / "out");
  test::WriteFile(folder / "out\\keep.txt", "kept");
  const TRun extract =
      RunMora("extract " + Native(folder / "game.dat") + " -o " + Native(folder / "out"));
  EXPECT_EQ(extract.ExitCode, 3) << extract.Output;
  std::vector<std::string> left;
  for (const auto& found : platform::FindFiles(folder / "out\\")) left.push_back(found.Name);
  EXPECT_EQ(left, std::vector<std::string>{"keep.txt"});
}

TEST(MoraArchiveCommands, AnExtractionThatRunsOutOfSpaceLeavesNoFileBehind) {
  TTempFolder folder;
  WriteInflationBomb(folder / "game.dat", std::uint64_t{8} << 20, false);
  // A file-size limit of a megabyte or two makes writes fail as on a full
  // disk; the signal it would raise is ignored, so the write reports it.
  const TRun extract =
      RunMora("extract " + Native(folder / "game.dat") + " -o " + Native(folder / "out"),
              "trap '' XFSZ; ulimit -f 2048; ");
  // A failed write is no damaged data: "any other failure".
  EXPECT_EQ(extract.ExitCode, 1) << extract.Output;
  EXPECT_TRUE(platform::FindFiles(folder / "out\\").empty());
}

}  // namespace
}  // namespace mora::archive
#endif
