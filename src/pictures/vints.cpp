#include "pictures/vints.h"

#include <algorithm>
#include <cstring>

#include "archive/zstream.h"
#include "base/binary.h"
#include "base/errors.h"
#include "pictures/jpeg.h"

namespace mora::pictures {

using vint::TCompression;

namespace {

// All bitmaps of one load together (frames and their layers) stay below this.
constexpr std::uint64_t MaxLoadBytes = std::uint64_t{512} << 20;
// Finer tile grids than this are refused before their table is read.
constexpr std::uint64_t MaxTileCount = std::uint64_t{4} << 20;

// A pixel plane a block decodes into: a layer's colours or its mask.
struct TPlane {
  std::uint8_t* Base = nullptr;
  std::size_t Stride = 0;
  int Width = 0;
  int Height = 0;
  int Bits = 0;  // storage bits per pixel
  std::uint8_t* Row(int y) const { return Base + static_cast<std::size_t>(y) * Stride; }
};

TPlane ColourPlane(TDIBSurface& s) {
  return TPlane{s.Pixels().data(), s.Stride(), s.Width(), s.Height(),
                TDIBSurface::StorageBits(s.BitsPerPixel())};
}

TPlane MaskPlane(TDIBSurface& s) {
  return TPlane{s.HasMask() ? s.MaskRow(0) : nullptr, s.MaskStride(), s.Width(), s.Height(), 8};
}

// Copies count bytes into row y of the plane from byte offset on, keeping
// inside the row's padded length.
void PutRowBytes(const TPlane& plane, int y, std::size_t offset, const std::uint8_t* from,
                 std::size_t count) {
  if (y < 0 || y >= plane.Height || offset >= plane.Stride) return;
  std::memmove(plane.Row(y) + offset, from, std::min(count, plane.Stride - offset));
}

// Copies a block of h rows of rowBytes bytes between planes (or within one),
// keeping inside both.
void CopyBlock(const TPlane& to, int toY, std::size_t toOffset, const TPlane& from, int fromY,
               std::size_t fromOffset, std::size_t rowBytes, int h) {
  if (fromOffset >= from.Stride) return;
  const std::size_t count = std::min(rowBytes, from.Stride - fromOffset);
  for (int r = 0; r < h; ++r) {
    if (fromY + r >= from.Height) break;
    PutRowBytes(to, toY + r, toOffset, from.Row(fromY + r) + fromOffset, count);
  }
}

// 4 x 4 ordered-dither thresholds.
constexpr int Bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

std::uint32_t BlendChannels(std::uint32_t frame, std::uint32_t layer, std::uint32_t a,
                            std::uint32_t channelMask, bool divide) {
  const std::uint32_t sum = (255 - a) * (frame & channelMask) + a * (layer & channelMask);
  return channelMask & (divide ? sum / 255 : sum >> 8);
}

// Blends 16-bit pixels channel by channel.
std::uint32_t Blend16(const TDIBSurface& s, std::uint32_t frame, std::uint32_t layer,
                      std::uint32_t a, bool divide) {
  return BlendChannels(frame, layer, a, s.RedMask(), divide) |
         BlendChannels(frame, layer, a, s.GreenMask(), divide) |
         BlendChannels(frame, layer, a, s.BlueMask(), divide);
}

// Blends the three low bytes; the fourth becomes 0.
std::uint32_t BlendBytes(std::uint32_t frame, std::uint32_t layer, std::uint32_t a, bool divide) {
  return BlendChannels(frame, layer, a, 0xFF0000, divide) |
         BlendChannels(frame, layer, a, 0x00FF00, divide) |
         BlendChannels(frame, layer, a, 0x0000FF, divide);
}

}  // namespace

void ComposeLayer(TDIBSurface& frame, const TVintLayer& layer, int layerIndex, bool firstVisible,
                  bool firstLayerOpaque) {
  const TDIBSurface& source = layer.Bitmap;
  const int width = std::min(frame.Width(), source.Width());
  const int height = std::min(frame.Height(), source.Height());
  const int bits = frame.BitsPerPixel();
  const bool mask = layer.UsesMask();

  if (layerIndex == 0 && mask) {
    frame.CreateMask(0);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) frame.SetMaskAt(x, y, source.MaskAt(x, y));
    }
  }

  if (layerIndex > 0 && mask) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint32_t a = source.MaskAt(x, y);
        const std::uint32_t l = source.Pixel(x, y);
        if (bits <= 8) {
          if (a >= 128) frame.SetPixel(x, y, l);
        } else if (a == 255) {
          frame.SetPixel(x, y, l);
        } else if (a != 0) {
          const std::uint32_t f = frame.Pixel(x, y);
          frame.SetPixel(x, y,
                         bits <= 16 ? Blend16(frame, f, l, a, false) : BlendBytes(f, l, a, false));
        }
      }
    }
    return;
  }

  const bool hasKey = layer.ColourKey != -1;
  const auto key = static_cast<std::uint32_t>(layer.ColourKey);
  if (layer.Opacity >= 255 && (!hasKey || (firstVisible && firstLayerOpaque))) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) frame.SetPixel(x, y, source.Pixel(x, y));
    }
    return;
  }

  const int opacity = layer.Opacity;
  if (opacity == 0) return;
  const bool opaque = opacity > 254 || opacity < 0 || (bits <= 8 && opacity / 16 > 14);
  const auto a = static_cast<std::uint32_t>(opacity);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t l = source.Pixel(x, y);
      if (hasKey && l == key) continue;
      if (opaque) {
        frame.SetPixel(x, y, l);
      } else if (bits <= 8) {
        if (Bayer[y % 4][x % 4] <= opacity / 16) frame.SetPixel(x, y, l);
      } else if (bits <= 16) {
        frame.SetPixel(x, y, Blend16(frame, frame.Pixel(x, y), l, a, true));
      } else if (bits == 24) {
        frame.SetPixel(x, y, BlendBytes(frame.Pixel(x, y), l, a, true));
      } else {
        frame.SetPixel(x, y, BlendBytes(frame.Pixel(x, y), l, a, false));
      }
    }
  }
}

