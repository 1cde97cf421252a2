// mora pack run as a real process, its media read back by the real mora
// list and mora extract (byte for byte), its exit codes for bad manifests,
// and the commented example manifest of docs/authoring.md packed as it
// stands.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "base/sjis.h"
#include "mora_process.h"
#include "pe_image.h"
#include "pictures/png.h"
#include "settings/installset.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "title_fixture.h"

namespace mora::authoring {
namespace {

using test::TSampleTitle;
using test::TSourceFile;
using test::TTempFolder;

using TRun = mora::test::TMoraRun;

TRun RunMora(const std::string& arguments) { return mora::test::RunProgram(MORA_EXE, arguments); }

std::string Native(const std::string& path) { return mora::test::NativeArgument(path); }

// A native program's header: mora list takes setup programs by it.
const std::string SetupBytes =
    "\x7F"
    "ELF" +
    test::NoiseBytes(600, 9);

TEST(MoraPack, PackListAndExtractRoundTripByteForByte) {
  for (const std::string placement : {"companion", "appended", "resource"}) {
    SCOPED_TRACE(placement);
    TTempFolder folder;
    // The resource placement needs a Windows program.
    const TSampleTitle title(folder, placement == "resource"
                                         ? platform::test::BuildPeImage("none", "numbered").Bytes
                                         : SetupBytes);
    test::WriteSource(title.Sources() + "title.json", title.ManifestText(placement));
    const TRun pack =
        RunMora("pack " + Native(title.Sources() + "title.json") + " -o " + Native(folder / "out"));
    ASSERT_EQ(pack.ExitCode, 0) << pack.Output;
    EXPECT_NE(pack.Output.find("disk 2:"), std::string::npos) << pack.Output;

    const std::string first = placement == "companion" ? folder / "out\\disk1\\game.dat"
                                                       : folder / "out\\disk1\\setup.exe";
    const std::pair<std::string, const std::vector<TSourceFile>*> disks[] = {
        {first, &title.Data1}, {folder / "out\\cd2\\game.dat", &title.Data2}};
    for (const auto& [archive, files] : disks) {
      const TRun list = RunMora("list --json " + Native(archive));
      ASSERT_EQ(list.ExitCode, 0) << list.Output;
      const auto entries = nlohmann::json::parse(list.Output);
      // The data files, the picture and install.dat.
      EXPECT_EQ(entries.size(), files->size() + 2);
      EXPECT_EQ(entries.back()["Name"], "install.dat");
      EXPECT_EQ(entries.back()["InstallAsFile"], true);

      const std::string out = folder / "extracted\\";
      const TRun extract = RunMora("extract " + Native(archive) + " -o " + Native(out));
      ASSERT_EQ(extract.ExitCode, 0) << extract.Output;
      for (const TSourceFile& file : *files) {
        EXPECT_EQ(platform::ReadFileBytes(out + file.Name), file.Bytes) << file.Name;
      }
      const std::string disk = archive.substr(0, base::LastPathDelimiter(archive) + 1);
      EXPECT_EQ(platform::ReadFileBytes(out + "install.dat"),
                platform::ReadFileBytes(disk + "install.dat"));
      EXPECT_EQ(RunMora("test " + Native(archive)).ExitCode, 0);
    }
  }
}

TEST(MoraPack, ExitCodesTellBadManifestsMissingFilesAndFullDisks) {
  TTempFolder folder;
  const TSampleTitle title(folder, SetupBytes);
  const std::string text = title.ManifestText("separate");
  struct TCase {
    const char* What;
    std::string From;
    std::string To;
    int ExitCode;
    const char* Says;
  };
  const TCase cases[] = {
      {"unknown field", "\"FooterText\"", "\"Footer\"", 3, "settings.Footer: unknown field"},
      {"missing file", "\"op.mpg\"", "\"none.mpg\"", 4, "disks[1].files[0].path: no such file"},
      {"disk too small", "\"folder\": \"cd2\"", "\"folder\": \"cd2\", \"capacity\": \"8KiB\"", 1,
       "not fit"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    std::string changed = text;
    const std::size_t at = changed.find(c.From);
    ASSERT_NE(at, std::string::npos);
    changed.replace(at, c.From.size(), c.To);
    test::WriteSource(title.Sources() + "bad.json", changed);
    const TRun run =
        RunMora("pack " + Native(title.Sources() + "bad.json") + " -o " + Native(folder / "out"));
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Output;
    EXPECT_NE(run.Output.find(c.Says), std::string::npos) << run.Output;
    EXPECT_FALSE(platform::DirectoryExists(folder / "out"));
  }
  // The setup program may come from the command line instead.
  test::WriteSource(title.Sources() + "other-setup", SetupBytes + "other");
  test::WriteSource(title.Sources() + "title.json", text);
  const TRun run =
      RunMora("pack " + Native(title.Sources() + "title.json") + " -o " + Native(folder / "out") +
              " --setup " + Native(title.Sources() + "other-setup"));
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(platform::ReadFileBytes(folder / "out\\cd2\\setup.exe"), SetupBytes + "other");
}

// mora info on the packed two-disk title in every placement, given the
// disk folder or the file that holds the archive: what it says must agree
// with the manifest and with the install.dat that lies on the disk. A disk
// folder whose setup.exe carries the archive stands for that program.
TEST(MoraInfo, DescribesPackedMediaInEveryPlacement) {
  struct TCase {
    const char* Placement;
    const char* ArchivePlacement;  // what info calls it on disk 1
    const char* FirstFile;         // the file holding disk 1's archive
    const char* SettingsFromFile;  // where the settings come from, given that file
    const char* SettingsFromFolder;
  };
  const TCase cases[] = {
      {"separate", "file", "game.dat", "archive", "folder"},
      {"companion", "file", "game.dat", "archive", "folder"},
      {"appended", "appended", "setup.exe", "appended", "appended"},
      {"resource", "resource", "setup.exe", "resource", "resource"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Placement);
    const std::string placement = c.Placement;
    TTempFolder folder;
    const TSampleTitle title(folder, placement == "resource"
                                         ? platform::test::BuildPeImage("none", "numbered").Bytes
                                         : SetupBytes);
    test::WriteSource(title.Sources() + "title.json", title.ManifestText(placement));
    const TRun pack =
        RunMora("pack " + Native(title.Sources() + "title.json") + " -o " + Native(folder / "out"));
    ASSERT_EQ(pack.ExitCode, 0) << pack.Output;

    struct TDisk {
      std::string Folder;
      std::string Medium;     // as given to mora info
      const char* Settings;   // expected settings.source
      const char* Placement;  // expected archive.placement
      std::size_t Entries;    // data files, the picture and install.dat
      int Number;
    };
    const std::string disk1 = folder / "out\\disk1\\";
    const std::string disk2 = folder / "out\\cd2\\";
    const TDisk disks[] = {
        {disk1, disk1, c.SettingsFromFolder, c.ArchivePlacement, title.Data1.size() + 2, 1},
        {disk1, disk1 + c.FirstFile, c.SettingsFromFile, c.ArchivePlacement, title.Data1.size() + 2,
         1},
        {disk2, disk2, "folder", "file", title.Data2.size() + 2, 2},
    };
    for (const TDisk& disk : disks) {
      SCOPED_TRACE(disk.Medium);
      const TRun run = RunMora("info --json " + Native(disk.Medium));
      ASSERT_EQ(run.ExitCode, 0) << run.Output;
      const auto info = nlohmann::json::parse(run.Output);
      const auto& settings = info["settings"];
      EXPECT_EQ(settings["source"], disk.Settings);
      EXPECT_EQ(settings["title"], "月の庭");
      EXPECT_EQ(settings["disk"], disk.Number);
      EXPECT_EQ(settings["diskCount"], 2);
      EXPECT_EQ(settings["mediaName"], "CD-ROM");
      EXPECT_EQ(settings["flags"], nlohmann::json::array({"ShowReadme"}));

      // The sizes are those of the install.dat on the disk, read by the
      // settings reader.
      settings::TMoraInstallSet loose;
      loose.LoadFromFile(disk.Folder + "install.dat");
      const auto& parts = settings["parts"];
      ASSERT_EQ(parts["disks"].size(), 2u);
      for (std::size_t d = 0; d < 2; ++d) {
        EXPECT_EQ(parts["disks"][d]["program"], loose.DiskProgramSizes()[d]);
        EXPECT_EQ(parts["disks"][d]["data"], loose.DiskDataSizes()[d]);
        EXPECT_EQ(parts["disks"][d]["sound"], loose.DiskSoundSizes()[d]);
        EXPECT_EQ(parts["disks"][d]["movie"], loose.DiskMovieSizes()[d]);
      }
      EXPECT_EQ(parts["total"]["data"], loose.DataSize);
      EXPECT_EQ(parts["total"]["movie"], loose.MovieSize);
      EXPECT_GT(loose.DataSize, 0);

      const auto& archive = info["archive"];
      ASSERT_TRUE(archive.is_object()) << run.Output;
      EXPECT_EQ(archive["placement"], disk.Placement);
      EXPECT_EQ(archive["entries"], disk.Entries);
      const bool separate = std::string(disk.Placement) == "file";
      const std::string holder = separate ? "game.dat" : "setup.exe";
      EXPECT_EQ(archive["file"], base::Cp932ToUtf8(disk.Folder + holder));
      EXPECT_EQ(archive["companion"].is_null(), placement != "companion");
      EXPECT_EQ(archive["directoryOffset"].is_null(), std::string(disk.Placement) != "appended");
      if (std::string(disk.Placement) == "appended") {
        // The directory follows the program's own bytes.
        EXPECT_GE(archive["directoryOffset"].get<std::int64_t>(),
                  static_cast<std::int64_t>(SetupBytes.size()));
      }

      const auto& background = info["background"];
      EXPECT_EQ(background["entry"], "back.vnt");
      EXPECT_EQ(background["layout"], "stretched");
      EXPECT_EQ(background["seed"], TSampleTitle::Seed);
      EXPECT_EQ(background["inArchive"], true);

      // list finds the same archive from the same argument.
      const TRun list = RunMora("list --json " + Native(disk.Medium));
      ASSERT_EQ(list.ExitCode, 0) << list.Output;
      EXPECT_EQ(nlohmann::json::parse(list.Output).size(), disk.Entries);
    }

    // The same in words, once per placement.
    const TRun text = RunMora("info " + Native(disk1));
    ASSERT_EQ(text.ExitCode, 0) << text.Output;
    EXPECT_NE(text.Output.find("Title:       月の庭"), std::string::npos) << text.Output;
    EXPECT_NE(text.Output.find("Disk:        1 of 2 (CD-ROM)"), std::string::npos) << text.Output;
    EXPECT_NE(text.Output.find(std::string("(") + c.ArchivePlacement), std::string::npos)
        << text.Output;
    EXPECT_NE(text.Output.find("back.vnt (stretched, seed 12345, in the archive)"),
              std::string::npos)
        << text.Output;
  }
}

// The fenced block of the guide marked as the example manifest.
std::string DocumentedExample() {
  std::ifstream guide(std::string(MORA_SOURCE_DIR) + "/docs/authoring.md");
  std::stringstream text;
  text << guide.rdbuf();
  const std::string all = text.str();
  const std::string start = "```jsonc\n";
  const std::size_t begin = all.find(start);
  if (begin == std::string::npos) return {};
  const std::size_t end = all.find("\n```", begin + start.size());
  return all.substr(begin + start.size(), end - begin - start.size());
}

TEST(MoraPack, TheGuidesExampleManifestPacks) {
  const std::string example = DocumentedExample();
  ASSERT_FALSE(example.empty());
  TTempFolder folder;
  const std::string root = folder / "title\\";
  test::WriteSource(root + "title.json", example);
  // Make every source the example names: pictures as PNG, folders (named
  // with a trailing "/") with one file of their part's kind, anything else
  // as a few bytes.
  const auto manifest = nlohmann::json::parse(example, nullptr, true, true);
  pictures::TDIBSurface picture(8, 8, 24);
  std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& value) {
    if (value.is_array()) {
      for (const auto& member : value) walk(member);
      return;
    }
    if (!value.is_object()) return;
    const std::string part = value.value("part", "");
    for (const auto& [key, member] : value.items()) {
      if ((key != "path" && key != "source" && key != "program") || !member.is_string()) {
        walk(member);
        continue;
      }
      std::string path = base::Utf8ToCp932(member.get<std::string>());
      for (auto& c : path) c = c == '/' ? '\\' : c;
      if (path.size() > 4 && path.substr(path.size() - 4) == ".png") {
        test::WriteSource(root + path, pictures::EncodePng(picture));
      } else if (base::EndsWithPathDelimiter(path)) {
        const char* file = part == "sound" ? "file.ogg" : part == "movie" ? "file.mpg" : "file.bin";
        test::WriteSource(root + path + file, "bytes of " + path);
      } else {
        test::WriteSource(root + path, "bytes of " + path);
      }
    }
  };
  walk(manifest);
  const TRun pack =
      RunMora("pack " + Native(root + "title.json") + " -o " + Native(folder / "out"));
  EXPECT_EQ(pack.ExitCode, 0) << pack.Output;
}

}  // namespace
}  // namespace mora::authoring
