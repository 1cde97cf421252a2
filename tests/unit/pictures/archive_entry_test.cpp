// Pictures read from archive entries: through TVrFileCollection::LoadEntry in
// process, and through `mora picture ARCHIVE --entry NAME` (native builds).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "archive/vrfiles.h"
#include "archive/vrwriter.h"
#include "base/sjis.h"
#include "picture_test_util.h"
#include "pictures/png.h"
#include "platform/folders.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace mora::pictures {
namespace {

#ifndef _WIN32
using testing::FrameOf;
using testing::LayerOf;
using testing::PictureOf;
using testing::SurfaceOf;

std::string TwoFramePicture() {
  TVintPictureSource picture =
      PictureOf({FrameOf(2, 2, 24, {LayerOf(SurfaceOf(2, 2, 24, {1, 2, 3, 4}))}),
                 FrameOf(2, 2, 24, {LayerOf(SurfaceOf(2, 2, 24, {0x0A0B0C, 6, 7, 8}))})},
                105, vint::TCompression::Deflate);
  picture.Shuffled = true;
  return WriteVint(picture, 555);
}

class ArchiveEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mora-pictures-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    FFolder = pattern;
    setenv("MORA_HOME", (FFolder + "/home").c_str(), 1);
    archive::TVrArchiveWriter writer;
    archive::TArchiveEntryOptions stored;
    stored.Stored = true;
    writer.AddBytes(base::Sjis("絵\\title.vnt"), TwoFramePicture(), stored);
    writer.AddBytes("other.vnt", TwoFramePicture());
    FArchive = FFolder + "/game.dat";
    writer.WriteSeparate(platform::PathFromNative(FArchive));
  }
  void TearDown() override {
    std::string command = "rm -rf '" + FFolder + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  std::string FFolder;
  std::string FArchive;
};

TEST_F(ArchiveEntryTest, LoadsAPictureFromAnEntry) {
  for (const char* name : {"絵\\title.vnt", "other.vnt"}) {
    archive::TVrFileCollection collection;
    collection.Open(platform::PathFromNative(FArchive));
    platform::TMemoryStream stream;
    collection.LoadEntry(stream, base::Sjis(name));
    TVintFrameList list(555);
    list.LoadFromStream(stream, false, base::Sjis(name));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Frame(1).Bitmap().Pixel(0, 0), 0x0A0B0Cu);
    EXPECT_EQ(list.Frame(0).Bitmap().Pixel(1, 1), 4u);
  }
}

#ifdef MORA_EXECUTABLE
TEST_F(ArchiveEntryTest, MoraPictureWritesTheEntrysFrame) {
  const std::string png = FFolder + "/out.png";
  const std::string command = std::string("'") + MORA_EXECUTABLE + "' picture '" + FArchive +
                              "' --entry '絵\\title.vnt' --seed 555 --frame 1 -o '" + png + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(png, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const TDIBSurface image = DecodePng(bytes.str(), "out.png");
  ASSERT_EQ(image.Width(), 2);
  EXPECT_EQ(image.Color(0, 0), MakeColor(0x0A, 0x0B, 0x0C));
  EXPECT_EQ(image.Color(1, 1), MakeColor(0, 0, 8));
  // A name the archive lacks is reported as missing (exit code 4).
  const std::string missing = std::string("'") + MORA_EXECUTABLE + "' picture '" + FArchive +
                              "' --entry nothing.vnt --seed 555 -o '" + png + "' 2>/dev/null";
  const int status = std::system(missing.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 4);
}
#endif
#endif

}  // namespace
}  // namespace mora::pictures
