// Vint pictures: any bytes load or fail with the program's own error and an
// empty list; a loaded picture has frames of more than 8 bits per pixel,
// and reading only its first frame gives that same frame.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/errors.h"
#include "fuzz_support.h"
#include "pictures/vints.h"
#include "platform/streams.h"

using namespace mora;

namespace {

// The seed the seed corpus was written with, so that shuffled rows and tiles
// come back in order (another seed only scrambles them).
constexpr std::int32_t Seed = 77;

bool SameBitmap(const pictures::TDIBSurface& a, const pictures::TDIBSurface& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         a.BitsPerPixel() == b.BitsPerPixel() && a.Pixels() == b.Pixels();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(fuzz::Bytes(data, size));
  pictures::TVintFrameList all(Seed);
  platform::TMemoryStream stream(bytes);
  try {
    all.LoadFromStream(stream, false, "fuzz.vnt");
  } catch (const base::Exception&) {
    fuzz::Check(all.Count() == 0, "a failed load leaves the list empty");
    return 0;
  }
  for (int i = 0; i < all.Count(); ++i) {
    fuzz::Check(all.Frame(i).Bitmap().BitsPerPixel() > 8, "palette frames become 24-bit");
  }
  if (all.Count() == 0) return 0;
  pictures::TVintFrameList first(Seed);
  platform::TMemoryStream again(bytes);
  first.LoadFromStream(again, true, "fuzz.vnt");
  fuzz::Check(first.Count() == 1 && SameBitmap(first.Frame(0).Bitmap(), all.Frame(0).Bitmap()),
              "the first frame alone is the first frame of the whole picture");
  return 0;
}
