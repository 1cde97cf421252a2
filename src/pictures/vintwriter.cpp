#include "pictures/vintwriter.h"

#include <algorithm>
#include <cstring>

#include "archive/zstream.h"
#include "base/binary.h"
#include "base/errors.h"
#include "pictures/jpeg.h"
#include "pictures/png.h"

namespace mora::pictures {

using vint::TCompression;

namespace {

[[noreturn]] void Refuse(const std::string& problem) {
  throw base::ERangeError("Vint writer: " + problem);
}

// The plane a block encodes: a surface's colours or its mask.
struct TSourcePlane {
  const std::uint8_t* Base;
  std::size_t Stride;
  int Width;
  int Height;
  int Bits;
  const std::uint8_t* Row(int y) const { return Base + static_cast<std::size_t>(y) * Stride; }
};

class TVintEncoder {
 public:
  TVintEncoder(const TVintPictureSource& picture, std::int32_t seed, std::string& out)
      : FPicture(picture), FSeed(seed), FWriter(out), FIo(FWriter) {}

  void Write();

 private:
  void WriteHeader();
  void WriteFrame(const TVintFrameSource& frame);
  void WriteLayer(const TVintFrameSource& frame, const TVintLayerSource& layer);
  std::string EncodePlane(const TSourcePlane& plane,
                          const std::map<std::uint32_t, TVintTileRef>& refs) const;
  void WriteBlock(const std::string& block);

