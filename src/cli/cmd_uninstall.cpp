// mora uninstall DIR: the wizard's delete step on the installation folder
// DIR (its install.dat records the files): program group, recorded files,
// save data on request, emptied folders and the title's registry key. It
// asks before removing unless --yes is given; --dry-run shows what would be
// removed and kept; --json prints what was removed and what was kept, and
// why. Exit codes: ExitMissing when DIR or its install.dat is not there,
// ExitDamaged for a damaged install.dat, ExitFailure for a folder that is
// no installation, ExitCancelled after Ctrl-C or a "no" to the question.
#include <algorithm>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "installer/engine.h"
#include "installer/shortcuts.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::cli {
namespace {

using nlohmann::ordered_json;

struct TUninstallArguments {
  std::string Folder;
  bool DeleteSave = false;
  bool DryRun = false;
  bool Yes = false;
  bool Json = false;
};

// The files and folders below an installation folder, relative to it;
// folders end in "\". Links are files here: the delete step never enters
// them.
struct TTree {
  std::set<std::string> Files;
  std::set<std::string> Folders;
};

void Walk(const std::string& folder, const std::string& prefix, TTree& tree) {
  for (const platform::TFindData& found : platform::FindFiles(folder)) {
    const bool isFolder = (found.Attributes & platform::faDirectory) != 0 &&
                          (found.Attributes & platform::faReparsePoint) == 0;
    if (isFolder) {
      tree.Folders.insert(prefix + found.Name + "\\");
      Walk(folder + found.Name + "\\", prefix + found.Name + "\\", tree);
    } else {
      tree.Files.insert(prefix + found.Name);
    }
  }
}

TTree TreeOf(const std::string& folder) {
  TTree tree;
  Walk(folder, "", tree);
  return tree;
}

// A recorded name as the listing spells it: "/" between components is "\".
std::string ListedName(std::string name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '/' && base::IsCharStart(name, i)) name[i] = '\\';
  }
  return name;
}

struct TKept {
  std::string Name;
  const char* Reason;
};

// What the delete step removed (or would remove) and what stays.
struct TReport {
  std::vector<std::string> RemovedFiles;
  std::vector<std::string> RemovedFolders;
  bool FolderRemoved = false;
  std::vector<TKept> Kept;
  std::vector<std::string> Missing;  // recorded but not there before
};

TReport Compare(const installer::TUninstallPlan& plan, const TTree& before, const TTree& after,
                bool folderRemoved) {
  TReport report;
  std::set<std::string> deleted;
  std::vector<std::string> order;
  for (const std::string& name : plan.RecordedFiles) order.push_back(ListedName(name));
  if (plan.DeletesSave) order.push_back("save.dat");
  for (const std::string& name : order) {
    if (!deleted.insert(name).second) continue;
    if (before.Files.count(name) == 0) {
      report.Missing.push_back(name);
    } else if (after.Files.count(name) == 0) {
      report.RemovedFiles.push_back(name);
    }
  }
  for (const std::string& folder : before.Folders) {
    if (after.Folders.count(folder) == 0) report.RemovedFolders.push_back(folder);
  }
  report.FolderRemoved = folderRemoved;
  for (const std::string& file : after.Files) {
    const char* reason = deleted.count(file) != 0 ? "could not be deleted"
                         : file == "save.dat"     ? "save data"
                                                  : "not recorded";
    report.Kept.push_back({file, reason});
  }
  for (const std::string& folder : after.Folders) report.Kept.push_back({folder, "holds files"});
  for (const std::string& name : plan.Refused) {
    report.Kept.push_back({name, "outside the installation folder"});
  }
  return report;
}

// The tree the delete step would leave: without the files it deletes, and
// without every folder that then holds no file (none when the folder tree
// is not swept).
TTree Predict(const installer::TUninstallPlan& plan, const TTree& before, bool& folderRemoved) {
  TTree after = before;
  for (const std::string& name : plan.RecordedFiles) after.Files.erase(ListedName(name));
  if (plan.DeletesSave) after.Files.erase("save.dat");
  folderRemoved = plan.RemovesEmptyFolders && after.Files.empty();
  if (!plan.RemovesEmptyFolders) return after;
  std::set<std::string> kept;
  for (const std::string& folder : after.Folders) {
    const bool holdsFile = std::any_of(
        after.Files.begin(), after.Files.end(),
        [&](const std::string& file) { return file.compare(0, folder.size(), folder) == 0; });
    if (holdsFile) kept.insert(folder);
  }
  after.Folders = std::move(kept);
  return after;
}

ordered_json Text(const std::string& text932) { return ToTerminal(text932); }

