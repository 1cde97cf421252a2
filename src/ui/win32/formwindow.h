// The native window of one form: a dialog-frame window whose client area
// shows the form's graphic layer (gradients, pictures) under real controls
// (buttons, check and radio boxes, labels, edit, progress bar, etched line,
// folder list, drive box). Built from the model, kept in step with it, and
// user input goes back to the model through its User* entry points.
// Control ids for automation: 100 + the control's index in TForm::Controls();
// each control also carries its model name (property "MoraControlName", a
// global atom). Throws EPlatformError when a window cannot be created.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "ui/form.h"
#include "ui/win32/handles.h"
#include "ui/win32/window.h"

namespace mora::ui::win32 {

constexpr int FirstControlId = 100;
constexpr wchar_t ControlNameProperty[] = L"MoraControlName";

class TFormWindow : public TDialogWindow, public TBackendState {
 public:
  explicit TFormWindow(TForm& form);
  ~TFormWindow() override;

  // Creates the window and its controls from the model (hidden).
  void Build();
  void Place();  // by the form's Position
  void ShowWindowNow();
  // Hides the window; the next showing builds it afresh from the model.
  void Hide();

  void BeginModal();
  void EndModal();

  void FormChanged(TFormProperty property);
  void ControlChanged(TControl& control, TControlProperty property);
  void Focus(TControl& control);

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  struct TNative {
    TControl* Control = nullptr;
    HWND Window = nullptr;
    ATOM NameAtom = 0;
    TBrushHandle Brush;                       // opaque label background
    std::vector<TDirectoryItem> Directories;  // folder list lines
  };

  void DestroyNative();
  void CreateNative(TControl& control, int id);
  void UpdateNative(TNative& native, TControlProperty property);
  void UpdateAllVisibility();
  void RecomposeLayer();
  void FillDirectoryList(TNative& native);
  void FillDriveBox(TNative& native);
  void SizeAutoLabel(TNative& native);
  TNative* NativeOf(HWND window);
  TNative* NativeOf(const TControl& control);

  bool OnCommand(WPARAM wParam, LPARAM lParam);
  HBRUSH OnColorStatic(HDC dc, HWND control);
  void PaintLayer(HDC dc);
  void DrawDirectoryItem(const DRAWITEMSTRUCT& item);

  TForm& FForm;
  std::vector<std::unique_ptr<TNative>> FNatives;
  std::map<HWND, TNative*> FByWindow;
  TBitmap FLayer;
  TBitmapHandle FLayerBitmap;
  TBrushHandle FLayerBrush;
  std::unique_ptr<TDisabledTaskWindows> FDisabled;
  bool FStale = false;
  int FUpdating = 0;  // >0 while the backend itself changes native controls
};

}  // namespace mora::ui::win32
