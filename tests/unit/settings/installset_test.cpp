#include "settings/installset.h"

#include <gtest/gtest.h>

#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace mora::settings {
namespace {

// Builds install.dat images by hand, field by field, so that expected bytes
// come from the layout and not from the writer under test.
class TImage {
 public:
  TImage& Raw(std::string_view bytes) {
    FBytes += bytes;
    return *this;
  }
  TImage& I32(std::int32_t value) {
    base::TLittleEndianWriter(FBytes).WriteInt32(value);
    return *this;
  }
  TImage& I64(std::int64_t value) {
    base::TLittleEndianWriter(FBytes).WriteInt64(value);
    return *this;
  }
  TImage& Byte(std::uint8_t value) {
    FBytes.push_back(static_cast<char>(value));
    return *this;
  }
  TImage& Str(std::string_view text) {
    I32(static_cast<std::int32_t>(text.size()));
    return Raw(text);
  }
  const std::string& Bytes() const { return FBytes; }

 private:
  std::string FBytes;
};

// Fields 3 to 17 with fixed values, one disk, 4- or 8-byte sizes, then
// UninstallMode: the whole of a format-0 file, and the common start of every
// later format.
TImage BodyUpToUninstallMode(bool wideSizes) {
  TImage image;
  image.I32(0x01020304).Str("Title").Str("Footer").Str("C:\\Game").Str("readme.txt");
  image.Byte(1).Str("back.vnt").Byte(2).I32(1).Str("game.exe").I32(-7).Byte(1).Byte(9);
  image.Str("CD").Str("\\Maker\\Title");
  const std::int64_t sizes[] = {11, 12, 13, 14, 101, 102, 103, 104};
  for (std::int64_t size : sizes) {
    if (wideSizes) {
      image.I64(size);
    } else {
      image.I32(static_cast<std::int32_t>(size));
    }
  }
  image.Byte(1);
  return image;
}

void ExpectBody(const TMoraInstallSet& s) {
  EXPECT_EQ(s.DiskIndex, 0x01020304);
  EXPECT_EQ(s.Title, "Title");
  EXPECT_EQ(s.FooterText, "Footer");
  EXPECT_EQ(s.DefaultDir, "C:\\Game");
  EXPECT_EQ(s.ReadmeFile, "readme.txt");
  EXPECT_EQ(s.ShowReadme, 1);
  EXPECT_EQ(s.BackgroundPicture, "back.vnt");
  EXPECT_EQ(s.BackgroundLayout, 2);
  ASSERT_EQ(s.DiskCount(), 1);
  EXPECT_EQ(s.ProgramFile, "game.exe");
  EXPECT_EQ(s.PictureSeed, -7);
  EXPECT_EQ(s.ShowRuntimeButtons, 1);
  EXPECT_EQ(s.SpareFlag, 9);
  EXPECT_EQ(s.MediaName, "CD");
  EXPECT_EQ(s.RegistryKey, "\\Maker\\Title");
  EXPECT_EQ(s.DiskProgramSizes()[0], 11);
  EXPECT_EQ(s.DiskDataSizes()[0], 12);
  EXPECT_EQ(s.DiskSoundSizes()[0], 13);
  EXPECT_EQ(s.DiskMovieSizes()[0], 14);
  EXPECT_EQ(s.ProgramSize, 101);
  EXPECT_EQ(s.DataSize, 102);
  EXPECT_EQ(s.SoundSize, 103);
  EXPECT_EQ(s.MovieSize, 104);
  EXPECT_EQ(s.UninstallMode, 1);
}

// An object with every later field set, to see what a load leaves alone.
TMoraInstallSet WithLaterFieldsSet() {
  TMoraInstallSet s;
  s.AddOnPackage = 1;
  s.DataInstalled = 1;
  s.SetupKind = 2;
  s.FilesInArchive = 1;
  s.SetupCaption = "Old caption";
  s.InstalledFiles = {"old.bin"};
  s.PlainFiles = {"old.txt"};
  return s;
}

void Load(TMoraInstallSet& s, const std::string& bytes) {
  platform::TMemoryStream stream(bytes);
  s.LoadFromStream(stream, "test.dat");
}

TEST(InstallSetFile, NewObjectWithOneByteTitleSavesAs103Bytes) {
  TMoraInstallSet s;
  s.Title = "T";
  const std::string bytes = s.SaveToBytes();
  ASSERT_EQ(bytes.size(), 103u);
  EXPECT_EQ(bytes.substr(0, 5), "is107");
  EXPECT_EQ(base::GetUInt32(bytes.data() + 5), 0u);  // DiskIndex
  EXPECT_EQ(base::GetUInt32(bytes.data() + 9), 1u);  // Title's byte count
  EXPECT_EQ(bytes[13], 'T');
}

TEST(InstallSetFile, WritesEveryFieldInFileOrder) {
  TMoraInstallSet s;
  s.DiskIndex = 1;
  s.Title = "Ti";
  s.FooterText = "F";
  s.DefaultDir = "<ProgramFiles>\\G";
  s.ReadmeFile = "r.txt";
  s.ShowReadme = 1;
  s.BackgroundPicture = "bg";
  s.BackgroundLayout = 2;
  s.SetDiskCount(2);
  s.ProgramFile = "g.exe";
  s.PictureSeed = 1234;
  s.ShowRuntimeButtons = 1;
  s.SpareFlag = 5;
  s.MediaName = "CD";
  s.RegistryKey = "M\\T";
  for (int i = 0; i < 2; ++i) {
    s.DiskProgramSizes()[i] = 10 + i;
    s.DiskDataSizes()[i] = 20 + i;
    s.DiskSoundSizes()[i] = 30 + i;
    s.DiskMovieSizes()[i] = 0x123456789LL + i;
  }
  s.ProgramSize = 21;
  s.DataSize = 41;
  s.SoundSize = 61;
  s.MovieSize = 0x7FFFFFFFFFFFLL;
  s.UninstallMode = 1;
  s.AddOnPackage = 1;
  s.InstalledFiles = {"a", ""};
  s.DataInstalled = 1;
  s.SetupKind = 1;
  s.FilesInArchive = 1;
  s.PlainFiles = {"", "p"};
  s.SetupCaption = "Cap";

  TImage expected;
  expected.Raw("is107").I32(1).Str("Ti").Str("F").Str("<ProgramFiles>\\G").Str("r.txt");
  expected.Byte(1).Str("bg").Byte(2).I32(2).Str("g.exe").I32(1234).Byte(1).Byte(5);
  expected.Str("CD").Str("M\\T");
  expected.I64(10).I64(20).I64(30).I64(0x123456789LL);
  expected.I64(11).I64(21).I64(31).I64(0x12345678ALL);
  expected.I64(21).I64(41).I64(61).I64(0x7FFFFFFFFFFFLL);
  expected.Byte(1).Byte(1).I32(2).Str("a").I32(0).Byte(1).Byte(1).Byte(1);
  expected.I32(2).I32(0).Str("p").Str("Cap");
  EXPECT_EQ(s.SaveToBytes(), expected.Bytes());

  platform::TMemoryStream stream;
  s.SaveToStream(stream);
  EXPECT_EQ(stream.Bytes(), expected.Bytes());
}

TEST(InstallSetFile, EachDiskAddsThirtyTwoBytesAndEachStringItsLength) {
  TMoraInstallSet s;
  const std::size_t empty = s.SaveToBytes().size();
  EXPECT_EQ(empty, 102u);
  s.SetDiskCount(3);
  EXPECT_EQ(s.SaveToBytes().size(), empty + 3 * 32);
  s.MediaName = "DVD";
  s.PlainFiles = {"abcd"};
  EXPECT_EQ(s.SaveToBytes().size(), empty + 3 * 32 + 3 + 8);
}

TEST(InstallSetFile, SavesAndLoadsFilesWithTheProgramsMessages) {
  const std::string folder = "C:\\MoraSettingsFile";
  ASSERT_TRUE(platform::ForceDirectories(folder));
  const std::string path = folder + "\\install.dat";
  platform::WriteFileAtomic(path, std::string(500, 'x'));  // replaced, not overwritten in place
  TMoraInstallSet s;
  s.Title = "T";
  s.SaveToFile(path);
  EXPECT_EQ(platform::ReadFileBytes(path), s.SaveToBytes());
  TMoraInstallSet back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Title, "T");

