// Media made by PackMedia, read back with the project's own readers: the
// settings of each disk, the archive in each placement (list, LoadEntry
// byte for byte, check values), the background picture decoded with its
// seed, the loose files, and the sizes per disk and in total.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "archive/vrfiles.h"
#include "authoring/packer.h"
#include "base/sjis.h"
#include "pe_image.h"
#include "pictures/jpeg.h"
#include "pictures/png.h"
#include "pictures/vints.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "settings/installset.h"
#include "title_fixture.h"

namespace mora::authoring {
namespace {

using test::TSampleTitle;
using test::TSourceFile;
using test::TTempFolder;

std::int64_t Blocks(std::int64_t bytes) { return (bytes + 2047) / 2048 * 2048; }

// Every file below a disk folder with its size, names relative to it.
std::vector<std::pair<std::string, std::int64_t>> DiskFiles(const std::string& folder) {
  std::vector<std::pair<std::string, std::int64_t>> files;
  std::function<void(const std::string&, const std::string&)> walk =
      [&](const std::string& path, const std::string& prefix) {
        for (const auto& entry : platform::FindFiles(path)) {
          if (entry.Attributes & platform::faDirectory) {
            walk(path + entry.Name + "\\", prefix + entry.Name + "\\");
          } else {
            files.emplace_back(prefix + entry.Name, entry.Size);
          }
        }
      };
  walk(folder, "");
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> Names(const std::vector<std::pair<std::string, std::int64_t>>& files) {
  std::vector<std::string> names;
  for (const auto& file : files) names.push_back(file.first);
  return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The disk's archive as start-up would open it in each placement; entries
// only (no loose files beside it).
std::unique_ptr<archive::TVrFileCollection> OpenDisk(const std::string& folder,
                                                     const std::string& placement, bool first) {
  auto collection = std::make_unique<archive::TVrFileCollection>();
  if (!first || placement == "separate" || placement == "companion") {
    collection->Open(folder + "game.dat");
  } else if (placement == "appended") {
    collection->OpenAppended(folder + "setup.exe");
  } else {
    collection->OpenResource(platform::TModule::Load(folder + "setup.exe"), "DUMMY", "BINTYPE");
  }
  collection->BaseFolder.clear();
  return collection;
}

std::string EntryBytes(archive::TVrFileCollection& collection, const std::string& name) {
  platform::TMemoryStream stream;
  collection.LoadEntry(stream, name);
  return stream.Bytes();
}

std::vector<std::string> EntryNames(const archive::TVrFileCollection& collection) {
  std::vector<std::string> names;
  for (int i = 0; i + 1 < collection.Count(); ++i) names.emplace_back(collection.Entries(i).Name());
  return names;
}

// The data part of a disk: the stored bytes of its archive entries that the
// installation copies into game.dat (those not installed as files).
std::int64_t StoredDataBytes(const archive::TVrFileCollection& collection) {
  std::int64_t bytes = 0;
  for (int i = 0; i + 1 < collection.Count(); ++i) {
    if (collection.Entries(i).InstallAsFile == 0) bytes += collection.Entries(i).Size;
  }
  return bytes;
}

const std::string SetupImage = platform::test::BuildPeImage("no archive here", "numbered").Bytes;

TEST(PackMedia, ATwoDiskTitleReadsBackInEveryPlacement) {
  for (const std::string placement : {"separate", "companion", "appended", "resource"}) {
    SCOPED_TRACE(placement);
    TTempFolder folder;
    const TSampleTitle title(folder, SetupImage);
    TPackOptions options;
    options.OutputFolder = folder / "out";
    const TPackReport report = PackMedia(title.Load(placement), options);
    const std::string disk1 = folder / "out\\disk1\\";
    const std::string disk2 = folder / "out\\cd2\\";

    // What lies on each disk.
    const bool inSetup = placement == "appended" || placement == "resource";
    std::vector<std::string> expected1 = {"bgm.ogg",     "bin\\game.exe", "directx\\dxsetup.exe",
                                          "install.dat", "install.exe",   "readme.txt",
                                          "setup.exe"};
    std::vector<std::string> expected2 = {"game.dat", "install.dat", "op.mpg", "setup.exe"};
    if (!inSetup) expected1.push_back("game.dat");
    if (placement == "companion") {
      expected1.push_back("game.ext");
      expected2.push_back("game.ext");
    }
    const auto files1 = DiskFiles(disk1);
    const auto files2 = DiskFiles(disk2);
    EXPECT_EQ(Names(files1), Sorted(expected1));
    EXPECT_EQ(Names(files2), Sorted(expected2));
    for (const TSourceFile& file : title.Program) {
      EXPECT_EQ(platform::ReadFileBytes(disk1 + file.Name), file.Bytes) << file.Name;
    }
    EXPECT_EQ(platform::ReadFileBytes(disk1 + "bgm.ogg"), title.Sound.Bytes);
    EXPECT_EQ(platform::ReadFileBytes(disk1 + "directx\\dxsetup.exe"), title.Extra.Bytes);
    EXPECT_EQ(platform::ReadFileBytes(disk2 + "op.mpg"), title.Movie.Bytes);
    // The uninstaller and the later disks' setup programs are plain copies.
    EXPECT_EQ(platform::ReadFileBytes(disk1 + "install.exe"), SetupImage);
    EXPECT_EQ(platform::ReadFileBytes(disk2 + "setup.exe"), SetupImage);
    const std::string setup1 = platform::ReadFileBytes(disk1 + "setup.exe");
    if (placement == "appended") {
      EXPECT_EQ(setup1.substr(0, SetupImage.size()), SetupImage);
      EXPECT_EQ(setup1.substr(setup1.size() - 2), "mr");
    } else if (placement == "resource") {
      EXPECT_EQ(platform::FindPeResource(setup1, "#101", "#10", "setup.exe"), "numbered");
    } else {
      EXPECT_EQ(setup1, SetupImage);
    }

    // The archives: entries in manifest order, the picture and install.dat
    // last, every entry's bytes those of its source.
    auto archive1 = OpenDisk(disk1, placement, true);
    auto archive2 = OpenDisk(disk2, placement, false);
    const std::string japanese = base::Sjis("data\\アイ.bin");
    EXPECT_EQ(EntryNames(*archive1),
              (std::vector<std::string>{"data\\script.txt", japanese, "data\\voice.raw", "back.vnt",
                                        "install.dat"}));
    EXPECT_EQ(EntryNames(*archive2),
              (std::vector<std::string>{"data\\map.dat", "back.vnt", "install.dat"}));
    for (const auto& [collection, files] :
         {std::pair{archive1.get(), &title.Data1}, std::pair{archive2.get(), &title.Data2}}) {
      EXPECT_TRUE(collection->Verify());
      for (const TSourceFile& file : *files) {
        EXPECT_EQ(EntryBytes(*collection, file.Name), file.Bytes) << file.Name;
        const archive::TVrFile& entry = collection->Entries(collection->IndexOf(file.Name));
        EXPECT_EQ(entry.InstallAsFile, 0);
        EXPECT_EQ(entry.FileTime,
                  platform::GetFileDosTime(title.Sources() + file.Source).value_or(0));
      }
    }
    const archive::TVrFile& voice = archive1->Entries(archive1->IndexOf("data\\voice.raw"));
    EXPECT_EQ(voice.Stored, 1);
    EXPECT_EQ(voice.Size, 4000);
    const archive::TVrFile& script = archive1->Entries(archive1->IndexOf("data\\script.txt"));
    EXPECT_EQ(script.Stored, 0);
    EXPECT_LT(script.Size, 2000);  // 20,000 bytes of one repeated line
    for (auto* collection : {archive1.get(), archive2.get()}) {
      for (const char* name : {"back.vnt", "install.dat"}) {
        EXPECT_EQ(collection->Entries(collection->IndexOf(name)).InstallAsFile, 1) << name;
      }
    }
    EXPECT_EQ(EntryBytes(*archive1, "install.dat"), platform::ReadFileBytes(disk1 + "install.dat"));
    EXPECT_EQ(EntryBytes(*archive2, "install.dat"), platform::ReadFileBytes(disk2 + "install.dat"));

    // The settings of each disk.
    settings::TMoraInstallSet s1;
    settings::TMoraInstallSet s2;
    s1.LoadFromFile(disk1 + "install.dat");
    s2.LoadFromFile(disk2 + "install.dat");
    EXPECT_EQ(s1.Title, TSampleTitle::Title);
    EXPECT_EQ(s1.ProgramFile, "bin\\game.exe");
    EXPECT_EQ(s1.RegistryKey, "Mora\\Garden");
    EXPECT_EQ(s1.DefaultDir, "<ProgramFiles>\\Mora\\Garden");
    EXPECT_EQ(s1.ShowReadme, 1);
    EXPECT_EQ(s1.BackgroundLayout, 1);
    EXPECT_EQ(s1.BackgroundPicture, "back.vnt");
    EXPECT_EQ(s1.PictureSeed, TSampleTitle::Seed);
    EXPECT_EQ(s1.DiskIndex, 0);
    EXPECT_EQ(s2.DiskIndex, 1);
    EXPECT_EQ(s1.DiskCount(), 2);
    EXPECT_EQ(s2.Title, s1.Title);
    EXPECT_EQ(s1.PlainFiles,
              (std::vector<std::string>{"bin\\game.exe", "readme.txt", "bgm.ogg", "install.exe"}));
    EXPECT_EQ(s2.PlainFiles, (std::vector<std::string>{"op.mpg"}));
    EXPECT_EQ(s1.UninstallMode, 0);
    EXPECT_EQ(s1.FilesInArchive, 0);

    // Sizes: the program files' bytes (game.exe, readme.txt, install.exe),
    // the stored bytes of the data entries, the sound and movie files.
    const std::int64_t program1 = 3002 + 15 + static_cast<std::int64_t>(SetupImage.size());
    const std::int64_t data1 = StoredDataBytes(*archive1);
    const std::int64_t data2 = StoredDataBytes(*archive2);
    EXPECT_GT(data2, 9000);  // noise does not shrink
    for (const settings::TMoraInstallSet* s : {&s1, &s2}) {
      EXPECT_EQ(
          std::vector<std::int64_t>(s->DiskProgramSizes().begin(), s->DiskProgramSizes().end()),
          (std::vector<std::int64_t>{program1, 0}));
      EXPECT_EQ(std::vector<std::int64_t>(s->DiskDataSizes().begin(), s->DiskDataSizes().end()),
                (std::vector<std::int64_t>{data1, data2}));
      EXPECT_EQ(std::vector<std::int64_t>(s->DiskSoundSizes().begin(), s->DiskSoundSizes().end()),
                (std::vector<std::int64_t>{1500, 0}));
      EXPECT_EQ(std::vector<std::int64_t>(s->DiskMovieSizes().begin(), s->DiskMovieSizes().end()),
                (std::vector<std::int64_t>{0, 2500}));
      EXPECT_EQ(s->ProgramSize, program1);
      EXPECT_EQ(s->DataSize, data1 + data2);
      EXPECT_EQ(s->SoundSize, 1500);
      EXPECT_EQ(s->MovieSize, 2500);
    }

    // The report: every file rounded up to 2 KiB blocks.
    ASSERT_EQ(report.Disks.size(), 2u);
    for (const auto& [packed, files] :
         {std::pair{&report.Disks[0], &files1}, std::pair{&report.Disks[1], &files2}}) {
      std::int64_t used = 0;
      for (const auto& file : *files) used += Blocks(file.second);
      EXPECT_EQ(packed->Used, used);
      EXPECT_EQ(packed->Capacity, DefaultCapacity);
    }
    EXPECT_EQ(report.Disks[1].DataSize, data2);
    EXPECT_EQ(report.Disks[1].MovieSize, 2500);

    // The picture, composed with the seed, is the PNG's.
    platform::TMemoryStream picture;
    archive1->LoadEntry(picture, "back.vnt");
    picture.SetPosition(0);
    pictures::TVintFrameList frames(TSampleTitle::Seed);
    frames.LoadFromStream(picture, true, "back.vnt");
    ASSERT_EQ(frames.Count(), 1);
    const pictures::TDIBSurface& bitmap = frames.Frame(0).Bitmap();
    ASSERT_EQ(bitmap.Width(), 40);
    ASSERT_EQ(bitmap.Height(), 30);
    int different = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) different += bitmap.Color(x, y) != title.Picture().Color(x, y);
    }
    EXPECT_EQ(different, 0);
    EXPECT_EQ(EntryBytes(*archive2, "back.vnt"), EntryBytes(*archive1, "back.vnt"));
  }
}

TEST(PackMedia, FilesInArchiveCarriesTheProgramFilesAsEntriesInstalledAsFiles) {
  TTempFolder folder;
  const TSampleTitle title(folder, SetupImage);
  // A JPEG picture keeps its JPEG stream.
  const std::string jpeg = pictures::EncodeJpeg(title.Picture(), 80);
  test::WriteSource(title.Sources() + "art\\back.jpg", jpeg);
  const std::string manifest = R"({
    "settings": {"Title": "T", "ProgramFile": "bin/game.exe", "FilesInArchive": true},
    "setup": {"program": "setup-program"},
    "picture": {"source": "art/back.jpg", "seed": -7},
    "disks": [{"files": [
      {"path": "bin/game.exe", "name": "bin/game.exe", "part": "program"},
      {"path": "readme.txt", "part": "program", "stored": true},
      {"path": "data", "part": "data"}
    ]}]
  })";
  test::WriteSource(title.Sources() + "fia.json", manifest);
  TPackOptions options;
  options.OutputFolder = folder / "out";
  PackMedia(LoadManifest(title.Sources() + "fia.json"), options);
  const std::string disk = folder / "out\\disk1\\";
  EXPECT_EQ(Names(DiskFiles(disk)),
            (std::vector<std::string>{"game.dat", "install.dat", "setup.exe"}));
  settings::TMoraInstallSet s;
  s.LoadFromFile(disk + "install.dat");
  EXPECT_TRUE(s.PlainFiles.empty());
  EXPECT_EQ(s.FilesInArchive, 1);
  EXPECT_EQ(s.PictureSeed, -7);
  EXPECT_EQ(s.BackgroundPicture, "back.vnt");

