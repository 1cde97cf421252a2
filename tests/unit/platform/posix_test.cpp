// What only the POSIX layer has: the state root under MORA_HOME, the drive
// mapping, lock-file names, deletion at restart keyed by the boot id, the
// registry's JSON file, stored attributes, native modules and spawning.
// Installs a test environment that gives the whole test program its own
// MORA_HOME, so no test touches the user's real state.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "elf_image.h"
#include "pe_image.h"
#include "platform/filehandle.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "platform/posix/state.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "support.h"

namespace mora::platform {
namespace {

using base::Sjis;

std::vector<std::string>& HostTempFolders() {
  static std::vector<std::string> folders;
  return folders;
}

std::string MakeHostTempFolder() {
  char pattern[] = "/tmp/mora-posix-test-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  if (!made) return std::string();
  HostTempFolders().push_back(made);
  return made;
}

class TMoraHomeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string home = MakeHostTempFolder();
    ASSERT_FALSE(home.empty());
    ::setenv("MORA_HOME", home.c_str(), 1);
    ::unsetenv("MORA_PREFIX");
    ::unsetenv("MORA_BOOT_ID");
  }
  void TearDown() override {
    for (const auto& folder : HostTempFolders()) {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  }
};

[[maybe_unused]] ::testing::Environment* const MoraHome =
    ::testing::AddGlobalTestEnvironment(new TMoraHomeEnvironment);

bool HostExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void WriteHost(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs a test in a world of its own, restoring the program's MORA_HOME after.
class PosixWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    FSavedHome = std::getenv("MORA_HOME");
    FHome = MakeHostTempFolder();
    ASSERT_FALSE(FHome.empty());
    ::setenv("MORA_HOME", FHome.c_str(), 1);
  }
  void TearDown() override {
    ::setenv("MORA_HOME", FSavedHome.c_str(), 1);
    ::unsetenv("MORA_BOOT_ID");
  }
  std::string FSavedHome;
  std::string FHome;
};

using PosixDrives = PosixWorld;

TEST_F(PosixDrives, DriveLettersMapOntoThePrefixAndTheRoot) {
  EXPECT_EQ(PathToNative("C:\\Games\\title"), FHome + "/prefix/drive_c/Games/title");
  EXPECT_EQ(PathToNative("c:/Games/./x/../title"), FHome + "/prefix/drive_c/Games/title");
  EXPECT_EQ(PathToNative("Z:\\etc\\hosts"), "/etc/hosts");
  EXPECT_EQ(PathToNative(Sjis("C:\\ゲーム\\表")), FHome + "/prefix/drive_c/ゲーム/表");
  // ".." stops at the drive's root instead of leaving the prefix.
  EXPECT_EQ(PathToNative("C:\\..\\..\\etc"), FHome + "/prefix/drive_c/etc");
  EXPECT_TRUE(HostExists(FHome + "/prefix/drive_c/windows"));
  EXPECT_TRUE(DirectoryExists(WindowsFolder()));
  EXPECT_TRUE(DirectoryExists(ProgramFilesFolder()));
}

TEST_F(PosixDrives, NativePathsEnterAsDrivePaths) {
  EXPECT_EQ(PathFromNative("/etc/hosts"), "Z:\\etc\\hosts");
  EXPECT_EQ(PathFromNative("/"), "Z:\\");
  EXPECT_EQ(PathFromNative(FHome + "/prefix/drive_c/Games/"), "C:\\Games\\");
  EXPECT_EQ(PathFromNative(FHome + "/prefix/drive_c"), "C:\\");
  EXPECT_EQ(PathFromNative("/srv/ゲーム"), Sjis("Z:\\srv\\ゲーム"));
  // Windows-style arguments are drive paths already.
  EXPECT_EQ(PathFromNative("C:\\medium\\"), "C:\\medium\\");
  EXPECT_EQ(PathFromNative("\\setup\\x"), "\\setup\\x");
  // Relative ones resolve against the current folder.
  const std::string current = CurrentFolder();
  EXPECT_EQ(PathFromNative("sub/file"), current + (current.size() > 3 ? "\\" : "") + "sub\\file");
  // A name without a Shift-JIS form cannot become a drive path.
  EXPECT_THROW(PathFromNative("/tmp/\xF0\x9F\x98\x80"), base::EInvalidPath);
}