  try {
    back.LoadFromFile(folder + "\\missing.dat");
    ADD_FAILURE() << "missing file loaded";
  } catch (const base::EFOpenError& e) {
    EXPECT_EQ(e.Message(),
              base::FormatS(base::Sjis("ファイル %s は開けません"), folder + "\\missing.dat"));
  }
  const std::string unwritable = folder + "\\no such folder\\install.dat";
  try {
    s.SaveToFile(unwritable);
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const base::EFCreateError& e) {
    EXPECT_EQ(e.Message(), base::FormatS(base::Sjis("ファイル %s を作成できません"), unwritable));
  }
}

TEST(InstallSetFile, RoundTripKeepsEveryValueButEmptyInstalledEntries) {
  TMoraInstallSet s;
  s.DiskIndex = 2;
  s.Title = base::Sjis("表示テスト");  // 0x5C trail byte inside
  s.FooterText = "(c) maker";
  s.DefaultDir = "\\Games\\T";
  s.ReadmeFile = "readme.txt";
  s.ShowReadme = 1;
  s.BackgroundPicture = "bg.vnt";
  s.BackgroundLayout = 1;
  s.SetDiskCount(2);
  s.DiskProgramSizes()[1] = 5000000000LL;
  s.DiskMovieSizes()[0] = -1;
  s.ProgramFile = "game.exe";
  s.PictureSeed = -99;
  s.ShowRuntimeButtons = 1;
  s.SpareFlag = 255;
  s.MediaName = "CD-ROM";
  s.RegistryKey = "\\Maker\\Title";
  s.ProgramSize = 1;
  s.DataSize = 2;
  s.SoundSize = 3;
  s.MovieSize = 4;
  s.UninstallMode = 1;
  s.AddOnPackage = 1;
  s.InstalledFiles = {"game.exe", "", "data\\a.bin"};
  s.DataInstalled = 1;
  s.SetupKind = 2;
  s.FilesInArchive = 1;
  s.PlainFiles = {"readme.txt", "", "movie\\op.mpg"};
  s.SetupCaption = base::Sjis("セットアップ");

  TMoraInstallSet back;
  Load(back, s.SaveToBytes());
  EXPECT_EQ(back.FormatVersion(), 107);
  s.InstalledFiles = {"game.exe", "data\\a.bin"};
  EXPECT_EQ(back.SaveToBytes(), s.SaveToBytes());
  EXPECT_EQ(back.Title, s.Title);
  EXPECT_EQ(back.PlainFiles, s.PlainFiles);
  EXPECT_EQ(back.DiskProgramSizes()[1], 5000000000LL);
  EXPECT_EQ(back.DiskMovieSizes()[0], -1);
}

