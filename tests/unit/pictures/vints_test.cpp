// Reading Vint pictures: format versions, seeded row and tile orders, frame
// options, and damaged or hostile data.
#include <gtest/gtest.h>

#include "base/binary.h"
#include "base/errors.h"
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

// A version 0 picture written byte by byte: no magic, one frame of 1 x 4
// pixels at 24 bits, one opaque layer whose block row i has all three bytes
// equal to 10 * (i + 1). Rows of such old pictures are always shuffled.
std::string HandMadeVersionZero() {
  std::string bytes;
  base::TLittleEndianWriter w(bytes);
  w.WriteInt32(1);   // frame count
  w.WriteByte(0);    // unused
  w.WriteInt32(0);   // frame name length
  w.WriteInt32(-1);  // transparent index
  w.WriteInt32(7);   // frame value
  w.WriteByte(0);
  w.WriteInt32(0);
  w.WriteInt32(1);   // layers
  w.WriteInt32(1);   // width
  w.WriteInt32(4);   // height
  w.WriteInt32(24);  // bits
  w.WriteZeros(8);
  w.WriteByte(1);     // visible
  w.WriteInt32(-1);   // colour key
  w.WriteInt32(255);  // opacity
  w.WriteInt32(0);    // layer name length
  w.WriteInt32(16);   // four rows of 4 bytes (3 pixel bytes + padding)
  for (int i = 0; i < 4; ++i) {
    const auto v = static_cast<std::uint8_t>(10 * (i + 1));
    w.WriteByte(v);
    w.WriteByte(v);
    w.WriteByte(v);
    w.WriteByte(0);
  }
  return bytes;
}

std::uint8_t RowValue(const TVintFrameList& list, int y) {
  return BlueOf(list.Frame(0).Bitmap().Color(0, y));
}

TEST(VintReaderTest, ReadsVersionZeroFromFirstByteWithRowsInSeedOrder) {
  std::string bytes = HandMadeVersionZero();
  const std::size_t pictureSize = bytes.size();
  bytes += "tail";
  auto list = std::make_unique<TVintFrameList>(3);
  platform::TMemoryStream stream(bytes);
  list->LoadFromStream(stream);
  EXPECT_EQ(list->Version(), 0);
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Frame(0).FrameValue, 7);
  EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(pictureSize));
  // Seed 3 picks 3, 0, 2, 1 from a pool of four: block row i lies in
  // bitmap row pick i.
  EXPECT_EQ(RowValue(*list, 3), 10);
  EXPECT_EQ(RowValue(*list, 0), 20);
  EXPECT_EQ(RowValue(*list, 2), 30);
  EXPECT_EQ(RowValue(*list, 1), 40);
}

TEST(VintReaderTest, AnotherSeedScramblesWithoutFailing) {
  // Seed 1: states 1, 6, 31, 156 pick 1, 0, 3, 2.
  auto list = LoadPicture(HandMadeVersionZero(), 1);
  EXPECT_EQ(RowValue(*list, 1), 10);
  EXPECT_EQ(RowValue(*list, 0), 20);
  EXPECT_EQ(RowValue(*list, 3), 30);
  EXPECT_EQ(RowValue(*list, 2), 40);
}

TEST(VintReaderTest, ReadsFromTheStreamsCurrentPosition) {
  const std::string bytes = "junk" + HandMadeVersionZero();
  TVintFrameList list(3);
  platform::TMemoryStream stream(bytes);
  stream.SetPosition(4);
  list.LoadFromStream(stream);
  EXPECT_EQ(RowValue(list, 3), 10);
}