TEST_F(PosixDrives, OtherLettersFollowTheirDosDeviceLinks) {
  const std::string target = MakeHostTempFolder();
  WriteHost(target + "/file.txt", "on d");
  ASSERT_TRUE(posix::MakeHostFolders(FHome + "/prefix/dosdevices"));
  ASSERT_EQ(::symlink(target.c_str(), (FHome + "/prefix/dosdevices/d:").c_str()), 0);
  EXPECT_EQ(ReadFileBytes("D:\\file.txt"), "on d");
  EXPECT_GT(DiskFreeBytes("D:\\"), 0);
  EXPECT_FALSE(FileExists("Q:\\file.txt"));
  EXPECT_EQ(DiskFreeBytes("Q:\\"), -1);
}

TEST_F(PosixDrives, UnrepresentablePathsAnswerFalseOrThrow) {
  const std::string bad = "C:\\a\x85\x40";  // row 0x85 holds no characters
  const std::string longName = "C:\\" + std::string(300, 'n');
  for (const std::string& path :
       {bad, longName, std::string("C:\\a?b"), std::string("\\\\srv\\x")}) {
    EXPECT_THROW(PathToNative(path), base::EInvalidPath) << path;
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(ForceDirectories(path));
    EXPECT_EQ(GetFileAttributes(path), InvalidFileAttributes);
    EXPECT_THROW(ReadFileBytes(path), base::EFOpenError);
    EXPECT_THROW(WriteFileAtomic(path, "x"), base::EFCreateError);
  }
  // A name as long as the host allows is written whole (the temporary file
  // beside it must not need a longer one).
  const std::string longest = test::FreshFolder() + std::string(NAME_MAX, 'n');
  WriteFileAtomic(longest, "longest");
  EXPECT_EQ(ReadFileBytes(longest), "longest");
  // Host names without a Shift-JIS form are skipped by the enumeration.
  const std::string folder = test::FreshFolder();
  WriteHost(PathToNative(folder) + "/\xF0\x9F\x98\x80.txt", "emoji");
  WriteHost(PathToNative(folder) + "/plain.txt", "plain");
  const auto entries = FindFiles(folder);
  ::unlink((PathToNative(folder) + "/\xF0\x9F\x98\x80.txt").c_str());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "plain.txt");
}

TEST_F(PosixDrives, LinksAreReportedWithWhatTheyPointTo) {
  const std::string folder = test::FreshFolder();
  const std::string host = PathToNative(folder);
  WriteHost(host + "/file.txt", "12345");
  ASSERT_EQ(::mkdir((host + "/sub").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("file.txt", (host + "/to-file").c_str()), 0);
  ASSERT_EQ(::symlink("sub", (host + "/to-folder").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (host + "/dangling").c_str()), 0);
  std::map<std::string, TFindData> found;
  for (const auto& entry : FindFiles(folder)) found[entry.Name] = entry;
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found["file.txt"].Attributes, faArchive);
  EXPECT_EQ(found["sub"].Attributes, faDirectory);
  EXPECT_EQ(found["to-file"].Attributes, faArchive | faReparsePoint);
  EXPECT_EQ(found["to-file"].Size, 5);
  EXPECT_EQ(found["to-folder"].Attributes, faDirectory | faReparsePoint);
  EXPECT_EQ(found["dangling"].Attributes, faArchive | faReparsePoint);
  EXPECT_EQ(found["dangling"].Size, 0);
}

