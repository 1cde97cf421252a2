// Small value types shared by the widget model and its backends: colours,
// rectangles, modal results and the program's fixed window font.
// Plain values only; nothing here throws.
#pragma once

#include <cstdint>
#include <string>

namespace mora::ui {

// 24-bit colour.
struct TColor {
  std::uint8_t R = 0;
  std::uint8_t G = 0;
  std::uint8_t B = 0;
  friend bool operator==(const TColor&, const TColor&) = default;
};

constexpr TColor clBlack{0, 0, 0};
constexpr TColor clWhite{255, 255, 255};
constexpr TColor clBlue{0, 0, 255};
constexpr TColor clNavy{0, 0, 128};
// The window face colour the portable painting code uses when it composes the
// graphic layer without a backend (the scripted backend, tests).
constexpr TColor clBtnFace{240, 240, 240};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int Right() const { return Left + Width; }
  int Bottom() const { return Top + Height; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Modal results and message-dialog results (the toolkit's numbering).
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrAbort = 3;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

// Every window uses this font: the face name as code page 932 bytes (UTF-8
// "ＭＳ Ｐゴシック"), 12 pixels high, Shift-JIS character set, never scaled with
// the system font size. A backend substitutes the usual look-alike where the
// face is missing.
std::string FormFontName();
constexpr int FormFontHeight = 12;

enum class TFormPosition {
  Designed,         // at its designed place (scripted: 0, 0)
  ScreenCenter,     // centred on the screen
  OwnerFormCenter,  // centred on the owning form (screen when it has none)
};

}  // namespace mora::ui