TEST(VintReaderTest, FirstFrameOnlyNeverReadsLaterFrames) {
  TVintPictureSource picture =
      PictureOf({FrameOf(2, 2, 24, {LayerOf(SolidSurface(2, 2, 24, 0x112233))}),
                 FrameOf(2, 2, 24, {LayerOf(SolidSurface(2, 2, 24, 0x445566))})},
                105, TCompression::Deflate);
  const std::string whole = WriteVint(picture, 9);
  picture.Frames.pop_back();
  const std::size_t firstEnd = WriteVint(picture, 9).size();
  // Damage the second frame: an absurd layer count and then nothing.
  std::string damaged = whole.substr(0, firstEnd);
  base::TLittleEndianWriter w(damaged);
  w.WriteInt32(0);
  w.WriteInt32(-1);
  w.WriteInt32(0);
  w.WriteByte(0);
  w.WriteInt32(0);
  w.WriteInt32(1000000);

  auto first = LoadPicture(damaged, 9, true);
  ASSERT_EQ(first->Count(), 1);
  EXPECT_EQ(first->Frame(0).Bitmap().Pixel(1, 1), 0x112233u);
  EXPECT_THROW(LoadPicture(damaged, 9, false), base::EDamagedData);
  EXPECT_EQ(LoadPicture(whole, 9, false)->Count(), 2);
}

TEST(VintReaderTest, PaletteFramesEndAsTwentyFourBits) {
  // 1-bit pixels lie highest bit first, 4-bit pixels high nibble first.
  for (const int bits : {1, 4, 8}) {
    SCOPED_TRACE(bits);
    TDIBSurface pixels(4, 1, bits);
    if (bits == 1) pixels.Row(0)[0] = 0xA0;  // 1 0 1 0
    if (bits == 4) {
      pixels.Row(0)[0] = 0x10;
      pixels.Row(0)[1] = 0x10;
    }
    if (bits == 8) {
      pixels.Row(0)[0] = 1;
      pixels.Row(0)[2] = 1;
    }
    TVintFrameSource frame = FrameOf(4, 1, bits, {LayerOf(pixels)});
    frame.Palette = {MakeColor(1, 2, 3), MakeColor(200, 100, 50)};
    auto list = LoadPicture(WriteVint(PictureOf({frame}), 0), 0);
    const TDIBSurface& bitmap = list->Frame(0).Bitmap();
    ASSERT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(bitmap.Color(0, 0), MakeColor(200, 100, 50));
    EXPECT_EQ(bitmap.Color(1, 0), MakeColor(1, 2, 3));
    EXPECT_EQ(bitmap.Color(2, 0), MakeColor(200, 100, 50));
    EXPECT_EQ(bitmap.Color(3, 0), MakeColor(1, 2, 3));
  }
}

TEST(VintReaderTest, TransparentIndexGivesItsPaletteColour) {
  TVintFrameSource frame = FrameOf(2, 2, 8, {LayerOf(SolidSurface(2, 2, 8, 0))});
  frame.Palette = {MakeColor(0, 0, 0), MakeColor(9, 8, 7), MakeColor(1, 2, 3)};
  frame.TransparentIndex = 2;
  auto list = LoadPicture(WriteVint(PictureOf({frame}), 0), 0);
  EXPECT_EQ(list->Frame(0).TransparentIndex, 2);
  EXPECT_EQ(list->Frame(0).TransparentColour, static_cast<std::int32_t>(MakeColor(1, 2, 3)));
}

TEST(VintReaderTest, BackgroundFillsFramesAndOldVersionsKeepTheListsColour) {
  const TVintFrameSource hidden = [] {
    TVintLayerSource layer = LayerOf(SolidSurface(2, 1, 24, 0));
    layer.Visible = 0;
    return FrameOf(2, 1, 24, {layer});
  }();
  TVintPictureSource picture = PictureOf({hidden}, 102);
  picture.Background = MakeColor(10, 20, 30);
  auto list = LoadPicture(WriteVint(picture, 5), 5);
  EXPECT_EQ(list->Frame(0).Bitmap().Color(1, 0), MakeColor(10, 20, 30));

  picture.Version = 101;  // no background in the file: the list's colour stays
  TVintFrameList reused(5);
  reused.SetBackgroundColour(MakeColor(7, 7, 7));
  platform::TMemoryStream stream(WriteVint(picture, 5));
  reused.LoadFromStream(stream);
  EXPECT_EQ(reused.Frame(0).Bitmap().Color(0, 0), MakeColor(7, 7, 7));
}