TVintFrame& TVintFrameList::Frame(int index) {
  if (index < 0 || index >= Count()) {
    throw base::ERangeError("frame index " + std::to_string(index) + " is out of range");
  }
  return *FFrames[static_cast<std::size_t>(index)];
}

const TVintFrame& TVintFrameList::Frame(int index) const {
  return const_cast<TVintFrameList*>(this)->Frame(index);
}

// Reads one picture into a list; holds the cursor and the load's budget.
class TVintLoader {
 public:
  TVintLoader(TVintFrameList& list, base::TLittleEndianReader& reader)
      : FList(list), FReader(reader), FIo(reader) {}

  void Load(bool firstFrameOnly);

 private:
  void ReadVersion();
  void ReadHeader();
  void ReadFrame(int frameIndex);
  void ReadLayer(TVintFrame& frame, int frameIndex, int layerIndex);
  void ReadList(std::vector<TVintListRecord>& list, std::string_view field);
  void Reserve(std::uint64_t bytes, std::string_view field);
  std::string Inflate(std::string_view block, std::uint64_t limit, const std::string& what);
  void DecodeBlock(std::string_view block, const TPlane& plane, bool mask, const std::string& what);
  void DecodeRows(base::TLittleEndianReader& block, const TPlane& plane, bool shuffled);
  void DecodeTiles(base::TLittleEndianReader& block, const TPlane& plane, bool mask);
  std::uint64_t BlockLimit(const TPlane& plane) const;
  int RecordVersion() const { return FList.FHeader.Version; }
  TCompression Compression() const { return static_cast<TCompression>(FList.FHeader.Compression); }

  TVintFrameList& FList;
  base::TLittleEndianReader& FReader;
  vint::TReadIo FIo;
  std::uint64_t FBytesLeft = MaxLoadBytes;
};

void TVintLoader::Reserve(std::uint64_t bytes, std::string_view field) {
  if (bytes > FBytesLeft) {
    FReader.Fail(field, "needs " + std::to_string(bytes) +
                            " bytes of bitmaps, more than a picture may hold");
  }
  FBytesLeft -= bytes;
}

void TVintLoader::ReadVersion() {
  FList.FVersion = 0;
  if (FReader.Remaining() < vint::Magic.size()) return;
  const std::size_t start = FReader.Position();
  if (FReader.ReadView(vint::Magic.size(), "magic") != vint::Magic) {
    FReader.Seek(start, "magic");
    return;
  }
  const std::string_view digits =
      FReader.ReadView(vint::MagicBlockSize - vint::Magic.size(), "version");
  int version = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      FReader.Seek(start + vint::Magic.size(), "version");
      FReader.Fail("version", "\"" + std::string(digits) + "\" is not a number");
    }
    version = version * 10 + (c - '0');
  }
  FList.FVersion = version;
}

