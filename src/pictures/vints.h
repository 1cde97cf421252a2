// Vint pictures: a list of frames, each composed from its layers into a
// bitmap, read from a memory stream with seed-shuffled rows and tile tables
// restored. Damaged or hostile data throws EDamagedData naming the picture and
// the offset; a failed load leaves the list empty.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pictures/dibsurface.h"
#include "pictures/vintlayout.h"
#include "platform/streams.h"

namespace mora::pictures {

class TVintFrame;
class TVintFrameList;

// One 16-byte record of a frame's two lists (kept, not interpreted).
using TVintListRecord = std::array<std::int32_t, 4>;

class TVintLayer {
 public:
  explicit TVintLayer(TVintFrame& owner) : FOwner(&owner) {}
  TVintFrame& Owner() const { return *FOwner; }
  // The mask takes part in composing only when present and enabled.
  bool UsesMask() const { return Bitmap.HasMask() && MaskEnabled != 0; }

  TDIBSurface Bitmap;
  std::uint8_t Visible = 0;
  std::int32_t ColourKey = -1;
  std::int32_t Opacity = 0;
  std::uint8_t MaskEnabled = 0;

 private:
  TVintFrame* FOwner;
};

class TVintFrame {
 public:
  explicit TVintFrame(TVintFrameList& owner) : FOwner(&owner) {}
  TVintFrameList& Owner() const { return *FOwner; }

  TDIBSurface& Bitmap() { return FBitmap; }
  const TDIBSurface& Bitmap() const { return FBitmap; }
  int Width() const { return FBitmap.Width(); }
  int Height() const { return FBitmap.Height(); }
  // Draws the composed bitmap onto a canvas at (x, y), clipped.
  void Draw(TDIBSurface& canvas, int x, int y) const { canvas.Draw(FBitmap, x, y); }

  // Layers exist while the picture loads (later layers may copy from them).
  std::vector<std::unique_ptr<TVintLayer>>& Layers() { return FLayers; }
  void DropLayers() { FLayers.clear(); }

  std::int32_t TransparentIndex = -1;
  std::int32_t TransparentColour = -1;
  std::int32_t FrameValue = 0;
  std::vector<TVintListRecord> FirstList;
  std::vector<TVintListRecord> SecondList;

 private:
  TVintFrameList* FOwner;
  TDIBSurface FBitmap;
  std::vector<std::unique_ptr<TVintLayer>> FLayers;
};

class TVintFrameList {
 public:
  explicit TVintFrameList(std::int32_t seed) : FSeed(seed) {}
  // Frames point back at their list, so a list stays where it was made.
  TVintFrameList(const TVintFrameList&) = delete;
  TVintFrameList& operator=(const TVintFrameList&) = delete;

  // Clears the list and reads a picture from the stream's current position;
  // the stream is left behind what was read. With firstFrameOnly, frames
  // after the first are not read at all. sourceName names the picture in
  // messages (an archive entry's name, a file name).
  void LoadFromStream(platform::TMemoryStream& stream, bool firstFrameOnly = false,
                      const std::string& sourceName = "the picture");
  void Clear() { FFrames.clear(); }

  int Count() const { return static_cast<int>(FFrames.size()); }
  // Throws ERangeError for an index outside the list.
  TVintFrame& Frame(int index);
  const TVintFrame& Frame(int index) const;

  std::int32_t Seed() const { return FSeed; }
  std::int32_t Version() const { return FVersion; }
  TColor BackgroundColour() const { return FBackgroundColour; }
  void SetBackgroundColour(TColor colour) { FBackgroundColour = colour; }
  bool FirstLayerOpaque() const { return FFirstLayerOpaque != 0; }
  const vint::THeaderRecord& Header() const { return FHeader; }

 private:
  friend class TVintLoader;

  std::int32_t FSeed;
  std::int32_t FVersion = 0;
  TColor FBackgroundColour = 0;
  std::uint8_t FFirstLayerOpaque = 0;
  vint::THeaderRecord FHeader;
  std::vector<std::unique_ptr<TVintFrame>> FFrames;
};

// Composes one visible layer onto a frame bitmap of the same format.
// layerIndex is the layer's number in its frame; firstVisible says no visible
// layer was drawn before it; firstLayerOpaque is the list's flag.
void ComposeLayer(TDIBSurface& frame, const TVintLayer& layer, int layerIndex, bool firstVisible,
                  bool firstLayerOpaque);

}  // namespace mora::pictures