  auto collection = OpenDisk(disk, "separate", true);
  const std::vector<std::string> names = EntryNames(*collection);
  EXPECT_EQ(names, (std::vector<std::string>{"bin\\game.exe", "readme.txt", "data\\script.txt",
                                             base::Sjis("data\\アイ.bin"), "install.exe",
                                             "back.vnt", "install.dat"}));
  // Entries installed as files carry the check value of their content,
  // which the installation compares after inflating them.
  std::int64_t installed = 0;
  for (const std::string& name : {std::string("bin\\game.exe"), std::string("readme.txt"),
                                  std::string("install.exe"), std::string("back.vnt")}) {
    const archive::TVrFile& entry = collection->Entries(collection->IndexOf(name));
    const std::string bytes = EntryBytes(*collection, name);
    EXPECT_EQ(entry.InstallAsFile, 1) << name;
    EXPECT_EQ(entry.CRC, archive::BytesCRC32(bytes)) << name;
    installed += static_cast<std::int64_t>(bytes.size());
  }
  EXPECT_EQ(collection->Entries(collection->IndexOf("readme.txt")).Stored, 1);
  EXPECT_EQ(EntryBytes(*collection, "install.exe"), SetupImage);
  EXPECT_EQ(s.ProgramSize, installed);
  EXPECT_EQ(s.DiskProgramSizes()[0], installed);
  EXPECT_EQ(s.DataSize, StoredDataBytes(*collection));

