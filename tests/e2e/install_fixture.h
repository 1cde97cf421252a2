// Media for mora install, made at test time by mora pack from sources and a
// manifest (damaged media by the project's writers), in a fresh folder per
// test that also holds the state (MORA_HOME) shared by the test and its mora
// children, so the test reads the registry and program groups a child left.
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
#include "mora_child.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/streams.h"
#include "settings/installset.h"

namespace mora::e2e {

using base::Sjis;
namespace fs = std::filesystem;

// An archive entry of a medium made with the writers.
inline archive::TArchiveEntryOptions Entry(bool stored = true, bool installAsFile = false) {
  archive::TArchiveEntryOptions options;
  options.FileTime = static_cast<std::int32_t>(0x2A434000);  // 2001-02-03 08:00:00
  options.Stored = stored;
  options.InstallAsFile = installAsFile;
  return options;
}

// A title's text in UTF-8, as mora prints it.
inline std::string Utf8(const std::string& text932) { return base::Cp932ToUtf8Lossy(text932); }

// The drive path (932) of a host path.
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
    // Lexically: fs::relative would resolve a link and name its target.
    const std::string name = item.path().lexically_relative(folder).string();
    struct stat st {};
    ::lstat(item.path().c_str(), &st);
    if (S_ISLNK(st.st_mode)) {
      state[name] = "link " + fs::read_symlink(item.path()).string();
    } else if (S_ISDIR(st.st_mode)) {
      state[name] = "folder";
    } else {
      state[name] = "file " + std::to_string(st.st_size) + " " + std::to_string(st.st_ino) + " " +
                    std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
    }
  }
  return state;
}

// An install.dat whose Title claims 1000 bytes of which two are there.
inline std::string DamagedSettingsBytes() {
  return std::string("is107") + std::string("\x01\0\0\0", 4) + std::string("\xE8\x03\0\0", 4) +
         "ab";
}

inline std::string ReadHost(const fs::path& path) { return platform::ReadFileBytes(Win(path)); }

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

// A title's sources: path below the sources folder ("/" between folders)
// and bytes.
using TSources = std::map<std::string, std::string>;

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

  // The manifest of the title most tests install: every part on one disk,
  // a read-me, the uninstaller (install.exe, made by mora pack) and a file
  // for the disk only.
  static nlohmann::ordered_json TitleManifest() {
    return nlohmann::ordered_json::parse(R"({
      "settings": {
        "Title": "ゆめ物語",
        "DefaultDir": "<ProgramFiles>\\Mora\\Yume",
        "ProgramFile": "game.exe",
        "ReadmeFile": "readme.txt",
        "ShowReadme": true,
        "MediaName": "CD-ROM",
        "RegistryKey": "MoraE2E\\Yume"
      },
      "setup": {"program": "setup-program"},
      "disks": [{"files": [
        {"path": "game.exe", "part": "program"},
        {"path": "readme.txt", "part": "program"},
        {"path": "bgm/track1.mp3", "name": "bgm/track1.mp3", "part": "sound"},
        {"path": "movie/op.mpg", "name": "movie/op.mpg", "part": "movie"},
        {"path": "scene/a.txt", "name": "scene/a.txt", "part": "data", "stored": true,
         "time": "2001-02-03 04:05:06"},
        {"path": "cg/b.bin", "name": "cg/b.bin", "part": "data"},
        {"path": "autorun.inf", "part": "extra"}
      ]}]
    })");
  }

  static TSources TitleSources() {
    return {{"game.exe", "GAME"},
            {"readme.txt", "read me"},
            {"bgm/track1.mp3", std::string(300, 's')},
            {"movie/op.mpg", std::string(400, 'm')},
            {"scene/a.txt", "alpha"},
            {"cg/b.bin", std::string(2000, 'b')},
            {"autorun.inf", "[autorun]"}};
  }

  // The stand-in setup program that mora pack puts on the disks.
  static std::string SetupProgramBytes() { return "MZ" + std::string(300, '\x90'); }

  // Writes the sources and the manifest below Root\<name>-src and makes the
  // media with mora pack in Root\<name>; the first disk's folder.
  fs::path Pack(const std::string& name, const nlohmann::ordered_json& manifest, TSources sources) {
    const fs::path folder = Root / (name + "-src");
    sources["setup-program"] = SetupProgramBytes();
    sources["title.json"] = manifest.dump(2);
    for (const auto& [path, bytes] : sources) {
      fs::create_directories((folder / path).parent_path());
      std::ofstream(folder / path, std::ios::binary) << bytes;
    }
    const TMoraRun pack =
        RunMora({"pack", (folder / "title.json").string(), "-o", (Root / name).string()});
    EXPECT_EQ(pack.ExitCode, 0) << pack.Out << pack.Err;
    return Root / name / "disk1";
  }

  fs::path PackTitle(const std::string& name = "medium") {
    return Pack(name, TitleManifest(), TitleSources());
  }

  // An add-on of the title, packed: a setup program carrying its archive (a
  // newer scene and a file of its own) and a voice file beside it; the setup
  // program's path.
  fs::path PackAddOn() {
    const auto manifest = nlohmann::ordered_json::parse(R"({
      "settings": {"Title": "ゆめ物語", "AddOnPackage": true, "MediaName": "CD-ROM",
                   "DefaultDir": "<ProgramFiles>\\Mora\\Yume", "RegistryKey": "MoraE2E\\Yume"},
      "setup": {"program": "setup-program"},
      "archive": {"placement": "appended"},
      "disks": [{"files": [
        {"path": "extra/voice.wav", "name": "extra/voice.wav", "part": "sound"},
        {"path": "scene/a.txt", "name": "scene/a.txt", "part": "data",
         "time": "2002-01-01 00:00:00"},
        {"path": "addon.dat", "part": "data"}
      ]}]
    })");
    return Pack("addon", manifest,
                {{"extra/voice.wav", "voice"}, {"scene/a.txt", "alpha 2"}, {"addon.dat", "more"}}) /
           "setup.exe";
  }

  // Writes a medium folder with the project's writers, for media that mora
  // pack would refuse to make (damaged ones): loose files, the archive when
  // given, install.dat.
  static void WriteMedium(const fs::path& folder, const settings::TMoraInstallSet& disk,
                          const TSources& loose, const archive::TVrArchiveWriter* archive) {
    fs::create_directories(folder);
    for (const auto& [path, bytes] : loose) {
      fs::create_directories((folder / path).parent_path());
      std::ofstream(folder / path, std::ios::binary) << bytes;
    }
    const std::string base = Win(folder) + "\\";
    if (archive != nullptr) archive->WriteSeparate(base + "game.dat");
    disk.SaveToFile(base + "install.dat");
  }

  // The settings of a small title for WriteMedium.
  static settings::TMoraInstallSet SmallTitle() {
    settings::TMoraInstallSet title;
    title.Title = Sjis("ゆめ物語");
    title.RegistryKey = "MoraE2E\\Yume";
    title.ProgramFile = "game.exe";
    title.SetDiskCount(1);
    return title;
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
