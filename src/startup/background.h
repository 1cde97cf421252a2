// DrawBackgroundPicture: puts the title's background picture (a Vint picture
// read from the archive) into a paint box, centred, stretched or tiled as the
// settings say. Throws what reading fails with: "%s:ファイルがありません" for a
// missing entry, EDamagedData for a damaged picture; the box is then left
// empty.
#pragma once

#include "ui/bitmap.h"
#include "ui/controls.h"

namespace mora::settings {
class TMoraInstallSet;
}
namespace mora::archive {
class TVrFileCollection;
}
namespace mora::pictures {
class TDIBSurface;
}

namespace mora::startup {

// Nothing happens when BackgroundPicture is empty or no archive is given.
// Layout 0: the picture at its size, drawn centred; 1: drawn stretched to the
// box; 2: the box's current size filled with copies of the picture from the
// top-left corner; any other layout: the box is emptied.
void DrawBackgroundPicture(ui::TPaintBox& box, const settings::TMoraInstallSet& settings,
                           archive::TVrFileCollection* archive);

// The surface's colours as a 24-bit bitmap.
ui::TBitmap BitmapFromSurface(const pictures::TDIBSurface& surface);

}  // namespace mora::startup
