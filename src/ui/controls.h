// The controls of the widget model. A control belongs to one form (which
// creates and owns it, see TForm::Add) and lies on the form's client area or
// on one page of a notebook. Each control keeps its whole state here; while
// its form is shown, every property change is passed to the backend
// (TBackend::ControlChanged) so a native control can follow.
// Event handlers are std::function members. The User* entry points are what a
// backend calls when the user acts; they catch every exception and hand it to
// the application's error box, so nothing crosses into the backend.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/bitmap.h"
#include "ui/types.h"

namespace mora::ui {

class TForm;
class TNotebook;
class TDriveBox;

enum class TControlKind {
  Button,
  CheckBox,
  RadioButton,
  Label,
  Edit,
  ProgressBar,
  PaintBox,
  Bevel,
  Notebook,
  DirectoryList,
  DriveBox,
  Graphic,  // another windowless control painted by the program (TGraphicControl)
};

// What changed, as told to TBackend::ControlChanged.
enum class TControlProperty {
  Caption,  // Caption() (button, check box, radio, label)
  Visible,  // Visible(); a backend re-evaluates IsShowing()
  Enabled,
  Checked,     // check box, radio button
  Bounds,      // Left/Top/Width/Height
  Text,        // edit text
  Progress,    // progress bar Min/Max/Position
  PageIndex,   // notebook page; a backend re-evaluates IsShowing() of the form's controls
  Directory,   // folder list folder (its listing changes with it)
  Drive,       // drive box letter
  Picture,     // graphic controls: repaint the graphic layer
  Appearance,  // label colours/alignment, button Default
};

// Opaque per-control state of a backend (native handles); destroyed with the
// control. The model never looks into it.
struct TBackendState {
  virtual ~TBackendState() = default;
};

class TControl {
 public:
  TControl(TForm& form, TControlKind kind, std::string name);
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  TForm& Form() const { return FForm; }
  TControlKind Kind() const { return FKind; }
  const std::string& Name() const { return FName; }

  // Parent: the form (nullptr, -1) or page `page` of a notebook. Bounds are
  // relative to the parent's top-left corner.
  TNotebook* ParentNotebook() const { return FNotebook; }
  int ParentPage() const { return FPage; }
  void SetParent(TNotebook* notebook, int page);

  const std::string& Caption() const { return FCaption; }  // 932 bytes
  void SetCaption(const std::string& caption);
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  const TRect& Bounds() const { return FBounds; }
  void SetBounds(const TRect& bounds);
  int Left() const { return FBounds.Left; }
  int Top() const { return FBounds.Top; }
  int Width() const { return FBounds.Width; }
  int Height() const { return FBounds.Height; }
  void SetLeft(int left);
  void SetTop(int top);
  void SetWidth(int width);
  void SetHeight(int height);
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int order) { FTabOrder = order; }

  // Bounds in the form's client coordinates (notebook offsets added).
  TRect ClientBounds() const;
  // Visible, and (for a control on a notebook page) that page is the active
  // page of a notebook that is itself showing.
  bool IsShowing() const;
  // Showing and enabled: what a user can click.
  bool CanUserAct() const { return IsShowing() && FEnabled; }

  // Gives this control the keyboard focus (backend FocusControl); the form
  // remembers it as FocusedControl().
  void SetFocus();

  std::function<void(TControl& sender)> OnClick;

  // The user clicked the control (button: OnClick; check box: toggles;
  // radio button: becomes checked). Exceptions go to the error box.
  void UserClick();

  // Runs the click as the program would (buttons also set their form's
  // ModalResult when ModalResult() is not 0). Exceptions propagate.
  virtual void Click();

  std::unique_ptr<TBackendState> BackendState;

 protected:
  // Tells the backend, while the form is shown.
  void Changed(TControlProperty property);
  void FireClick();

 private:
  TForm& FForm;
  TControlKind FKind;
  std::string FName;
  TNotebook* FNotebook = nullptr;
  int FPage = -1;
  std::string FCaption;
  bool FVisible = true;
  bool FEnabled = true;
  TRect FBounds;
  int FTag = 0;
  int FTabOrder = 0;
};

