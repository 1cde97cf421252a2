// Native form windows: building the controls from the model, keeping them in
// step, painting the graphic layer and routing user input to the model.
#include "ui/win32/formwindow.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "base/errors.h"
#include "ui/application.h"
#include "ui/controls.h"

namespace mora::ui::win32 {

namespace {

COLORREF ToColorRef(TColor color) { return RGB(color.R, color.G, color.B); }

TColor FaceColor() {
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  return TColor{GetRValue(face), GetGValue(face), GetBValue(face)};
}

DWORD LabelAlignmentStyle(TAlignment alignment) {
  switch (alignment) {
    case TAlignment::RightJustify: return SS_RIGHT;
    case TAlignment::Center: return SS_CENTER;
    case TAlignment::LeftJustify: break;
  }
  return SS_LEFT;
}

// A drop-down list needs room below its edit part for the list it opens.
constexpr int DropDownListHeight = 200;
constexpr int BevelLineHeight = 2;
constexpr int DirectoryItemHeight = 16;

}  // namespace

TFormWindow::TFormWindow(TForm& form) : FForm(form) {}

TFormWindow::~TFormWindow() { DestroyNative(); }

void TFormWindow::DestroyNative() {
  FDisabled.reset();
  for (auto& native : FNatives) {
    if (native->NameAtom != 0) {
      if (native->Window && IsWindow(native->Window))
        RemovePropW(native->Window, ControlNameProperty);
      GlobalDeleteAtom(native->NameAtom);
    }
  }
  FByWindow.clear();
  FNatives.clear();
  DestroyDialogWindow();
  FLayerBrush.Reset();
  FLayerBitmap.Reset();
  FStale = false;
}

void TFormWindow::Build() {
  if (Handle() && !FStale) return;
  DestroyNative();
  HWND owner = nullptr;
  if (TForm* ownerForm = FForm.Owner()) {
    if (auto* ownerWindow = dynamic_cast<TFormWindow*>(ownerForm->BackendState.get())) {
      owner = ownerWindow->Handle();
    }
  }
  CreateDialogWindow(owner, Wide(FForm.Caption()), FForm.ClientWidth(), FForm.ClientHeight());
  RecomposeLayer();
  ++FUpdating;
  int id = FirstControlId;
  for (TControl* control : FForm.Controls()) CreateNative(*control, id++);
  if (TButton* button = FForm.DefaultButton()) {
    if (TNative* native = NativeOf(*button)) {
      SendMessageW(Handle(), DM_SETDEFID, static_cast<WPARAM>(GetDlgCtrlID(native->Window)), 0);
    }
  }
  --FUpdating;
  UpdateAllVisibility();
}

void TFormWindow::Place() {
  switch (FForm.Position()) {
    case TFormPosition::ScreenCenter: CenterOnScreen(); break;
    case TFormPosition::OwnerFormCenter: CenterOn(GetWindow(Handle(), GW_OWNER)); break;
    case TFormPosition::Designed: break;
  }
}

void TFormWindow::ShowWindowNow() {
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  HWND focus = nullptr;
  if (TControl* focused = FForm.FocusedControl()) {
    TNative* native = NativeOf(*focused);
    if (native && native->Window && focused->CanUserAct()) focus = native->Window;
  }
  if (!focus) focus = GetNextDlgTabItem(Handle(), nullptr, FALSE);
  if (focus) SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
  UpdateWindow(Handle());
}

void TFormWindow::Hide() {
  FDisabled.reset();
  if (Handle()) ShowWindow(Handle(), SW_HIDE);
  // The model stops reporting changes while the form is hidden; the next
  // showing builds the window afresh.
  FStale = true;
}

void TFormWindow::BeginModal() {
  FDisabled = std::make_unique<TDisabledTaskWindows>(Handle());
  ShowWindowNow();
}

void TFormWindow::EndModal() {
  // Enable the other windows first so the activation goes back to one of
  // them when this one disappears.
  FDisabled.reset();
  Hide();
}

void TFormWindow::CreateNative(TControl& control, int id) {
  auto native = std::make_unique<TNative>();
  native->Control = &control;
  TRect bounds = control.ClientBounds();
  std::wstring caption = Wide(control.Caption());
  DWORD disabled = control.Enabled() ? 0 : WS_DISABLED;
  HWND window = nullptr;
  switch (control.Kind()) {
    case TControlKind::Button: {
      auto& button = static_cast<TButton&>(control);
      window =
          CreateChild(L"BUTTON", caption,
                      WS_TABSTOP | disabled | (button.Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                      0, id, bounds.Left, bounds.Top, bounds.Width, bounds.Height);
      break;
    }
    case TControlKind::CheckBox:
      // Not an auto check box: the model decides the state and we show it.
      window = CreateChild(L"BUTTON", caption, WS_TABSTOP | disabled | BS_CHECKBOX, 0, id,
                           bounds.Left, bounds.Top, bounds.Width, bounds.Height);
      SendMessageW(window, BM_SETCHECK,
                   static_cast<TCheckBox&>(control).Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case TControlKind::RadioButton:
      window = CreateChild(L"BUTTON", caption, WS_TABSTOP | disabled | BS_RADIOBUTTON, 0, id,
                           bounds.Left, bounds.Top, bounds.Width, bounds.Height);
      SendMessageW(window, BM_SETCHECK,
                   static_cast<TRadioButton&>(control).Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case TControlKind::Label: {
      auto& label = static_cast<TLabel&>(control);
      window = CreateChild(L"STATIC", caption,
                           SS_NOPREFIX | disabled | LabelAlignmentStyle(label.Alignment()), 0, id,
                           bounds.Left, bounds.Top, bounds.Width, bounds.Height);
      break;
    }
    case TControlKind::Edit:
      window = CreateChild(L"EDIT", Wide(static_cast<TEdit&>(control).Text()),
                           WS_TABSTOP | disabled | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, id,
                           bounds.Left, bounds.Top, bounds.Width, bounds.Height);
      break;
    case TControlKind::ProgressBar: {
      auto& progress = static_cast<TProgressBar&>(control);
      window = CreateChild(PROGRESS_CLASSW, L"", disabled, 0, id, bounds.Left, bounds.Top,
                           bounds.Width, bounds.Height);
      SendMessageW(window, PBM_SETRANGE32, static_cast<WPARAM>(progress.Min()), progress.Max());
      SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(progress.Position()), 0);
      break;
    }
    case TControlKind::Bevel:
      window = CreateChild(L"STATIC", L"", SS_ETCHEDHORZ, 0, id, bounds.Left, bounds.Top,
                           bounds.Width, BevelLineHeight);
      break;
    case TControlKind::DirectoryList:
      window =
          CreateChild(L"LISTBOX", L"",
                      WS_TABSTOP | disabled | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                          LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
                      WS_EX_CLIENTEDGE, id, bounds.Left, bounds.Top, bounds.Width, bounds.Height);
      break;
    case TControlKind::DriveBox:
      window = CreateChild(L"COMBOBOX", L"", WS_TABSTOP | disabled | WS_VSCROLL | CBS_DROPDOWNLIST,
                           0, id, bounds.Left, bounds.Top, bounds.Width,
                           bounds.Height + DropDownListHeight);
      break;
    case TControlKind::PaintBox:
    case TControlKind::Graphic:
    case TControlKind::Notebook: break;  // painted into the graphic layer, or a mere container
  }
  native->Window = window;
  if (window) {
    native->NameAtom = GlobalAddAtomW(Wide(control.Name()).c_str());
    if (native->NameAtom != 0) {
      SetPropW(window, ControlNameProperty,
               reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(native->NameAtom)));
    }
    FByWindow[window] = native.get();
  }
  TNative& added = *native;
  FNatives.push_back(std::move(native));
  if (control.Kind() == TControlKind::DirectoryList) FillDirectoryList(added);
  if (control.Kind() == TControlKind::DriveBox) FillDriveBox(added);
  if (control.Kind() == TControlKind::Label) SizeAutoLabel(added);
}

TFormWindow::TNative* TFormWindow::NativeOf(HWND window) {
  auto found = FByWindow.find(window);
  return found == FByWindow.end() ? nullptr : found->second;
}

TFormWindow::TNative* TFormWindow::NativeOf(const TControl& control) {
  for (auto& native : FNatives) {
    if (native->Control == &control) return native.get();
  }
  return nullptr;
}

void TFormWindow::UpdateAllVisibility() {
  for (auto& native : FNatives) {
    if (!native->Window) continue;
    bool showing = native->Control->IsShowing();
    if ((IsWindowVisible(native->Window) != 0) != showing) {
      ShowWindow(native->Window, showing ? SW_SHOWNA : SW_HIDE);
    }
  }
}

void TFormWindow::FormChanged(TFormProperty property) {
  if (!Handle() || FStale) return;
  switch (property) {
    case TFormProperty::Caption: SetWindowTextW(Handle(), Wide(FForm.Caption()).c_str()); break;
    case TFormProperty::ClientSize:
      SetClientSize(FForm.ClientWidth(), FForm.ClientHeight());
      RecomposeLayer();
      break;
  }
}

void TFormWindow::ControlChanged(TControl& control, TControlProperty property) {
  if (!Handle() || FStale) return;
  bool graphic = dynamic_cast<TGraphicControl*>(&control) != nullptr;
  if (property == TControlProperty::PageIndex) {
    UpdateAllVisibility();
    RecomposeLayer();
    return;
  }
  if (graphic) {
    if (property == TControlProperty::Picture || property == TControlProperty::Bounds ||
        property == TControlProperty::Visible) {
      RecomposeLayer();
    }
    return;
  }
  if (TNative* native = NativeOf(control)) UpdateNative(*native, property);
}

void TFormWindow::UpdateNative(TNative& native, TControlProperty property) {
  TControl& control = *native.Control;
  HWND window = native.Window;
  if (property == TControlProperty::Visible) {
    UpdateAllVisibility();  // a notebook hides or shows its pages' controls with it
    return;
  }
  if (!window) return;
  ++FUpdating;
  switch (property) {
    case TControlProperty::Caption:
      SetWindowTextW(window, Wide(control.Caption()).c_str());
      if (control.Kind() == TControlKind::Label) SizeAutoLabel(native);
      InvalidateRect(window, nullptr, TRUE);
      break;
    case TControlProperty::Enabled: EnableWindow(window, control.Enabled() ? TRUE : FALSE); break;
    case TControlProperty::Checked: {
      bool checked = control.Kind() == TControlKind::CheckBox
                         ? static_cast<TCheckBox&>(control).Checked()
                         : control.Kind() == TControlKind::RadioButton &&
                               static_cast<TRadioButton&>(control).Checked();
      SendMessageW(window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    }
    case TControlProperty::Bounds: {
      TRect bounds = control.ClientBounds();
      int height = bounds.Height;
      if (control.Kind() == TControlKind::Bevel) height = BevelLineHeight;
      if (control.Kind() == TControlKind::DriveBox) height += DropDownListHeight;
      MoveWindow(window, bounds.Left, bounds.Top, bounds.Width, height, TRUE);
      if (control.Kind() == TControlKind::Label) SizeAutoLabel(native);
      break;
    }
    case TControlProperty::Text: {
      std::wstring wanted = Wide(static_cast<TEdit&>(control).Text());
      int length = GetWindowTextLengthW(window);
      std::wstring current(static_cast<std::size_t>(length) + 1, L'\0');
      GetWindowTextW(window, current.data(), length + 1);
      current.resize(static_cast<std::size_t>(length));
      if (current != wanted) SetWindowTextW(window, wanted.c_str());
      break;
    }
    case TControlProperty::Progress: {
      auto& progress = static_cast<TProgressBar&>(control);
      SendMessageW(window, PBM_SETRANGE32, static_cast<WPARAM>(progress.Min()), progress.Max());
      SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(progress.Position()), 0);
      break;
    }
    case TControlProperty::Directory: FillDirectoryList(native); break;
    case TControlProperty::Drive: FillDriveBox(native); break;
    case TControlProperty::Appearance:
      if (control.Kind() == TControlKind::Label) {
        auto& label = static_cast<TLabel&>(control);
        LONG style = GetWindowLongW(window, GWL_STYLE) & ~static_cast<LONG>(SS_TYPEMASK);
        SetWindowLongW(window, GWL_STYLE,
                       style | static_cast<LONG>(LabelAlignmentStyle(label.Alignment())));
        native.Brush.Reset();
        SizeAutoLabel(native);
        InvalidateRect(window, nullptr, TRUE);
      } else if (control.Kind() == TControlKind::Button) {
        bool isDefault = static_cast<TButton&>(control).Default();
        SendMessageW(window, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        if (isDefault)
          SendMessageW(Handle(), DM_SETDEFID, static_cast<WPARAM>(GetDlgCtrlID(window)), 0);
      }
      break;
    case TControlProperty::Visible:
    case TControlProperty::PageIndex:
    case TControlProperty::Picture: break;
  }
  --FUpdating;
}

void TFormWindow::SizeAutoLabel(TNative& native) {
  auto& label = static_cast<TLabel&>(*native.Control);
  if (!label.AutoSize() || !native.Window) return;
  std::wstring text = Wide(label.Caption());
  TWindowDC dc(native.Window);
  TSelectObject font(dc.Get(), FormFont());
  RECT rect{0, 0, 0, 0};
  if (text.empty()) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    rect.bottom = metrics.tmHeight;
  } else {
    DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  }
  TRect bounds = label.ClientBounds();
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int left = label.Alignment() == TAlignment::RightJustify ? bounds.Right() - width
             : label.Alignment() == TAlignment::Center ? bounds.Left + (bounds.Width - width) / 2
                                                       : bounds.Left;
  // Repaint what the old size covered, which now shows the layer again.
  RECT old{};
  GetWindowRect(native.Window, &old);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&old), 2);
  MoveWindow(native.Window, left, bounds.Top, width, height, TRUE);
  InvalidateRect(Handle(), &old, TRUE);
}

