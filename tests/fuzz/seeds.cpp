// fuzz_seeds SEEDS [RUN]: writes the seed corpus of every fuzz target into
// SEEDS/<target>/, made by the project's own writers (settings, archive,
// Vint pictures, executable images, answer files), so that no binary file
// is kept in the repository. The folder of each target is emptied first.
// With RUN, also makes RUN/corpus/<target>/ empty and RUN/crashes/ for a
// fresh timed run of the targets.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrlayout.h"
#include "archive/vrwriter.h"
#include "base/binary.h"
#include "base/sjis.h"
#include "elf_image.h"
#include "pe_image.h"
#include "pictures/vintwriter.h"
#include "settings/installset.h"

using namespace mora;

namespace {

const char* const Targets[] = {"settings",  "archive", "vint",
                               "resources", "answers", "pack_manifest"};
std::filesystem::path Root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  const std::filesystem::path folder = Root / target;
  std::ofstream(folder / name, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ---- install.dat

settings::TMoraInstallSet FullSettings() {
  settings::TMoraInstallSet s;
  s.Title = base::Sjis("サンプル");
  s.FooterText = "footer";
  s.DefaultDir = "<ProgramFiles>\\Sample";
  s.ReadmeFile = "readme.txt";
  s.ShowReadme = 1;
  s.BackgroundPicture = "back.vnt";
  s.BackgroundLayout = 1;
  s.ProgramFile = "game.exe";
  s.PictureSeed = 77;
  s.ShowRuntimeButtons = 1;
  s.MediaName = "CD-ROM";
  s.RegistryKey = "Maker\\Sample";
  s.SetDiskCount(3);
  for (int i = 0; i < 3; ++i) {
    s.DiskProgramSizes()[static_cast<std::size_t>(i)] = 1000 + i;
    s.DiskDataSizes()[static_cast<std::size_t>(i)] = std::int64_t{1} << (33 + i);
  }
  s.ProgramSize = 3003;
  s.DataSize = std::int64_t{7} << 33;
  s.UninstallMode = 1;
  s.AddOnPackage = 1;
  s.InstalledFiles = {"game.exe", "data\\a.dat"};
  s.DataInstalled = 1;
  s.SetupKind = 1;
  s.FilesInArchive = 1;
  s.PlainFiles = {"movie\\op.mpg", ""};
  s.SetupCaption = "caption";
  return s;
}

// A format-99 file (4-byte sizes, no fields after UninstallMode), written
// field by field; without the mark it is format 0.
std::string OldSettings(bool withMark) {
  std::string bytes;
  base::TLittleEndianWriter w(bytes);
  auto string = [&](const std::string& text) {
    w.WriteInt32(static_cast<std::int32_t>(text.size()));
    w.WriteBytes(text);
  };
  if (withMark) w.WriteBytes("is099");
  w.WriteInt32(0);  // DiskIndex
  string("Old title");
  string("footer");
  string("\\Old");
  string("");
  w.WriteByte(0);
  string("back.vnt");
  w.WriteByte(2);
  w.WriteInt32(2);  // DiskCount
  string("old.exe");
  w.WriteInt32(-5);
  w.WriteByte(0);
  w.WriteByte(1);
  string("disk");
  string("Old");
  for (int i = 0; i < 2 * 4 + 4; ++i) w.WriteInt32(100 * i);
  w.WriteByte(0);
  return bytes;
}

void SettingsSeeds() {
  const std::string full = FullSettings().SaveToBytes();
  Seed("settings", "empty-107", settings::TMoraInstallSet().SaveToBytes());
  Seed("settings", "full-107", full);
  // The same fields labelled with older formats: the reader then stops
  // earlier or reads sizes narrower, which mutations build on.
  for (const char* format : {"106", "104", "102", "100"}) {
    Seed("settings", std::string("full-as-") + format, "is" + std::string(format) + full.substr(5));
  }
  Seed("settings", "format-99", OldSettings(true));
  Seed("settings", "format-0", OldSettings(false));
}

// ---- archives

archive::TVrArchiveWriter SampleArchive(std::int32_t version) {
  archive::TVrArchiveWriter writer(version);
  archive::TArchiveEntryOptions options;
  options.FileTime = 0x3A214C00;
  std::string text;
  for (int i = 0; i < 60; ++i) text += "line " + std::to_string(i) + "\r\n";
  writer.AddBytes("install.dat", FullSettings().SaveToBytes(), options);
  writer.AddBytes(base::Sjis("data\\ア.txt"), text, options);
  options.Stored = true;
  writer.AddBytes("readme.txt", text.substr(0, 100), options);
  writer.AddBytes("empty.bin", "", options);
  options.Stored = false;
  options.InstallAsFile = true;
  writer.AddBytes("setup.ini", std::string(300, 'i'), options);
  return writer;
}

void ArchiveSeeds() {
  for (const std::int32_t version : {0, 100, 101, 102}) {
    const archive::TVrArchiveWriter writer = SampleArchive(version);
    const std::string suffix = std::to_string(version);
    // First byte 0: the archive as a resource.
    Seed("archive", "resource-" + suffix, std::string(1, '\0') + writer.BuildImage());
    // First byte 1: an executable with the archive and trailer behind it.
    archive::TQsBigMemoryStream executable;
    const std::string program = "MZ" + std::string(62, '\x90');
    executable.Write(program.data(), static_cast<std::int64_t>(program.size()));
    writer.WriteTo(executable, true);
    const std::string trailer = archive::EncodeTrailer(static_cast<std::int32_t>(program.size()));
    executable.Write(trailer.data(), static_cast<std::int64_t>(trailer.size()));
    Seed("archive", "appended-" + suffix, std::string(1, '\1') + executable.Memory().Bytes());
  }
}

// ---- pictures

pictures::TDIBSurface Pattern(int width, int height, int bits, std::uint32_t salt) {
  pictures::TDIBSurface s(width, height, bits);
  const std::uint32_t values = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      s.SetPixel(x, y,
                 (static_cast<std::uint32_t>(x * 37 + y * 101) * 2654435761u + salt) & values);
    }
  }
  return s;
}