void TVintLoader::ReadHeader() {
  vint::THeaderRecord& header = FList.FHeader;
  header = vint::THeaderRecord{};
  const int version = FList.FVersion;
  if (version >= vint::VersionHeaderRecord) {
    const std::int32_t length = FReader.ReadInt32("header length");
    if (length < 0) FReader.Fail("header length", std::to_string(length) + " is negative");
    std::uint8_t bytes[vint::HeaderRecordSize] = {};
    const std::size_t taken =
        std::min<std::size_t>(static_cast<std::size_t>(length), vint::HeaderRecordSize);
    FReader.ReadInto(bytes, taken, "header record");
    // The record holds 40 bytes; what a longer header carries beyond them is
    // not known to this reader and is passed over.
    FReader.Skip(static_cast<std::size_t>(length) - taken, "header record");
    header = vint::THeaderRecord::Decode(bytes);
    FList.FBackgroundColour = static_cast<TColor>(header.Background);
  } else {
    std::int32_t frameCount = 0;
    auto background = static_cast<std::int32_t>(FList.FBackgroundColour);
    vint::TransferOldHeader(FIo, version, frameCount, background);
    header.Version = version;
    header.FrameCount = frameCount;
    header.Compression = static_cast<std::uint8_t>(TCompression::None);
    header.Background = background;
    FList.FBackgroundColour = static_cast<TColor>(background);
  }
  if (header.Compression > static_cast<std::uint8_t>(TCompression::Jpeg)) {
    FReader.Fail("header record",
                 "names an unknown compression " + std::to_string(header.Compression));
  }
  if (header.TileWidth < 0 || header.TileHeight < 0) {
    FReader.Fail("header record", "has a negative tile size");
  }
  FList.FFirstLayerOpaque =
      header.Version >= vint::VersionFirstLayerOpaque ? header.FirstLayerOpaque : 0;
}

void TVintLoader::Load(bool firstFrameOnly) {
  ReadVersion();
  ReadHeader();
  std::int32_t count = std::max(FList.FHeader.FrameCount, 0);
  if (firstFrameOnly && count > 1) count = 1;
  FReader.RequireItems(static_cast<std::uint64_t>(count), vint::MinFrameRecordSize, "frame count");
  for (int i = 0; i < count; ++i) {
    FList.FFrames.push_back(std::make_unique<TVintFrame>(FList));
    ReadFrame(i);
    TDIBSurface& bitmap = FList.FFrames.back()->Bitmap();
    if (bitmap.BitsPerPixel() <= 8) bitmap.ConvertTo24();
  }
  for (auto& frame : FList.FFrames) frame->DropLayers();
}

void TVintLoader::ReadList(std::vector<TVintListRecord>& list, std::string_view field) {
  const std::int32_t count = FReader.ReadInt32(field);
  list.clear();
  if (count < 0) return;
  FReader.RequireItems(static_cast<std::uint64_t>(count), vint::ListRecordSize, field);
  list.resize(static_cast<std::size_t>(count));
  for (auto& record : list) {
    for (auto& value : record) value = FReader.ReadInt32(field);
  }
}

