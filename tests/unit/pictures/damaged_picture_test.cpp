// Thousands of damaged pictures of every compression: each loads or fails
// with the program's own exception and leaves the list empty; nothing is
// read or written outside a buffer (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "base/errors.h"
#include "byte_damage.h"
#include "picture_test_util.h"
#include "pictures/vints.h"

namespace mora::pictures {
namespace {

using testing::FrameOf;
using testing::LayerOf;
using testing::PictureOf;
using testing::SurfaceOf;
using vint::TCompression;

// Two frames of two layers: a masked 24-bit layer under a colour-keyed one,
// tiled where the compression allows, and a palette frame.
std::string SamplePicture(TCompression compression, bool shuffled) {
  TDIBSurface colour = SurfaceOf(4, 3, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  colour.CreateMask(180);
  TVintFrameSource first = FrameOf(4, 3, 24, {LayerOf(colour), LayerOf(colour, 128, 5)});
  TVintFrameSource second =
      FrameOf(4, 3, 16, {LayerOf(SurfaceOf(4, 3, 16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}))});
  TVintPictureSource picture = PictureOf({first, second}, 105, compression);
  picture.Shuffled = shuffled;
  picture.TileWidth = compression == TCompression::Jpeg ? 0 : 2;
  picture.TileHeight = picture.TileWidth;
  return WriteVint(picture, 77);
}

TEST(VintDamage, DamagedPicturesLoadOrFailWithOurOwnErrors) {
  test::TByteDamage damage(5101);
  for (const auto compression : {TCompression::Deflate, TCompression::None, TCompression::Jpeg}) {
    for (const bool shuffled : {false, true}) {
      SCOPED_TRACE(static_cast<int>(compression) * 2 + shuffled);
      const std::string good = SamplePicture(compression, shuffled);
      int refused = 0;
      for (int round = 0; round < 600; ++round) {
        TVintFrameList list(77);
        platform::TMemoryStream stream(damage.Damage(good));
        try {
          list.LoadFromStream(stream, round % 5 == 0, "damaged.vnt");
          for (int i = 0; i < list.Count(); ++i) {
            // Palette frames end as 24 bits; others keep their depth.
            EXPECT_GT(list.Frame(i).Bitmap().BitsPerPixel(), 8);
          }
        } catch (const base::Exception& e) {
          ++refused;
          EXPECT_EQ(list.Count(), 0) << e.Message();
        }
      }
      EXPECT_GT(refused, 100);
    }
  }
}

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

TEST(VintDamage, PaletteFrameTooLargeAtTwentyFourBitsIsRefusedBeforeItIsFilled) {
  // Found by the vint fuzz target (it ran past its time limit): "Vint102",
  // two frames, the first 7935 x 58115 at 1 bit per pixel with no layers.
  // At 1 bit it fits the bitmap budget; as the 24-bit bitmap it becomes it
  // needs 1.38 GB. The reader filled its 461 million pixels one by one before
  // the conversion failed.
  const std::string input = FromHex(
      "56696e7431303202000000000a141e00060000006672616d6530ffffffff00000000"
      "000000ffffffffffffff1e000003e300000100000005000000100000000000000000"
      "000000ff9acece4544616d6167000000000000000000000000000000000000000000"
      "0000000000000000000000000000000000000000000065643b000000");
  ASSERT_EQ(input.size(), 130u);
  TVintFrameList list(77);
  platform::TMemoryStream stream(input);
  try {
    list.LoadFromStream(stream, false, "found.vnt");
    ADD_FAILURE() << "loaded";
  } catch (const base::EDamagedData& e) {
    EXPECT_NE(e.Message().find("found.vnt: offset 55: frame size 7935 x 58115 needs "),
              std::string::npos)
        << e.Message();
    EXPECT_NE(e.Message().find("at 24 bits per pixel"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace mora::pictures