  platform::TMemoryStream picture;
  collection->LoadEntry(picture, "back.vnt");
  picture.SetPosition(0);
  pictures::TVintFrameList frames(-7);
  frames.LoadFromStream(picture, true, "back.vnt");
  ASSERT_EQ(frames.Count(), 1);
  const pictures::TDIBSurface expected = pictures::DecodeJpeg(jpeg, "back.jpg");
  const pictures::TDIBSurface& bitmap = frames.Frame(0).Bitmap();
  ASSERT_EQ(bitmap.Width(), expected.Width());
  ASSERT_EQ(bitmap.Height(), expected.Height());
  int different = 0;
  for (int y = 0; y < expected.Height(); ++y) {
    for (int x = 0; x < expected.Width(); ++x)
      different += bitmap.Color(x, y) != expected.Color(x, y);
  }
  EXPECT_EQ(different, 0);
}

TEST(PackMedia, ATiledPictureStoresRepeatedTilesOnceAndComposesAsItsSource) {
  TTempFolder folder;
  const TSampleTitle title(folder, SetupImage);
  // 40 x 30 in tiles of 8 x 8: five columns, three full rows and a fourth
  // of 8 x 6. The pixels depend on the place inside the tile and on the
  // column's parity only, so each row repeats two kinds of tile: four tiles
  // carry pixels (two full, two clipped), the other sixteen refer to them.
  pictures::TDIBSurface source(40, 30, 24);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const int odd = (x / 8) % 2;
      source.SetColor(x, y,
                      pictures::MakeColor(static_cast<std::uint8_t>(30 * (x % 8)),
                                          static_cast<std::uint8_t>(30 * (y % 8)),
                                          static_cast<std::uint8_t>(odd * 200)));
    }
  }
  test::WriteSource(title.Sources() + "art\\tiles.png", pictures::EncodePng(source));
  const std::string manifest = R"({
    "settings": {"Title": "T", "ProgramFile": "game.exe"},
    "setup": {"program": "setup-program"},
    "picture": {"source": "art/tiles.png", "seed": 99, "compression": "none",
                "tileWidth": 8, "tileHeight": 8},
    "disks": [{"files": [{"path": "bin/game.exe", "name": "game.exe", "part": "program"}]}]
  })";
  test::WriteSource(title.Sources() + "tiles.json", manifest);
  TPackOptions options;
  options.OutputFolder = folder / "out";
  PackMedia(LoadManifest(title.Sources() + "tiles.json"), options);

  auto collection = OpenDisk(folder / "out\\disk1\\", "separate", true);
  const std::string vint = EntryBytes(*collection, "tiles.vnt");
  // Uncompressed, all twenty tiles would be 40 * 30 * 3 = 3600 bytes of
  // pixels; the four carried ones are 2 * 192 + 2 * 144 = 672.
  EXPECT_LT(vint.size(), 3600u);
  platform::TMemoryStream picture;
  picture.WriteBytes(vint);
  picture.SetPosition(0);
  pictures::TVintFrameList frames(99);
  frames.LoadFromStream(picture, true, "tiles.vnt");
  ASSERT_EQ(frames.Count(), 1);
  const pictures::TDIBSurface& bitmap = frames.Frame(0).Bitmap();
  ASSERT_EQ(bitmap.Width(), 40);
  ASSERT_EQ(bitmap.Height(), 30);
  int different = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) different += bitmap.Color(x, y) != source.Color(x, y);
  }
  EXPECT_EQ(different, 0);
}