void TVintLoader::ReadFrame(int frameIndex) {
  TVintFrame& frame = *FList.FFrames.back();
  vint::TFrameHead head;
  vint::TransferFrameHead(FIo, head);
  if (head.Width < 0 || head.Height < 0 || head.Width > MaxSurfaceSide ||
      head.Height > MaxSurfaceSide) {
    FReader.Fail("frame size", std::to_string(head.Width) + " x " + std::to_string(head.Height) +
                                   " is out of range");
  }
  if (!TDIBSurface::ValidBits(head.BitsPerPixel)) {
    FReader.Fail("bits per pixel", std::to_string(head.BitsPerPixel) + " is not supported");
  }
  const std::int32_t layerCount = std::max(head.LayerCount, 0);
  FReader.RequireItems(static_cast<std::uint64_t>(layerCount), vint::MinLayerRecordSize,
                       "layer count");
  // The frame and each layer hold a bitmap and possibly a mask of this size.
  const std::uint64_t bitmapBytes =
      std::uint64_t(TDIBSurface::PaddedRowBytes(head.Width, head.BitsPerPixel) +
                    TDIBSurface::PaddedRowBytes(head.Width, 8)) *
      std::uint64_t(head.Height);
  // A palette frame ends as a 24-bit bitmap, up to 24 times its own size;
  // that form is refused now rather than after the frame was filled and read.
  std::uint64_t convertedBytes = 0;
  if (head.BitsPerPixel <= 8) {
    convertedBytes =
        std::uint64_t(TDIBSurface::PaddedRowBytes(head.Width, 24)) * std::uint64_t(head.Height);
    if (convertedBytes > MaxSurfaceBytes) {
      FReader.Fail("frame size", std::to_string(head.Width) + " x " + std::to_string(head.Height) +
                                     " needs " + std::to_string(convertedBytes) +
                                     " bytes at 24 bits per pixel, more than a bitmap may hold");
    }
  }
  Reserve(bitmapBytes * (std::uint64_t(layerCount) + 1) + convertedBytes, "frame size");

  TDIBSurface& bitmap = frame.Bitmap();
  bitmap.SetSize(head.Width, head.Height, head.BitsPerPixel);
  frame.FrameValue = head.FrameValue;
  frame.TransparentIndex = head.TransparentIndex;
  if (head.BitsPerPixel <= 8) {
    std::vector<TColor>& palette = bitmap.Palette();
    FReader.RequireItems(palette.size(), 4, "palette");
    for (TColor& entry : palette) {
      const std::uint8_t blue = FReader.ReadByte("palette");
      const std::uint8_t green = FReader.ReadByte("palette");
      const std::uint8_t red = FReader.ReadByte("palette");
      FReader.ReadByte("palette");
      entry = MakeColor(red, green, blue);
    }
  }
  frame.TransparentColour = -1;
  if (head.TransparentIndex >= 0 && !bitmap.Empty()) {
    bitmap.SetPixel(0, 0, static_cast<std::uint32_t>(head.TransparentIndex));
    frame.TransparentColour = static_cast<std::int32_t>(bitmap.Color(0, 0));
  }
  bitmap.Fill(FList.FBackgroundColour);

  bool firstVisible = true;
  for (int i = 0; i < layerCount; ++i) {
    frame.Layers().push_back(std::make_unique<TVintLayer>(frame));
    ReadLayer(frame, frameIndex, i);
    const TVintLayer& layer = *frame.Layers().back();
    if (layer.Visible != 0) {
      ComposeLayer(bitmap, layer, i, firstVisible, FList.FFirstLayerOpaque != 0);
      firstVisible = false;
    }
  }
  if (RecordVersion() >= vint::VersionRecordLists) {
    ReadList(frame.FirstList, "first record list");
    ReadList(frame.SecondList, "second record list");
  }
}

void TVintLoader::ReadLayer(TVintFrame& frame, int frameIndex, int layerIndex) {
  TVintLayer& layer = *frame.Layers().back();
  const TDIBSurface& frameBitmap = frame.Bitmap();
  layer.Bitmap.SetSize(frameBitmap.Width(), frameBitmap.Height(), frameBitmap.BitsPerPixel());
  layer.Bitmap.Palette() = frameBitmap.Palette();

  vint::TLayerHead head;
  vint::TransferLayerHead(FIo, head, RecordVersion());
  layer.Visible = head.Visible;
  layer.ColourKey = head.ColourKey;
  layer.Opacity = head.Opacity;
  layer.MaskEnabled = head.MaskEnabled;

  const std::string where = FReader.SourceName() + ": frame " + std::to_string(frameIndex) +
                            " layer " + std::to_string(layerIndex);
  const std::int32_t dataLength = FReader.ReadInt32("colour data length");
  if (dataLength < 0)
    FReader.Fail("colour data length", std::to_string(dataLength) + " is negative");
  const std::string_view data =
      FReader.ReadView(static_cast<std::size_t>(dataLength), "colour data");
  if (Compression() == TCompression::Jpeg) {
    const TDIBSurface decoded =
        DecodeJpeg(data, where + " colour data", layer.Bitmap.Width(), layer.Bitmap.Height());
    layer.Bitmap.Draw(decoded, 0, 0);
  } else {
    DecodeBlock(data, ColourPlane(layer.Bitmap), false, where + " colour data");
  }

  if (RecordVersion() < vint::VersionMask) return;
  const std::int32_t maskLength = FReader.ReadInt32("mask length");
  if (maskLength <= 0) return;
  const std::string_view maskData = FReader.ReadView(static_cast<std::size_t>(maskLength), "mask");
  layer.ColourKey = -1;
  layer.Bitmap.CreateMask(0);
  DecodeBlock(maskData, MaskPlane(layer.Bitmap), true, where + " mask");
}

