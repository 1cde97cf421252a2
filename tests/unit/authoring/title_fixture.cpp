#include "title_fixture.h"

#include "base/sjis.h"
#include "pictures/png.h"
#include "platform/files.h"

namespace mora::authoring::test {

const std::string TSampleTitle::Title = base::Sjis("月の庭");

void WriteSource(const std::string& path, const std::string& bytes) {
  const std::size_t delimiter = base::LastPathDelimiter(path);
  if (delimiter != std::string::npos) platform::ForceDirectories(path.substr(0, delimiter));
  archive::test::WriteFile(path, bytes);
}

std::string NoiseBytes(std::size_t count, std::uint32_t seed) {
  std::string bytes(count, '\0');
  std::uint32_t state = seed;
  for (auto& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

namespace {

std::string Repeat(const std::string& text, std::size_t count) {
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) bytes += text;
  return bytes;
}

}  // namespace

TSampleTitle::TSampleTitle(const TTempFolder& folder, const std::string& setupBytes)
    : FSources(folder / "src\\"), FSetup(setupBytes) {
  Program = {{"bin\\game.exe", "bin\\game.exe", "MZ" + NoiseBytes(3000, 1)},
             {"readme.txt", "readme.txt", "read me first\r\n"}};
  const std::string japanese = base::Sjis("アイ.bin");
  Data1 = {{"data\\script.txt", "data\\script.txt", Repeat("line of the script\r\n", 1000)},
           {"data\\" + japanese, "data\\" + japanese, NoiseBytes(500, 2)},
           {"voice.raw", "data\\voice.raw", NoiseBytes(4000, 3)}};
  Data2 = {{"data2\\map.dat", "data\\map.dat", NoiseBytes(9000, 6)}};
  Sound = {"bgm.ogg", "bgm.ogg", NoiseBytes(1500, 4)};
  Movie = {"op.mpg", "op.mpg", NoiseBytes(2500, 5)};
  Extra = {"directx\\dxsetup.exe", "directx\\dxsetup.exe", "dx setup"};
  for (const auto& files : {Program, Data1, Data2}) {
    for (const auto& file : files) WriteSource(FSources + file.Source, file.Bytes);
  }
  for (const auto& file : {Sound, Movie, Extra}) WriteSource(FSources + file.Source, file.Bytes);
  WriteSource(FSources + "setup-program", FSetup);

  FPicture.SetSize(40, 30, 24);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      FPicture.SetColor(
          x, y,
          pictures::MakeColor(static_cast<std::uint8_t>(x * 6), static_cast<std::uint8_t>(y * 8),
                              static_cast<std::uint8_t>((x * y) & 0xFF)));
    }
  }
  WriteSource(FSources + "art\\back.png", pictures::EncodePng(FPicture));
}

std::string TSampleTitle::ManifestText(const std::string& placement,
                                       const std::string& settingsExtra,
                                       const std::string& archiveExtra) const {
  return R"({
  // The sample title: every part, two disks.
  "settings": {
    "Title": "月の庭",
    "FooterText": "(c) Mora",
    "DefaultDir": "<ProgramFiles>\\Mora\\Garden",
    "ReadmeFile": "readme.txt",
    "ShowReadme": true,
    "ProgramFile": "bin/game.exe",
    "MediaName": "CD-ROM",
    "RegistryKey": "Mora\\Garden",
    "BackgroundLayout": 1)" +
         (settingsExtra.empty() ? "" : ",\n    " + settingsExtra) + R"(
  },
  "setup": {"program": "setup-program", "name": "setup.exe"},
  "archive": {"placement": ")" +
         placement + "\", \"level\": 9" + (archiveExtra.empty() ? "" : ", " + archiveExtra) + R"(},
  /* The picture behind the launcher. */
  "picture": {"source": "art/back.png", "name": "back.vnt", "seed": 12345},
  "disks": [
    {"files": [
      {"path": "bin/game.exe", "name": "bin/game.exe", "part": "program"},
      {"path": "readme.txt", "part": "program"},
      {"path": "data", "part": "data"},
      {"path": "voice.raw", "name": "data/voice.raw", "part": "data", "stored": true},
      {"path": "bgm.ogg", "part": "sound"},
      {"path": "directx/dxsetup.exe", "name": "directx/dxsetup.exe", "part": "extra"}
    ]},
    {"folder": "cd2", "files": [
      {"path": "op.mpg", "part": "movie"},
      {"path": "data2", "name": "data", "part": "data"}
    ]}
  ]
})";
}

TManifest TSampleTitle::Load(const std::string& placement, const std::string& settingsExtra,
                             const std::string& archiveExtra) const {
  const std::string text = ManifestText(placement, settingsExtra, archiveExtra);
  WriteSource(FSources + "title.json", text);
  return LoadManifest(FSources + "title.json");
}

}  // namespace mora::authoring::test
