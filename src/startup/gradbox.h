// TGradBox: a windowless control painted with colour bands between two
// colours (vertical, horizontal, or from the centre outwards), as the main
// window's backdrop. Painting is portable and exact (bands rounded half to
// even, remainder filled); nothing here throws.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/controls.h"

namespace mora::startup {

enum class TGradDirection { gdHorizontal = 0, gdVertical = 1, gdHorzCenter = 2 };

class TGradBox : public ui::TGraphicControl {
 public:
  // A new box is 128 x 128, white to black, 128 steps, vertical.
  TGradBox(ui::TForm& form, std::string name);

  ui::TColor StartColor() const { return FStartColor; }
  ui::TColor EndColor() const { return FEndColor; }
  std::uint8_t GradStep() const { return FGradStep; }
  TGradDirection Direction() const { return FDirection; }
  // The colour and step setters store, repaint and fire OnChange even when
  // the value stays the same; SetDirection does so only for a new value.
  void SetStartColor(ui::TColor color);
  void SetEndColor(ui::TColor color);
  void SetGradStep(std::uint8_t step);
  void SetDirection(TGradDirection direction);

  std::function<void(TGradBox& sender)> OnChange;

  // Paints the bands into canvas at ClientBounds(), clipped to them.
  void Paint(ui::TBitmap& canvas) const override;

 private:
  void Changed();

  ui::TColor FStartColor = ui::clWhite;
  ui::TColor FEndColor = ui::clBlack;
  std::uint8_t FGradStep = 128;
  TGradDirection FDirection = TGradDirection::gdVertical;
};

}  // namespace mora::startup