TEST_F(PosixDrives, CommandLineArgumentsBecomeDrivePaths) {
  std::string a0 = "mora", a1 = "C:\\medium\\", a2 = "/srv/x", a3 = "--flag";
  char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data()};
  SetCommandLineArguments(4, argv);
  EXPECT_EQ(CommandLineArguments(),
            (std::vector<std::string>{"C:\\medium\\", "Z:\\srv\\x", "--flag"}));
  SetCommandLineArguments(1, argv);
  EXPECT_TRUE(CommandLineArguments().empty());
  EXPECT_EQ(ModuleFileName().substr(0, 3), "Z:\\");
}

using PosixState = PosixWorld;

TEST_F(PosixState, MoraHomeIsolatesRegistryFilesAndLocks) {
  RegWriteString(TRootKey::CurrentUser, "Software\\Iso", "v", "first world");
  WriteFileAtomic("C:\\here.txt", "first");
  auto mutex = TNamedMutex::Create("IsolatedTitle");
  ASSERT_NE(mutex, nullptr);
  EXPECT_TRUE(HostExists(FHome + "/registry.json"));
  EXPECT_TRUE(HostExists(FHome + "/prefix/drive_c/here.txt"));

  const std::string second = MakeHostTempFolder();
  ::setenv("MORA_HOME", second.c_str(), 1);
  EXPECT_FALSE(RegKeyExists(TRootKey::CurrentUser, "Software\\Iso"));
  EXPECT_FALSE(FileExists("C:\\here.txt"));
  EXPECT_FALSE(TNamedMutex::Exists("IsolatedTitle"));

  ::setenv("MORA_HOME", FHome.c_str(), 1);
  EXPECT_EQ(RegQueryValue(TRootKey::CurrentUser, "Software\\Iso", "v")->Data, "first world");
  EXPECT_TRUE(TNamedMutex::Exists("IsolatedTitle"));
}

TEST_F(PosixState, LockNamesStayInsideTheLockFolderAndNeverCollide) {
  for (const std::string name : {"../../escape", "a/b", "a%2Fb", "..", "."}) {
    const std::string encoded = posix::EncodeLockName(name);
    EXPECT_EQ(encoded.find('/'), std::string::npos) << encoded;
    EXPECT_NE(encoded, "..");
  }
  auto slash = TNamedMutex::Create("a/b");
  ASSERT_NE(slash, nullptr);
  EXPECT_TRUE(TNamedMutex::Exists("a/b"));
  EXPECT_FALSE(TNamedMutex::Exists("a%2Fb"));
  EXPECT_FALSE(TNamedMutex::Exists("A/b"));  // names are case-sensitive
  auto escape = TNamedMutex::Create("../../escape");
  ASSERT_NE(escape, nullptr);
  EXPECT_FALSE(HostExists(FHome + "/escape"));
  EXPECT_FALSE(HostExists("/tmp/escape"));

  const std::string longA = std::string(400, 'L') + "a";
  const std::string longB = std::string(400, 'L') + "b";
  EXPECT_LE(posix::EncodeLockName(longA).size(), 255u);
  auto held = TNamedMutex::Create(longA);
  ASSERT_NE(held, nullptr);
  EXPECT_TRUE(TNamedMutex::Exists(longA));
  EXPECT_FALSE(TNamedMutex::Exists(longB));
  auto japanese = TNamedMutex::Create(Sjis("C:-ゲーム-表-"));
  ASSERT_NE(japanese, nullptr);
  EXPECT_TRUE(TNamedMutex::Exists(Sjis("C:-ゲーム-表-")));
}

TEST_F(PosixState, PendingDeletionsWaitForTheNextBoot) {
  WriteFileAtomic("C:\\old.exe", "old");
  WriteFileAtomic("C:\\new.exe", "new");
  ASSERT_TRUE(SetFileAttributes("C:\\old.exe", faReadOnly));
  ::setenv("MORA_BOOT_ID", "boot-one", 1);
  ASSERT_TRUE(DeleteAtRestart("C:\\old.exe"));
  ASSERT_TRUE(DeleteAtRestart("C:\\old.exe"));  // recorded once
  ProcessPendingDeletions();
  EXPECT_TRUE(FileExists("C:\\old.exe"));  // same boot: not yet

  ::setenv("MORA_BOOT_ID", "boot-two", 1);
  ASSERT_TRUE(DeleteAtRestart("C:\\new.exe"));
  ProcessPendingDeletions();
  EXPECT_FALSE(FileExists("C:\\old.exe"));
  EXPECT_TRUE(FileExists("C:\\new.exe"));

  ::setenv("MORA_BOOT_ID", "boot-three", 1);
  ProcessPendingDeletions();
  EXPECT_FALSE(FileExists("C:\\new.exe"));
  const std::string list = *posix::ReadHostFile(FHome + "/pending-deletions.json");
  EXPECT_EQ(list.find("new.exe"), std::string::npos) << list;
}

