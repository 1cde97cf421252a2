#include "pictures/vintlayout.h"

#include <algorithm>

#include "archive/rands.h"
#include "pictures/dibsurface.h"

namespace mora::pictures::vint {

namespace {

constexpr std::size_t OffsetVersion = 0;
constexpr std::size_t OffsetFrameCount = 16;
constexpr std::size_t OffsetShuffled = 21;
constexpr std::size_t OffsetCompression = 22;
constexpr std::size_t OffsetBackground = 24;
constexpr std::size_t OffsetTileWidth = 28;
constexpr std::size_t OffsetTileHeight = 32;
constexpr std::size_t OffsetFirstLayerOpaque = 36;

}  // namespace

THeaderRecord THeaderRecord::Decode(const std::uint8_t* bytes) {
  THeaderRecord r;
  r.Version = static_cast<std::int32_t>(base::GetUInt32(bytes + OffsetVersion));
  r.FrameCount = static_cast<std::int32_t>(base::GetUInt32(bytes + OffsetFrameCount));
  r.Shuffled = bytes[OffsetShuffled];
  r.Compression = bytes[OffsetCompression];
  r.Background = static_cast<std::int32_t>(base::GetUInt32(bytes + OffsetBackground));
  r.TileWidth = static_cast<std::int32_t>(base::GetUInt32(bytes + OffsetTileWidth));
  r.TileHeight = static_cast<std::int32_t>(base::GetUInt32(bytes + OffsetTileHeight));
  r.FirstLayerOpaque = bytes[OffsetFirstLayerOpaque];
  return r;
}

void THeaderRecord::Encode(std::uint8_t* bytes) const {
  std::fill(bytes, bytes + HeaderRecordSize, std::uint8_t{0});
  base::PutUInt32(bytes + OffsetVersion, static_cast<std::uint32_t>(Version));
  base::PutUInt32(bytes + OffsetFrameCount, static_cast<std::uint32_t>(FrameCount));
  bytes[OffsetShuffled] = Shuffled;
  bytes[OffsetCompression] = Compression;
  base::PutUInt32(bytes + OffsetBackground, static_cast<std::uint32_t>(Background));
  base::PutUInt32(bytes + OffsetTileWidth, static_cast<std::uint32_t>(TileWidth));
  base::PutUInt32(bytes + OffsetTileHeight, static_cast<std::uint32_t>(TileHeight));
  bytes[OffsetFirstLayerOpaque] = FirstLayerOpaque;
}

void TReadIo::Name(std::string& value, std::string_view field) {
  const std::int32_t length = FReader.ReadInt32(field);
  if (length > 0) {
    value = FReader.ReadBytes(static_cast<std::size_t>(length), field);
  } else {
    value.clear();
  }
}

void TWriteIo::Name(std::string& value, std::string_view) {
  FWriter.WriteInt32(static_cast<std::int32_t>(value.size()));
  FWriter.WriteBytes(value);
}

bool BlockIsTiled(const THeaderRecord& header) {
  return header.Version >= VersionHeaderRecord && header.TileWidth > 0 && header.TileHeight > 0 &&
         header.Compression != static_cast<std::uint8_t>(TCompression::Jpeg);
}

bool RowsShuffled(const THeaderRecord& header) {
  if (header.Version < VersionHeaderRecord) return true;
  return header.Shuffled != 0 &&
         header.Compression != static_cast<std::uint8_t>(TCompression::Jpeg);
}

TTileGrid MakeTileGrid(int width, int height, int tileWidth, int tileHeight) {
  TTileGrid grid;
  grid.Width = width;
  grid.Height = height;
  grid.TileWidth = tileWidth;
  grid.TileHeight = tileHeight;
  grid.Across = static_cast<int>((std::int64_t(width) + tileWidth - 1) / tileWidth);
  grid.Down = static_cast<int>((std::int64_t(height) + tileHeight - 1) / tileHeight);
  return grid;
}

int TTileGrid::ClippedWidth(std::uint64_t n) const { return std::min(TileWidth, Width - Left(n)); }

int TTileGrid::ClippedHeight(std::uint64_t n) const {
  return std::min(TileHeight, Height - Top(n));
}

std::size_t TTileGrid::ByteOffset(std::uint64_t n, int bits) const {
  const std::size_t column = static_cast<std::size_t>(n % std::uint64_t(Across));
  return column * TDIBSurface::PixelRowBytes(TileWidth, bits);
}

std::vector<std::uint32_t> ShuffleOrder(std::int32_t seed, std::uint32_t count) {
  // The same numbers as InitPool(count) and count calls of Pick, which take
  // the value at position Next() mod (values left) and close the gap. The
  // remaining values are kept in a Fenwick tree of counts, so finding the
  // k-th of them costs O(log n) instead of moving the rest of the pool:
  // a picture with many rows or tiles cannot make loading quadratic.
  archive::TQsRandom random(static_cast<std::uint32_t>(seed));
  const std::size_t n = count;
  std::vector<std::uint32_t> tree(n + 1, 0);
  for (std::size_t i = 1; i <= n; ++i) {
    tree[i] += 1;
    const std::size_t parent = i + (i & (~i + 1));
    if (parent <= n) tree[parent] += tree[i];
  }
  std::size_t topBit = 1;
  while (topBit * 2 <= n) topBit *= 2;
  std::vector<std::uint32_t> order;
  order.reserve(n);
  for (std::uint32_t left = count; left > 0; --left) {
    // Zero-based rank of the value to take among those left.
    std::uint32_t rank = random.Next() % left;
    std::size_t position = 0;
    for (std::size_t step = n == 0 ? 0 : topBit; step != 0; step /= 2) {
      const std::size_t next = position + step;
      if (next <= n && tree[next] <= rank) {
        position = next;
        rank -= tree[next];
      }
    }
    // position + 1 is the one-based index of the value; remove it.
    for (std::size_t i = position + 1; i <= n; i += i & (~i + 1)) tree[i] -= 1;
    order.push_back(static_cast<std::uint32_t>(position));
  }
  return order;
}

}  // namespace mora::pictures::vint