pictures::TVintLayerSource Layer(pictures::TDIBSurface colour, std::int32_t opacity,
                                 std::int32_t key, bool mask) {
  if (mask) {
    colour.CreateMask(0);
    for (int y = 0; y < colour.Height(); ++y) {
      for (int x = 0; x < colour.Width(); ++x) {
        colour.SetMaskAt(x, y, static_cast<std::uint8_t>(x * 40 + y * 20));
      }
    }
  }
  pictures::TVintLayerSource layer;
  layer.Colour = std::move(colour);
  layer.Opacity = opacity;
  layer.ColourKey = key;
  return layer;
}

// Two frames of two layers each (a masked one under a keyed, half-opaque
// one) and, where tiles are used, tiles copied within a bitmap and from the
// first frame.
std::string Picture(int version, pictures::vint::TCompression compression, int bits, bool tiles,
                    bool shuffled) {
  constexpr int Width = 9;
  constexpr int Height = 5;
  pictures::TVintPictureSource picture;
  picture.Version = version;
  picture.Compression = compression;
  picture.Shuffled = shuffled;
  picture.TileWidth = tiles ? 4 : 0;
  picture.TileHeight = tiles ? 2 : 0;
  picture.FirstLayerOpaque = true;
  picture.Background = pictures::MakeColor(10, 20, 30);
  for (int f = 0; f < 2; ++f) {
    pictures::TVintFrameSource frame;
    frame.Width = Width;
    frame.Height = Height;
    frame.BitsPerPixel = bits;
    frame.Name = "frame" + std::to_string(f);
    frame.TransparentIndex = bits <= 8 ? 1 : -1;
    for (int i = 0; i < (bits <= 8 ? (1 << bits) : 0); ++i) {
      frame.Palette.push_back(pictures::MakeColor(static_cast<std::uint8_t>(i * 9),
                                                  static_cast<std::uint8_t>(i * 5),
                                                  static_cast<std::uint8_t>(255 - i)));
    }
    frame.Layers.push_back(Layer(Pattern(Width, Height, bits, 1u + f), 255, -1, version >= 100));
    frame.Layers.push_back(Layer(Pattern(Width, Height, bits, 7u + f), 128, 3, false));
    if (tiles) {
      frame.Layers[1].TileRefs[1] = pictures::TVintTileRef{pictures::vint::TileKindSameBitmap, 0};
      if (f == 1) frame.Layers[1].TileRefs[2] = pictures::TVintTileRef{0, 1};
    }
    frame.FirstList = {{1, 2, 3, 4}};
    frame.SecondList = {{5, 6, 7, 8}};
    picture.Frames.push_back(std::move(frame));
  }
  return pictures::WriteVint(picture, 77);
}

