// Thin owners for the Win32 handles the backend creates: GDI objects, device
// contexts and windows, each released exactly once by its destructor; and the
// one place where code page 932 text becomes UTF-16 for the W calls.
// Nothing here throws except Wide/Narrow on unconvertible text (EConvertError).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace mora::ui::win32 {

// 932 bytes -> UTF-16 for the W functions, and back for texts read from controls.
std::wstring Wide(std::string_view text932);
std::string Narrow(std::wstring_view text);

// Owner of one GDI object (HFONT, HBITMAP, HBRUSH, HPEN).
template <class THandle>
class TGdiObject {
 public:
  TGdiObject() = default;
  explicit TGdiObject(THandle handle) : FHandle(handle) {}
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  TGdiObject(TGdiObject&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
  TGdiObject& operator=(TGdiObject&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.FHandle, nullptr));
    return *this;
  }
  ~TGdiObject() { Reset(); }

  THandle Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }
  void Reset(THandle handle = nullptr) {
    if (FHandle) DeleteObject(FHandle);
    FHandle = handle;
  }

 private:
  THandle FHandle = nullptr;
};

using TFontHandle = TGdiObject<HFONT>;
using TBitmapHandle = TGdiObject<HBITMAP>;
using TBrushHandle = TGdiObject<HBRUSH>;

// A memory device context (CreateCompatibleDC / DeleteDC) that restores the
// object it displaced when something was selected into it.
class TMemoryDC {
 public:
  explicit TMemoryDC(HDC compatibleWith) : FDC(CreateCompatibleDC(compatibleWith)) {}
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  ~TMemoryDC() {
    if (FOld) SelectObject(FDC, FOld);
    if (FDC) DeleteDC(FDC);
  }
  HDC Get() const { return FDC; }
  void Select(HGDIOBJ object) {
    HGDIOBJ old = SelectObject(FDC, object);
    if (!FOld) FOld = old;
  }

 private:
  HDC FDC;
  HGDIOBJ FOld = nullptr;
};

// The window's DC for the span of a WM_PAINT (BeginPaint / EndPaint).
class TPaintDC {
 public:
  explicit TPaintDC(HWND window) : FWindow(window) { FDC = BeginPaint(window, &FPaint); }
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  ~TPaintDC() { EndPaint(FWindow, &FPaint); }
  HDC Get() const { return FDC; }
  const RECT& Area() const { return FPaint.rcPaint; }

 private:
  HWND FWindow;
  PAINTSTRUCT FPaint{};
  HDC FDC = nullptr;
};

// A DC of a window or the screen (GetDC / ReleaseDC).
class TWindowDC {
 public:
  explicit TWindowDC(HWND window) : FWindow(window), FDC(GetDC(window)) {}
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  ~TWindowDC() {
    if (FDC) ReleaseDC(FWindow, FDC);
  }
  HDC Get() const { return FDC; }

 private:
  HWND FWindow;
  HDC FDC;
};

// Selects an object into a DC for one scope and puts the old one back.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;
  ~TSelectObject() {
    if (FOld) SelectObject(FDC, FOld);
  }

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// Owner of a window: DestroyWindow when the owner goes, unless the window is
// gone already (the system destroys children with their parent).
class TWindowHandle {
 public:
  TWindowHandle() = default;
  explicit TWindowHandle(HWND window) : FWindow(window) {}
  TWindowHandle(const TWindowHandle&) = delete;
  TWindowHandle& operator=(const TWindowHandle&) = delete;
  TWindowHandle(TWindowHandle&& other) noexcept : FWindow(std::exchange(other.FWindow, nullptr)) {}
  TWindowHandle& operator=(TWindowHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.FWindow, nullptr));
    return *this;
  }
  ~TWindowHandle() { Reset(); }

  HWND Get() const { return FWindow; }
  explicit operator bool() const { return FWindow != nullptr; }
  HWND Release() { return std::exchange(FWindow, nullptr); }
  void Reset(HWND window = nullptr) {
    if (FWindow && IsWindow(FWindow)) DestroyWindow(FWindow);
    FWindow = window;
  }

 private:
  HWND FWindow = nullptr;
};

}  // namespace mora::ui::win32
