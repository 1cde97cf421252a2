// The background picture of the launcher and the main window.
#include "startup/background.h"

#include "archive/vrfiles.h"
#include "pictures/dibsurface.h"
#include "pictures/vints.h"
#include "platform/streams.h"
#include "settings/installset.h"

namespace mora::startup {

ui::TBitmap BitmapFromSurface(const pictures::TDIBSurface& surface) {
  ui::TBitmap bitmap(surface.Width(), surface.Height());
  for (int y = 0; y < surface.Height(); ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < surface.Width(); ++x) {
      const pictures::TColor color = surface.Color(x, y);
      *row++ = pictures::BlueOf(color);
      *row++ = pictures::GreenOf(color);
      *row++ = pictures::RedOf(color);
    }
  }
  return bitmap;
}

void DrawBackgroundPicture(ui::TPaintBox& box, const settings::TMoraInstallSet& settings,
                           archive::TVrFileCollection* archive) {
  if (settings.BackgroundPicture.empty() || archive == nullptr) return;
  // Whatever fails below leaves the box empty rather than half drawn.
  box.ClearBitmap();
  ui::TBitmap image;
  {
    platform::TMemoryStream stream;
    archive->LoadEntry(stream, settings.BackgroundPicture);
    pictures::TVintFrameList frames(settings.PictureSeed);
    frames.LoadFromStream(stream, true, settings.BackgroundPicture);
    image = BitmapFromSurface(frames.Frame(0).Bitmap());
  }
  switch (settings.BackgroundLayout) {
    case 0:
    case 1:
      box.SetMode(settings.BackgroundLayout == 0 ? ui::TPictureMode::Center
                                                 : ui::TPictureMode::Stretch);
      box.SetBitmap(std::move(image));
      break;
    case 2: {
      ui::TBitmap tiled(box.Width() > 0 ? box.Width() : 0, box.Height() > 0 ? box.Height() : 0);
      if (!image.Empty()) {
        for (int y = 0; y < tiled.Height(); y += image.Height()) {
          for (int x = 0; x < tiled.Width(); x += image.Width()) tiled.Draw(x, y, image);
        }
      }
      box.SetMode(ui::TPictureMode::Normal);
      box.SetBitmap(std::move(tiled));
      break;
    }
    default: break;
  }
}

}  // namespace mora::startup