TEST(VintReaderTest, TilesCopyFromTheSameBitmapAndFromEarlierLayers) {
  // 4 x 4 pixels in 2 x 2 tiles: tile 0 and 3 carry pixels, tile 1 copies
  // tile 0 (kind -2), tile 2 copies the same place of frame 0 layer 0.
  std::vector<std::uint32_t> base(16), own(16);
  for (std::uint32_t i = 0; i < 16; ++i) {
    base[i] = 0x100000 + i;
    own[i] = 0x200000 + i;
  }
  TVintLayerSource under = LayerOf(SurfaceOf(4, 4, 24, base));
  under.Visible = 0;
  TVintLayerSource top = LayerOf(SurfaceOf(4, 4, 24, own));
  top.TileRefs[1] = TVintTileRef{vint::TileKindSameBitmap, 0};
  top.TileRefs[2] = TVintTileRef{0, 0};
  // The second frame takes all of its pixels from frame 0 layer 1 except
  // tile 3, which copies its own tile 0.
  TVintLayerSource copy = LayerOf(SolidSurface(4, 4, 24, 0));
  for (std::uint32_t t = 0; t < 3; ++t) copy.TileRefs[t] = TVintTileRef{0, 1};
  copy.TileRefs[3] = TVintTileRef{vint::TileKindSameBitmap, 0};
  TVintPictureSource picture = PictureOf(
      {FrameOf(4, 4, 24, {under, top}), FrameOf(4, 4, 24, {copy})}, 105, TCompression::Deflate);
  picture.TileWidth = 2;
  picture.TileHeight = 2;
  picture.Shuffled = true;
  auto list = LoadPicture(WriteVint(picture, 77), 77);

  auto expected = [&](int x, int y) -> std::uint32_t {
    const int tile = (y / 2) * 2 + x / 2;
    if (tile == 1) return own[static_cast<std::size_t>(y * 4 + x - 2)];  // tile 0
    if (tile == 2) return base[static_cast<std::size_t>(y * 4 + x)];
    return own[static_cast<std::size_t>(y * 4 + x)];
  };
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(list->Frame(0).Bitmap().Pixel(x, y), expected(x, y)) << x << "," << y;
      const int tx = (x / 2 == 1 && y / 2 == 1) ? x - 2 : x;
      const int ty = (x / 2 == 1 && y / 2 == 1) ? y - 2 : y;
      EXPECT_EQ(list->Frame(1).Bitmap().Pixel(x, y), expected(tx, ty)) << x << "," << y;
    }
  }
}

TEST(VintReaderTest, ShuffledTileTablesFollowTheSeed) {
  // With the table shuffled, another seed puts the entries elsewhere: the
  // picture comes out different but loads.
  TVintLayerSource layer = LayerOf(SurfaceOf(4, 2, 24, {1, 2, 3, 4, 5, 6, 7, 8}));
  layer.TileRefs[1] = TVintTileRef{vint::TileKindSameBitmap, 0};
  TVintPictureSource picture = PictureOf({FrameOf(4, 2, 24, {layer})}, 105);
  picture.TileWidth = 2;
  picture.TileHeight = 2;
  picture.Shuffled = true;
  const std::string bytes = WriteVint(picture, 3);
  auto right = LoadPicture(bytes, 3);
  EXPECT_EQ(right->Frame(0).Bitmap().Pixel(2, 1), 5u);
  // Seed 3 over two entries picks 1 then 0: the stored table is
  // (-2, 0), (-1, 0); seed 4 picks 0 then 1 and reads it in stored order, so
  // tile 0 copies tile 0 and tile 1 takes the pixels meant for tile 0.
  auto wrong = LoadPicture(bytes, 4);
  EXPECT_EQ(wrong->Frame(0).Bitmap().Pixel(2, 0), 1u);
  EXPECT_EQ(wrong->Frame(0).Bitmap().Pixel(0, 0), 0u);
}