TEST(InstallSetFile, ReadsFormatZeroFromFirstByte) {
  TMoraInstallSet s = WithLaterFieldsSet();
  Load(s, BodyUpToUninstallMode(false).Bytes());
  ExpectBody(s);
  EXPECT_EQ(s.FormatVersion(), 0);
  EXPECT_EQ(s.AddOnPackage, 1);
  EXPECT_EQ(s.DataInstalled, 1);
  EXPECT_EQ(s.SetupKind, 2);
  EXPECT_EQ(s.FilesInArchive, 1);
  EXPECT_EQ(s.SetupCaption, "Old caption");
  EXPECT_TRUE(s.InstalledFiles.empty());
  EXPECT_TRUE(s.PlainFiles.empty());

  // Saved again, it is a complete format-107 file.
  TMoraInstallSet again;
  Load(again, s.SaveToBytes());
  ExpectBody(again);
  EXPECT_EQ(again.SetupKind, 2);
  EXPECT_EQ(again.SetupCaption, "Old caption");
  EXPECT_EQ(again.FormatVersion(), 107);
}

TEST(InstallSetFile, MarkWithoutDigitsIsFormatZeroFromOffsetFive) {
  TMoraInstallSet s;
  TImage image;
  image.Raw("isX1Z").Raw(BodyUpToUninstallMode(false).Bytes());
  Load(s, image.Bytes());
  ExpectBody(s);
  EXPECT_EQ(s.FormatVersion(), 0);

  // "IS" is no mark: the file is format 0 from its first byte.
  TMoraInstallSet upper;
  TImage noMark;
  noMark.Raw("IS").Raw(BodyUpToUninstallMode(false).Bytes().substr(2));
  Load(upper, noMark.Bytes());
  EXPECT_EQ(upper.DiskIndex, 0x01025349);  // "IS", then 02 01 of the original value
}