std::uint64_t TVintLoader::BlockLimit(const TPlane& plane) const {
  const vint::THeaderRecord& header = FList.FHeader;
  const std::uint64_t rows = std::uint64_t(plane.Stride) * std::uint64_t(plane.Height);
  if (RecordVersion() < vint::VersionHeaderRecord || !vint::BlockIsTiled(header)) return rows;
  const vint::TTileGrid grid =
      vint::MakeTileGrid(plane.Width, plane.Height, header.TileWidth, header.TileHeight);
  if (grid.Count() > MaxTileCount) return 0;  // refused by DecodeTiles
  return grid.Count() * vint::TileEntrySize +
         std::uint64_t(grid.Across) *
             TDIBSurface::PixelRowBytes(std::min(header.TileWidth, MaxSurfaceSide), plane.Bits) *
             std::uint64_t(plane.Height);
}

std::string TVintLoader::Inflate(std::string_view block, std::uint64_t limit,
                                 const std::string& what) {
  // Keeps no more than the block can use, so a small block cannot claim
  // unbounded memory. Output beyond the limit is inflated only to reach the
  // stream's end and its check value, up to a bound; what lies beyond that
  // bound is trailing data nobody reads.
  constexpr std::uint64_t MaxSurplus = std::uint64_t{1} << 24;
  archive::TInflater inflater(limit + MaxSurplus);
  std::string out;
  inflater.Put(block, [&](const char* data, std::size_t size) {
    const std::size_t keep =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, limit - out.size()));
    out.append(data, keep);
  });
  const archive::TInflateState state = inflater.Finish();
  if (state != archive::TInflateState::Finished && state != archive::TInflateState::OverLimit) {
    throw base::EDamagedData(what + ": damaged deflate data (" + inflater.Problem() + ")");
  }
  return out;
}

void TVintLoader::DecodeBlock(std::string_view block, const TPlane& plane, bool mask,
                              const std::string& what) {
  std::string inflated;
  const TCompression compression = Compression();
  if (compression == TCompression::Deflate || (mask && compression == TCompression::Jpeg)) {
    inflated = Inflate(block, BlockLimit(plane), what);
    block = inflated;
  }
  base::TLittleEndianReader reader(block, what);
  if (RecordVersion() < vint::VersionHeaderRecord) {
    DecodeRows(reader, plane, true);
  } else if (vint::BlockIsTiled(FList.FHeader)) {
    DecodeTiles(reader, plane, mask);
  } else {
    DecodeRows(reader, plane, vint::RowsShuffled(FList.FHeader));
  }
}

void TVintLoader::DecodeRows(base::TLittleEndianReader& block, const TPlane& plane, bool shuffled) {
  block.RequireItems(static_cast<std::uint64_t>(plane.Height), plane.Stride, "rows");
  std::vector<std::uint32_t> order;
  if (shuffled) order = vint::ShuffleOrder(FList.FSeed, static_cast<std::uint32_t>(plane.Height));
  for (int i = 0; i < plane.Height; ++i) {
    const int y = shuffled ? static_cast<int>(order[static_cast<std::size_t>(i)]) : i;
    block.ReadInto(plane.Row(y), plane.Stride, "rows");
  }
}