TEST(VintReaderTest, LongHeadersAreReadForFortyBytesAndSkipped) {
  TVintPictureSource picture =
      PictureOf({FrameOf(1, 1, 24, {LayerOf(SolidSurface(1, 1, 24, 0xABCDEF))})}, 105);
  picture.HeaderLength = 64;
  EXPECT_EQ(LoadPicture(WriteVint(picture, 0), 0)->Frame(0).Bitmap().Pixel(0, 0), 0xABCDEFu);
  picture.HeaderLength = 20;  // a short record: tiles and flags stay 0
  EXPECT_EQ(LoadPicture(WriteVint(picture, 0), 0)->Frame(0).Bitmap().Pixel(0, 0), 0xABCDEFu);
  // An empty record still follows the magic "Vint105"; its version, frame
  // count and compression read as 0, so no frame is announced.
  picture.HeaderLength = 0;
  const std::string empty = WriteVint(picture, 0);
  EXPECT_EQ(empty.substr(0, 11), std::string("Vint105") + std::string(4, '\0'));
  auto list = LoadPicture(empty, 0);
  EXPECT_EQ(list->Version(), 105);
  EXPECT_EQ(list->Count(), 0);
  // A one-byte record keeps only the low byte of the record's version; the
  // magic keeps all three digits.
  picture.Version = 999;
  picture.HeaderLength = 1;
  EXPECT_EQ(WriteVint(picture, 0).substr(0, 7), "Vint999");
}

// --- Damaged and hostile data -------------------------------------------

std::string SmallPicture(TCompression compression) {
  TDIBSurface colour = SurfaceOf(3, 2, 24, {1, 2, 3, 4, 5, 6});
  colour.CreateMask(200);
  TVintLayerSource layer = LayerOf(colour);
  TVintPictureSource picture =
      PictureOf({FrameOf(3, 2, 24, {layer}), FrameOf(3, 2, 24, {layer})}, 105, compression);
  picture.TileWidth = compression == TCompression::Jpeg ? 0 : 2;
  picture.TileHeight = picture.TileWidth;
  return WriteVint(picture, 1);
}

TEST(VintReaderTest, EveryTruncationFailsCleanly) {
  for (const auto compression : {TCompression::Deflate, TCompression::None, TCompression::Jpeg}) {
    const std::string bytes = SmallPicture(compression);
    ASSERT_EQ(LoadPicture(bytes, 1)->Count(), 2);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      TVintFrameList list(1);
      platform::TMemoryStream stream(bytes.substr(0, n));
      EXPECT_THROW(list.LoadFromStream(stream), base::EDamagedData) << n;
      EXPECT_EQ(list.Count(), 0);
    }
  }
}

TEST(VintReaderTest, NamesThePictureAndOffsetInMessages) {
  const std::string bytes = SmallPicture(TCompression::None).substr(0, 30);
  TVintFrameList list(1);
  platform::TMemoryStream stream(bytes);
  try {
    list.LoadFromStream(stream, false, "title.vnt");
    FAIL() << "no exception";
  } catch (const base::EDamagedData& e) {
    EXPECT_NE(e.Message().find("title.vnt: offset "), std::string::npos) << e.Message();
  }
}

TEST(VintReaderTest, MalformedVersionFails) {
  for (const std::string head : {"Vint1x3", "Vint-01", "Vint 10"}) {
    EXPECT_THROW(LoadPicture(head + std::string(64, '\0'), 0), base::EDamagedData) << head;
  }
  EXPECT_THROW(LoadPicture("Vint10", 0), base::EDamagedData);
}

TEST(VintReaderTest, DamagedDeflateAndJpegBlocksFail) {
  for (const auto compression : {TCompression::Deflate, TCompression::Jpeg}) {
    std::string bytes = SmallPicture(compression);
    // The first frame's colour block starts after magic (7), header length
    // and record (44), frame head (33) and layer head up to the data
    // length (22): flip bytes inside it.
    const std::size_t block = 7 + 44 + 33 + 22 + 4;
    for (std::size_t i = block + 2; i < block + 12; ++i)
      bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    EXPECT_THROW(LoadPicture(bytes, 1), base::EDamagedData);
  }
}