TEST(InstallSetFile, FormatNinetyNineReadsFourByteSizesIntoTheLowHalf) {
  TMoraInstallSet s;
  s.SetDiskCount(1);
  s.ProgramSize = 0x700000000LL;  // the high half survives a 4-byte size
  s.DiskProgramSizes()[0] = 0x300000000LL;
  TImage image;
  image.Raw("is099").Raw(BodyUpToUninstallMode(false).Bytes());
  Load(s, image.Bytes());
  EXPECT_EQ(s.FormatVersion(), 99);
  EXPECT_EQ(s.ProgramSize, 0x700000000LL + 101);
  EXPECT_EQ(s.DiskProgramSizes()[0], 0x300000000LL + 11);
  EXPECT_EQ(s.DataSize, 102);
  EXPECT_EQ(s.MovieSize, 104);
  EXPECT_EQ(s.UninstallMode, 1);

  // A 4-byte size is unsigned: 0xFFFFFFFF is 4294967295, not -1.
  const std::string body = BodyUpToUninstallMode(false).Bytes();
  TImage big;
  big.Raw("is099").Raw(body.substr(0, body.size() - 1 - 16));  // without totals
  big.I32(-1).I32(0).I32(0).I32(0).Byte(0);
  TMoraInstallSet fresh;
  Load(fresh, big.Bytes());
  EXPECT_EQ(fresh.ProgramSize, 0xFFFFFFFFLL);
}

TEST(InstallSetFile, FormatHundredReadsEightByteSizes) {
  TMoraInstallSet s = WithLaterFieldsSet();
  TImage image;
  image.Raw("is100").Raw(BodyUpToUninstallMode(true).Bytes());
  Load(s, image.Bytes());
  ExpectBody(s);
  EXPECT_EQ(s.FormatVersion(), 100);
  EXPECT_EQ(s.AddOnPackage, 1);  // from 101 on
}

TEST(InstallSetFile, EachFormatReadsOnlyItsFields) {
  // Formats 101 to 106 in turn: the fields added up to the format change,
  // the later ones keep the old values.
  for (int format = 101; format <= 106; ++format) {
    TImage image;
    image.Raw("is" + std::to_string(format)).Raw(BodyUpToUninstallMode(true).Bytes());
    image.Byte(0);                                   // AddOnPackage
    if (format >= 102) image.I32(1).Str("new.bin");  // InstalledFiles
    if (format >= 103) image.Byte(0);                // DataInstalled
    if (format >= 104) image.Byte(0);                // SetupKind
    if (format >= 105) image.Byte(0);                // FilesInArchive
    if (format >= 106) image.I32(1).Str("new.txt");  // PlainFiles
    TMoraInstallSet s = WithLaterFieldsSet();
    Load(s, image.Bytes());
    SCOPED_TRACE(format);
    ExpectBody(s);
    EXPECT_EQ(s.AddOnPackage, 0);
    EXPECT_EQ(s.InstalledFiles,
              format >= 102 ? std::vector<std::string>{"new.bin"} : std::vector<std::string>{});
    EXPECT_EQ(s.DataInstalled, format >= 103 ? 0 : 1);
    EXPECT_EQ(s.SetupKind, format >= 104 ? 0 : 2);
    EXPECT_EQ(s.FilesInArchive, format >= 105 ? 0 : 1);
    EXPECT_EQ(s.PlainFiles,
              format >= 106 ? std::vector<std::string>{"new.txt"} : std::vector<std::string>{});
    EXPECT_EQ(s.SetupCaption, "Old caption");
  }
}

