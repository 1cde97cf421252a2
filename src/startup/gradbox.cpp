// Colour bands of TGradBox.
#include "startup/gradbox.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mora::startup {

namespace {

// Rounds to nearest with halves to even (the default floating-point mode).
int RoundEven(double value) { return static_cast<int>(std::nearbyint(value)); }

// s + round(delta * factor), stored in a byte (wrapping like a byte store).
std::uint8_t Channel(std::uint8_t start, std::uint8_t end, double divisor, int factor) {
  const double delta = static_cast<double>(static_cast<int>(end) - static_cast<int>(start));
  return static_cast<std::uint8_t>(static_cast<int>(start) + RoundEven(delta / divisor * factor));
}

}  // namespace

TGradBox::TGradBox(ui::TForm& form, std::string name)
    : ui::TGraphicControl(form, ui::TControlKind::Graphic, std::move(name)) {
  SetBounds({0, 0, 128, 128});
}

void TGradBox::SetStartColor(ui::TColor color) {
  FStartColor = color;
  Changed();
}

void TGradBox::SetEndColor(ui::TColor color) {
  FEndColor = color;
  Changed();
}

void TGradBox::SetGradStep(std::uint8_t step) {
  FGradStep = step;
  Changed();
}

void TGradBox::SetDirection(TGradDirection direction) {
  if (direction == FDirection) return;
  FDirection = direction;
  Changed();
}

void TGradBox::Changed() {
  Invalidate();
  if (OnChange) OnChange(*this);
}

void TGradBox::Paint(ui::TBitmap& canvas) const {
  const ui::TRect box = ClientBounds();
  if (box.Width <= 0 || box.Height <= 0) return;
  // Bands never leave the control.
  auto fill = [&](int offset, int size, ui::TColor color) {
    ui::TRect band = FDirection == TGradDirection::gdVertical
                         ? ui::TRect{0, offset, box.Width, size}
                         : ui::TRect{offset, 0, size, box.Height};
    const int left = std::max(band.Left, 0);
    const int top = std::max(band.Top, 0);
    const int right = std::min(band.Right(), box.Width);
    const int bottom = std::min(band.Bottom(), box.Height);
    if (left >= right || top >= bottom) return;
    canvas.FillRect({box.Left + left, box.Top + top, right - left, bottom - top}, color);
  };

  // A 24-bit surface shows every colour, so the nearest device colours are
  // the colours themselves.
  const ui::TColor s = FStartColor;
  const ui::TColor e = FEndColor;
  const int steps = FGradStep;
  const int extent = FDirection == TGradDirection::gdVertical ? box.Height : box.Width;
  int bandSize = RoundEven(static_cast<double>(extent) / (steps + 1));
  if (bandSize == 0) bandSize = 1;

  int position = 0;
  ui::TColor color = s;
  for (int i = 0; i <= steps + 1; ++i) {
    if (FDirection == TGradDirection::gdHorzCenter) {
      const int half = steps / 2;
      const int dist = std::abs(half - i);
      color = {Channel(s.R, e.R, half + 1, dist), Channel(s.G, e.G, half + 1, dist),
               Channel(s.B, e.B, half + 1, dist)};
    } else {
      color = {Channel(s.R, e.R, steps + 1, i), Channel(s.G, e.G, steps + 1, i),
               Channel(s.B, e.B, steps + 1, i)};
    }
    fill(position, bandSize, color);
    position += bandSize;
  }
  // The rounding may leave a strip at the far edge; it takes the last colour.
  if (FDirection == TGradDirection::gdVertical && position + bandSize < box.Height) {
    fill(position, box.Height - position, color);
  } else if (FDirection == TGradDirection::gdHorizontal && position + bandSize < box.Width) {
    fill(position, box.Width - position, color);
  }
}

}  // namespace mora::startup
