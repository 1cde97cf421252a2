// The delete step of an uninstallation: removes the program group, the
// recorded files, the save data on request, the folders left empty and the
// title's registry key. Only names inside the installation folder are
// deleted.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/sjis.h"
#include "installer/engine.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::installer {

using base::Sjis;

namespace {

// Refused names shown in the warning; the rest are counted.
constexpr std::size_t RefusedNamesShown = 10;

// The installation's record, recorded as one of its files.
constexpr const char* RecordFileName = "install.dat";

// "", "\", "C:" and "C:\": a folder whose tree is the whole drive.
bool IsDriveRoot(const std::string& folder) {
  std::string path = folder;
  if (base::EndsWithPathDelimiter(path)) path.pop_back();
  return path.empty() || (path.size() == 2 && path[1] == ':');
}

void DeleteRecordedFile(const std::string& path) {
  const std::uint32_t attributes = platform::GetFileAttributes(path);
  if (attributes == platform::InvalidFileAttributes) return;
  if ((attributes & platform::faDirectory) != 0) return;
  if ((attributes & platform::faReadOnly) != 0) {
    std::uint32_t cleared = attributes & ~platform::faReadOnly;
    if (cleared == 0) cleared = platform::faNormal;
    platform::SetFileAttributes(path, cleared);
  }
  // A file in use stays; the uninstallation goes on without a word.
  platform::DeleteFile(path);
}

// Whether a recorded name reaches its file through a folder that is a link
// (a symbolic link or a junction) inside the installation folder: deleting
// through it would delete outside the installation. The folders' listings
// are read once each.
class TLinkedFolders {
 public:
  explicit TLinkedFolders(std::string folder) : FFolder(std::move(folder)) {}

  bool PassesThroughLink(const std::string& name) {
    std::string folder = FFolder;
    std::size_t start = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (!(base::IsPathDelimiter(name, i) || (name[i] == '/' && base::IsCharStart(name, i)))) {
        continue;
      }
      const std::string component = name.substr(start, i - start);
      const platform::TFindData* found = Find(folder, component);
      // A folder that is not there holds nothing to delete.
      if (found == nullptr) return false;
      if ((found->Attributes & platform::faReparsePoint) != 0) return true;
      folder += found->Name + "\\";
      start = i + 1;
    }
    return false;
  }

 private:
  const platform::TFindData* Find(const std::string& folder, const std::string& name) {
    auto listing = FListings.find(folder);
    if (listing == FListings.end()) {
      listing = FListings.emplace(folder, platform::FindFiles(folder)).first;
    }
    // The exact name first (POSIX names differ by case), else the one that
    // matches without regard to case, as the system would open it.
    const platform::TFindData* caseless = nullptr;
    for (const platform::TFindData& entry : listing->second) {
      if (entry.Name == name) return &entry;
      if (caseless == nullptr && base::SameText932(entry.Name, name)) caseless = &entry;
    }
    return caseless;
  }

  std::string FFolder;
  std::map<std::string, std::vector<platform::TFindData>> FListings;
};

std::string RefusedNamesText(const std::vector<std::string>& refused) {
  std::string text = Sjis("インストール先の外を指すファイル名は削除しませんでした");
  for (std::size_t i = 0; i < refused.size() && i < RefusedNamesShown; ++i) {
    text += "\r\n" + refused[i];
  }
  if (refused.size() > RefusedNamesShown) {
    text +=
        "\r\n" + Sjis("ほか ") + std::to_string(refused.size() - RefusedNamesShown) + Sjis(" 件");
  }
  return text;
}

}  // namespace

void RemoveEmptyFolders(const std::string& folder) {
  std::vector<std::string> subFolders;
  settings::ListFiles(folder, platform::faDirectory, false, true, subFolders, false);
  for (const std::string& subFolder : subFolders) RemoveEmptyFolders(subFolder);
  std::vector<std::string> left;
  settings::ListFiles(folder, settings::AllAttributeBits, true, true, left, false);
  if (left.empty()) platform::RemoveDirectory(folder);
}

TUninstallPlan PlanUninstallation(const settings::TMoraInstallSet& settings,
                                  const TUninstallRequest& request) {
  TUninstallPlan plan;
  plan.Folder = settings::AppendPathDelimiter(request.InstallFolder);
  TLinkedFolders links(plan.Folder);
  for (const std::string& name : settings.InstalledFiles) {
    const bool inside = IsSafeInstalledName(name) && !links.PassesThroughLink(name);
    (inside ? plan.RecordedFiles : plan.Refused).push_back(name);
  }
  plan.DeletesSave = request.DeleteSave;
  // Only below a real folder: the tree of a whole drive is never swept.
  plan.RemovesEmptyFolders = !IsDriveRoot(request.FirstArgument);
  return plan;
}

TStepOutcome TMoraInstallEngine::Uninstall(settings::TMoraInstallSet& settings,
                                           const TUninstallRequest& request,
                                           TStepObserver& observer) {
  observer.SetHeading(settings.Title + Sjis(" を削除しています"));
  observer.HideNextButton();
  observer.SetCaption(Sjis("削除"));
  observer.SetStatus(Sjis("ショートカットを削除しています..."));
  if (observer.ProcessMessages()) return TStepOutcome::Stopped;

  if (!FShell.DeleteProgramGroup(settings.Title)) {
    observer.MessageDialog(Sjis("ショートカットの削除に失敗しました"),
                           ui::TMsgDlgType::mtInformation, ui::mbOK);
  }
  observer.Wait(3000);
  observer.BringToFront();
  // The folder chooser lets go of the installation folder before it goes.
  observer.ChooseFolder(platform::WindowsFolder());

  observer.SetStatus(Sjis("ファイルを削除しています..."));
  if (observer.ProcessMessages()) return TStepOutcome::Stopped;

  // The record goes last, after every other file and the emptied folders
  // below it: an uninstallation cut short anywhere before leaves a record
  // that names what is left, so it can be run again.
  const TUninstallPlan plan = PlanUninstallation(settings, request);
  bool recordListed = false;
  for (const std::string& name : plan.RecordedFiles) {
    if (base::SameText932(name, RecordFileName)) {
      recordListed = true;
      continue;
    }
    DeleteRecordedFile(plan.Folder + name);
  }
  if (!plan.Refused.empty()) {
    observer.MessageDialog(RefusedNamesText(plan.Refused), ui::TMsgDlgType::mtWarning, ui::mbOK);
  }
  if (plan.DeletesSave) platform::DeleteFile(plan.Folder + "save.dat");
  if (plan.RemovesEmptyFolders) RemoveEmptyFolders(request.FirstArgument);
  if (recordListed) {
    DeleteRecordedFile(plan.Folder + RecordFileName);
    if (plan.RemovesEmptyFolders) RemoveEmptyFolders(request.FirstArgument);
  }

  observer.SetStatus(Sjis("レジストリを削除しています..."));
  observer.ProcessMessages();
  settings.DeleteRegKey();
  observer.Wait(1000);
  observer.SetExitText(Sjis("アンインストールが完了しました"));
  return TStepOutcome::Finished;
}

}  // namespace mora::installer
