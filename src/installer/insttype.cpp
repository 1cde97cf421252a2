// The wizard's window, pages, start rules and navigation.
#include "installer/insttype.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "base/errors.h"
#include "base/sjis.h"
#include "installer/choices.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "settings/fileutil.h"
#include "settings/installset.h"
#include "ui/dialogs.h"

namespace mora::installer {

using base::Sjis;

namespace {

// Width of a one-line text in the 12-pixel font (half-width bytes 6 pixels),
// for labels sized to their text.
int TextWidth(const std::string& text) { return static_cast<int>(text.size()) * 6 + 2; }

}  // namespace

std::string FormatFloat2(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%2.2f", value);
  return buffer;
}

TWizardEnvironment TWizardEnvironment::FromProcess() {
  TWizardEnvironment environment;
  const std::vector<std::string> arguments = platform::CommandLineArguments();
  if (!arguments.empty()) environment.FirstArgument = arguments.front();
  return environment;
}

// ---- the observer the steps report to ----------------------------------------

class TFormType::TObserver : public TStepObserver {
 public:
  explicit TObserver(TFormType& form) : FForm(form) {}

  void SetCaption(const std::string& text) override { FForm.SetCaption(text); }
  void SetHeading(const std::string& text) override {
    (FForm.CurrentPage() == PageDelete ? FForm.LabelDelTitle : FForm.LabelCopyCap)
        ->SetCaption(text);
  }
  void SetStatus(const std::string& text) override {
    (FForm.CurrentPage() == PageDelete ? FForm.LabelDel : FForm.LabelCopy)->SetCaption(text);
  }
  void SetExitText(const std::string& text) override { FForm.LabelExit->SetCaption(text); }
  void SetProgressMax(std::int32_t max) override { FForm.Progress->SetMax(max); }
  void SetProgress(std::int32_t position) override { FForm.Progress->SetPosition(position); }
  void HideProgress() override {
    FForm.LabelCopy->SetVisible(false);
    FForm.Progress->SetVisible(false);
  }
  void HideBackButton() override { FForm.btnBack->SetVisible(false); }
  void HideNextButton() override { FForm.btnNext->SetVisible(false); }
  void ChooseFolder(const std::string& folder) override {
    if (!folder.empty()) FForm.Drive->SetDrive(folder[0]);
    FForm.Directory->SetDirectory(folder);
  }
  bool ProcessMessages() override {
    FForm.Application().ProcessMessages();
    return StopRequested();
  }
  bool StopRequested() const override { return FForm.ModalResult() == ui::mrAbort; }
  int MessageDialog(const std::string& text, ui::TMsgDlgType kind,
                    ui::TMsgDlgButtons buttons) override {
    return FForm.Application().MessageDialog(text, kind, buttons);
  }
  void Wait(std::uint32_t milliseconds) override { FForm.FEnvironment.Sleep(milliseconds); }
  void BringToFront() override { FForm.BringToFront(); }
  int OpenDocument(const std::string& file, const std::string& parameters,
                   const std::string& folder) override {
    return FForm.FEnvironment.OpenDocument(file, parameters, folder);
  }