void PrintReport(const TReport& report, const settings::TMoraInstallSet& settings,
                 const std::string& folder, bool groupRemoved, bool keyRemoved, bool dryRun,
                 const char* result, bool json) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\" + settings.RegistryKey;
  if (json) {
    ordered_json out;
    out["result"] = result;
    out["dryRun"] = dryRun;
    out["folder"] = Text(folder);
    out["title"] = Text(settings.Title);
    ordered_json removed;
    auto files = ordered_json::array();
    for (const std::string& name : report.RemovedFiles) files.push_back(Text(name));
    removed["files"] = std::move(files);
    auto folders = ordered_json::array();
    for (const std::string& name : report.RemovedFolders) folders.push_back(Text(name));
    removed["folders"] = std::move(folders);
    removed["installationFolder"] = report.FolderRemoved;
    removed["programGroup"] = groupRemoved ? Text(settings.Title) : ordered_json();
    removed["registryKey"] = keyRemoved ? Text(key) : ordered_json();
    out["removed"] = std::move(removed);
    auto kept = ordered_json::array();
    for (const TKept& item : report.Kept) {
      kept.push_back({{"name", Text(item.Name)}, {"reason", item.Reason}});
    }
    out["kept"] = std::move(kept);
    auto missing = ordered_json::array();
    for (const std::string& name : report.Missing) missing.push_back(Text(name));
    out["missing"] = std::move(missing);
    std::cout << out.dump(2) << "\n";
    return;
  }
  std::cout << (dryRun ? "Dry run: nothing is removed. Would remove " : "Removed ")
            << ToTerminal(settings.Title) << " from " << platform::PathToNative(folder) << ": "
            << report.RemovedFiles.size() << " files, " << report.RemovedFolders.size()
            << " folders" << (report.FolderRemoved ? " and the installation folder" : "");
  if (groupRemoved) std::cout << "; the program group";
  if (keyRemoved) std::cout << "; the registry key " << ToTerminal(key);
  std::cout << "\n";
  if (!report.Kept.empty()) std::cout << (dryRun ? "Would keep:\n" : "Kept:\n");
  for (const TKept& item : report.Kept) {
    std::cout << "  " << ToTerminal(item.Name) << " (" << item.Reason << ")\n";
  }
  for (const std::string& name : report.Missing) {
    std::cout << "  " << ToTerminal(name) << " (recorded, but not there)\n";
  }
}

bool RegistryKeyExists(const settings::TMoraInstallSet& settings) {
  return !settings.RegistryKey.empty() &&
         platform::RegKeyExists(platform::TRootKey::CurrentUser,
                                "Software\\" + settings.RegistryKey);
}

int Uninstall(const TUninstallArguments& arguments) {
  const std::string path = PathArgument(arguments.Folder);
  if (!platform::DirectoryExists(path)) {
    std::cerr << "mora: " << arguments.Folder << ": no such folder\n";
    return ExitMissing;
  }
  const std::string folder = settings::AppendPathDelimiter(path);
  if (!platform::FileExists(folder + "install.dat")) {
    std::cerr << "mora: " << arguments.Folder << ": no install.dat there\n";
    return ExitMissing;
  }
  settings::TMoraInstallSet settings;
  try {
    settings.LoadFromFile(folder + "install.dat");
  } catch (...) {
    return ReportFailure(std::current_exception());
  }
  if (settings.UninstallMode == 0) {
    std::cerr << "mora: " << arguments.Folder
              << " holds a medium's install.dat, not an installation's\n";
    return ExitFailure;
  }

  installer::TUninstallRequest request;
  request.InstallFolder = folder;
  request.FirstArgument = path;
  // The wizard offers the save data only when there are some.
  request.DeleteSave = arguments.DeleteSave && platform::FileExists(folder + "save.dat");
  const installer::TUninstallPlan plan = installer::PlanUninstallation(settings, request);
  const TTree before = TreeOf(folder);
  const bool keyBefore = RegistryKeyExists(settings);

  if (arguments.DryRun) {
    bool folderRemoved = false;
    const TTree after = Predict(plan, before, folderRemoved);
    PrintReport(Compare(plan, before, after, folderRemoved), settings, folder,
                installer::IsProgramGroupName(settings.Title), keyBefore, true, "planned",
                arguments.Json);
    return ExitOk;
  }

  if (!arguments.Yes) {
    const std::string question =
        MessageText(base::FormatS(base::Sjis("%s をコンピュータから削除します"), settings.Title));
    if (!CanAsk()) {
      std::cerr << "mora: " << question << "\n"
                << "mora uninstall: no terminal to ask on; --yes removes without a question\n";
      return ExitUsage;
    }
    if (!AskYesNo(question + " Go on?", false)) return ExitCancelled;
  }

  bool groupRemoved = false;
  installer::TShellServices shell = installer::ProgramGroupServices();
  const auto deleteGroup = shell.DeleteProgramGroup;
  shell.DeleteProgramGroup = [&](const std::string& title) {
    groupRemoved = deleteGroup(title);
    return groupRemoved;
  };
  installer::TMoraInstallEngine engine(std::move(shell));
  TTerminalObserver observer(TTerminalOptions{arguments.Yes, {}});
  CatchInterrupt();
  installer::TStepOutcome outcome = installer::TStepOutcome::Stopped;
  try {
    outcome = engine.Uninstall(settings, request, observer);
  } catch (...) {
    observer.Finish();
    return ReportFailure(std::current_exception());
  }
  observer.Finish();
  const bool finished = outcome == installer::TStepOutcome::Finished;
  if (!finished) std::cerr << "mora: the uninstallation was stopped; what is left stays\n";
  const TTree after = TreeOf(folder);
  PrintReport(Compare(plan, before, after, !platform::DirectoryExists(path)), settings, folder,
              groupRemoved, keyBefore && !RegistryKeyExists(settings), false,
              finished ? "uninstalled" : "cancelled", arguments.Json);
  return finished ? ExitOk : ExitCancelled;
}

const TCommandRegistration Registration(41, [](CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("uninstall", "Remove an installed title");
  auto arguments = std::make_shared<TUninstallArguments>();
  command->add_option("DIR", arguments->Folder, "The installation folder (holding install.dat)")
      ->required();
  command->add_flag("--delete-save", arguments->DeleteSave, "Remove the save data (save.dat) too");
  command->add_flag("--dry-run", arguments->DryRun,
                    "Show what would be removed and kept without removing anything");
  command->add_flag("--yes", arguments->Yes, "Remove without asking");
  command->add_flag("--json", arguments->Json,
                    "Print one JSON object: what was removed, what was kept and why");
  command->callback([arguments, &exitCode] { exitCode = Uninstall(*arguments); });
});

}  // namespace
}  // namespace mora::cli