// Push button.
class TButton : public TControl {
 public:
  TButton(TForm& form, std::string name) : TControl(form, TControlKind::Button, std::move(name)) {}
  // Enter presses the default button; Escape the cancel button.
  bool Default() const { return FDefault; }
  void SetDefault(bool value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool value);
  // When not 0, a click sets the form's modal result to it (before OnClick).
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int value) { FModalResult = value; }
  void Click() override;

 private:
  bool FDefault = false;
  bool FCancel = false;
  int FModalResult = mrNone;
};

// Check box. Setting Checked to a new value fires OnClick; a user click
// toggles it.
class TCheckBox : public TControl {
 public:
  TCheckBox(TForm& form, std::string name)
      : TControl(form, TControlKind::CheckBox, std::move(name)) {}
  bool Checked() const { return FChecked; }
  void SetChecked(bool value);
  void Click() override;  // toggles (through SetChecked)

 private:
  bool FChecked = false;
};

// Radio button. Radio buttons with the same parent (form, or one notebook
// page) form a group: checking one unchecks the others. Becoming checked
// fires OnClick; a user click checks it.
class TRadioButton : public TControl {
 public:
  TRadioButton(TForm& form, std::string name)
      : TControl(form, TControlKind::RadioButton, std::move(name)) {}
  bool Checked() const { return FChecked; }
  void SetChecked(bool value);
  void Click() override;  // SetChecked(true)

 private:
  bool FChecked = false;
};

enum class TAlignment { LeftJustify, RightJustify, Center };

// Static text. Caption may hold "\r\n" line breaks. By default transparent
// (the parent shows through) with black text; AutoSize means the backend may
// size it to its text (the model keeps the designed bounds).
class TLabel : public TControl {
 public:
  TLabel(TForm& form, std::string name) : TControl(form, TControlKind::Label, std::move(name)) {}
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);
  TColor Color() const { return FColor; }  // background when not transparent
  void SetColor(TColor value);
  TColor FontColor() const { return FFontColor; }
  void SetFontColor(TColor value);

 private:
  TAlignment FAlignment = TAlignment::LeftJustify;
  bool FAutoSize = true;
  bool FTransparent = true;
  TColor FColor = clBtnFace;
  TColor FFontColor = clBlack;
};

// One-line edit field. Setting a different text fires OnChange.
class TEdit : public TControl {
 public:
  TEdit(TForm& form, std::string name) : TControl(form, TControlKind::Edit, std::move(name)) {}
  const std::string& Text() const { return FText; }  // 932 bytes
  void SetText(const std::string& text);
  // The user typed: the whole new text. Exceptions go to the error box.
  void UserSetText(const std::string& text);
  std::function<void(TControl& sender)> OnChange;

 private:
  std::string FText;
};

// Progress bar; Position is kept within Min..Max.
class TProgressBar : public TControl {
 public:
  TProgressBar(TForm& form, std::string name)
      : TControl(form, TControlKind::ProgressBar, std::move(name)) {}
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetMin(int value);
  void SetMax(int value);
  void SetPosition(int value);

 private:
  int FMin = 0;
  int FMax = 100;
  int FPosition = 0;
};

// Horizontal line (a lowered bevel drawn as a line at its top).
class TBevel : public TControl {
 public:
  TBevel(TForm& form, std::string name) : TControl(form, TControlKind::Bevel, std::move(name)) {}
};

// A windowless control that the program paints itself. The form composes all
// showing graphic controls, in creation order (later ones on top), into one
// bitmap of the client area (TForm::PaintGraphics); a backend shows that
// bitmap under its native controls. Call Invalidate() after a change.
class TGraphicControl : public TControl {
 public:
  TGraphicControl(TForm& form, TControlKind kind, std::string name)
      : TControl(form, kind, std::move(name)) {}
  // Paints into canvas (the form's client area) at ClientBounds(); must not
  // draw outside them.
  virtual void Paint(TBitmap& canvas) const = 0;
  void Invalidate() { Changed(TControlProperty::Picture); }
};