 private:
  TFormType& FForm;
};

// ---- construction -------------------------------------------------------------

TFormType::TFormType(ui::TApplication& application, ui::TForm* owner,
                     settings::TMoraInstallSet& settings, archive::TVrFileCollection* archive,
                     TInstallEngine& engine, TWizardEnvironment environment)
    : ui::TForm(application, "FormType", owner),
      FSettings(settings),
      FArchive(archive),
      FEngine(engine),
      FEnvironment(std::move(environment)),
      FObserver(std::make_unique<TObserver>(*this)) {
  if (!FEnvironment.DiskFreeBytes) FEnvironment.DiskFreeBytes = platform::DiskFreeBytes;
  if (!FEnvironment.WindowsVersion) FEnvironment.WindowsVersion = platform::WindowsVersion;
  if (!FEnvironment.Sleep) FEnvironment.Sleep = platform::SleepMs;
  if (!FEnvironment.OpenDocument) FEnvironment.OpenDocument = platform::ShellExecuteOpen;
  CreateControls();
  try {
    FormCreate();
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
}

TFormType::~TFormType() = default;

void TFormType::CreateControls() {
  SetCaption(Sjis("インストールタイプの選択"));
  SetClientSize(383, 269);
  SetPosition(ui::TFormPosition::OwnerFormCenter);

  Notebook = &Add<ui::TNotebook>("Notebook", {0, 0, 383, 229});
  for (const char* page : {"Inst", "Media", "file", "seldir", "confirm", "copy", "exit", "uninst",
                           "delete", "exitdel"}) {
    Notebook->AddPage(page);
  }
  Bevel1 = &Add<ui::TBevel>("Bevel1", {8, 229, 367, 2});
  btnBack = &Add<ui::TButton>("btnBack", {132, 236, 75, 25});
  btnBack->SetCaption(Sjis("< 戻る(&B)"));
  btnBack->SetEnabled(false);
  btnNext = &Add<ui::TButton>("btnNext", {212, 236, 75, 25});
  btnNext->SetCaption(Sjis("次へ(&N) >"));
  btnNext->SetDefault(true);
  btnAbort = &Add<ui::TButton>("btnAbort", {304, 236, 75, 25});
  btnAbort->SetCaption(Sjis("中断(&A)"));
  btnBack->SetTabOrder(0);
  btnNext->SetTabOrder(1);
  btnAbort->SetTabOrder(2);

  auto label = [&](int page, const char* name, int left, int top, const std::string& caption,
                   int width = 0, int height = 12) -> ui::TLabel& {
    ui::TLabel& result = AddTo<ui::TLabel>(
        *Notebook, page, name, {left, top, width > 0 ? width : TextWidth(caption), height});
    result.SetCaption(caption);
    return result;
  };
  auto radio = [&](int page, const char* name, int left, int top, const std::string& caption) {
    ui::TRadioButton& result = AddTo<ui::TRadioButton>(*Notebook, page, name, {left, top, 237, 17});
    result.SetCaption(caption);
    return &result;
  };
  auto check = [&](int page, const char* name, const ui::TRect& bounds,
                   const std::string& caption) {
    ui::TCheckBox& result = AddTo<ui::TCheckBox>(*Notebook, page, name, bounds);
    result.SetCaption(caption);
    return &result;
  };

  Label2 = &label(PageInst, "Label2", 16, 12, Sjis("処理を選択してください"));
  RadioInst = radio(PageInst, "RadioInst", 24, 36, Sjis("インストール"));
  RadioInst->SetChecked(true);
  RadioUninst = radio(PageInst, "RadioUninst", 24, 64, Sjis("アンインストール"));

  LabelDisk = &label(PageMedia, "LabelDisk", 16, 12, "LabelDisk", 350);
  RadioDiskAll = radio(PageMedia, "RadioDiskAll", 24, 36, "RadioDiskAll");
  RadioDiskThis = radio(PageMedia, "RadioDiskThis", 24, 64, "RadioDiskThis");

  Label1 = &label(PageFile, "Label1", 16, 12, Sjis("インストールするファイルを選択してください"));
  CheckProg = check(PageFile, "CheckProg", {24, 36, 169, 17}, Sjis("プログラム"));
  CheckProg->SetChecked(true);
  CheckProg->SetEnabled(false);
  CheckData = check(PageFile, "CheckData", {24, 64, 141, 17}, Sjis("シナリオ・グラフィック"));
  CheckSound = check(PageFile, "CheckSound", {24, 92, 141, 17}, Sjis("サウンド"));
  CheckMovie = check(PageFile, "CheckMovie", {24, 120, 141, 17}, Sjis("ムービー"));
  LabelSize = &label(PageFile, "LabelSize", 24, 204, "LabelSize", 340);

  Label3 = &label(PageSelDir, "Label3", 16, 12, Sjis("インストール先を選択してください"));
  EditDir = &AddTo<ui::TEdit>(*Notebook, PageSelDir, "EditDir", {16, 28, 237, 20});
  Directory = &AddTo<ui::TDirectoryList>(*Notebook, PageSelDir, "Directory", {16, 52, 237, 113});
  Drive = &AddTo<ui::TDriveBox>(*Notebook, PageSelDir, "Drive", {16, 168, 237, 18});
  Drive->SetDirList(Directory);
  LabelSzDrv = &label(PageSelDir, "LabelSzDrv", 16, 188, "LabelSzDrv", 350);
  LabelSzNeed = &label(PageSelDir, "LabelSzNeed", 16, 208, "LabelSzNeed", 350);

  Label5 = &label(PageConfirm, "Label5", 16, 12, Sjis("ファイルをコピーする準備が整いました"));
  Label6 = &label(PageConfirm, "Label6", 16, 32,
                  Sjis("インストール をクリックするとコピーを開始します。設定を確認・変更\r\n"
                       "したい場合は 戻る をクリックしてください"),
                  340, 24);

  LabelCopyCap = &label(PageCopy, "LabelCopyCap", 16, 12, Sjis("ファイルをコピーしています"), 350);
  LabelCopy = &label(PageCopy, "LabelCopy", 16, 172, "...", 350);
  Progress = &AddTo<ui::TProgressBar>(*Notebook, PageCopy, "Progress", {16, 192, 349, 16});
  Progress->SetMin(0);
  Progress->SetMax(100);

  LabelExit = &label(PageExit, "LabelExit", 16, 12, Sjis("インストールが完了しました"), 350);

  LabelUninst = &label(PageUninst, "LabelUninst", 16, 12, "LabelUninst", 350);
  Label7 = &label(PageUninst, "Label7", 16, 32, Sjis("実行 をクリックすると削除処理を開始します"));
  CheckDelSave = check(PageUninst, "CheckDelSave", {20, 60, 201, 17}, Sjis("セーブデータも削除"));

  LabelDelTitle = &label(PageDelete, "LabelDelTitle", 16, 12, "LabelDelTitle", 350);
  LabelDel = &label(PageDelete, "LabelDel", 16, 200, "LabelDel", 350);

  // Handlers.
  btnNext->OnClick = [this](ui::TControl&) { btnNextClick(); };
  btnBack->OnClick = [this](ui::TControl&) { btnBackClick(); };
  btnAbort->OnClick = [this](ui::TControl&) { btnAbortClick(); };
  for (ui::TCheckBox* box : {CheckData, CheckSound, CheckMovie}) {
    box->OnClick = [this](ui::TControl&) { CheckDataClick(); };
  }
  CheckProg->OnClick = [this](ui::TControl&) { CheckProgClick(); };
  Drive->OnChange = [this](ui::TControl&) { DriveChange(); };
  Directory->OnChange = [this](ui::TControl&) { DirectoryChange(); };
}

// ---- start rules ----------------------------------------------------------------

void TFormType::FormCreate() {
  RadioInst->SetChecked(true);
  const std::string& media = FSettings.MediaName;
  LabelDisk->SetCaption(base::FormatS(Sjis("インストールする%sを指定してください"), media));
  RadioDiskAll->SetCaption(base::FormatS(Sjis("全ての%sをインストール"), media));
  RadioDiskThis->SetCaption(base::FormatS(Sjis("この%sをインストール"), media));
  if (DefaultAllDisks(FSettings)) RadioDiskAll->SetChecked(true);
  LabelUninst->SetCaption(base::FormatS(Sjis("%s をコンピュータから削除します"), FSettings.Title));
  btnBack->SetVisible(FSettings.UninstallMode == 0);
  SetDefaultDestination();
  ComputeFirstPage();
  if (FSettings.SetupKind == 2) Label6->SetVisible(false);
  if (FSettings.UninstallMode != 0) {
    ShowPage(PageUninst);
  } else {
    ShowPage(std::max(1, FirstPage));
  }
  if (FSettings.SetupKind == 1) {
    const TPartChoice parts = DefaultParts(FSettings);
    CheckData->SetChecked(parts.Data);
    CheckSound->SetChecked(parts.Sound);
    CheckMovie->SetChecked(parts.Movie);
  }
  if (FirstPage == PageSelDir) UpdateRequiredSize();
}

void TFormType::SetDefaultDestination() {
  const TDefaultDestination proposed = DefaultDestination(FSettings, FEnvironment.WindowsVersion());
  const std::string& dest = proposed.Dest;
  SubFolder = proposed.SubFolder;
  EditDir->SetText(dest);
  if (!dest.empty()) Drive->SetDrive(dest[0]);
  std::string existing = dest;
  while (!existing.empty() && !FolderExists(existing)) settings::CutLastPathPart(existing);
  if (!existing.empty()) Directory->SetDirectory(existing);
  // Pointing the list at an existing parent appended the sub-path to it
  // ("...\Maker" + "Maker\Title" when another title of the same maker made
  // "...\Maker"); the proposal stays the destination itself. Folders chosen
  // later still get the sub-path appended.
  EditDir->SetText(dest);
}

void TFormType::ComputeFirstPage() {
  if (FSettings.SetupKind == 2) {
    FirstPage = PageConfirm;
  } else if (FSettings.AddOnPackage != 0 || FSettings.SetupKind == 1) {
    FirstPage = PageSelDir;
  } else if (FSettings.DiskCount() < 2 || FSettings.DiskIndex != 0) {
    FirstPage = PageFile;
  } else {
    FirstPage = PageMedia;
  }
}

// ---- pages ----------------------------------------------------------------------

int TFormType::CurrentPage() const { return Notebook->PageIndex(); }

std::string TFormType::SourceFolder() const {
  return settings::AppendPathDelimiter(FEnvironment.FirstArgument);
}

void TFormType::ShowPage(int index) {
  Notebook->SetPageIndex(index);
  TStepOutcome outcome = TStepOutcome::Finished;
  switch (index) {
    case PageInst: SetCaption(Sjis("処理を選択")); break;
    case PageMedia:
      SetCaption(base::FormatS(Sjis("インストールする%s"), FSettings.MediaName));
      break;
    case PageFile:
      SetCaption(Sjis("インストールするファイル"));
      UpdatePartVisibility();
      UpdateRequiredSize();
      break;
    case PageSelDir:
      SetCaption(Sjis("インストール先の選択"));
      UpdateDriveFree();
      break;
    case PageConfirm: SetCaption(Sjis("インストール準備完了")); break;
    case PageCopy:
      SetCaption(Sjis("ファイルコピー"));
      outcome = RunCopyStep();
      break;
    case PageExit:
      SetCaption(Sjis("完了"));
      btnAbort->SetFocus();
      break;
    case PageUninst:
      SetCaption(Sjis("アンインストール"));
      CheckDelSave->SetVisible(platform::FileExists(SourceFolder() + "save.dat"));
      break;
    case PageDelete:
      SetCaption(Sjis("削除"));
      outcome = RunDeleteStep();
      break;
    default: break;
  }
  if (outcome != TStepOutcome::Finished) return;
  // Button states follow the page shown now (a finished step has moved on to
  // the exit page).
  const int current = CurrentPage();
  btnBack->SetEnabled(FirstPage < current);
  btnNext->SetEnabled(current < PageExitDel);
  if (current == PageConfirm) {
    btnNext->SetCaption(Sjis("インストール"));
  } else if (current == PageUninst) {
    btnNext->SetCaption(Sjis("実行"));
  } else {
    btnNext->SetCaption(Sjis("次へ(&N) >"));
  }
  if (current == PageExit) btnAbort->SetCaption(Sjis("閉じる(&C)"));
}

TStepOutcome TFormType::RunCopyStep() {
  TInstallRequest request;
  request.SourceFolder = SourceFolder();
  request.DestDir = GetDestDir();
  request.AllDisks = RadioDiskAll->Checked();
  request.Data = CheckData->Checked();
  request.Sound = CheckSound->Checked();
  request.Movie = CheckMovie->Checked();
  request.RequiredBytes = RequiredBytes;
  const TStepOutcome outcome = FEngine.Install(FSettings, FArchive, request, *FObserver);
  if (outcome == TStepOutcome::Finished) {
    ShowPage(PageExit);
  } else {
    SetModalResult(outcome == TStepOutcome::Stopped ? ui::mrAbort : ui::mrOk);
  }
  return outcome;
}

TStepOutcome TFormType::RunDeleteStep() {
  TUninstallRequest request;
  request.InstallFolder = SourceFolder();
  request.FirstArgument = FEnvironment.FirstArgument;
  request.DeleteSave = CheckDelSave->Visible() && CheckDelSave->Checked();
  const TStepOutcome outcome = FEngine.Uninstall(FSettings, request, *FObserver);
  if (outcome == TStepOutcome::Finished) {
    ShowPage(PageExit);
  } else {
    SetModalResult(outcome == TStepOutcome::Stopped ? ui::mrAbort : ui::mrOk);
  }
  return outcome;
}

// ---- parts and sizes ------------------------------------------------------------

void TFormType::UpdatePartVisibility() {
  const bool all = RadioDiskAll->Checked();
  ui::TCheckBox* boxes[] = {CheckProg, CheckData, CheckSound, CheckMovie};
  for (int part = PartProgram; part <= PartMovie; ++part) {
    boxes[part]->SetVisible(PartSize(FSettings, all, part) > 0);
  }
}

TPartChoice TFormType::ChosenParts() const {
  TPartChoice parts;
  parts.Data = CheckData->Checked();
  parts.Sound = CheckSound->Checked();
  parts.Movie = CheckMovie->Checked();
  return parts;
}

void TFormType::UpdateRequiredSize() {
  RequiredBytes = RequiredBytesFor(FSettings, RadioDiskAll->Checked(), ChosenParts());
  const std::string megabytes = FormatFloat2(static_cast<double>(RequiredBytes) / 1048576.0);
  LabelSize->SetCaption(Sjis("最低 ") + megabytes + Sjis(" MBのディスクの空き容量が必要です"));
  LabelSzNeed->SetCaption(Sjis("インストールには最低 ") + megabytes +
                          Sjis(" MBのディスクの空き容量が必要です"));
}

// ---- destination and free space ---------------------------------------------------

std::int32_t TFormType::DriveFreeMB(char letter) const {
  return FreeMegabytes(letter, FEnvironment.DiskFreeBytes);
}

void TFormType::UpdateDriveFree() {
  const std::int32_t free = DriveFreeMB(Drive->Drive());
  if (free >= 0) {
    LabelSzDrv->SetCaption(Sjis("このドライブには ") + settings::FormatThousands(free) +
                           Sjis(" MBの空きがあります"));
  }
}

std::string TFormType::GetDestDir() const { return DestDirFor(FSettings, EditDir->Text()); }

void TFormType::DirectoryChange() {
  const std::string& folder = Directory->Directory();
  if (SubFolder.empty()) {
    EditDir->SetText(folder);
  } else {
    EditDir->SetText(settings::AppendPathDelimiter(folder) + SubFolder);
  }
}

void TFormType::DriveChange() { UpdateDriveFree(); }

void TFormType::CheckDataClick() { UpdateRequiredSize(); }

void TFormType::CheckProgClick() { CheckProg->SetChecked(true); }

// ---- navigation -------------------------------------------------------------------

bool TFormType::LeaveFolderPage() {
  if (CheckDestination(FSettings, EditDir->Text()) != TDestinationCheck::Ok) {
    Application().MessageDialog(Sjis("正しいインストール先を指定してください"),
                                ui::TMsgDlgType::mtWarning, ui::mbOK);
    return false;
  }
  const std::string dest = GetDestDir();
  const std::int64_t free = DriveFreeMB(dest.empty() ? 0 : dest[0]);
  const std::int64_t needed = NeededMegabytes(RequiredBytes);
  if (free < needed) {
    const int answer = Application().MessageDialog(
        Sjis("ドライブにじゅうぶんな空き容量がありません\r\nこのまま処理を続けますか？"),
        ui::TMsgDlgType::mtWarning, ui::mbYesNo);
    if (answer != ui::mrYes) return false;
  }
  return true;
}

void TFormType::btnNextClick() {
  if (CurrentPage() == PageSelDir && !LeaveFolderPage()) return;
  ShowPage(CurrentPage() + 1);
}

void TFormType::btnBackClick() { ShowPage(std::max(FirstPage, CurrentPage() - 1)); }

void TFormType::btnAbortClick() {
  const int page = CurrentPage();
  if (page == PageExit) {
    SetModalResult(ui::mrOk);
  } else if (page == PageCopy || page == PageDelete) {
    const std::string question = page == PageCopy ? Sjis("インストールを中断しますか？")
                                                  : Sjis("アンインストールを中断しますか？");
    if (Application().MessageDialog(question, ui::TMsgDlgType::mtConfirmation, ui::mbYesNo) ==
        ui::mrYes) {
      SetModalResult(ui::mrAbort);
    }
  } else {
    SetModalResult(ui::mrCancel);
  }
}

bool TFormType::CloseQuery() {
  if (ModalResult() != ui::mrCancel) return true;
  const std::string what =
      FSettings.UninstallMode == 0 ? Sjis("インストール") : Sjis("アンインストール");
  return Application().MessageDialog(what + Sjis("を中断しますか？"),
                                     ui::TMsgDlgType::mtConfirmation, ui::mbYesNo) == ui::mrYes;
}

}  // namespace mora::installer