void TFormWindow::RecomposeLayer() {
  FForm.PaintGraphics(FLayer, FaceColor());
  FLayerBrush.Reset();
  FLayerBitmap.Reset();
  if (!FLayer.Empty()) {
    TWindowDC dc(Handle());
    FLayerBitmap.Reset(CreateCompatibleBitmap(dc.Get(), FLayer.Width(), FLayer.Height()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = FLayer.Width();
    info.bmiHeader.biHeight = -FLayer.Height();  // rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    if (FLayerBitmap) {
      SetDIBits(dc.Get(), FLayerBitmap.Get(), 0, static_cast<UINT>(FLayer.Height()), FLayer.Bits(),
                &info, DIB_RGB_COLORS);
      FLayerBrush.Reset(CreatePatternBrush(FLayerBitmap.Get()));
    }
  }
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TFormWindow::PaintLayer(HDC dc) {
  if (!FLayerBitmap) {
    RECT client{};
    GetClientRect(Handle(), &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  TMemoryDC memory(dc);
  memory.Select(FLayerBitmap.Get());
  BitBlt(dc, 0, 0, FLayer.Width(), FLayer.Height(), memory.Get(), 0, 0, SRCCOPY);
  // A client area larger than the layer (never by design) shows the face.
  RECT client{};
  GetClientRect(Handle(), &client);
  if (client.right > FLayer.Width()) {
    RECT right{FLayer.Width(), 0, client.right, client.bottom};
    FillRect(dc, &right, GetSysColorBrush(COLOR_BTNFACE));
  }
  if (client.bottom > FLayer.Height()) {
    RECT bottom{0, FLayer.Height(), client.right, client.bottom};
    FillRect(dc, &bottom, GetSysColorBrush(COLOR_BTNFACE));
  }
}

HBRUSH TFormWindow::OnColorStatic(HDC dc, HWND control) {
  TNative* native = NativeOf(control);
  if (!native) return nullptr;
  TControlKind kind = native->Control->Kind();
  if (kind == TControlKind::Edit || kind == TControlKind::Button ||
      kind == TControlKind::DirectoryList || kind == TControlKind::DriveBox) {
    return nullptr;
  }
  // Labels, check boxes, radio buttons and the line show the layer below
  // them: a pattern brush of the layer, aligned to the control's position.
  if (native->Control->Kind() == TControlKind::Label) {
    auto& label = static_cast<TLabel&>(*native->Control);
    SetTextColor(dc, label.Enabled() ? ToColorRef(label.FontColor()) : GetSysColor(COLOR_GRAYTEXT));
    if (!label.Transparent()) {
      if (!native->Brush) native->Brush.Reset(CreateSolidBrush(ToColorRef(label.Color())));
      SetBkColor(dc, ToColorRef(label.Color()));
      SetBkMode(dc, OPAQUE);
      return native->Brush.Get();
    }
  }
  SetBkMode(dc, TRANSPARENT);
  if (!FLayerBrush) return GetSysColorBrush(COLOR_BTNFACE);
  POINT origin{0, 0};
  MapWindowPoints(control, Handle(), &origin, 1);
  SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
  return FLayerBrush.Get();
}

void TFormWindow::FillDirectoryList(TNative& native) {
  auto& list = static_cast<TDirectoryList&>(*native.Control);
  ++FUpdating;
  SendMessageW(native.Window, WM_SETREDRAW, FALSE, 0);
  SendMessageW(native.Window, LB_RESETCONTENT, 0, 0);
  native.Directories.clear();
  if (!list.Directory().empty()) native.Directories = list.Items();
  int selected = -1;
  for (std::size_t i = 0; i < native.Directories.size(); ++i) {
    const TDirectoryItem& item = native.Directories[i];
    auto index = SendMessageW(native.Window, LB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(Wide(item.Caption).c_str()));
    if (index < 0) continue;
    SendMessageW(native.Window, LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(i));
    if (item.Path == list.Directory()) selected = static_cast<int>(index);
  }
  SendMessageW(native.Window, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  SendMessageW(native.Window, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(native.Window, nullptr, TRUE);
  --FUpdating;
}

void TFormWindow::FillDriveBox(TNative& native) {
  auto& box = static_cast<TDriveBox&>(*native.Control);
  ++FUpdating;
  SendMessageW(native.Window, CB_RESETCONTENT, 0, 0);
  int selected = -1;
  for (char letter : TDriveBox::AvailableDrives()) {
    wchar_t text[] = {static_cast<wchar_t>(letter), L':', L'\0'};
    auto index = SendMessageW(native.Window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (letter == box.Drive()) selected = static_cast<int>(index);
  }
  SendMessageW(native.Window, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  --FUpdating;
}

void TFormWindow::DrawDirectoryItem(const DRAWITEMSTRUCT& item) {
  TNative* native = NativeOf(item.hwndItem);
  if (!native) return;
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID != static_cast<UINT>(-1) && item.itemData < native->Directories.size()) {
    const TDirectoryItem& entry = native->Directories[item.itemData];
    int left = rect.left + 2 + entry.Level * 10;
    int middle = (rect.top + rect.bottom) / 2;
    // A small folder: closed folders filled, open ones (the path down to the
    // current folder) drawn open.
    TBrushHandle folder(CreateSolidBrush(entry.Open ? RGB(255, 230, 140) : RGB(230, 190, 70)));
    RECT tab{left, middle - 5, left + 6, middle - 3};
    RECT body{left, middle - 3, left + 14, middle + 5};
    FillRect(dc, &tab, folder.Get());
    FillRect(dc, &body, folder.Get());
    FrameRect(dc, &body, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    std::wstring text = Wide(entry.Caption);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT textRect{left + 18, rect.top, rect.right, rect.bottom};
    TSelectObject font(dc, FormFont());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rect);
}

void TFormWindow::Focus(TControl& control) {
  if (!Handle() || FStale) return;
  TNative* native = NativeOf(control);
  if (native && native->Window && IsWindowVisible(native->Window)) {
    SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(native->Window), TRUE);
  }
}

bool TFormWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (FUpdating > 0) return true;
  int id = LOWORD(wParam);
  int code = HIWORD(wParam);
  TNative* native = lParam ? NativeOf(reinterpret_cast<HWND>(lParam)) : nullptr;
  // The dialog manager presses the focused or default button for Enter
  // with the button's window in lParam; a command that carries only the
  // button's id means the same button.
  if (!native && lParam == 0 && code == BN_CLICKED && id >= FirstControlId) {
    if (HWND button = GetDlgItem(Handle(), id)) native = NativeOf(button);
  }
  if (!native) {
    // Enter and Escape that the dialog manager turned into IDOK / IDCANCEL
    // (no control of ours has those ids).
    if (id == IDOK) FForm.UserPressEnter();
    if (id == IDCANCEL) FForm.UserPressEscape();
    return true;
  }
  TControl& control = *native->Control;
  switch (control.Kind()) {
    case TControlKind::Button:
    case TControlKind::CheckBox:
    case TControlKind::RadioButton:
      if (code == BN_CLICKED) control.UserClick();
      break;
    case TControlKind::Edit:
      if (code == EN_CHANGE) {
        int length = GetWindowTextLengthW(native->Window);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(native->Window, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(length));
        static_cast<TEdit&>(control).UserSetText(Narrow(text));
      }
      break;
    case TControlKind::DirectoryList:
      if (code == LBN_DBLCLK) {
        auto index = SendMessageW(native->Window, LB_GETCURSEL, 0, 0);
        if (index >= 0) {
          auto data = static_cast<std::size_t>(
              SendMessageW(native->Window, LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
          if (data < native->Directories.size()) {
            std::string path = native->Directories[data].Path;
            static_cast<TDirectoryList&>(control).UserSelect(path);
          }
        }
      }
      break;
    case TControlKind::DriveBox:
      if (code == CBN_SELCHANGE) {
        auto index = SendMessageW(native->Window, CB_GETCURSEL, 0, 0);
        if (index >= 0) {
          wchar_t text[8] = {};
          if (SendMessageW(native->Window, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) < 8) {
            SendMessageW(native->Window, CB_GETLBTEXT, static_cast<WPARAM>(index),
                         reinterpret_cast<LPARAM>(text));
            if (text[0] != L'\0')
              static_cast<TDriveBox&>(control).UserSelect(static_cast<char>(text[0]));
          }
        }
      }
      break;
    default: break;
  }
  return true;
}

bool TFormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_ERASEBKGND:
      PaintLayer(reinterpret_cast<HDC>(wParam));
      SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 1);
      result = TRUE;
      return true;
    case WM_PAINT: {
      TPaintDC paint(Handle());
      PaintLayer(paint.Get());
      result = TRUE;
      return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HBRUSH brush = OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      if (!brush) return false;
      result = reinterpret_cast<INT_PTR>(brush);
      return true;
    }
    case WM_COMMAND: result = OnCommand(wParam, lParam) ? TRUE : FALSE; return true;
    case WM_CLOSE:
      FForm.UserClose();
      result = TRUE;
      return true;
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure->CtlType != ODT_LISTBOX) return false;
      measure->itemHeight = DirectoryItemHeight;
      result = TRUE;
      return true;
    }
    case WM_DRAWITEM: {
      const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (draw->CtlType != ODT_LISTBOX) return false;
      DrawDirectoryItem(*draw);
      result = TRUE;
      return true;
    }
    default: return false;
  }
}

}  // namespace mora::ui::win32
