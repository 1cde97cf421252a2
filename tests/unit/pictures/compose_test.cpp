// Composing layers onto frames: masks, constant opacity, colour keys, the
// first-layer-opaque flag, ordered dither and the blends of each bit depth.
// Expected pixels are worked out from the blending rules by hand.
#include <gtest/gtest.h>

#include "picture_test_util.h"
#include "pictures/jpeg.h"
#include "pictures/vints.h"
#include "pictures/vintwriter.h"

namespace mora::pictures {
namespace {

using testing::FrameOf;
using testing::LayerOf;
using testing::LoadPicture;
using testing::PictureOf;
using testing::SolidSurface;
using testing::SurfaceOf;
using vint::TCompression;

std::unique_ptr<TVintFrameList> Compose(std::vector<TVintLayerSource> layers, int bits,
                                        int width = 2, int height = 1, TColor background = 0,
                                        bool firstLayerOpaque = false) {
  TVintPictureSource picture = PictureOf({FrameOf(width, height, bits, std::move(layers))});
  picture.Background = background;
  picture.FirstLayerOpaque = firstLayerOpaque;
  return LoadPicture(WriteVint(picture, 11), 11);
}

TVintLayerSource Masked(TDIBSurface colour, std::vector<std::uint8_t> mask, std::int32_t opacity,
                        std::int32_t key = -1) {
  colour.CreateMask(0);
  for (int y = 0; y < colour.Height(); ++y) {
    for (int x = 0; x < colour.Width(); ++x) {
      colour.SetMaskAt(x, y, mask[static_cast<std::size_t>(y * colour.Width() + x)]);
    }
  }
  return LayerOf(std::move(colour), opacity, key);
}

TEST(ComposeTest, OpacityZeroDrawsNothing) {
  auto list =
      Compose({LayerOf(SolidSurface(2, 1, 24, 0xFFFFFF), 0)}, 24, 2, 1, MakeColor(10, 20, 30));
  EXPECT_EQ(list->Frame(0).Bitmap().Color(0, 0), MakeColor(10, 20, 30));
  EXPECT_EQ(list->Frame(0).Bitmap().Color(1, 0), MakeColor(10, 20, 30));
}

TEST(ComposeTest, MaskBlendsAfterLayerZeroWhateverTheOpacity) {
  // Frame bytes 200, layer bytes 40: a = 100 gives (155*200 + 100*40) >> 8
  // = 35000 >> 8 = 136; a = 0 keeps 200; a = 255 copies 40.
  for (const std::int32_t opacity : {0, 17, 255}) {
    SCOPED_TRACE(opacity);
    auto list = Compose({LayerOf(SolidSurface(3, 1, 24, 0xC8C8C8)),
                         Masked(SolidSurface(3, 1, 24, 0x282828), {100, 0, 255}, opacity)},
                        24, 3, 1);
    const TDIBSurface& bitmap = list->Frame(0).Bitmap();
    EXPECT_EQ(bitmap.Pixel(0, 0), 0x888888u);
    EXPECT_EQ(bitmap.Pixel(1, 0), 0xC8C8C8u);
    EXPECT_EQ(bitmap.Pixel(2, 0), 0x282828u);
  }
}

TEST(ComposeTest, MaskOnLayerZeroBecomesTheFramesMaskAndClearsTheKey) {
  // The layer's key equals its pixel; with a mask the key is dropped and the
  // layer, being opaque, is copied whole.
  auto masked = Compose({Masked(SolidSurface(2, 1, 24, 0x123456), {10, 250}, 255, 0x123456)}, 24, 2,
                        1, MakeColor(1, 1, 1));
  EXPECT_EQ(masked->Frame(0).Bitmap().Pixel(0, 0), 0x123456u);
  ASSERT_TRUE(masked->Frame(0).Bitmap().HasMask());
  EXPECT_EQ(masked->Frame(0).Bitmap().MaskAt(0, 0), 10);
  EXPECT_EQ(masked->Frame(0).Bitmap().MaskAt(1, 0), 250);
  // Without the mask the key keeps the layer from being drawn.
  auto keyed = Compose({LayerOf(SolidSurface(2, 1, 24, 0x123456), 255, 0x123456)}, 24, 2, 1,
                       MakeColor(1, 1, 1));
  EXPECT_EQ(keyed->Frame(0).Bitmap().Color(0, 0), MakeColor(1, 1, 1));
  EXPECT_FALSE(keyed->Frame(0).Bitmap().HasMask());
}

TEST(ComposeTest, FirstLayerOpaqueFlagIgnoresTheKeyOfTheFirstVisibleLayer) {
  TVintLayerSource hidden = LayerOf(SolidSurface(2, 1, 24, 0x999999));
  hidden.Visible = 0;
  const TVintLayerSource keyed = LayerOf(SurfaceOf(2, 1, 24, {0x111111, 0x222222}), 255, 0x111111);
  auto flagged = Compose({hidden, keyed}, 24, 2, 1, MakeColor(5, 5, 5), true);
  EXPECT_EQ(flagged->Frame(0).Bitmap().Pixel(0, 0), 0x111111u);
  auto plain = Compose({hidden, keyed}, 24, 2, 1, MakeColor(5, 5, 5), false);
  EXPECT_EQ(plain->Frame(0).Bitmap().Color(0, 0), MakeColor(5, 5, 5));
  EXPECT_EQ(plain->Frame(0).Bitmap().Pixel(1, 0), 0x222222u);
  // Only the first visible layer counts.
  auto second = Compose({LayerOf(SolidSurface(2, 1, 24, 0x333333)), keyed}, 24, 2, 1, 0, true);
  EXPECT_EQ(second->Frame(0).Bitmap().Pixel(0, 0), 0x333333u);
}

TEST(ComposeTest, ConstantOpacityDividesBy255For24BitsAndShiftsFor32) {
  // Frame byte 48, 32, 16 under layer byte 208, 224, 240 at a = 128:
  // 24 bits: (127*48 + 128*208) / 255 = 32720 / 255 = 128, and so on;
  // 32 bits: the same sums >> 8 = 127, and the fourth byte becomes 0.
  auto rgb = Compose(
      {LayerOf(SolidSurface(1, 1, 24, 0x102030)), LayerOf(SolidSurface(1, 1, 24, 0xF0E0D0), 128)},
      24, 1, 1);
  EXPECT_EQ(rgb->Frame(0).Bitmap().Pixel(0, 0), (128u << 16) | (128u << 8) | 128u);
  auto rgba = Compose({LayerOf(SolidSurface(1, 1, 32, 0xFF102030)),
                       LayerOf(SolidSurface(1, 1, 32, 0x00F0E0D0), 128)},
                      32, 1, 1);
  EXPECT_EQ(rgba->Frame(0).Bitmap().Pixel(0, 0), 0x007F7F7Fu);
  // The 32-bit key compares the whole pixel: a differing fourth byte draws.
  auto keyed = Compose({LayerOf(SolidSurface(1, 2, 32, 0x01010101)),
                        LayerOf(SurfaceOf(1, 2, 32, {0x00F0E0D0, 0xAAF0E0D0}), 254, 0x00F0E0D0)},
                       32, 1, 2);
  EXPECT_EQ(keyed->Frame(0).Bitmap().Pixel(0, 0), 0x01010101u);
  EXPECT_NE(keyed->Frame(0).Bitmap().Pixel(0, 1), 0x01010101u);
}

TEST(ComposeTest, FifteenAndSixteenBitsBlendTheirOwnChannels) {
  // Frame all ones, layer 0, a = 128: each channel (127 * channel) / 255.
  // 16 bits: red 0xF800 -> 0x7B83 & 0xF800 = 0x7800, green 0x7E0 -> 1004 &
  // 0x7E0 = 0x3E0, blue 31 -> 15: 0x7BEF. 15 bits: red 0x7C00 -> 15809 &
  // 0x7C00 = 0x3C00, green 0x3E0 -> 494 & 0x3E0 = 0x1E0, blue 15: 0x3DEF.
  auto sixteen = Compose(
      {LayerOf(SolidSurface(1, 1, 16, 0xFFFF)), LayerOf(SolidSurface(1, 1, 16, 0), 128)}, 16, 1, 1);
  EXPECT_EQ(sixteen->Frame(0).Bitmap().Pixel(0, 0), 0x7BEFu);
  auto fifteen = Compose(
      {LayerOf(SolidSurface(1, 1, 15, 0x7FFF)), LayerOf(SolidSurface(1, 1, 15, 0), 128)}, 15, 1, 1);
  EXPECT_EQ(fifteen->Frame(0).Bitmap().Pixel(0, 0), 0x3DEFu);
  // Through a mask of 128 the sums are shifted: 16 bits red 8062976 >> 8 =
  // 31496 & 0xF800 = 0x7800, green 256032 >> 8 = 1000 & 0x7E0 = 0x3E0,
  // blue 3937 >> 8 = 15.
  auto masked = Compose(
      {LayerOf(SolidSurface(1, 1, 16, 0xFFFF)), Masked(SolidSurface(1, 1, 16, 0), {128}, 255)}, 16,
      1, 1);
  EXPECT_EQ(masked->Frame(0).Bitmap().Pixel(0, 0), 0x7BEFu);
}

// The 4 x 4 ordered-dither thresholds.
constexpr int Thresholds[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

TEST(ComposeTest, PaletteFramesDitherConstantOpacity) {
  const TColor black = MakeColor(0, 0, 0);
  const TColor white = MakeColor(255, 255, 255);
  for (const int bits : {8, 4, 1}) {
    for (const std::int32_t opacity : {8, 230, 240}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, opacity " + std::to_string(opacity));
      TVintFrameSource frame = FrameOf(8, 8, bits, {LayerOf(SolidSurface(8, 8, bits, 1), opacity)});
      frame.Palette = {black, white};
      auto list = LoadPicture(WriteVint(PictureOf({frame}), 0), 0);
      const TDIBSurface& bitmap = list->Frame(0).Bitmap();
      const int level = opacity / 16;
      int copied = 0;
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
          const bool expectWhite = level > 14 || Thresholds[y % 4][x % 4] <= level;
          EXPECT_EQ(bitmap.Color(x, y), expectWhite ? white : black) << x << "," << y;
          copied += bitmap.Color(x, y) == white ? 1 : 0;
        }
      }
      // Level 0 copies one position in 16, level 14 fifteen, level 15 all.
      EXPECT_EQ(copied, level == 0 ? 4 : (level == 14 ? 60 : 64));
    }
  }
}

TEST(ComposeTest, PaletteFramesCopyThroughMasksFrom128On) {
  TVintFrameSource frame = FrameOf(
      3, 1, 8,
      {LayerOf(SolidSurface(3, 1, 8, 0)), Masked(SolidSurface(3, 1, 8, 1), {127, 128, 255}, 0)});
  frame.Palette = {MakeColor(0, 0, 0), MakeColor(255, 0, 0)};
  auto list = LoadPicture(WriteVint(PictureOf({frame}), 0), 0);
  const TDIBSurface& bitmap = list->Frame(0).Bitmap();
  EXPECT_EQ(bitmap.Color(0, 0), MakeColor(0, 0, 0));
  EXPECT_EQ(bitmap.Color(1, 0), MakeColor(255, 0, 0));
  EXPECT_EQ(bitmap.Color(2, 0), MakeColor(255, 0, 0));
}

TEST(ComposeTest, KeyedPixelsAreSkippedWhenBlending) {
  // Opacity 51 over frame byte 0: layer byte 255 gives 51*255/255 = 51; the
  // keyed pixel keeps the frame.
  auto list = Compose({LayerOf(SolidSurface(2, 1, 24, 0)),
                       LayerOf(SurfaceOf(2, 1, 24, {0xFFFFFF, 0x0000FF}), 51, 0x0000FF)},
                      24, 2, 1);
  EXPECT_EQ(list->Frame(0).Bitmap().Pixel(0, 0), 0x333333u);
  EXPECT_EQ(list->Frame(0).Bitmap().Pixel(1, 0), 0u);
}

TEST(ComposeTest, JpegLayerWithAMask) {
  // Left half of the mask 0 keeps the first layer, right half 255 copies the
  // JPEG layer. A flat colour survives JPEG within a small error.
  TDIBSurface colour = SolidSurface(16, 8, 24, 0x3060C0);
  std::vector<std::uint8_t> mask(16 * 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) mask[static_cast<std::size_t>(y * 16 + x)] = x < 8 ? 0 : 255;
  }
  TVintPictureSource picture = PictureOf(
      {FrameOf(16, 8, 24, {LayerOf(SolidSurface(16, 8, 24, 0x102030)), Masked(colour, mask, 255)})},
      105, TCompression::Jpeg);
  picture.Shuffled = true;  // not applied to JPEG blocks or their masks
  auto list = LoadPicture(WriteVint(picture, 21), 21);
  const TDIBSurface& bitmap = list->Frame(0).Bitmap();
  auto near = [](std::uint32_t p, std::uint32_t expected) {
    for (int shift : {0, 8, 16}) {
      const int got = static_cast<int>((p >> shift) & 0xFF);
      const int want = static_cast<int>((expected >> shift) & 0xFF);
      if (got < want - 3 || got > want + 3) return false;
    }
    return true;
  };
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      EXPECT_TRUE(near(bitmap.Pixel(x, y), x < 8 ? 0x102030u : 0x3060C0u))
          << x << "," << y << ": " << std::hex << bitmap.Pixel(x, y);
    }
  }
}

}  // namespace
}  // namespace mora::pictures