void PictureSeeds() {
  using pictures::vint::TCompression;
  struct TCase {
    const char* Name;
    int Version;
    TCompression Compression;
    int Bits;
    bool Tiles;
    bool Shuffled;
  } cases[] = {
      {"v0-24", 0, TCompression::None, 24, false, true},
      {"v100-8", 100, TCompression::None, 8, false, true},
      {"v102-16", 102, TCompression::None, 16, false, true},
      {"v103-deflate-tiles-shuffled", 103, TCompression::Deflate, 24, true, true},
      {"v104-none-rows", 104, TCompression::None, 32, false, false},
      {"v105-deflate-4bit-tiles", 105, TCompression::Deflate, 4, true, false},
      {"v105-deflate-1bit-shuffled", 105, TCompression::Deflate, 1, false, true},
      {"v105-15bit-tiles", 105, TCompression::None, 15, true, true},
      {"v105-jpeg", 105, TCompression::Jpeg, 24, false, false},
  };
  for (const TCase& c : cases) {
    Seed("vint", c.Name, Picture(c.Version, c.Compression, c.Bits, c.Tiles, c.Shuffled));
  }
}

// ---- executables

void ResourceSeeds() {
  const std::string archive = SampleArchive(102).BuildImage();
  Seed("resources", "pe-archive", platform::test::BuildPeImage(archive, "numbered").Bytes);
  Seed("resources", "pe-small", platform::test::BuildPeImage("vf", "").Bytes);
  Seed("resources", "elf-records",
       platform::test::BuildElf(platform::test::ElfRecord("BINTYPE", "DUMMY", "vf-native") +
                                platform::test::ElfRecord("#10", "#101", "numbered")));
}

// ---- answer files

void AnswerSeeds() {
  Seed("answers", "every-action",
       "# an answer file\n"
       "click btnNext\n"
       "check CheckSound off\n"
       "check CheckData on\n"
       "select RadioFull\n"
       "select FolderList C:\\Games\n"
       "set EditDir C:\\Program Files\\サンプル\n"
       "drive D\n"
       "drive DriveBox e:\n"
       "answer はい(&Y)\n"
       "answer 6\n"
       "pump answer cancel\n"
       "close\n");
  Seed("answers", "bom-and-crlf",
       "\xEF\xBB\xBF"
       "click OK\r\nanswer ok\r\n");
}

// ---- mora pack manifests

void ManifestSeeds() {
  std::ifstream sample(std::filesystem::path(MORA_SOURCE_DIR) / "samples/title/title.json",
                       std::ios::binary);
  Seed("pack_manifest", "sample-title",
       std::string(std::istreambuf_iterator<char>(sample), std::istreambuf_iterator<char>()));
  Seed(
      "pack_manifest", "small",
      "{\"settings\": {\"Title\": \"T\", \"ProgramFile\": \"a.exe\"},\n"
      " \"setup\": {\"program\": \"setup.exe\"},\n"
      " \"archive\": {\"placement\": \"appended\"},\n"
      " \"disks\": [{\"files\": [{\"path\": \"a.exe\", \"name\": \"a.exe\", \"part\": \"program\"}]}]}\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds SEEDS [RUN]\n");
    return 2;
  }
  Root = argv[1];
  for (const char* target : Targets) {
    std::filesystem::remove_all(Root / target);
    std::filesystem::create_directories(Root / target);
  }
  if (argc == 3) {
    const std::filesystem::path run = argv[2];
    std::filesystem::remove_all(run);
    std::filesystem::create_directories(run / "crashes");
    for (const char* target : Targets) std::filesystem::create_directories(run / "corpus" / target);
  }
  SettingsSeeds();
  ArchiveSeeds();
  PictureSeeds();
  ResourceSeeds();
  AnswerSeeds();
  ManifestSeeds();
  return 0;
}