TEST(VintReaderTest, JpegBlocksOfAnotherSizeFail) {
  TVintLayerSource layer = LayerOf(SolidSurface(4, 4, 24, 0));
  layer.Jpeg = EncodeJpeg(SolidSurface(8, 4, 24, 0x808080));
  const std::string bytes =
      WriteVint(PictureOf({FrameOf(4, 4, 24, {layer})}, 105, TCompression::Jpeg), 0);
  EXPECT_THROW(LoadPicture(bytes, 0), base::EDamagedData);
}

TEST(VintReaderTest, SizesAreCheckedBeforeAllocating) {
  auto header = [](std::int32_t frames) {
    std::string bytes = "Vint105";
    base::TLittleEndianWriter w(bytes);
    vint::THeaderRecord record;
    record.Version = 105;
    record.FrameCount = frames;
    record.Compression = 1;
    std::uint8_t raw[vint::HeaderRecordSize];
    record.Encode(raw);
    w.WriteInt32(40);
    w.WriteBytes(std::string_view(reinterpret_cast<char*>(raw), sizeof raw));
    return bytes;
  };
  EXPECT_THROW(LoadPicture(header(2000000000), 0), base::EDamagedData);
  auto frame = [&](std::int32_t layers, std::int32_t width, std::int32_t height,
                   std::int32_t bits) {
    std::string bytes = header(1);
    base::TLittleEndianWriter w(bytes);
    for (std::int32_t v : {0, -1, 0}) w.WriteInt32(v);
    w.WriteByte(0);
    for (std::int32_t v : {0, layers, width, height, bits}) w.WriteInt32(v);
    w.WriteZeros(200);
    return bytes;
  };
  EXPECT_THROW(LoadPicture(frame(1, 60000, 60000, 32), 0), base::EDamagedData);
  EXPECT_THROW(LoadPicture(frame(1, -5, 5, 24), 0), base::EDamagedData);
  EXPECT_THROW(LoadPicture(frame(1, 5, 5, 12), 0), base::EDamagedData);
  EXPECT_THROW(LoadPicture(frame(100000, 5, 5, 24), 0), base::EDamagedData);
  // Many layers of a large frame would exceed the memory a picture may use.
  EXPECT_THROW(LoadPicture(frame(8, 8000, 8000, 32), 0), base::EDamagedData);
}

TEST(VintReaderTest, BadTileReferencesFail) {
  auto withRef = [](TVintTileRef ref) {
    TVintLayerSource layer = LayerOf(SolidSurface(4, 2, 24, 1));
    layer.TileRefs[1] = ref;
    TVintPictureSource picture = PictureOf({FrameOf(4, 2, 24, {layer})}, 105);
    picture.TileWidth = 2;
    picture.TileHeight = 2;
    return WriteVint(picture, 0);
  };
  EXPECT_NO_THROW(LoadPicture(withRef({0, 0}), 0));                   // the layer itself is read
  EXPECT_THROW(LoadPicture(withRef({1, 0}), 0), base::EDamagedData);  // frame not read
  EXPECT_THROW(LoadPicture(withRef({0, 1}), 0), base::EDamagedData);  // layer not read
  // The writer keeps kinds and tile numbers sane, so damage the entry: the
  // table follows the 7 + 44 + 33 + 22 + 4 bytes before the block.
  std::string bytes = withRef({vint::TileKindSameBitmap, 0});
  const std::size_t table = 7 + 44 + 33 + 22 + 4;
  base::PutUInt32(&bytes[table + 12], 2);  // tile 1 copies tile 2 of a grid of 2
  EXPECT_THROW(LoadPicture(bytes, 0), base::EDamagedData);
  base::PutUInt32(&bytes[table + 8], static_cast<std::uint32_t>(-3));
  EXPECT_THROW(LoadPicture(bytes, 0), base::EDamagedData);
}

TEST(VintReaderTest, UnknownCompressionFails) {
  TVintPictureSource picture =
      PictureOf({FrameOf(1, 1, 24, {LayerOf(SolidSurface(1, 1, 24, 0))})}, 105);
  std::string bytes = WriteVint(picture, 0);
  bytes[7 + 4 + 22] = 3;
  EXPECT_THROW(LoadPicture(bytes, 0), base::EDamagedData);
}

}  // namespace
}  // namespace mora::pictures