TEST(InstallSetFile, NewerFormatIsReadAsCurrentAndTrailingBytesIgnored) {
  TImage image;
  image.Raw("is108").Raw(BodyUpToUninstallMode(true).Bytes());
  image.Byte(1).I32(0).Byte(1).Byte(1).Byte(1).I32(0).Str("Caption");
  const std::size_t recordSize = image.Bytes().size();
  image.Raw("trailing garbage");
  platform::TMemoryStream stream(image.Bytes());
  TMoraInstallSet s;
  s.LoadFromStream(stream);
  ExpectBody(s);
  EXPECT_EQ(s.FormatVersion(), 108);
  EXPECT_EQ(s.SetupCaption, "Caption");
  EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(recordSize));
}

TEST(InstallSetFile, EmptyInstalledEntriesAreDroppedAndEmptyPlainEntriesKept) {
  TImage image;
  image.Raw("is107").Raw(BodyUpToUninstallMode(true).Bytes());
  // Three installed entries: length 0 and a negative length take only their
  // 4 bytes each.
  image.Byte(0).I32(3).I32(0).Str("x.bin").I32(-5);
  image.Byte(0).Byte(0).Byte(0);
  image.I32(3).Str("a.txt").I32(0).I32(-1);
  image.Str("");  // SetupCaption
  TMoraInstallSet s;
  Load(s, image.Bytes());
  EXPECT_EQ(s.InstalledFiles, std::vector<std::string>{"x.bin"});
  EXPECT_EQ(s.PlainFiles, (std::vector<std::string>{"a.txt", "", ""}));
  EXPECT_EQ(s.SetupCaption, "");
}

TEST(InstallSetFile, DiskCountZeroPutsTotalsRightAfterRegistryKey) {
  TImage image;
  image.Raw("is100").I32(0).Str("T").I32(0).I32(0).I32(0).Byte(0).I32(0).Byte(0);
  image.I32(0).I32(0).I32(0).Byte(0).Byte(0).I32(0).Str("K");
  image.I64(1).I64(2).I64(3).I64(4).Byte(1);
  TMoraInstallSet s;
  s.SetDiskCount(2);
  Load(s, image.Bytes());
  EXPECT_EQ(s.DiskCount(), 0);
  EXPECT_TRUE(s.DiskDataSizes().empty());
  EXPECT_EQ(s.ProgramSize, 1);
  EXPECT_EQ(s.MovieSize, 4);
  EXPECT_EQ(s.UninstallMode, 1);
}

TEST(InstallSetFile, FixedFieldsThatFindNoDataKeepTheirValues) {
  // The data ends inside ProgramSize (3 of 8 bytes): ProgramSize and all
  // later fields keep what the object held.
  TImage image;
  image.Raw("is107").Raw(BodyUpToUninstallMode(true).Bytes());
  const std::string cut = image.Bytes().substr(0, image.Bytes().size() - 1 - 32 + 3);
  TMoraInstallSet s = WithLaterFieldsSet();
  s.ProgramSize = 77;
  s.MovieSize = 88;
  s.UninstallMode = 1;
  Load(s, cut);
  EXPECT_EQ(s.Title, "Title");
  EXPECT_EQ(s.DiskMovieSizes()[0], 14);
  EXPECT_EQ(s.ProgramSize, 77);
  EXPECT_EQ(s.MovieSize, 88);
  EXPECT_EQ(s.SetupKind, 2);
  EXPECT_TRUE(s.InstalledFiles.empty());
  EXPECT_TRUE(s.PlainFiles.empty());

  // Data that ends before DiskCount: an object that already has disks keeps
  // them and their sizes, and the load reports nothing.
  TMoraInstallSet disks;
  disks.SetDiskCount(2);
  disks.DiskDataSizes()[1] = 42;
  disks.ProgramSize = 5;
  Load(disks, TImage().Raw("is107").I32(3).Str("Disk 2").Bytes());
  EXPECT_EQ(disks.DiskIndex, 3);
  EXPECT_EQ(disks.Title, "Disk 2");
  ASSERT_EQ(disks.DiskCount(), 2);
  EXPECT_EQ(disks.DiskDataSizes()[1], 42);
  EXPECT_EQ(disks.ProgramSize, 5);

  // Only "is1" of the header: format 0 with no fields at all.
  TMoraInstallSet empty = WithLaterFieldsSet();
  empty.Title = "kept";
  Load(empty, "is1");
  EXPECT_EQ(empty.FormatVersion(), 0);
  EXPECT_EQ(empty.Title, "kept");
}

