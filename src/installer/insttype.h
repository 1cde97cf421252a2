// TFormType: the installation and uninstallation wizard. One modal dialog with
// ten pages: it chooses its start page from the settings, computes the space
// the chosen parts need, proposes and checks the destination, and runs the
// copy and delete steps through a TInstallEngine, showing their progress.
// Failures inside its event handlers are shown in the application's error box.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "installer/choices.h"
#include "installer/engine.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace mora::settings {
class TMoraInstallSet;
}
namespace mora::archive {
class TVrFileCollection;
}

namespace mora::installer {

// What the wizard asks of its surroundings. Empty functions take the
// platform's services; tests replace them.
struct TWizardEnvironment {
  // The process's first command-line argument ("" when there is none): the
  // medium's folder when installing, the installation folder when removing.
  std::string FirstArgument;
  // Bytes available on the drive of a root path ("C:\"), -1 when unknown.
  std::function<std::int64_t(const std::string& rootPath)> DiskFreeBytes;
  // The system version (low byte: major version).
  std::function<std::uint32_t()> WindowsVersion;
  // Blocking waits of the steps.
  std::function<void(std::uint32_t milliseconds)> Sleep;
  // Opens a document through the shell (the read-me at the end of an
  // installation); the shell's result.
  std::function<int(const std::string& file, const std::string& parameters,
                    const std::string& folder)>
      OpenDocument;

  // The first argument of the running process, the platform's services.
  static TWizardEnvironment FromProcess();
};

class TFormType : public ui::TForm {
 public:
  // Page indices.
  static constexpr int PageInst = 0;
  static constexpr int PageMedia = 1;
  static constexpr int PageFile = 2;
  static constexpr int PageSelDir = 3;
  static constexpr int PageConfirm = 4;
  static constexpr int PageCopy = 5;
  static constexpr int PageExit = 6;
  static constexpr int PageUninst = 7;
  static constexpr int PageDelete = 8;
  static constexpr int PageExitDel = 9;

  // Builds the window and runs the start rules (FormCreate). The settings and
  // the archive (none in uninstall mode) belong to start-up and outlive the
  // wizard; the engine runs the copy and delete steps.
  TFormType(ui::TApplication& application, ui::TForm* owner, settings::TMoraInstallSet& settings,
            archive::TVrFileCollection* archive, TInstallEngine& engine,
            TWizardEnvironment environment = {});
  ~TFormType() override;

  // Makes page `index` current and runs its entry actions; the only way
  // pages change.
  void ShowPage(int index);
  int CurrentPage() const;
  void UpdateRequiredSize();
  // Free megabytes of a drive; 0 when the query fails.
  std::int32_t DriveFreeMB(char letter) const;
  void UpdateDriveFree();
  // The destination with a trailing "\": the Windows folder for SetupKind 2,
  // else the text of EditDir.
  std::string GetDestDir() const;
  // The first argument with a trailing "\" ("\" when there is none).
  std::string SourceFolder() const;

  bool CloseQuery() override;  // FormCloseQuery

  // Own fields.
  std::int32_t FirstPage = 0;
  std::int64_t RequiredBytes = 0;
  std::int64_t CopiedBytes = 0;
  std::string SubFolder;

  // Controls (owned by the form).
  ui::TNotebook* Notebook;
  ui::TBevel* Bevel1;
  ui::TButton* btnBack;
  ui::TButton* btnNext;
  ui::TButton* btnAbort;
  // page 0
  ui::TLabel* Label2;
  ui::TRadioButton* RadioInst;
  ui::TRadioButton* RadioUninst;
  // page 1
  ui::TLabel* LabelDisk;
  ui::TRadioButton* RadioDiskAll;
  ui::TRadioButton* RadioDiskThis;
  // page 2
  ui::TLabel* Label1;
  ui::TCheckBox* CheckProg;
  ui::TCheckBox* CheckData;
  ui::TCheckBox* CheckSound;
  ui::TCheckBox* CheckMovie;
  ui::TLabel* LabelSize;
  // page 3
  ui::TLabel* Label3;
  ui::TEdit* EditDir;
  ui::TDirectoryList* Directory;
  ui::TDriveBox* Drive;
  ui::TLabel* LabelSzDrv;
  ui::TLabel* LabelSzNeed;
  // page 4
  ui::TLabel* Label5;
  ui::TLabel* Label6;
  // page 5
  ui::TLabel* LabelCopyCap;
  ui::TLabel* LabelCopy;
  ui::TProgressBar* Progress;
  // page 6
  ui::TLabel* LabelExit;
  // page 7
  ui::TLabel* LabelUninst;
  ui::TLabel* Label7;
  ui::TCheckBox* CheckDelSave;
  // page 8
  ui::TLabel* LabelDelTitle;
  ui::TLabel* LabelDel;

 private:
  class TObserver;

  void CreateControls();
  void FormCreate();
  void SetDefaultDestination();
  void ComputeFirstPage();
  void btnNextClick();
  void btnBackClick();
  void btnAbortClick();
  void CheckDataClick();
  void CheckProgClick();
  void DriveChange();
  void DirectoryChange();
  bool LeaveFolderPage();
  void UpdatePartVisibility();
  TPartChoice ChosenParts() const;
  TStepOutcome RunCopyStep();
  TStepOutcome RunDeleteStep();

  settings::TMoraInstallSet& FSettings;
  archive::TVrFileCollection* FArchive;
  TInstallEngine& FEngine;
  TWizardEnvironment FEnvironment;
  std::unique_ptr<TObserver> FObserver;
};

// Format("%2f", value): at least two characters wide, two decimals ("12.50").
std::string FormatFloat2(double value);

}  // namespace mora::installer