TEST(PackMedia, AnAddOnPackageCarriesItsArchiveAppendedAndNeedsNoUninstaller) {
  TTempFolder folder;
  const TSampleTitle title(folder, SetupImage);
  const std::string manifest = R"({
    "settings": {"Title": "T", "AddOnPackage": true},
    "setup": {"program": "setup-program"},
    "disks": [{"files": [{"path": "data", "part": "data"}]}]
  })";
  test::WriteSource(title.Sources() + "addon.json", manifest);
  TPackOptions options;
  options.OutputFolder = folder / "out";
  PackMedia(LoadManifest(title.Sources() + "addon.json"), options);
  const std::string disk = folder / "out\\disk1\\";
  EXPECT_EQ(Names(DiskFiles(disk)), (std::vector<std::string>{"install.dat", "setup.exe"}));
  EXPECT_TRUE(archive::HasAppendedArchive(disk + "setup.exe"));
  auto collection = OpenDisk(disk, "appended", true);
  EXPECT_EQ(EntryNames(*collection).size(), 3u);  // two data files and install.dat
  settings::TMoraInstallSet s;
  s.LoadFromFile(disk + "install.dat");
  EXPECT_EQ(s.AddOnPackage, 1);
  EXPECT_TRUE(s.PlainFiles.empty());
}

