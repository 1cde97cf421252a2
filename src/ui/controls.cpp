// Control state, property notifications and the controls' own behaviour.
#include "ui/controls.h"

#include <algorithm>
#include <exception>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "ui/application.h"
#include "ui/form.h"

namespace mora::ui {

// ---- TControl -------------------------------------------------------------

TControl::TControl(TForm& form, TControlKind kind, std::string name)
    : FForm(form), FKind(kind), FName(std::move(name)) {}

TControl::~TControl() = default;

void TControl::SetParent(TNotebook* notebook, int page) {
  FNotebook = notebook;
  FPage = notebook == nullptr ? -1 : page;
  Changed(TControlProperty::Visible);
}

void TControl::SetCaption(const std::string& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  Changed(TControlProperty::Caption);
}

void TControl::SetVisible(bool visible) {
  if (visible == FVisible) return;
  FVisible = visible;
  Changed(TControlProperty::Visible);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  Changed(TControlProperty::Enabled);
}

void TControl::SetBounds(const TRect& bounds) {
  if (bounds == FBounds) return;
  FBounds = bounds;
  Changed(TControlProperty::Bounds);
}

void TControl::SetLeft(int left) { SetBounds({left, FBounds.Top, FBounds.Width, FBounds.Height}); }
void TControl::SetTop(int top) { SetBounds({FBounds.Left, top, FBounds.Width, FBounds.Height}); }
void TControl::SetWidth(int width) {
  SetBounds({FBounds.Left, FBounds.Top, width, FBounds.Height});
}
void TControl::SetHeight(int height) {
  SetBounds({FBounds.Left, FBounds.Top, FBounds.Width, height});
}

TRect TControl::ClientBounds() const {
  TRect result = FBounds;
  if (FNotebook != nullptr) {
    const TRect parent = FNotebook->ClientBounds();
    result.Left += parent.Left;
    result.Top += parent.Top;
  }
  return result;
}

bool TControl::IsShowing() const {
  if (!FVisible) return false;
  if (FNotebook == nullptr) return true;
  return FNotebook->PageIndex() == FPage && FNotebook->IsShowing();
}

void TControl::SetFocus() { FForm.SetFocusedControl(this); }

void TControl::UserClick() {
  try {
    Click();
  } catch (...) {
    FForm.Application().HandleException(std::current_exception());
  }
}

void TControl::Click() { FireClick(); }

void TControl::FireClick() {
  if (OnClick) OnClick(*this);
}

void TControl::Changed(TControlProperty property) { FForm.ControlChanged(*this, property); }

// ---- TButton --------------------------------------------------------------

void TButton::SetDefault(bool value) {
  if (value == FDefault) return;
  FDefault = value;
  Changed(TControlProperty::Appearance);
}

void TButton::SetCancel(bool value) { FCancel = value; }

void TButton::Click() {
  if (FModalResult != mrNone) Form().SetModalResult(FModalResult);
  FireClick();
}

// ---- TCheckBox, TRadioButton ---------------------------------------------

void TCheckBox::SetChecked(bool value) {
  if (value == FChecked) return;
  FChecked = value;
  Changed(TControlProperty::Checked);
  FireClick();
}

void TCheckBox::Click() { SetChecked(!FChecked); }

void TRadioButton::SetChecked(bool value) {
  if (value == FChecked) return;
  FChecked = value;
  Changed(TControlProperty::Checked);
  if (!value) return;
  for (TControl* control : Form().Controls()) {
    auto* radio = dynamic_cast<TRadioButton*>(control);
    if (radio == nullptr || radio == this) continue;
    if (radio->ParentNotebook() != ParentNotebook() || radio->ParentPage() != ParentPage())
      continue;
    radio->SetChecked(false);
  }
  FireClick();
}

void TRadioButton::Click() { SetChecked(true); }

// ---- TLabel ---------------------------------------------------------------

void TLabel::SetAlignment(TAlignment value) {
  if (value == FAlignment) return;
  FAlignment = value;
  Changed(TControlProperty::Appearance);
}

void TLabel::SetAutoSize(bool value) {
  if (value == FAutoSize) return;
  FAutoSize = value;
  Changed(TControlProperty::Appearance);
}

void TLabel::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  Changed(TControlProperty::Appearance);
}

void TLabel::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Changed(TControlProperty::Appearance);
}

void TLabel::SetFontColor(TColor value) {
  if (value == FFontColor) return;
  FFontColor = value;
  Changed(TControlProperty::Appearance);
}

// ---- TEdit ----------------------------------------------------------------

void TEdit::SetText(const std::string& text) {
  if (text == FText) return;
  FText = text;
  Changed(TControlProperty::Text);
  if (OnChange) OnChange(*this);
}

void TEdit::UserSetText(const std::string& text) {
  try {
    SetText(text);
  } catch (...) {
    Form().Application().HandleException(std::current_exception());
  }
}

// ---- TProgressBar ---------------------------------------------------------

void TProgressBar::SetMin(int value) {
  FMin = value;
  if (FMax < FMin) FMax = FMin;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Changed(TControlProperty::Progress);
}

void TProgressBar::SetMax(int value) {
  FMax = value;
  if (FMin > FMax) FMin = FMax;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Changed(TControlProperty::Progress);
}

void TProgressBar::SetPosition(int value) {
  value = std::clamp(value, FMin, FMax);
  if (value == FPosition) return;
  FPosition = value;
  Changed(TControlProperty::Progress);
}

// ---- TPaintBox ------------------------------------------------------------

void TPaintBox::SetBitmap(TBitmap bitmap) {
  FBitmap = std::move(bitmap);
  Invalidate();
}

void TPaintBox::SetMode(TPictureMode mode) {
  if (mode == FMode) return;
  FMode = mode;
  Invalidate();
}

