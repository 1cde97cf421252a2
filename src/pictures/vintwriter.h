// The Vint writer: encodes frames and layers in any format version, bit depth,
// compression, tiling (with tiles copied from the same bitmap or from earlier
// layers) and seed shuffle, from raw pixels or PNG/JPEG sources. Invalid
// settings throw ERangeError; damaged PNG/JPEG sources throw EDamagedData.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pictures/dibsurface.h"
#include "pictures/vintlayout.h"
#include "pictures/vints.h"
#include "platform/streams.h"

namespace mora::pictures {

// A tile that copies its pixels instead of carrying them: Kind −2 with the
// number of a tile of the same bitmap, or Kind = a frame number with Value =
// a layer number of that frame.
struct TVintTileRef {
  std::int32_t Kind = vint::TileKindSameBitmap;
  std::int32_t Value = 0;
};

struct TVintLayerSource {
  // The layer's pixels; converted to the frame's format when they differ.
  // A mask on this surface is written as the layer's mask (version 100 on).
  TDIBSurface Colour;
  std::uint8_t Visible = 1;
  std::int32_t ColourKey = -1;
  std::int32_t Opacity = 255;
  std::uint8_t MaskEnabled = 1;
  std::string Name;
  // Tiles by number (row by row from the top) that copy instead of carrying
  // pixels; the others carry their own.
  std::map<std::uint32_t, TVintTileRef> TileRefs;
  std::map<std::uint32_t, TVintTileRef> MaskTileRefs;
  // For the JPEG compression: the JPEG stream to store as it is (a JPEG
  // source); when empty, Colour is encoded with JpegQuality.
  std::string Jpeg;
  int JpegQuality = 90;
};

struct TVintFrameSource {
  std::string Name;
  std::int32_t TransparentIndex = -1;
  std::int32_t FrameValue = 0;
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 24;
  // 8 bits or fewer: up to 1 << bits colours (the rest are black).
  std::vector<TColor> Palette;
  std::vector<TVintLayerSource> Layers;
  std::vector<TVintListRecord> FirstList;
  std::vector<TVintListRecord> SecondList;
};

struct TVintPictureSource {
  int Version = vint::VersionFirstLayerOpaque;  // 0 writes no magic
  bool Shuffled = false;
  vint::TCompression Compression = vint::TCompression::Deflate;
  TColor Background = 0;
  int TileWidth = 0;
  int TileHeight = 0;
  bool FirstLayerOpaque = false;
  // Bytes of header record written (version 103 on); bytes beyond the 40 of
  // the record are written as zeros.
  std::int32_t HeaderLength = static_cast<std::int32_t>(vint::HeaderRecordSize);
  std::vector<TVintFrameSource> Frames;
};

// Encodes the picture; seed orders the shuffled rows and tile tables.
std::string WriteVint(const TVintPictureSource& picture, std::int32_t seed);
void WriteVint(const TVintPictureSource& picture, std::int32_t seed, platform::TStream& stream);

// A PNG or JPEG file's picture as a 24-bit surface (with a mask from a PNG's
// alpha channel); the kind is told by the file's signature.
TDIBSurface DecodePictureSource(std::string_view bytes, const std::string& sourceName);
bool IsJpegData(std::string_view bytes);

// A frame of the picture's size holding it as one opaque layer. A JPEG
// source keeps its stream for the JPEG compression.
TVintFrameSource FrameFromPicture(std::string_view bytes, const std::string& sourceName,
                                  int bitsPerPixel = 24);

}  // namespace mora::pictures
