// Media for mora install, written at test time by the project's own writers
// (the settings file and the archive writer), in a fresh folder per test that
// also holds the state (MORA_HOME) shared by the test and its mora children,
// so the test reads the registry and program groups a child left.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archive/vrfiles.h"
#include "archive/vrwriter.h"
#include "base/sjis.h"
#include "installer/shortcuts.h"
#include "mora_process.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/streams.h"
#include "settings/installset.h"

namespace mora::e2e {

using base::Sjis;
namespace fs = std::filesystem;

// MS-DOS date-time (date high, time low).
constexpr std::int32_t DosTime(int year, int month, int day) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16);
}
constexpr std::int32_t Older = DosTime(2001, 2, 3);
constexpr std::int32_t Newer = DosTime(2003, 7, 8);

inline archive::TArchiveEntryOptions Entry(std::int32_t fileTime, bool stored = true,
                                           bool installAsFile = false) {
  archive::TArchiveEntryOptions options;
  options.FileTime = fileTime;
  options.Stored = stored;
  options.InstallAsFile = installAsFile;
  return options;
}

struct TLoose {
  std::string Name;  // relative, "\" between folders
  std::string Content;
};

// A title's text in UTF-8, as mora prints it.
inline std::string Utf8(const std::string& text932) { return base::Cp932ToUtf8Lossy(text932); }

// A drive path (932) for a host path, and back.
inline std::string Win(const fs::path& host) { return platform::PathFromNative(host.string()); }

// Every file below a host folder, relative with "\" between folders, sorted.
inline std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    std::string name = fs::relative(item.path(), folder).string();
    std::replace(name.begin(), name.end(), '/', '\\');
    files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Everything below a host folder: each path with its kind, and for a file
// its size, inode and change time, so that a file written again shows even
// with the same bytes and modification time.
inline std::map<std::string, std::string> TreeState(const fs::path& folder) {
  std::map<std::string, std::string> state;
  if (!fs::exists(folder)) return state;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(item.path(), folder).string();
    struct stat st {};
    ::lstat(item.path().c_str(), &st);
    if (S_ISLNK(st.st_mode)) {
      state[name] = "link " + fs::read_symlink(item.path()).string();
    } else if (S_ISDIR(st.st_mode)) {
      state[name] = "folder";
    } else {
      state[name] = "file " + std::to_string(st.st_size) + " " + std::to_string(st.st_ino) +
                    " " + std::to_string(st.st_ctim.tv_sec) + "." +
                    std::to_string(st.st_ctim.tv_nsec);
    }
  }
  return state;
}

// An install.dat whose Title claims 1000 bytes of which two are there.
inline std::string DamagedSettingsBytes() {
  return std::string("is107") + std::string("\x01\0\0\0", 4) + std::string("\xE8\x03\0\0", 4) +
         "ab";
}

inline std::string ReadHost(const fs::path& path) {
  return platform::ReadFileBytes(Win(path));
}

inline nlohmann::json ParseJson(const TMoraRun& run) {
  try {
    return nlohmann::json::parse(run.Out);
  } catch (const nlohmann::json::exception&) {
    ADD_FAILURE() << "no JSON on stdout:\n" << run.Out << "\nstderr:\n" << run.Err;
    return nlohmann::json();
  }
}

inline std::vector<std::string> Strings(const nlohmann::json& list) {
  std::vector<std::string> result;
  for (const auto& item : list) result.push_back(item.get<std::string>());
  return result;
}

inline std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "mora-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    Root = pattern;
    UseFreshHome("home");
    Dest = Root / "installed";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(Root, ignored);
  }

  // A new, empty state for the test and its children.
  void UseFreshHome(const std::string& name) {
    Home = Root / name;
    fs::create_directories(Home);
    ASSERT_EQ(::setenv("MORA_HOME", Home.c_str(), 1), 0);
  }

  // The settings of the title most tests install: every part, a read-me.
  static settings::TMoraInstallSet Title() {
    settings::TMoraInstallSet title;
    title.Title = Sjis("ゆめ物語");
    title.RegistryKey = "MoraE2E\\Yume";
    title.MediaName = "CD-ROM";
    title.ProgramFile = "game.exe";
    title.DefaultDir = "<ProgramFiles>\\Mora\\Yume";
    title.ReadmeFile = "readme.txt";
    title.ShowReadme = 1;
    title.SetDiskCount(1);
    title.ProgramSize = 1000;
    title.DataSize = 2000;
    title.SoundSize = 300;
    title.MovieSize = 400;
    // One disk: its entries are the totals.
    title.DiskProgramSizes()[0] = title.ProgramSize;
    title.DiskDataSizes()[0] = title.DataSize;
    title.DiskSoundSizes()[0] = title.SoundSize;
    title.DiskMovieSizes()[0] = title.MovieSize;
    title.PlainFiles = {"game.exe", "install.exe", "readme.txt", "bgm\\track1.mp3",
                        "movie\\op.mpg"};
    return title;
  }

  static std::vector<TLoose> TitleFiles() {
    return {{"game.exe", "GAME"},
            {"install.exe", "MZsetup"},
            {"readme.txt", "read me"},
            {"bgm\\track1.mp3", std::string(300, 's')},
            {"movie\\op.mpg", std::string(400, 'm')},
            {"autorun.inf", "[autorun]"}};  // on the medium, never installed
  }

  static archive::TVrArchiveWriter TitleArchive() {
    archive::TVrArchiveWriter writer;
    writer.AddBytes("scene\\a.txt", "alpha", Entry(Older));
    writer.AddBytes("cg\\b.bin", std::string(2000, 'b'), Entry(Older, false));
    return writer;
  }

  // Writes a medium folder: loose files, the archive when given, install.dat.
  static void WriteMedium(const fs::path& folder, const settings::TMoraInstallSet& disk,
                          const std::vector<TLoose>& loose,
                          const archive::TVrArchiveWriter* archive) {
    fs::create_directories(folder);
    const std::string base = Win(folder) + "\\";
    // Written plainly: a title of a thousand files need not wait for each
    // file to reach the disk.
    for (const TLoose& file : loose) {
      std::string relative = file.Name;
      std::replace(relative.begin(), relative.end(), '\\', '/');
      const fs::path path = folder / relative;
      fs::create_directories(path.parent_path());
      std::ofstream(path, std::ios::binary) << file.Content;
    }
    if (archive != nullptr) archive->WriteSeparate(base + "game.dat");
    disk.SaveToFile(base + "install.dat");
  }

  fs::path WriteTitleMedium(const std::string& name = "medium") {
    const fs::path folder = Root / name;
    const archive::TVrArchiveWriter writer = TitleArchive();
    WriteMedium(folder, Title(), TitleFiles(), &writer);
    return folder;
  }

  // The value the installation wrote, or "(none)".
  static std::string InstallPath(const std::string& registryKey) {
    const auto value = platform::RegQueryValue(platform::TRootKey::CurrentUser,
                                               "Software\\" + registryKey, "InstallPath");
    return value ? value->Data : std::string("(none)");
  }

  // The drive path of the destination, with its trailing "\", in UTF-8.
  std::string DestText() const { return Utf8(Win(Dest) + "\\"); }

  static std::string ArchiveEntry(const fs::path& archiveFile, const std::string& name) {
    archive::TVrFileCollection collection;
    collection.Open(Win(archiveFile));
    platform::TMemoryStream stream;
    collection.LoadEntry(stream, name);
    return stream.Bytes();
  }

  fs::path Root;
  fs::path Home;
  fs::path Dest;
};

}  // namespace mora::e2e