// Packing into out fails with a DoesNotFit error naming field; nothing is
// left behind.
void ExpectDoesNotFit(const TManifest& manifest, const std::string& out, const std::string& field) {
  TPackOptions options;
  options.OutputFolder = out;
  try {
    PackMedia(manifest, options);
    ADD_FAILURE() << "packed although " << field << " does not fit";
  } catch (const EManifestError& e) {
    EXPECT_EQ(e.Field(), field) << e.Message();
    EXPECT_EQ(e.Kind(), EManifestError::TKind::DoesNotFit) << e.Message();
    EXPECT_NE(e.Message().find("not fit"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(platform::DirectoryExists(out)) << "left behind: " << out;
}

TEST(PackMedia, AFileThatDoesNotFitItsDiskIsAnErrorAndNothingIsLeft) {
  TTempFolder folder;
  const TSampleTitle title(folder, SetupImage);
  const TManifest manifest = title.Load("separate");
  TPackOptions options;
  options.OutputFolder = folder / "measure";
  const std::int64_t used2 = PackMedia(manifest, options).Disks[1].Used;

  // Known before writing: a loose file larger than what is left.
  TManifest big = manifest;
  test::WriteSource(title.Sources() + "big.bin", std::string(200000, 'b'));
  TManifestFile file;
  file.Field = "disks[1].files[2]";
  file.Source = title.Sources() + "big.bin";
  file.Name = "big.bin";
  file.Part = TPart::Extra;
  file.Size = 200000;
  big.Disks[1].Files.push_back(file);
  big.Disks[1].Capacity = used2 + 100000;
  ExpectDoesNotFit(big, folder / "out1", "disks[1].files[2].path");

  // Known only once written: the disk overflows with the last entry, whose
  // compressed size the first check could not count; disk 1, already
  // written by then, is removed with it.
  TManifest tight = manifest;
  tight.Disks[1].Capacity = used2 - 1;
  ExpectDoesNotFit(tight, folder / "out2", "disks[1].files[1].path");

  // Not even the disk's own files fit.
  TManifest tiny = manifest;
  tiny.Disks[1].Capacity = 4096;
  ExpectDoesNotFit(tiny, folder / "out3", "disks[1].capacity");

  // Exactly full is full, not over.
  TManifest exact = manifest;
  exact.Disks[1].Capacity = used2;
  options.OutputFolder = folder / "out4";
  EXPECT_EQ(PackMedia(exact, options).Disks[1].Used, used2);
}

}  // namespace
}  // namespace mora::authoring