void TPaintBox::Paint(TBitmap& canvas) const {
  if (FBitmap.Empty()) return;
  const TRect box = ClientBounds();
  switch (FMode) {
    case TPictureMode::Normal: canvas.Draw(box.Left, box.Top, FBitmap, box); break;
    case TPictureMode::Center:
      // Integer division rounds towards zero, so a larger picture is cut
      // equally on both sides.
      canvas.Draw(box.Left + (box.Width - FBitmap.Width()) / 2,
                  box.Top + (box.Height - FBitmap.Height()) / 2, FBitmap, box);
      break;
    case TPictureMode::Stretch: canvas.StretchDraw(box, FBitmap); break;
  }
}

// ---- TNotebook ------------------------------------------------------------

int TNotebook::AddPage(const std::string& pageName) {
  FPages.push_back(pageName);
  return static_cast<int>(FPages.size()) - 1;
}

const std::string& TNotebook::PageName(int index) const {
  if (index < 0 || index >= PageCount()) {
    throw base::ERangeError("page index " + std::to_string(index) + " outside 0.." +
                            std::to_string(PageCount() - 1) + " of " + Name());
  }
  return FPages[static_cast<std::size_t>(index)];
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount()) {
    throw base::ERangeError("page index " + std::to_string(index) + " outside 0.." +
                            std::to_string(PageCount() - 1) + " of " + Name());
  }
  if (index == FPageIndex) return;
  FPageIndex = index;
  Changed(TControlProperty::PageIndex);
}

// ---- TDirectoryList -------------------------------------------------------

namespace {

// "C:" and "C:\" become "C:\"; other paths lose one trailing "\".
std::string NormalFolder(const std::string& path) {
  if (path.size() == 2 && path[1] == ':') return path + "\\";
  if (path.size() > 3 && base::EndsWithPathDelimiter(path)) return path.substr(0, path.size() - 1);
  return path;
}

char DriveOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') {
    const char letter = path[0];
    if (letter >= 'a' && letter <= 'z') return static_cast<char>(letter - 'a' + 'A');
    if (letter >= 'A' && letter <= 'Z') return letter;
  }
  return 0;
}

}  // namespace

TDirectoryList::~TDirectoryList() {
  if (FDriveBox != nullptr) FDriveBox->FDirList = nullptr;
}

void TDirectoryList::SetDirectory(const std::string& path) {
  if (path.empty()) return;
  const std::string folder = NormalFolder(path);
  if (base::SameText932(folder, FDirectory)) return;
  FDirectory = folder;
  Changed(TControlProperty::Directory);
  const char drive = DriveOf(folder);
  if (FDriveBox != nullptr && drive != 0 && drive != FDriveBox->FDrive) {
    // Keep the linked box on the list's drive (without its change event).
    FDriveBox->FDrive = drive;
    FDriveBox->Changed(TControlProperty::Drive);
  }
  if (OnChange) OnChange(*this);
}

void TDirectoryList::UserSelect(const std::string& path) {
  try {
    SetDirectory(path);
  } catch (...) {
    Form().Application().HandleException(std::current_exception());
  }
}

std::vector<TDirectoryItem> TDirectoryList::Items() const {
  std::vector<TDirectoryItem> items;
  if (FDirectory.size() < 3) return items;
  // The open folders: root, then each component down to the current folder.
  items.push_back({FDirectory.substr(0, 3), FDirectory.substr(0, 3), 0, true});
  std::size_t start = 3;
  int level = 1;
  while (start < FDirectory.size()) {
    std::size_t end = start;
    while (end < FDirectory.size() && !base::IsPathDelimiter(FDirectory, end)) ++end;
    items.push_back(
        {FDirectory.substr(0, end), FDirectory.substr(start, end - start), level, true});
    ++level;
    start = end + 1;
  }
  std::vector<std::string> subFolders;
  for (const platform::TFindData& found : platform::FindFiles(FDirectory)) {
    if ((found.Attributes & platform::faDirectory) != 0) subFolders.push_back(found.Name);
  }
  std::sort(subFolders.begin(), subFolders.end(), [](const std::string& a, const std::string& b) {
    return base::CompareText932(a, b) < 0;
  });
  const std::string prefix =
      base::EndsWithPathDelimiter(FDirectory) ? FDirectory : FDirectory + "\\";
  for (const std::string& name : subFolders) items.push_back({prefix + name, name, level, false});
  return items;
}

// ---- TDriveBox ------------------------------------------------------------

TDriveBox::~TDriveBox() {
  if (FDirList != nullptr) FDirList->FDriveBox = nullptr;
}

void TDriveBox::SetDrive(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z' || letter == FDrive) return;  // only drive letters
  FDrive = letter;
  Changed(TControlProperty::Drive);
  if (FDirList != nullptr && DriveOf(FDirList->Directory()) != letter) {
    FDirList->SetDirectory(std::string(1, letter) + ":\\");
  }
  if (OnChange) OnChange(*this);
}

void TDriveBox::UserSelect(char letter) {
  try {
    SetDrive(letter);
  } catch (...) {
    Form().Application().HandleException(std::current_exception());
  }
}

void TDriveBox::SetDirList(TDirectoryList* list) {
  if (FDirList != nullptr) FDirList->FDriveBox = nullptr;
  FDirList = list;
  if (list != nullptr) {
    if (list->FDriveBox != nullptr && list->FDriveBox != this) list->FDriveBox->FDirList = nullptr;
    list->FDriveBox = this;
  }
}

std::vector<char> TDriveBox::AvailableDrives() {
  std::vector<char> drives;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (platform::DirectoryExists(std::string(1, letter) + ":\\")) drives.push_back(letter);
  }
  return drives;
}

}  // namespace mora::ui