TEST_F(PosixState, ProfileWithoutAFolderLiesInTheWindowsFolder) {
  ASSERT_TRUE(WriteProfileString("wininit.ini", "rename", "NUL", "C:\\TEMP\\~MINST~1.EXE"));
  EXPECT_EQ(*posix::ReadHostFile(FHome + "/prefix/drive_c/windows/wininit.ini"),
            "[rename]\r\nNUL=C:\\TEMP\\~MINST~1.EXE\r\n");
}

TEST_F(PosixState, DamagedPendingListDeletesNothing) {
  WriteFileAtomic("C:\\keep.exe", "k");
  WriteHost(FHome + "/pending-deletions.json", "{\"format\":1,\"entries\":[{\"boot\":");
  ::setenv("MORA_BOOT_ID", "other", 1);
  ProcessPendingDeletions();
  EXPECT_TRUE(FileExists("C:\\keep.exe"));
  EXPECT_TRUE(DeleteAtRestart("C:\\keep.exe"));
}

TEST_F(PosixState, AtomicWritesSweepTemporariesOfEndedWritersOnly) {
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const std::string folder = FHome + "/prefix/drive_c/";
  const std::string stale = ".mora-" + std::to_string(ended) + "-1.tmp";
  const std::string live = ".mora-" + std::to_string(::getppid()) + "-1.tmp";
  const std::vector<std::string> kept = {live, ".mora-x-1.tmp", ".mora--1.tmp", "mora-1-1.tmp",
                                         ".mora-1-1.txt"};
  ASSERT_TRUE(ForceDirectories("C:\\"));
  WriteHost(folder + stale, "partial");
  for (const auto& name : kept) WriteHost(folder + name, "keep");

  WriteFileAtomic("C:\\record.dat", "whole");
  EXPECT_FALSE(HostExists(folder + stale));
  for (const auto& name : kept) EXPECT_TRUE(HostExists(folder + name)) << name;
  EXPECT_EQ(*posix::ReadHostFile(folder + "record.dat"), "whole");
}

TEST_F(PosixState, DamagedRegistryFileReadsEmptyAndIsKeptAside) {
  WriteHost(FHome + "/registry.json", "{\"HKEY_CURRENT_USER\": {\"keys\": [tr");
  EXPECT_FALSE(RegKeyExists(TRootKey::CurrentUser, "Software"));
  RegWriteString(TRootKey::CurrentUser, "Software\\T", "v", "ok");
  EXPECT_EQ(RegQueryValue(TRootKey::CurrentUser, "Software\\T", "v")->Data, "ok");
  EXPECT_EQ(*posix::ReadHostFile(FHome + "/registry.json.damaged"),
            "{\"HKEY_CURRENT_USER\": {\"keys\": [tr");

  // Valid JSON of the wrong shape counts as damaged too.
  WriteHost(FHome + "/registry.json", "{\"HKEY_CURRENT_USER\": {\"keys\": 5}}");
  EXPECT_FALSE(RegKeyExists(TRootKey::CurrentUser, "Software\\T"));
  WriteHost(FHome + "/registry.json",
            "{\"HKEY_CURRENT_USER\": {\"values\": [{\"name\": \"v\", \"type\": \"REG_SZ\", "
            "\"data\": {\"hex\": \"zz\"}}]}}");
  EXPECT_FALSE(RegQueryValue(TRootKey::CurrentUser, "", "v").has_value());
}