TEST(InstallSetFile, LengthsAndCountsPastTheEndAreRejectedNamingTheFile) {
  const std::string head = "is107" + BodyUpToUninstallMode(true).Bytes();
  struct TCase {
    const char* What;
    std::string Bytes;
  };
  const TCase cases[] = {
      {"Title longer than the data", TImage().Raw("is107").I32(0).I32(1000).Raw("abc").Bytes()},
      {"huge Title length", TImage().Raw("is107").I32(0).I32(0x7FFFFFFF).Bytes()},
      {"huge DiskCount", TImage()
                             .Raw("is107")
                             .I32(0)
                             .I32(0)
                             .I32(0)
                             .I32(0)
                             .I32(0)
                             .Byte(0)
                             .I32(0)
                             .Byte(0)
                             .I32(0x7FFFFFFF)
                             .Bytes()},
      {"huge InstalledFiles count", TImage().Raw(head).Byte(0).I32(2000000000).I32(0).Bytes()},
      {"InstalledFiles entry past the end",
       TImage().Raw(head).Byte(0).I32(1).I32(9).Raw("ab").Bytes()},
      {"PlainFiles count past the end",
       TImage().Raw(head).Byte(0).I32(0).Byte(0).Byte(0).Byte(0).I32(3).Str("a").Bytes()},
      {"SetupCaption past the end",
       TImage().Raw(head).Byte(0).I32(0).Byte(0).Byte(0).Byte(0).I32(0).I32(5).Raw("abc").Bytes()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TMoraInstallSet s = WithLaterFieldsSet();
    s.Title = "before";
    platform::TMemoryStream stream(c.Bytes);
    try {
      s.LoadFromStream(stream, "D:\\install.dat");
      ADD_FAILURE() << "accepted";
    } catch (const base::EDamagedData& e) {
      EXPECT_EQ(e.Message().rfind("D:\\install.dat: offset ", 0), 0u) << e.Message();
    }
    // The object is left as it was.
    EXPECT_EQ(s.Title, "before");
    EXPECT_EQ(s.InstalledFiles, std::vector<std::string>{"old.bin"});
  }

  // Per-disk groups cut off by the end of the data (two disks announced, the
  // rest of the file holds one group and the totals' start).
  TImage cut;
  cut.Raw("is107").I32(0).I32(0).I32(0).I32(0).I32(0).Byte(0).I32(0).Byte(0).I32(2);
  cut.I32(0).I32(0).Byte(0).Byte(0).I32(0).I32(0);
  for (int i = 0; i < 6; ++i) cut.I64(i);
  TMoraInstallSet s;
  EXPECT_THROW(Load(s, cut.Bytes()), base::EDamagedData);
  EXPECT_EQ(s.DiskCount(), 0);
}

TEST(InstallSetFile, NegativeDiskCountIsARangeError) {
  TImage image;
  image.Raw("is107").I32(0).Str("T").I32(0).I32(0).I32(0).Byte(0).I32(0).Byte(0).I32(-1);
  image.Str("after.exe");
  TMoraInstallSet s;
  EXPECT_THROW(Load(s, image.Bytes()), base::ERangeError);
  EXPECT_EQ(s.ProgramFile, "");
  EXPECT_EQ(s.Title, "");
  EXPECT_THROW(s.SetDiskCount(-1), base::ERangeError);
}

TEST(InstallSetFile, SetDiskCountKeepsElementsAndZeroesNewOnes) {
  TMoraInstallSet s;
  s.SetDiskCount(2);
  s.DiskDataSizes()[0] = 5;
  s.DiskSoundSizes()[1] = 6;
  s.SetDiskCount(3);
  EXPECT_EQ(s.DiskDataSizes()[0], 5);
  EXPECT_EQ(s.DiskSoundSizes()[1], 6);
  EXPECT_EQ(s.DiskSoundSizes()[2], 0);
  EXPECT_EQ(s.DiskMovieSizes().size(), 3u);
  s.SetDiskCount(1);
  EXPECT_EQ(s.DiskCount(), 1);
  EXPECT_EQ(s.DiskDataSizes().size(), 1u);
  EXPECT_EQ(s.DiskDataSizes()[0], 5);
}

}  // namespace
}  // namespace mora::settings