enum class TPictureMode {
  Normal,   // own size from the top-left corner
  Center,   // own size, centred; a larger bitmap is cut equally on both sides
  Stretch,  // scaled to the box, aspect ratio not kept
};

// Paint box holding a bitmap. An empty bitmap draws nothing, so whatever
// lies below shows through. The placement is computed at every paint, so a
// box that changes size re-centres or re-stretches its picture.
class TPaintBox : public TGraphicControl {
 public:
  TPaintBox(TForm& form, std::string name)
      : TGraphicControl(form, TControlKind::PaintBox, std::move(name)) {}
  const TBitmap& Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap bitmap);
  void ClearBitmap() { SetBitmap(TBitmap()); }
  TPictureMode Mode() const { return FMode; }
  void SetMode(TPictureMode mode);
  void Paint(TBitmap& canvas) const override;

 private:
  TBitmap FBitmap;
  TPictureMode FMode = TPictureMode::Normal;
};

// Page stack: shows the controls of its active page only.
class TNotebook : public TControl {
 public:
  TNotebook(TForm& form, std::string name)
      : TControl(form, TControlKind::Notebook, std::move(name)) {}
  int AddPage(const std::string& pageName);  // returns the new page's index
  int PageCount() const { return static_cast<int>(FPages.size()); }
  const std::string& PageName(int index) const;  // ERangeError outside
  int PageIndex() const { return FPageIndex; }
  // ERangeError for an index outside 0 .. PageCount() - 1.
  void SetPageIndex(int index);

 private:
  std::vector<std::string> FPages;
  int FPageIndex = 0;
};

// One line of a folder list as shown: the folders from the drive's root down
// to the current folder (open), then the current folder's sub-folders.
struct TDirectoryItem {
  std::string Path;     // full 932 path, no trailing "\" except a root "C:\"
  std::string Caption;  // the last component ("C:\" for the root)
  int Level = 0;        // indentation depth (root 0)
  bool Open = false;    // on the path to the current folder, or the current one
};

// Folder list. Directory() is a full path without trailing "\", except for a
// root "C:\". Setting a different folder fires OnChange and points a linked
// drive box at the folder's drive.
class TDirectoryList : public TControl {
 public:
  TDirectoryList(TForm& form, std::string name)
      : TControl(form, TControlKind::DirectoryList, std::move(name)) {}
  ~TDirectoryList() override;
  const std::string& Directory() const { return FDirectory; }
  void SetDirectory(const std::string& path);
  // The user chose a folder (e.g. double-clicked an item). Errors go to the
  // error box.
  void UserSelect(const std::string& path);
  // The lines to show for the current folder (reads the file system).
  std::vector<TDirectoryItem> Items() const;
  TDriveBox* DriveBox() const { return FDriveBox; }
  std::function<void(TControl& sender)> OnChange;

 private:
  friend class TDriveBox;
  std::string FDirectory;
  TDriveBox* FDriveBox = nullptr;
};

// Drive box. Drive() is an upper-case letter, or 0 before one is chosen.
// Setting a different drive points the linked folder list at that drive's
// root (when the list is not on that drive already) and fires OnChange.
class TDriveBox : public TControl {
 public:
  TDriveBox(TForm& form, std::string name)
      : TControl(form, TControlKind::DriveBox, std::move(name)) {}
  ~TDriveBox() override;
  char Drive() const { return FDrive; }
  void SetDrive(char letter);
  void UserSelect(char letter);  // errors go to the error box
  // Links this box and a folder list both ways (nullptr unlinks).
  void SetDirList(TDirectoryList* list);
  TDirectoryList* DirList() const { return FDirList; }
  // Letters of the drives that exist now ("C:\" is a folder), ascending.
  static std::vector<char> AvailableDrives();
  std::function<void(TControl& sender)> OnChange;

 private:
  friend class TDirectoryList;
  char FDrive = 0;
  TDirectoryList* FDirList = nullptr;
};

}  // namespace mora::ui