void TVintLoader::DecodeTiles(base::TLittleEndianReader& block, const TPlane& plane, bool mask) {
  const vint::THeaderRecord& header = FList.FHeader;
  const vint::TTileGrid grid =
      vint::MakeTileGrid(plane.Width, plane.Height, header.TileWidth, header.TileHeight);
  const std::uint64_t count = grid.Count();
  if (count > MaxTileCount) {
    block.Fail("tile table", "has " + std::to_string(count) + " tiles, more than allowed");
  }
  block.RequireItems(count, vint::TileEntrySize, "tile table");
  struct TEntry {
    std::int32_t Kind;
    std::int32_t Value;
  };
  std::vector<TEntry> stored(static_cast<std::size_t>(count));
  for (TEntry& e : stored) {
    e.Kind = block.ReadInt32("tile entry kind");
    e.Value = block.ReadInt32("tile entry value");
  }
  std::vector<TEntry> entries = stored;
  if (header.Shuffled != 0) {
    const std::vector<std::uint32_t> order =
        vint::ShuffleOrder(FList.FSeed, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < stored.size(); ++i) entries[order[i]] = stored[i];
  }

  for (std::uint64_t n = 0; n < count; ++n) {
    const TEntry& e = entries[static_cast<std::size_t>(n)];
    const int y0 = grid.Top(n);
    const int h = grid.ClippedHeight(n);
    const int w = grid.ClippedWidth(n);
    const std::size_t offset = grid.ByteOffset(n, plane.Bits);
    const std::string tile = "tile " + std::to_string(n);
    if (e.Kind == vint::TileKindData) {
      const std::size_t rowBytes = TDIBSurface::PixelRowBytes(w, plane.Bits);
      block.RequireItems(static_cast<std::uint64_t>(h), rowBytes, tile + " rows");
      for (int r = 0; r < h; ++r) {
        const std::string_view row = block.ReadView(rowBytes, "tile rows");
        PutRowBytes(plane, y0 + r, offset, reinterpret_cast<const std::uint8_t*>(row.data()),
                    row.size());
      }
    } else if (e.Kind == vint::TileKindSameBitmap) {
      if (e.Value < 0 || static_cast<std::uint64_t>(e.Value) >= count) {
        block.Fail(tile, "refers to tile " + std::to_string(e.Value) + " outside the " +
                             std::to_string(count) + " tiles of the grid");
      }
      const auto source = static_cast<std::uint64_t>(e.Value);
      CopyBlock(plane, y0, offset, plane, grid.Top(source), grid.ByteOffset(source, plane.Bits),
                TDIBSurface::PixelRowBytes(w, plane.Bits), h);
    } else if (e.Kind >= 0) {
      if (e.Kind >= FList.Count()) {
        block.Fail(tile, "refers to frame " + std::to_string(e.Kind) + " but only " +
                             std::to_string(FList.Count()) + " are read");
      }
      TVintFrame& frame = *FList.FFrames[static_cast<std::size_t>(e.Kind)];
      if (e.Value < 0 || static_cast<std::size_t>(e.Value) >= frame.Layers().size()) {
        block.Fail(tile, "refers to layer " + std::to_string(e.Value) + " of frame " +
                             std::to_string(e.Kind) + ", which has " +
                             std::to_string(frame.Layers().size()) + " layers read");
      }
      TDIBSurface& sourceBitmap = frame.Layers()[static_cast<std::size_t>(e.Value)]->Bitmap;
      if (mask && !sourceBitmap.HasMask()) {
        block.Fail(tile, "refers to the mask of layer " + std::to_string(e.Value) + " of frame " +
                             std::to_string(e.Kind) + ", which has none");
      }
      const TPlane from = mask ? MaskPlane(sourceBitmap) : ColourPlane(sourceBitmap);
      CopyBlock(plane, y0, offset, from, y0, grid.ByteOffset(n, from.Bits),
                TDIBSurface::PixelRowBytes(w, from.Bits), h);
    } else {
      block.Fail(tile, "has an unknown kind " + std::to_string(e.Kind));
    }
  }
}

void TVintFrameList::LoadFromStream(platform::TMemoryStream& stream, bool firstFrameOnly,
                                    const std::string& sourceName) {
  Clear();
  const std::string& bytes = stream.Bytes();
  base::TLittleEndianReader reader(bytes, sourceName);
  const std::int64_t position = stream.Position();
  reader.Seek(static_cast<std::size_t>(std::max<std::int64_t>(position, 0)), "start");
  try {
    TVintLoader loader(*this, reader);
    loader.Load(firstFrameOnly);
  } catch (...) {
    Clear();
    throw;
  }
  stream.SetPosition(static_cast<std::int64_t>(reader.Position()));
}

}  // namespace mora::pictures
