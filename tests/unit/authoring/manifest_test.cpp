// Manifest problems, each named by its field's JSON path, found before
// anything is written; and the two small text formats of the manifest
// (file times, capacities).
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "archive/vrwriter.h"
#include "authoring/manifest.h"
#include "authoring/packer.h"
#include "base/sjis.h"
#include "pe_image.h"
#include "platform/files.h"
#include "title_fixture.h"

namespace mora::authoring {
namespace {

using TJson = nlohmann::json;
using TKind = EManifestError::TKind;
using test::TSampleTitle;
using test::TTempFolder;

const std::string SetupImage = platform::test::BuildPeImage("no archive here", "numbered").Bytes;

TJson File(const std::string& path, const std::string& name, const std::string& part) {
  TJson file = {{"path", path}, {"part", part}};
  if (!name.empty()) file["name"] = name;
  return file;
}

struct TCase {
  const char* What;
  // Changes the sample title's manifest; sources is its folder (932).
  std::function<void(TJson& manifest, const std::string& sources)> Change;
  const char* Field;
  TKind Kind = TKind::Invalid;
};

TEST(ManifestErrors, EachNamesItsFieldAndNothingIsWritten) {
  const TCase cases[] = {
      {"misspelt field",
       [](TJson& m, auto&) {
         m["settings"]["Titel"] = m["settings"]["Title"];
         m["settings"].erase("Title");
       },
       "settings.Titel"},
      {"unknown disk field", [](TJson& m, auto&) { m["disks"][0]["size"] = 1; }, "disks[0].size"},
      {"unknown top-level field",
       [](TJson& m, auto&) {
         m["disk"] = m["disks"];
         m.erase("disks");
       },
       "disk"},
      {"computed field", [](TJson& m, auto&) { m["settings"]["DataSize"] = 5; },
       "settings.DataSize"},
      {"installed-copy field", [](TJson& m, auto&) { m["settings"]["UninstallMode"] = true; },
       "settings.UninstallMode"},
      {"no title", [](TJson& m, auto&) { m["settings"].erase("Title"); }, "settings.Title"},
      {"title outside Shift-JIS",
       [](TJson& m, auto&) { m["settings"]["Title"] = "\xF0\x9F\x98\x80"; }, "settings.Title"},
      {"SetupKind out of range", [](TJson& m, auto&) { m["settings"]["SetupKind"] = 3; },
       "settings.SetupKind"},
      {"flag of another type", [](TJson& m, auto&) { m["settings"]["ShowReadme"] = "yes"; },
       "settings.ShowReadme"},
      {"read-me to show but none", [](TJson& m, auto&) { m["settings"].erase("ReadmeFile"); },
       "settings.ShowReadme"},
      {"unknown placement", [](TJson& m, auto&) { m["archive"]["placement"] = "inside"; },
       "archive.placement"},
      {"compression level", [](TJson& m, auto&) { m["archive"]["level"] = 12; }, "archive.level"},
      {"picture missing", [](TJson& m, auto&) { m["picture"]["source"] = "art/none.png"; },
       "picture.source", TKind::MissingFile},
      {"picture not a picture", [](TJson& m, auto&) { m["picture"]["source"] = "readme.txt"; },
       "picture.source"},
      {"seed beyond 32 bits", [](TJson& m, auto&) { m["picture"]["seed"] = 10000000000LL; },
       "picture.seed"},
      // Zero arrives from the text as an unsigned number; the least value
      // still holds for it (a block of 0 bytes would divide by zero).
      {"block of no size", [](TJson& m, auto&) { m["blockSize"] = 0; }, "blockSize"},
      {"disk of no capacity", [](TJson& m, auto&) { m["disks"][1]["capacity"] = 0; },
       "disks[1].capacity"},
      {"tile width alone", [](TJson& m, auto&) { m["picture"]["tileWidth"] = 16; },
       "picture.tileHeight"},
      {"tile of no size",
       [](TJson& m, auto&) {
         m["picture"]["tileWidth"] = 0;
         m["picture"]["tileHeight"] = 16;
       },
       "picture.tileWidth"},
      {"tiles in a JPEG stream",
       [](TJson& m, auto&) {
         m["picture"]["tileWidth"] = m["picture"]["tileHeight"] = 16;
         m["picture"]["compression"] = "jpeg";
       },
       "picture.tileWidth"},
      {"no disks", [](TJson& m, auto&) { m["disks"] = TJson::array(); }, "disks"},
      {"capacity text", [](TJson& m, auto&) { m["disks"][1]["capacity"] = "lots"; },
       "disks[1].capacity"},
      {"two disks in one folder", [](TJson& m, auto&) { m["disks"][1]["folder"] = "DISK1"; },
       "disks[1].folder"},
      {"a disk inside another", [](TJson& m, auto&) { m["disks"][1]["folder"] = "disk1/sub"; },
       "disks[1].folder"},
      {"setup program named as the archive",
       [](TJson& m, auto&) { m["setup"]["name"] = "GAME.DAT"; }, "setup.name"},
      {"missing file", [](TJson& m, auto&) { m["disks"][1]["files"][0]["path"] = "none.mpg"; },
       "disks[1].files[0].path", TKind::MissingFile},
      {"unknown part", [](TJson& m, auto&) { m["disks"][0]["files"][4]["part"] = "music"; },
       "disks[0].files[4].part"},
      {"name outside the medium",
       [](TJson& m, auto&) { m["disks"][0]["files"][1]["name"] = "../readme.txt"; },
       "disks[0].files[1].name"},
      {"a device's name",
       [](TJson& m, auto&) { m["disks"][0]["files"][1]["name"] = "doc/Aux.txt"; },
       "disks[0].files[1].name"},
      {"stored loose file", [](TJson& m, auto&) { m["disks"][0]["files"][1]["stored"] = true; },
       "disks[0].files[1].stored"},
      {"file time", [](TJson& m, auto&) { m["disks"][0]["files"][0]["time"] = "yesterday"; },
       "disks[0].files[0].time"},
      {"sound file as program",
       [](TJson& m, auto&) { m["disks"][0]["files"][4]["part"] = "program"; },
       "disks[0].files[4].part"},
      {"text file as movie", [](TJson& m, auto&) { m["disks"][0]["files"][1]["part"] = "movie"; },
       "disks[0].files[1].part"},
      {"name twice on a disk",
       [](TJson& m, auto&) {
         m["disks"][0]["files"].push_back(File("readme.txt", "README.TXT", "program"));
       },
       "disks[0].files[6].name"},
      {"loose file shadowing an entry",
       [](TJson& m, auto&) {
         m["disks"][0]["files"].push_back(File("readme.txt", "data/voice.raw", "extra"));
       },
       "disks[0].files[6].name"},
      {"the archive's name",
       [](TJson& m, auto&) {
         m["disks"][0]["files"].push_back(File("readme.txt", "GAME.DAT", "extra"));
       },
       "disks[0].files[6].name"},
      {"an archive volume's name",
       [](TJson& m, auto&) {
         m["disks"][0]["files"].push_back(File("readme.txt", "game.001", "extra"));
       },
       "disks[0].files[6].name"},
      {"installed from two disks",
       [](TJson& m, auto&) { m["disks"][1]["files"].push_back(File("readme.txt", "", "program")); },
       "disks[1].files[2].name"},
      {"program not on any disk",
       [](TJson& m, auto&) { m["settings"]["ProgramFile"] = "bin/other.exe"; },
       "settings.ProgramFile"},
      {"program in the data part",
       [](TJson& m, auto&) { m["settings"]["ProgramFile"] = "data/voice.raw"; },
       "settings.ProgramFile"},
      {"add-on in game.dat", [](TJson& m, auto&) { m["settings"]["AddOnPackage"] = true; },
       "archive.placement"},
      {"sound with files in the archive",
       [](TJson& m, auto&) { m["settings"]["FilesInArchive"] = true; }, "disks[0].files[4].part"},
      {"no uninstaller", [](TJson& m, auto&) { m["setup"]["uninstaller"] = false; },
       "setup.uninstaller"},
      {"uninstaller twice",
       [](TJson& m, auto&) {
         m["setup"]["uninstaller"] = true;
         m["disks"][0]["files"].push_back(File("readme.txt", "install.exe", "program"));
       },
       "setup.uninstaller"},
      {"no setup program", [](TJson& m, auto&) { m["setup"].erase("program"); }, "setup.program"},
      {"setup program with an archive",
       [](TJson& m, const std::string& sources) {
         test::WriteSource(sources + "carrying.exe", SetupImage);
         archive::TVrArchiveWriter writer;
         writer.AddBytes("install.dat", "old");
         writer.AppendTo(sources + "carrying.exe");
         m["setup"]["program"] = "carrying.exe";
       },
       "setup.program"},
      {"resource in a native program",
       [](TJson& m, const std::string& sources) {
         test::WriteSource(sources + "native",
                           "\x7F"
                           "ELF" +
                               std::string(300, '\0'));
         m["setup"]["program"] = "native";
         m["archive"]["placement"] = "resource";
       },
       "setup.program"},
      {"disk folder in use",
       [](TJson&, const std::string& sources) {
         // sources is the temporary folder's "src\".
         test::WriteSource(sources.substr(0, sources.size() - 4) + "out\\disk1\\old.txt", "old");
       },
       "disks[0].folder"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TTempFolder folder;
    const TSampleTitle title(folder, SetupImage);
    TJson manifest = TJson::parse(title.ManifestText("separate"), nullptr, true, true);
    c.Change(manifest, title.Sources());
    test::WriteSource(title.Sources() + "m.json", manifest.dump(2));
    const bool existed = platform::DirectoryExists(folder / "out");
    try {
      TPackOptions options;
      options.OutputFolder = folder / "out";
      PackMedia(LoadManifest(title.Sources() + "m.json"), options);
      ADD_FAILURE() << "accepted";
    } catch (const EManifestError& e) {
      EXPECT_EQ(e.Field(), c.Field) << e.Message();
      EXPECT_EQ(e.Kind(), c.Kind) << e.Message();
      EXPECT_EQ(e.Message().rfind(std::string(c.Field) + ": ", 0), 0u) << e.Message();
    }
    if (!existed) {
      EXPECT_FALSE(platform::DirectoryExists(folder / "out"));
    }
  }
}

TEST(ManifestErrors, TextThatIsNoManifestNamesTheManifest) {
  TTempFolder folder;
  const std::pair<const char*, const char*> cases[] = {
      {"{ \"settings\": ", "manifest"},
      {"[1, 2]", "manifest"},
      {"{\"blockSize\": 554555555e999999}", "manifest"},  // a number no field can hold (fuzzing)
      {"{\"disks\": []}", "settings"},
      {"{\"settings\": {\"Title\": \"x\"}}", "disks"}};
  for (const auto& [text, field] : cases) {
    SCOPED_TRACE(text);
    try {
      ParseManifest(text, folder / "m.json");
      ADD_FAILURE() << "accepted";
    } catch (const EManifestError& e) {
      EXPECT_EQ(e.Field(), field) << e.Message();
    }
  }
  try {
    ParseManifest("{\n  \"settings\": {\n    \"Title\": }\n}", folder / "m.json");
    ADD_FAILURE() << "accepted";
  } catch (const EManifestError& e) {
    EXPECT_EQ(e.Field(), "manifest");
    EXPECT_NE(e.Message().find("line 3"), std::string::npos) << e.Message();
  }
}

TEST(ManifestFormats, FileTimesBecomeDosDateTimes) {
  // date = (year - 1980) << 9 | month << 5 | day; time = hour << 11 |
  // minute << 5 | second / 2.
  EXPECT_EQ(ParseDosTime("1980-01-01 00:00:00"), 0x00210000);
  EXPECT_EQ(ParseDosTime("2001-04-01 12:30:45"), 0x2A8163D6);
  EXPECT_EQ(ParseDosTime("2107-12-31 23:59:58"), static_cast<std::int32_t>(0xFF9FBF7Du));
  EXPECT_EQ(ParseDosTime("2000-02-29 00:00:00"), 0x285D0000);
  for (const char* bad :
       {"1979-12-31 00:00:00", "2108-01-01 00:00:00", "2001-02-29 00:00:00", "2001-04-01",
        "2001-04-01 24:00:00", "2001-13-01 00:00:00", "2001-04-01 12:30:45x", ""}) {
    EXPECT_FALSE(ParseDosTime(bad).has_value()) << bad;
  }
}

TEST(ManifestFormats, CapacitiesTakeUnitsAndNames) {
  const std::pair<const char*, std::int64_t> good[] = {
      {"cd", 681574400},     {"dvd", 4700372992}, {"650MiB", 681574400}, {"700MB", 700000000},
      {"4.7GB", 4700000000}, {"1.5KiB", 1536},    {"123", 123},          {"2 GiB", 2147483648LL}};
  for (const auto& [text, bytes] : good) EXPECT_EQ(ParseCapacity(text), bytes) << text;
  for (const char* bad : {"", "MiB", "1.MiB", "-5", "5 TB", "0", "99999999999999999999"}) {
    EXPECT_FALSE(ParseCapacity(bad).has_value()) << bad;
  }
}

TEST(ManifestFormats, MediaKindsFollowTheExtensionLists) {
  const std::pair<const char*, int> kinds[] = {
      {"bgm.OGG", 1}, {"a\\b.wav", 1}, {"x.mp", 1},     {"x.", 1},    {"op.mpeg", 2},
      {"op.mpe", 2},  {"op.AVI", 2},   {"game.exe", 0}, {"noext", 0}, {"dir.mp3\\file", 0}};
  for (const auto& [name, kind] : kinds) EXPECT_EQ(MediaKindOfName(name), kind) << name;
}

}  // namespace
}  // namespace mora::authoring
