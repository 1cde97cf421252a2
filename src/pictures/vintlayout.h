// The layout of Vint pictures, shared by the reader (vints) and the writer
// (vintwriter): version thresholds, the 40-byte header record, the field order
// of the old header, frame and layer records, tiling and the seeded orders.
// The Transfer functions run over a reading or a writing cursor (TReadIo /
// TWriteIo); reading throws EDamagedData through base::TLittleEndianReader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/binary.h"

namespace mora::pictures::vint {

inline constexpr std::string_view Magic = "Vint";
// "Vint" and three decimal digits.
constexpr std::size_t MagicBlockSize = 7;
constexpr int MaxVersion = 999;

// Format versions from which a feature is present.
constexpr int VersionMask = 100;              // layers carry a mask block
constexpr int VersionMaskEnabled = 101;       // layers carry a mask-enabled byte
constexpr int VersionBackground = 102;        // the old header carries a background colour
constexpr int VersionHeaderRecord = 103;      // header record; tiles and the shuffled flag
constexpr int VersionRecordLists = 104;       // frames end with two lists of 16-byte records
constexpr int VersionFirstLayerOpaque = 105;  // the header's first-layer-opaque byte counts

enum class TCompression : std::uint8_t { Deflate = 0, None = 1, Jpeg = 2 };

// Tile entry kinds; 0 or more names a frame whose layer `value` is copied.
constexpr std::int32_t TileKindData = -1;
constexpr std::int32_t TileKindSameBitmap = -2;
constexpr std::size_t TileEntrySize = 8;
constexpr std::size_t ListRecordSize = 16;
// Smallest possible frame record (empty name and lists) and layer record.
constexpr std::size_t MinFrameRecordSize = 4 + 4 + 4 + 1 + 4 + 16;
constexpr std::size_t MinLayerRecordSize = 8 + 1 + 4 + 4 + 4 + 4;

// The header record: 40 bytes, all zero before reading.
constexpr std::size_t HeaderRecordSize = 40;
struct THeaderRecord {
  std::int32_t Version = 0;           // offset 0
  std::int32_t FrameCount = 0;        // offset 16
  std::uint8_t Shuffled = 0;          // offset 21
  std::uint8_t Compression = 0;       // offset 22
  std::int32_t Background = 0;        // offset 24
  std::int32_t TileWidth = 0;         // offset 28
  std::int32_t TileHeight = 0;        // offset 32
  std::uint8_t FirstLayerOpaque = 0;  // offset 36

  static THeaderRecord Decode(const std::uint8_t* bytes);  // HeaderRecordSize bytes
  void Encode(std::uint8_t* bytes) const;                  // HeaderRecordSize bytes
};

struct TFrameHead {
  std::string Name;
  std::int32_t TransparentIndex = -1;
  std::int32_t FrameValue = 0;
  std::int32_t LayerCount = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t BitsPerPixel = 24;
};

struct TLayerHead {
  std::uint8_t Visible = 1;
  std::int32_t ColourKey = -1;
  std::int32_t Opacity = 255;
  std::uint8_t MaskEnabled = 0;
  std::string Name;
};

// Reading side of the Transfer functions.
class TReadIo {
 public:
  explicit TReadIo(base::TLittleEndianReader& reader) : FReader(reader) {}
  void Int32(std::int32_t& value, std::string_view field) { value = FReader.ReadInt32(field); }
  void Byte(std::uint8_t& value, std::string_view field) { value = FReader.ReadByte(field); }
  void Skip(std::size_t count, std::string_view field) { FReader.Skip(count, field); }
  // int32 length and that many bytes; a length of 0 or less holds no bytes.
  void Name(std::string& value, std::string_view field);

 private:
  base::TLittleEndianReader& FReader;
};

// Writing side of the Transfer functions (skipped bytes are written as 0).
class TWriteIo {
 public:
  explicit TWriteIo(base::TLittleEndianWriter& writer) : FWriter(writer) {}
  void Int32(std::int32_t& value, std::string_view) { FWriter.WriteInt32(value); }
  void Byte(std::uint8_t& value, std::string_view) { FWriter.WriteByte(value); }
  void Skip(std::size_t count, std::string_view) { FWriter.WriteZeros(count); }
  void Name(std::string& value, std::string_view);

 private:
  base::TLittleEndianWriter& FWriter;
};

// Header of versions below 103, after the magic: frame count, one unused
// byte, and from version 102 on the background colour.
template <class TIo>
void TransferOldHeader(TIo& io, int version, std::int32_t& frameCount, std::int32_t& background) {
  io.Int32(frameCount, "frame count");
  io.Skip(1, "header reserved byte");
  if (version >= VersionBackground) io.Int32(background, "background colour");
}

// Frame record up to its palette.
template <class TIo>
void TransferFrameHead(TIo& io, TFrameHead& head) {
  io.Name(head.Name, "frame name");
  io.Int32(head.TransparentIndex, "transparent index");
  io.Int32(head.FrameValue, "frame value");
  io.Skip(1, "frame reserved byte");
  io.Skip(4, "frame reserved dword");
  io.Int32(head.LayerCount, "layer count");
  io.Int32(head.Width, "frame width");
  io.Int32(head.Height, "frame height");
  io.Int32(head.BitsPerPixel, "bits per pixel");
}

// Layer record up to its colour block.
template <class TIo>
void TransferLayerHead(TIo& io, TLayerHead& head, int version) {
  io.Skip(8, "layer reserved bytes");
  io.Byte(head.Visible, "layer visible");
  io.Int32(head.ColourKey, "colour key");
  io.Int32(head.Opacity, "opacity");
  if (version >= VersionMaskEnabled) io.Byte(head.MaskEnabled, "mask enabled");
  io.Name(head.Name, "layer name");
}

// Whether a block is stored in tiles, and whether its rows are shuffled.
bool BlockIsTiled(const THeaderRecord& header);
bool RowsShuffled(const THeaderRecord& header);

// The tile grid over a bitmap.
struct TTileGrid {
  int Width = 0;  // of the bitmap
  int Height = 0;
  int TileWidth = 0;
  int TileHeight = 0;
  int Across = 0;
  int Down = 0;
  std::uint64_t Count() const { return std::uint64_t(Across) * std::uint64_t(Down); }
  // Tile number n: left, top and clipped width and height.
  int Left(std::uint64_t n) const {
    return static_cast<int>(n % std::uint64_t(Across)) * TileWidth;
  }
  int Top(std::uint64_t n) const {
    return static_cast<int>(n / std::uint64_t(Across)) * TileHeight;
  }
  int ClippedWidth(std::uint64_t n) const;
  int ClippedHeight(std::uint64_t n) const;
  // First byte of tile column c inside a row: c * ceil(tile width * bits / 8).
  std::size_t ByteOffset(std::uint64_t n, int bits) const;
};
TTileGrid MakeTileGrid(int width, int height, int tileWidth, int tileHeight);

// The seeded order of a shuffle: entry i of the result is the i-th Pick of a
// fresh TQsRandom(seed) after InitPool(count), found in O(n log n).
std::vector<std::uint32_t> ShuffleOrder(std::int32_t seed, std::uint32_t count);

}  // namespace mora::pictures::vint
