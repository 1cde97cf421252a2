// coursehelper.exe: the Windows side of the setup course under Wine.
//   coursehelper make-medium ROOT SETUP.EXE GAME.EXE
//       writes a two-disk medium made by our own writers: ROOT\disk1 (the
//       setup program, install.dat, game.dat with the background picture,
//       and the loose files game.exe, install.exe and readme.txt),
//       ROOT\disk2 (install.dat, game.dat) and ROOT\cd, the drive the
//       course starts from, holding disk 1.
//   coursehelper check-installed DEST TITLE
//       checks what the installation left: the files, the installed
//       install.dat, the installed archive with both disks' entries, and the
//       program group's shortcuts (targets, icon numbers, working folder).
//   coursehelper check-removed DEST TITLE removed|kept
//       checks that the installation folder is gone and the program group
//       is removed or (where the system's shell could not remove it) kept.
// Arguments are Windows paths; one line per check goes to the output
// ("ok ..." / "FAIL ..."). Exit code 0 when every check passed, 1 when one
// failed, 2 for a bad command line or a failure of the helper itself.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "archive/vrfiles.h"
#include "archive/vrwriter.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "installer/shortcuts.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "samplepicture.h"
#include "settings/installset.h"

namespace mora::course {
namespace {

using base::Sjis;

constexpr std::int32_t PictureSeed = 4711;

void Print(const std::string& utf8Line) {
  const std::string line = utf8Line + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::string Show(const std::string& text932) { return base::Cp932ToUtf8Lossy(text932); }

std::string WithDelimiter(std::string path) {
  if (!base::EndsWithPathDelimiter(path)) path += '\\';
  return path;
}

// Deterministic filler, so the copy step has something to show.
std::string Filler(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

void Copy(const std::string& from, const std::string& to) {
  if (!platform::CopyFile(from, to, false)) {
    throw base::EPlatformError("cannot copy " + from + " to " + to);
  }
}

settings::TMoraInstallSet CourseSettings(int diskIndex) {
  settings::TMoraInstallSet set;
  set.Title = Sjis("モーラ見本ゲーム");
  set.FooterText = Sjis("モーラ見本ゲーム　Copyright 2026 Mora");
  set.DefaultDir = "<ProgramFiles>\\Mora\\" + Sjis("見本ゲーム");
  set.RegistryKey = "Mora\\" + Sjis("見本ゲーム");
  set.ReadmeFile = "readme.txt";
  set.BackgroundPicture = "back.vnt";
  set.BackgroundLayout = 0;
  set.PictureSeed = PictureSeed;
  set.MediaName = "CD-ROM";
  set.ProgramFile = "game.exe";
  set.DiskIndex = diskIndex;
  set.SetDiskCount(2);
  if (diskIndex == 0) set.PlainFiles = {"game.exe", "install.exe", "readme.txt"};
  return set;
}

int MakeMedium(const std::string& root, const std::string& setup, const std::string& game) {
  const std::string disk1 = root + "disk1\\";
  const std::string disk2 = root + "disk2\\";
  const std::string cd = root + "cd\\";
  for (const std::string& folder : {disk1, disk2, cd}) platform::ForceDirectories(folder);

  Copy(setup, disk1 + "setup.exe");
  Copy(setup, disk1 + "install.exe");
  Copy(game, disk1 + "game.exe");
  platform::WriteFileAtomic(disk1 + "readme.txt", Sjis("モーラ見本ゲームの説明です。\r\n"));

  archive::TVrArchiveWriter first;
  first.AddBytes("back.vnt", gallery::SamplePictureBytes(PictureSeed));
  first.AddBytes("data\\opening.txt", Sjis("第一幕\r\n"));
  first.AddBytes("data\\scenes.bin", Filler(6 << 20, 1));
  archive::TVrArchiveWriter second;
  second.AddBytes("data\\ending.txt", Sjis("終幕\r\n"));
  second.AddBytes("data\\pictures.bin", Filler(6 << 20, 2));
  first.WriteSeparate(disk1 + "game.dat");
  second.WriteSeparate(disk2 + "game.dat");

  // The parts' sizes: the loose files are the program part, the archives
  // the data part of their disks.
  std::int64_t program = 0;
  for (const char* name : {"game.exe", "install.exe", "readme.txt"}) {
    program += platform::GetFileSize(disk1 + name).value_or(0);
  }
  const std::int64_t data1 = platform::GetFileSize(disk1 + "game.dat").value_or(0);
  const std::int64_t data2 = platform::GetFileSize(disk2 + "game.dat").value_or(0);
  for (int disk = 0; disk < 2; ++disk) {
    settings::TMoraInstallSet set = CourseSettings(disk);
    set.ProgramSize = program;
    set.DataSize = data1 + data2;
    set.DiskProgramSizes()[0] = program;
    set.DiskDataSizes()[0] = data1;
    set.DiskDataSizes()[1] = data2;
    set.SaveToFile((disk == 0 ? disk1 : disk2) + "install.dat");
  }
  for (const auto& entry : platform::FindFiles(disk1)) Copy(disk1 + entry.Name, cd + entry.Name);
  Print("medium " + Show(cd));
  return 0;
}

class TChecks {
 public:
  void Expect(bool condition, const std::string& what) {
    Print((condition ? "ok " : "FAIL ") + what);
    if (!condition) FFailed = true;
  }
  int ExitCode() const { return FFailed ? 1 : 0; }

 private:
  bool FFailed = false;
};

std::string WithoutDelimiter(std::string path) {
  if (path.size() > 3 && base::EndsWithPathDelimiter(path)) path.pop_back();
  return path;
}

int CheckInstalled(const std::string& dest, const std::string& title) {
  TChecks checks;
  for (const char* name : {"game.exe", "install.exe", "readme.txt", "game.dat", "install.dat"}) {
    checks.Expect(platform::FileExists(dest + name), std::string("file ") + name);
  }
  settings::TMoraInstallSet installed;
  installed.LoadFromFile(dest + "install.dat");
  checks.Expect(installed.UninstallMode == 1, "install.dat marks the folder as installed");
  checks.Expect(installed.IndexOfInstalledFile("game.exe") >= 0 &&
                    installed.IndexOfInstalledFile("install.dat") >= 0,
                "install.dat lists the installed files");
  archive::TVrFileCollection archive;
  archive.Open(dest + "game.dat");
  checks.Expect(
      archive.IndexOf("data\\opening.txt") >= 0 && archive.IndexOf("data\\ending.txt") >= 0,
      "game.dat holds the entries of both disks");
  checks.Expect(archive.Verify(), "game.dat passes its check");

  const auto group = installer::ReadProgramGroup(title);
  checks.Expect(group.size() == 3,
                "the program group holds three shortcuts (" + std::to_string(group.size()) + ")");
  struct TExpected {
    std::string Name;
    std::string Target;
    int Icon;
  };
  const TExpected expected[] = {
      {Sjis("お読みください"), dest + "readme.txt", 0},
      {title, dest + "game.exe", 0},
      {installer::UninstallShortcutName(title), dest + "install.exe", 1},
  };
  for (const TExpected& link : expected) {
    const installer::TShortcutEntry* found = nullptr;
    for (const auto& entry : group) {
      if (entry.Name == link.Name) found = &entry;
    }
    checks.Expect(found != nullptr, "shortcut " + Show(link.Name));
    if (found == nullptr) continue;
    checks.Expect(base::SameText932(found->Link.Target, link.Target),
                  "shortcut " + Show(link.Name) + " starts " + Show(found->Link.Target));
    checks.Expect(found->Link.IconIndex == link.Icon, "shortcut " + Show(link.Name) + " has icon " +
                                                          std::to_string(found->Link.IconIndex));
    checks.Expect(base::SameText932(WithoutDelimiter(found->Link.WorkDir), WithoutDelimiter(dest)),
                  "shortcut " + Show(link.Name) + " works in " + Show(found->Link.WorkDir));
  }
  return checks.ExitCode();
}

int CheckRemoved(const std::string& dest, const std::string& title, const std::string& group) {
  TChecks checks;
  checks.Expect(!platform::DirectoryExists(dest), "the installation folder is gone");
  const bool kept = !installer::ReadProgramGroup(title).empty();
  checks.Expect(kept == (group == "kept"),
                std::string("the program group is ") + (kept ? "still there" : "removed"));
  return checks.ExitCode();
}

int Run(const std::vector<std::string>& args) {
  if (args.size() == 4 && args[0] == "make-medium") {
    return MakeMedium(WithDelimiter(args[1]), args[2], args[3]);
  }
  if (args.size() == 3 && args[0] == "check-installed") {
    return CheckInstalled(WithDelimiter(args[1]), args[2]);
  }
  if (args.size() == 4 && args[0] == "check-removed" &&
      (args[3] == "removed" || args[3] == "kept")) {
    return CheckRemoved(WithDelimiter(args[1]), args[2], args[3]);
  }
  std::fputs(
      "usage: coursehelper make-medium ROOT SETUP.EXE GAME.EXE | check-installed DEST TITLE |"
      " check-removed DEST TITLE removed|kept\n",
      stderr);
  return 2;
}

}  // namespace
}  // namespace mora::course

int wmain(int argc, wchar_t** argv) {
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      const std::wstring wide(argv[i]);
      args.push_back(mora::base::Utf16ToCp932(std::u16string(wide.begin(), wide.end())));
    }
    return mora::course::Run(args);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "coursehelper: %s\n",
                 mora::base::Cp932ToUtf8Lossy(failure.what()).c_str());
    return 2;
  }
}