TEST_F(PosixState, RegistryKeepsBytesWithoutAUnicodeFormExactly) {
  // 0x8540 has no character; 0xED40 (an NEC-selected IBM extension) maps to a
  // character whose way back is 0xFA5C, so only the bytes keep it.
  const std::string odd(
      "\x85\x40\xED\x40"
      "a",
      5);
  RegWriteString(TRootKey::CurrentUser, "Software\\Odd", odd, odd);
  const auto value = RegQueryValue(TRootKey::CurrentUser, "Software\\Odd", odd);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->Data, odd);
  RegWriteString(TRootKey::LocalMachine, "Software\\Odd", "v", "machine");
  EXPECT_EQ(RegQueryValue(TRootKey::CurrentUser, "Software\\Odd", "v"), std::nullopt);
  EXPECT_EQ(RegQueryValue(TRootKey::LocalMachine, "Software\\Odd", "v")->Data, "machine");
}

TEST_F(PosixState, HiddenAndSystemBitsAreStoredWithTheFile) {
  const std::string folder = test::FreshFolder();
  WriteFileAtomic(folder + "h.txt", "h");
  EXPECT_EQ(GetFileAttributes(folder + "h.txt"), faArchive);
  ASSERT_TRUE(SetFileAttributes(folder + "h.txt", faHidden | faSysFile));
  EXPECT_EQ(GetFileAttributes(folder + "h.txt"), faHidden | faSysFile);
  ASSERT_TRUE(CopyFile(folder + "h.txt", folder + "c.txt", true));
  EXPECT_EQ(GetFileAttributes(folder + "c.txt"), faHidden | faSysFile);
  ASSERT_TRUE(SetFileAttributes(folder + "h.txt", 0));
  EXPECT_EQ(GetFileAttributes(folder + "h.txt"), faNormal);
  EXPECT_EQ(GetFileAttributes(folder), faDirectory);
}

TEST_F(PosixState, ModulesServeElfSectionAndPeResources) {
  const std::string folder = test::FreshFolder();
  WriteFileAtomic(folder + "native",
                  test::BuildElf(test::ElfRecord("BINTYPE", "DUMMY", "vf-native") +
                                 test::ElfRecord("T", "N", "")));
  auto native = TModule::Load(folder + "native");
  ASSERT_NE(native, nullptr);
  EXPECT_EQ(native->FindResource("dummy", "bintype"), "vf-native");
  EXPECT_EQ(native->FindResource("N", "T"), "");
  EXPECT_FALSE(native->FindResource("DUMMY", "T").has_value());

  WriteFileAtomic(folder + "lying",
                  test::BuildElf(test::ElfRecord("BINTYPE", "DUMMY", "vf", 1000)));
  EXPECT_EQ(TModule::Load(folder + "lying"), nullptr);
  WriteFileAtomic(folder + "text.txt", "plain text");
  EXPECT_EQ(TModule::Load(folder + "text.txt"), nullptr);
  EXPECT_EQ(TModule::Load(folder + "missing"), nullptr);

  WriteFileAtomic(folder + "setup.exe", test::BuildPeImage("vf-pe", "n").Bytes);
  auto pe = TModule::Load(folder + "setup.exe");
  ASSERT_NE(pe, nullptr);
  EXPECT_EQ(pe->FindResource("DUMMY", "BINTYPE"), "vf-pe");
}