  const TVintPictureSource& FPicture;
  std::int32_t FSeed;
  base::TLittleEndianWriter FWriter;
  vint::TWriteIo FIo;
  // The version behind the magic; the record's own version (FHeader) governs
  // frames and layers and reads as 0 when a short record leaves it out.
  int FVersion = 0;
  vint::THeaderRecord FHeader;
};

void TVintEncoder::Write() {
  if (FPicture.Version < 0 || FPicture.Version > vint::MaxVersion) {
    Refuse("version " + std::to_string(FPicture.Version) + " cannot be written");
  }
  FVersion = FPicture.Version;
  FHeader.Version = FPicture.Version;
  FHeader.FrameCount = static_cast<std::int32_t>(FPicture.Frames.size());
  FHeader.Shuffled = FPicture.Shuffled ? 1 : 0;
  FHeader.Compression = static_cast<std::uint8_t>(FPicture.Compression);
  FHeader.Background = static_cast<std::int32_t>(FPicture.Background);
  FHeader.TileWidth = FPicture.TileWidth;
  FHeader.TileHeight = FPicture.TileHeight;
  FHeader.FirstLayerOpaque = FPicture.FirstLayerOpaque ? 1 : 0;
  if (FHeader.Version < vint::VersionHeaderRecord) {
    // Old pictures have no header record: no compression, no tiles, and
    // their rows are always shuffled.
    FHeader.Compression = static_cast<std::uint8_t>(TCompression::None);
    FHeader.TileWidth = FHeader.TileHeight = 0;
    FHeader.Shuffled = 1;
  }
  if (FHeader.TileWidth < 0 || FHeader.TileHeight < 0) Refuse("negative tile size");
  if (FVersion >= vint::VersionHeaderRecord) {
    if (FPicture.HeaderLength < 0) Refuse("negative header length");
    // A short header record leaves its later fields at 0 for the reader; the
    // blocks are encoded as it will see them.
    std::uint8_t record[vint::HeaderRecordSize];
    FHeader.Encode(record);
    const std::size_t length = static_cast<std::size_t>(FPicture.HeaderLength);
    if (length < vint::HeaderRecordSize) {
      std::fill(record + length, record + vint::HeaderRecordSize, std::uint8_t{0});
    }
    FHeader = vint::THeaderRecord::Decode(record);
  }
  WriteHeader();
  for (const TVintFrameSource& frame : FPicture.Frames) WriteFrame(frame);
}

void TVintEncoder::WriteHeader() {
  if (FVersion > 0) {
    std::string magic(vint::Magic);
    magic += static_cast<char>('0' + FVersion / 100);
    magic += static_cast<char>('0' + FVersion / 10 % 10);
    magic += static_cast<char>('0' + FVersion % 10);
    FWriter.WriteBytes(magic);
  }
  if (FVersion >= vint::VersionHeaderRecord) {
    FWriter.WriteInt32(FPicture.HeaderLength);
    std::uint8_t record[vint::HeaderRecordSize];
    FHeader.Encode(record);
    const std::size_t length = static_cast<std::size_t>(FPicture.HeaderLength);
    const std::size_t taken = std::min(length, vint::HeaderRecordSize);
    FWriter.WriteBytes(std::string_view(reinterpret_cast<const char*>(record), taken));
    FWriter.WriteZeros(length - taken);
  } else {
    std::int32_t frameCount = FHeader.FrameCount;
    std::int32_t background = FHeader.Background;
    vint::TransferOldHeader(FIo, FHeader.Version, frameCount, background);
  }
}

void TVintEncoder::WriteFrame(const TVintFrameSource& frame) {
  if (!TDIBSurface::ValidBits(frame.BitsPerPixel)) {
    Refuse(std::to_string(frame.BitsPerPixel) + " bits per pixel");
  }
  if (FHeader.TileWidth > 0 && FHeader.TileHeight > 0 && frame.BitsPerPixel < 8 &&
      (FHeader.TileWidth * frame.BitsPerPixel) % 8 != 0) {
    Refuse("tiles of " + std::to_string(frame.BitsPerPixel) +
           "-bit pixels must start on byte boundaries");
  }
  vint::TFrameHead head;
  head.Name = frame.Name;
  head.TransparentIndex = frame.TransparentIndex;
  head.FrameValue = frame.FrameValue;
  head.LayerCount = static_cast<std::int32_t>(frame.Layers.size());
  head.Width = frame.Width;
  head.Height = frame.Height;
  head.BitsPerPixel = frame.BitsPerPixel;
  vint::TransferFrameHead(FIo, head);
  if (frame.BitsPerPixel <= 8) {
    const std::size_t entries = std::size_t{1} << frame.BitsPerPixel;
    for (std::size_t i = 0; i < entries; ++i) {
      const TColor c = i < frame.Palette.size() ? frame.Palette[i] : 0;
      FWriter.WriteByte(BlueOf(c));
      FWriter.WriteByte(GreenOf(c));
      FWriter.WriteByte(RedOf(c));
      FWriter.WriteByte(0);
    }
  }
  for (const TVintLayerSource& layer : frame.Layers) WriteLayer(frame, layer);
  if (FHeader.Version >= vint::VersionRecordLists) {
    for (const auto* list : {&frame.FirstList, &frame.SecondList}) {
      FWriter.WriteInt32(static_cast<std::int32_t>(list->size()));
      for (const TVintListRecord& record : *list) {
        for (std::int32_t value : record) FWriter.WriteInt32(value);
      }
    }
  }
}

void TVintEncoder::WriteBlock(const std::string& block) {
  FWriter.WriteInt32(static_cast<std::int32_t>(block.size()));
  FWriter.WriteBytes(block);
}

void TVintEncoder::WriteLayer(const TVintFrameSource& frame, const TVintLayerSource& layer) {
  vint::TLayerHead head;
  head.Visible = layer.Visible;
  head.ColourKey = layer.ColourKey;
  head.Opacity = layer.Opacity;
  head.MaskEnabled = layer.MaskEnabled;
  head.Name = layer.Name;
  vint::TransferLayerHead(FIo, head, FHeader.Version);

  // The layer's pixels in the frame's format.
  TDIBSurface pixels(frame.Width, frame.Height, frame.BitsPerPixel);
  if (frame.BitsPerPixel <= 8) {
    for (std::size_t i = 0; i < pixels.Palette().size() && i < frame.Palette.size(); ++i) {
      pixels.Palette()[i] = frame.Palette[i];
    }
  }
  const TDIBSurface& source = layer.Colour;
  if (source.BitsPerPixel() == frame.BitsPerPixel && source.Width() == frame.Width &&
      source.Height() == frame.Height) {
    pixels.Pixels() = source.Pixels();
  } else {
    pixels.Draw(source, 0, 0);
  }

  const auto compression = static_cast<TCompression>(FHeader.Compression);
  if (compression == TCompression::Jpeg) {
    WriteBlock(layer.Jpeg.empty() ? EncodeJpeg(pixels, layer.JpegQuality) : layer.Jpeg);
  } else {
    std::string block =
        EncodePlane(TSourcePlane{pixels.Pixels().data(), pixels.Stride(), pixels.Width(),
                                 pixels.Height(), TDIBSurface::StorageBits(pixels.BitsPerPixel())},
                    layer.TileRefs);
    if (compression == TCompression::Deflate) block = archive::DeflateBytes(block);
    WriteBlock(block);
  }

  if (FHeader.Version < vint::VersionMask) return;
  if (!source.HasMask()) {
    FWriter.WriteInt32(0);
    return;
  }
  TDIBSurface mask(frame.Width, frame.Height, 8);
  mask.CreateMask(0);
  for (int y = 0; y < frame.Height; ++y) {
    for (int x = 0; x < frame.Width; ++x) mask.SetMaskAt(x, y, source.MaskAt(x, y));
  }
  std::string block =
      EncodePlane(TSourcePlane{mask.MaskRow(0), mask.MaskStride(), frame.Width, frame.Height, 8},
                  layer.MaskTileRefs);
  if (compression != TCompression::None) block = archive::DeflateBytes(block);
  WriteBlock(block);
}

std::string TVintEncoder::EncodePlane(const TSourcePlane& plane,
                                      const std::map<std::uint32_t, TVintTileRef>& refs) const {
  std::string block;
  base::TLittleEndianWriter writer(block);
  const bool old = FHeader.Version < vint::VersionHeaderRecord;
  if (old || !vint::BlockIsTiled(FHeader)) {
    if (!refs.empty()) Refuse("tile references without tiles");
    const bool shuffled = old || vint::RowsShuffled(FHeader);
    std::vector<std::uint32_t> order;
    if (shuffled) order = vint::ShuffleOrder(FSeed, static_cast<std::uint32_t>(plane.Height));
    for (int i = 0; i < plane.Height; ++i) {
      const int y = shuffled ? static_cast<int>(order[static_cast<std::size_t>(i)]) : i;
      writer.WriteBytes(
          std::string_view(reinterpret_cast<const char*>(plane.Row(y)), plane.Stride));
    }
    return block;
  }

  const vint::TTileGrid grid =
      vint::MakeTileGrid(plane.Width, plane.Height, FHeader.TileWidth, FHeader.TileHeight);
  const std::uint64_t count = grid.Count();
  std::vector<TVintTileRef> entries(static_cast<std::size_t>(count),
                                    TVintTileRef{vint::TileKindData, 0});
  for (const auto& [tile, ref] : refs) {
    if (tile >= count) Refuse("tile " + std::to_string(tile) + " lies outside the grid");
    if (ref.Kind < vint::TileKindSameBitmap || ref.Kind == vint::TileKindData) {
      Refuse("tile " + std::to_string(tile) + " has an invalid reference kind");
    }
    entries[tile] = ref;
  }
  // The reader puts stored entry i at position Pick number i.
  std::vector<TVintTileRef> stored = entries;
  if (FHeader.Shuffled != 0) {
    const std::vector<std::uint32_t> order =
        vint::ShuffleOrder(FSeed, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = entries[order[i]];
  }
  for (const TVintTileRef& e : stored) {
    writer.WriteInt32(e.Kind);
    writer.WriteInt32(e.Value);
  }
  for (std::uint64_t n = 0; n < count; ++n) {
    if (entries[static_cast<std::size_t>(n)].Kind != vint::TileKindData) continue;
    const std::size_t offset = grid.ByteOffset(n, plane.Bits);
    const std::size_t rowBytes = TDIBSurface::PixelRowBytes(grid.ClippedWidth(n), plane.Bits);
    if (offset + rowBytes > plane.Stride) Refuse("tile bytes reach beyond the bitmap's rows");
    for (int r = 0; r < grid.ClippedHeight(n); ++r) {
      writer.WriteBytes(std::string_view(
          reinterpret_cast<const char*>(plane.Row(grid.Top(n) + r) + offset), rowBytes));
    }
  }
  return block;
}

}  // namespace

std::string WriteVint(const TVintPictureSource& picture, std::int32_t seed) {
  std::string out;
  TVintEncoder encoder(picture, seed, out);
  encoder.Write();
  return out;
}

void WriteVint(const TVintPictureSource& picture, std::int32_t seed, platform::TStream& stream) {
  stream.WriteBytes(WriteVint(picture, seed));
}

bool IsJpegData(std::string_view bytes) {
  return bytes.size() >= 3 && static_cast<std::uint8_t>(bytes[0]) == 0xFF &&
         static_cast<std::uint8_t>(bytes[1]) == 0xD8 && static_cast<std::uint8_t>(bytes[2]) == 0xFF;
}

TDIBSurface DecodePictureSource(std::string_view bytes, const std::string& sourceName) {
  if (IsJpegData(bytes)) return DecodeJpeg(bytes, sourceName);
  return DecodePng(bytes, sourceName);
}

TVintFrameSource FrameFromPicture(std::string_view bytes, const std::string& sourceName,
                                  int bitsPerPixel) {
  if (bitsPerPixel <= 8 || !TDIBSurface::ValidBits(bitsPerPixel)) {
    Refuse("a picture source needs 15, 16, 24 or 32 bits per pixel");
  }
  TVintLayerSource layer;
  layer.Colour = DecodePictureSource(bytes, sourceName);
  if (IsJpegData(bytes) && bitsPerPixel == 24) layer.Jpeg = std::string(bytes);
  TVintFrameSource frame;
  frame.Width = layer.Colour.Width();
  frame.Height = layer.Colour.Height();
  frame.BitsPerPixel = bitsPerPixel;
  frame.Layers.push_back(std::move(layer));
  return frame;
}

}  // namespace mora::pictures
