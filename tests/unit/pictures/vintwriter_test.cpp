// Writer -> reader round trips across format versions, bit depths,
// compressions, tiling and shuffles, and pictures made from PNG/JPEG files.
#include <gtest/gtest.h>

#include <random>

#include "base/errors.h"
#include "picture_test_util.h"
#include "pictures/jpeg.h"
#include "pictures/png.h"
#include "pictures/vints.h"
#include "pictures/vintwriter.h"

namespace mora::pictures {
namespace {

using testing::FrameOf;
using testing::LayerOf;
using testing::LoadPicture;
using testing::PictureOf;
using testing::SolidSurface;
using vint::TCompression;

TDIBSurface RandomSurface(int width, int height, int bits, std::mt19937& random) {
  TDIBSurface s(width, height, bits);
  const std::uint32_t range = bits >= 32 ? 0xFFFFFFFFu : bits == 15 ? 0x7FFFu : (1u << bits) - 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) s.SetPixel(x, y, random() & range);
  }
  return s;
}

struct TCase {
  int Version;
  int Bits;
  TCompression Compression;
  bool Tiles;
  bool Shuffled;
};

std::string Describe(const TCase& c) {
  return "version " + std::to_string(c.Version) + ", " + std::to_string(c.Bits) +
         " bits, compression " + std::to_string(static_cast<int>(c.Compression)) +
         (c.Tiles ? ", tiles" : "") + (c.Shuffled ? ", shuffled" : "");
}

TEST(VintWriterTest, RoundTripsAcrossVersionsAndOptions) {
  std::mt19937 random(1234);
  std::vector<TCase> cases;
  for (const int version : {0, 1, 100, 101, 102, 103, 104, 105, 120}) {
    for (const int bits : {1, 4, 8, 15, 16, 24, 32}) {
      for (const auto compression : {TCompression::Deflate, TCompression::None}) {
        for (const bool tiles : {false, true}) {
          cases.push_back({version, bits, compression, tiles, (version + bits) % 2 == 0});
        }
      }
    }
  }
  for (const TCase& c : cases) {
    SCOPED_TRACE(Describe(c));
    const int width = 13;
    const int height = 7;
    std::vector<TColor> palette;
    for (int i = 0; i < (c.Bits <= 8 ? (1 << c.Bits) : 0); ++i) {
      palette.push_back(MakeColor(static_cast<std::uint8_t>(i * 7),
                                  static_cast<std::uint8_t>(i * 3),
                                  static_cast<std::uint8_t>(255 - i)));
    }
    TVintPictureSource picture;
    picture.Version = c.Version;
    picture.Compression = c.Compression;
    picture.Shuffled = c.Shuffled;
    picture.TileWidth = c.Tiles ? 8 : 0;
    picture.TileHeight = c.Tiles ? 3 : 0;
    picture.Background = MakeColor(1, 2, 3);
    std::vector<TDIBSurface> expected;
    for (int f = 0; f < 2; ++f) {
      TDIBSurface colour = RandomSurface(width, height, c.Bits, random);
      colour.CreateMask(0);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) colour.SetMaskAt(x, y, static_cast<std::uint8_t>(random()));
      }
      expected.push_back(colour);
      TVintFrameSource frame = FrameOf(width, height, c.Bits, {LayerOf(colour)});
      frame.Palette = palette;
      frame.FrameValue = 40 + f;
      frame.Name = "frame";
      frame.Layers[0].Name = "layer";
      frame.FirstList = {{1, 2, 3, 4}};
      frame.SecondList = {{5, 6, 7, 8}, {9, 10, 11, 12}};
      picture.Frames.push_back(frame);
    }
    const std::int32_t seed = static_cast<std::int32_t>(random());
    auto list = LoadPicture(WriteVint(picture, seed), seed);
    EXPECT_EQ(list->Version(), c.Version);
    ASSERT_EQ(list->Count(), 2);
    const int recordVersion = c.Version;
    for (int f = 0; f < 2; ++f) {
      const TVintFrame& frame = list->Frame(f);
      const TDIBSurface& bitmap = frame.Bitmap();
      ASSERT_EQ(bitmap.Width(), width);
      ASSERT_EQ(bitmap.Height(), height);
      EXPECT_EQ(bitmap.BitsPerPixel(), c.Bits <= 8 ? 24 : c.Bits);
      EXPECT_EQ(frame.FrameValue, 40 + f);
      EXPECT_EQ(frame.FirstList.size(), recordVersion >= 104 ? 1u : 0u);
      EXPECT_EQ(frame.SecondList.size(), recordVersion >= 104 ? 2u : 0u);
      int wrong = 0;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const std::uint32_t value = expected[static_cast<std::size_t>(f)].Pixel(x, y);
          if (c.Bits <= 8) {
            wrong += bitmap.Color(x, y) == palette[value] ? 0 : 1;
          } else {
            wrong += bitmap.Pixel(x, y) == value ? 0 : 1;
          }
          // A mask enabled on layer 0 becomes the frame's mask.
          if (c.Version >= 101) {
            wrong +=
                bitmap.MaskAt(x, y) == expected[static_cast<std::size_t>(f)].MaskAt(x, y) ? 0 : 1;
          }
        }
      }
      EXPECT_EQ(wrong, 0) << "frame " << f;
      EXPECT_EQ(bitmap.HasMask(), c.Version >= 101);
    }
  }
}

TEST(VintWriterTest, WritesTheMagicOnlyFromVersionOne) {
  TVintPictureSource picture = PictureOf({FrameOf(1, 1, 24, {LayerOf(SolidSurface(1, 1, 24, 0))})});
  picture.Version = 0;
  EXPECT_NE(WriteVint(picture, 0).substr(0, 4), "Vint");
  picture.Version = 7;
  EXPECT_EQ(WriteVint(picture, 0).substr(0, 7), "Vint007");
  picture.Version = 1000;
  EXPECT_THROW(WriteVint(picture, 0), base::ERangeError);
}

TEST(VintWriterTest, RefusesTilesThatSplitBytes) {
  TVintPictureSource picture = PictureOf({FrameOf(8, 2, 1, {LayerOf(SolidSurface(8, 2, 1, 1))})});
  picture.TileWidth = 3;
  picture.TileHeight = 1;
  EXPECT_THROW(WriteVint(picture, 0), base::ERangeError);
}

TEST(VintWriterTest, MakesFramesFromPngAndKeepsJpegStreams) {
  TDIBSurface source(5, 3, 24);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      source.SetColor(
          x, y, MakeColor(static_cast<std::uint8_t>(x * 50), static_cast<std::uint8_t>(y * 80), 7));
    }
  }
  TVintPictureSource fromPng =
      PictureOf({FrameFromPicture(EncodePng(source), "source.png")}, 105, TCompression::Deflate);
  auto png = LoadPicture(WriteVint(fromPng, 2), 2);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(png->Frame(0).Bitmap().Color(x, y), source.Color(x, y));
  }

  const std::string jpeg = EncodeJpeg(SolidSurface(16, 16, 24, 0x808080), 75);
  TVintPictureSource fromJpeg =
      PictureOf({FrameFromPicture(jpeg, "source.jpg")}, 105, TCompression::Jpeg);
  const std::string bytes = WriteVint(fromJpeg, 2);
  EXPECT_NE(bytes.find(jpeg), std::string::npos);
  auto decoded = LoadPicture(bytes, 2);
  EXPECT_EQ(decoded->Frame(0).Width(), 16);
  EXPECT_THROW(FrameFromPicture("not a picture", "junk"), base::EDamagedData);
}

}  // namespace
}  // namespace mora::pictures