// A real program of the build (the child of the mutex tests) given a
// resource section twice: the second replaces the first, the program still
// runs, and an archive appended afterwards still ends the file.
TEST_F(PosixState, NativeProgramsTakeAResourceSectionAndStillRun) {
  const std::string folder = test::FreshFolder();
  const std::string self = ModuleFileName();
  const std::string child =
      self.substr(0, base::LastPathDelimiter(self) + 1) + "platform_test_child";
  const std::string original = ReadFileBytes(child);
  std::string image =
      WithNativeResources(original, NativeResourceRecord("BINTYPE", "DUMMY", "vf-first"), "child");
  image = WithNativeResources(
      std::move(image),
      NativeResourceRecord("BINTYPE", "DUMMY", "vf-second") + NativeResourceRecord("T", "N", "x"),
      "child");
  // Only the ELF header's section-table fields change in what was there.
  EXPECT_EQ(image.compare(64, original.size() - 64, original, 64), 0);
  WriteFileAtomic(folder + "child", image + "appended");
  ASSERT_EQ(::chmod(PathToNative(folder + "child").c_str(), 0755), 0);
  auto module = TModule::Load(folder + "child");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->FindResource("DUMMY", "BINTYPE"), "vf-second");
  EXPECT_EQ(module->FindResource("N", "T"), "x");

  const std::string answer = folder + "answer.txt";
#ifdef PLATFORM_TEST_EMULATOR
  // The kernel here cannot start a 32-bit program; its emulator can.
  ASSERT_GT(ShellExecuteOpen(
                PathFromNative(PLATFORM_TEST_EMULATOR),
                "\"" + PathToNative(folder + "child") + "\" NoSuchMutex \"" + answer + "\"", ""),
            32);
#else
  ASSERT_GT(ShellExecuteOpen(folder + "child", "NoSuchMutex \"" + answer + "\"", ""), 32);
#endif
  for (int i = 0; i < 600 && !FileExists(answer); ++i) SleepMs(25);
  EXPECT_EQ(FileExists(answer) ? ReadFileBytes(answer) : "no answer", "0");

  // The test image of the helper (64 bits, already with the section).
  auto small = WithNativeResources(test::BuildElf(""), NativeResourceRecord("a", "b", "c"), "s");
  WriteFileAtomic(folder + "small", small);
  ASSERT_NE(TModule::Load(folder + "small"), nullptr);
  EXPECT_EQ(TModule::Load(folder + "small")->FindResource("b", "a"), "c");
}

TEST_F(PosixState, NativeResourcesRefuseWhatIsNoProgramOrHasADamagedTable) {
  const std::string valid = test::BuildElf("");
  std::string wrongTable = valid;
  base::PutUInt64(&wrongTable[0x28], 1u << 30);  // e_shoff beyond the end
  std::string wrongNames = valid;
  base::PutUInt16(&wrongNames[0x3E], 7);  // e_shstrndx past the sections
  const std::pair<std::string, std::string> cases[] = {
      {"text", "plain text, no program"},
      {"short",
       "\x7f"
       "ELF"},
      {"big-endian", std::string("\x7f"
                                 "ELF\x02\x02",
                                 6) +
                         std::string(58, '\0')},
      {"table", wrongTable},
      {"names", wrongNames},
      {"truncated", valid.substr(0, valid.size() - 10)},
  };
  for (const auto& [name, image] : cases) {
    SCOPED_TRACE(name);
    try {
      WithNativeResources(image, "", "prog-" + name);
      ADD_FAILURE() << "accepted";
    } catch (const base::EDamagedData& e) {
      EXPECT_NE(e.Message().find("prog-" + name), std::string::npos) << e.Message();
    }
  }
}

TEST_F(PosixState, ShellStartsProgramsInTheirFolderWithSplitParameters) {
  const std::string folder = test::FreshFolder();
  const std::string host = PathToNative(folder);
  WriteHost(host + "/run.sh", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$PWD/args.txt\"\n");
  ASSERT_EQ(::chmod((host + "/run.sh").c_str(), 0755), 0);
  EXPECT_GT(ShellExecuteOpen(folder + "run.sh", "\"C:\\medium\\\" two", folder), 32);
  for (int i = 0; i < 200 && !FileExists(folder + "args.txt"); ++i) SleepMs(25);
  SleepMs(50);
  EXPECT_EQ(ReadFileBytes(folder + "args.txt"), "C:\\medium\\|two|");
  EXPECT_EQ(ShellExecuteOpen(folder + "run.sh", "", folder + "absent"), 3);
}

}  // namespace
}  // namespace mora::platform
