// mora install MEDIUM: installs a title from its medium through the same
// engine as the wizard, with the wizard's defaults (destination, parts, all
// disks or this one) unless the options choose otherwise; further disks come
// from --media folders or the terminal. --dry-run lists what would be
// written without writing; --json prints one JSON object at the end.
// Exit codes: ExitDamaged for damaged data (also the failed check of the
// built archive), ExitMissing for a medium that is not there, ExitMissingDisk
// when a further disk was not given, ExitCancelled after Ctrl-C or an abort
// typed at the disk question, ExitFailure for any other failure.
#include <exception>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "archive/vrfiles.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "installer/choices.h"
#include "installer/engine.h"
#include "installer/medium.h"
#include "installer/plan.h"
#include "installer/shortcuts.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "settings/fileutil.h"
#include "settings/installset.h"

namespace mora::cli {
namespace {

using nlohmann::ordered_json;

struct TInstallArguments {
  std::string Medium;
  std::string Dest;
  std::string Parts;
  std::vector<std::string> Media;
  bool AllDisks = false;
  bool ThisDisk = false;
  bool DryRun = false;
  bool Yes = false;
  bool Json = false;
};

const std::string CurrentUserSoftware = "HKEY_CURRENT_USER\\Software\\";

// 932 text (names, drive paths) as a JSON string.
ordered_json Text(const std::string& text932) { return ToTerminal(text932); }

ordered_json TextList(const std::vector<std::string>& texts932) {
  auto list = ordered_json::array();
  for (const std::string& text : texts932) list.push_back(Text(text));
  return list;
}

std::string Native(const std::string& path932) { return platform::PathToNative(path932); }

std::string Grouped(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
    digits.insert(static_cast<std::size_t>(i), ",");
  }
  return (value < 0 ? "-" : "") + digits;
}

// The exit code and the name of a run's end in the JSON output.
struct TEnd {
  int Code = ExitOk;
  const char* Result = "installed";
};

constexpr TEnd Installed{ExitOk, "installed"};
constexpr TEnd Failed{ExitFailure, "failed"};
constexpr TEnd Damaged{ExitDamaged, "damaged"};
constexpr TEnd Missing{ExitMissing, "missing"};
constexpr TEnd Cancelled{ExitCancelled, "cancelled"};
constexpr TEnd MissingDisk{ExitMissingDisk, "missing-disk"};

// Prints a failure raised while opening the medium or running the step and
// tells how it ends the run.
TEnd EndAfterFailure(const std::exception_ptr& failure) {
  switch (ReportFailure(failure)) {
    case ExitMissing: return Missing;
    case ExitDamaged: return Damaged;
    default: return Failed;
  }
}

// --parts: "none", or names of data, sound and movie separated by commas.
std::optional<installer::TPartChoice> ParseParts(const std::string& text) {
  installer::TPartChoice parts;
  if (text == "none") return parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string name =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (name == "data") {
      parts.Data = true;
    } else if (name == "sound") {
      parts.Sound = true;
    } else if (name == "movie") {
      parts.Movie = true;
    } else if (name != "program") {
      return std::nullopt;
    }
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

// Everything the run is started with, as the wizard would hand it over.
struct TPrepared {
  installer::TMedium Medium;
  installer::TInstallRequest Request;
  std::vector<std::string> MediaFolders;
};

// The program group and links of a finished installation, read back.
ordered_json ShortcutsJson(const std::string& title) {
  ordered_json group;
  group["group"] = Text(title);
  auto links = ordered_json::array();
  for (const installer::TShortcutEntry& entry : installer::ReadProgramGroup(title)) {
    ordered_json link;
    link["name"] = Text(entry.Name);
    link["target"] = Text(entry.Link.Target);
    link["iconIndex"] = entry.Link.IconIndex;
    links.push_back(std::move(link));
  }
  group["links"] = std::move(links);
  return group;
}

ordered_json DiskQuestionsJson(const std::vector<installer::TDiskQuestion>& questions) {
  auto list = ordered_json::array();
  for (const installer::TDiskQuestion& question : questions) {
    ordered_json item;
    item["disk"] = question.Disk + 1;
    item["folder"] = question.Folder.empty() ? ordered_json() : Text(question.Folder);
    list.push_back(std::move(item));
  }
  return list;
}

// ---- the dry run ------------------------------------------------------------

int DryRun(TPrepared& prepared, bool json) {
  const settings::TMoraInstallSet& settings = *prepared.Medium.Settings;
  const installer::TInstallRequest& request = prepared.Request;
  std::size_t nextMedia = 0;
  const installer::TDiskFolderSource diskFolder = [&](int) {
    return nextMedia < prepared.MediaFolders.size() ? prepared.MediaFolders[nextMedia++]
                                                    : std::string();
  };
  const installer::TInstallPlan plan = installer::PlanInstallation(
      settings, prepared.Medium.Archive.Archive.get(), request, diskFolder);
  const std::int64_t freeBytes = platform::DiskFreeBytes(request.DestDir.substr(0, 1) + ":\\");
  const TEnd end = plan.MissingDisk >= 0 ? MissingDisk : TEnd{ExitOk, "planned"};

  if (json) {
    ordered_json out;
    out["dryRun"] = true;
    out["result"] = end.Result;
    out["dest"] = Text(plan.DestDir);
    out["deletes"] = TextList(plan.Deleted);
    auto files = ordered_json::array();
    for (const installer::TPlannedFile& file : plan.Files) {
      ordered_json item;
      item["name"] = Text(file.Name);
      item["size"] = file.Size;
      files.push_back(std::move(item));
    }
    out["files"] = std::move(files);
    out["installedFiles"] = TextList(plan.InstalledFiles);
    out["dataInstalled"] = plan.DataInstalled;
    if (plan.RegistryKey.empty()) {
      out["registry"] = nullptr;
    } else {
      out["registry"] = {{"key", Text("HKEY_CURRENT_USER\\" + plan.RegistryKey)},
                         {"value", Text(plan.RegistryValue)},
                         {"data", Text(plan.RegistryData)}};
    }
    if (plan.ProgramGroup.empty()) {
      out["shortcuts"] = nullptr;
    } else {
      auto links = ordered_json::array();
      for (const installer::TProgramGroupLink& link : plan.Links) {
        links.push_back({{"name", Text(link.Name)},
                         {"target", Text(link.Target)},
                         {"iconIndex", link.IconIndex}});
      }
      out["shortcuts"] = {{"group", Text(plan.ProgramGroup)}, {"links", std::move(links)}};
    }
    out["readme"] = plan.Readme.empty() ? ordered_json() : Text(plan.Readme);
    out["diskQuestions"] = DiskQuestionsJson(plan.DiskQuestions);
    out["requiredBytes"] = request.RequiredBytes;
    out["writtenBytes"] = plan.WrittenBytes();
    out["freeBytes"] = freeBytes;
    std::cout << out.dump(2) << "\n";
    return end.Code;
  }

  std::cout << "Dry run: nothing is written.\n"
            << "Title:        " << ToTerminal(settings.Title) << "\n"
            << "Destination:  " << Native(plan.DestDir) << " (" << ToTerminal(plan.DestDir)
            << ")\n";
  for (const std::string& name : plan.Deleted) {
    std::cout << "Deletes first:  " << ToTerminal(name) << "\n";
  }
  std::cout << "Writes:\n";
  for (const installer::TPlannedFile& file : plan.Files) {
    std::printf("  %15s  %s\n", Grouped(file.Size).c_str(), ToTerminal(file.Name).c_str());
  }
  std::cout << std::flush;
  std::cout << "  " << Grouped(plan.WrittenBytes()) << " bytes in " << plan.Files.size()
            << " files; install.dat would record " << plan.InstalledFiles.size() << " names\n";
  if (!plan.RegistryKey.empty()) {
    std::cout << "Registry:     HKEY_CURRENT_USER\\" << ToTerminal(plan.RegistryKey) << "  "
              << ToTerminal(plan.RegistryValue) << " = " << ToTerminal(plan.RegistryData) << "\n";
  }
  if (!plan.ProgramGroup.empty()) {
    std::cout << "Program group " << ToTerminal(plan.ProgramGroup) << ":\n";
    for (const installer::TProgramGroupLink& link : plan.Links) {
      std::cout << "  " << ToTerminal(link.Name) << " -> " << ToTerminal(link.Target) << " (icon "
                << link.IconIndex << ")\n";
    }
  }
  if (!plan.Readme.empty()) std::cout << "Read me:      " << Native(plan.Readme) << "\n";
  std::cout << "Space:        the chosen parts need " << Grouped(request.RequiredBytes)
            << " bytes; ";
  if (freeBytes >= 0) {
    std::cout << Grouped(freeBytes) << " bytes are free on drive " << request.DestDir.substr(0, 2)
              << "\n";
  } else {
    std::cout << "the free space of drive " << request.DestDir.substr(0, 2) << " is unknown\n";
  }
  if (plan.MissingDisk >= 0) {
    std::cout << "Disk " << plan.MissingDisk + 1
              << " was not given (--media): the installation would stop there\n";
  }
  return end.Code;
}

// ---- the installation -------------------------------------------------------

int RunInstall(TPrepared& prepared, const TInstallArguments& arguments) {
  settings::TMoraInstallSet& settings = *prepared.Medium.Settings;
  const installer::TInstallRequest& request = prepared.Request;
  TTerminalOptions options;
  options.AssumeYes = arguments.Yes;
  options.MediaFolders = prepared.MediaFolders;
  TTerminalObserver observer(options);
  installer::TMoraInstallEngine engine(installer::ProgramGroupServices());

  CatchInterrupt();
  TEnd end = Installed;
  installer::TStepOutcome outcome = installer::TStepOutcome::Stopped;
  try {
    outcome = engine.Install(settings, prepared.Medium.Archive.Archive.get(), request, observer);
  } catch (...) {
    observer.Finish();
    end = EndAfterFailure(std::current_exception());
  }
  observer.Finish();
  const bool finished = end.Code == ExitOk && outcome == installer::TStepOutcome::Finished;
  if (end.Code == ExitOk && !finished) {
    if (outcome == installer::TStepOutcome::Closed) {
      end = Failed;
    } else if (observer.DiskMissing()) {
      end = MissingDisk;
    } else if (observer.UserStopped()) {
      end = Cancelled;
      std::cerr << "mora: the installation was stopped; what was written so far stays\n";
    } else {
      // The one stop nobody asked for: the built archive failed its check.
      end = Damaged;
    }
  }

  // What the run left, read back where it was recorded.
  const std::string& dest = request.DestDir;
  const bool recorded = finished && settings.SetupKind != 2;
  std::optional<settings::TMoraInstallSet> record;
  if (recorded) {
    try {
      record.emplace();
      record->LoadFromFile(dest + "install.dat");
    } catch (...) {
      record.reset();
      end = EndAfterFailure(std::current_exception());
    }
  } else if (finished) {
    record = settings;
  }
  ordered_json registry;
  if (recorded && !settings.RegistryKey.empty()) {
    const std::string key = "Software\\" + settings.RegistryKey;
    const auto value = platform::RegQueryValue(platform::TRootKey::CurrentUser, key, "InstallPath");
    if (value) {
      registry = {{"key", Text("HKEY_CURRENT_USER\\" + key)},
                  {"value", "InstallPath"},
                  {"data", Text(value->Data)}};
    }
  }
  const bool grouped = recorded && settings.AddOnPackage == 0;

  if (arguments.Json) {
    ordered_json out;
    out["result"] = end.Result;
    out["dest"] = Text(dest);
    out["installedFiles"] = record ? TextList(record->InstalledFiles) : ordered_json();
    out["dataInstalled"] = record ? ordered_json(record->DataInstalled != 0) : ordered_json();
    out["registry"] = registry;
    out["shortcuts"] = grouped ? ShortcutsJson(settings.Title) : ordered_json();
    out["readme"] = observer.Document().empty() ? ordered_json() : Text(observer.Document());
    out["diskQuestions"] = DiskQuestionsJson(observer.DiskQuestions());
    std::cout << out.dump(2) << "\n";
  } else if (finished && record) {
    std::cout << "Installed " << ToTerminal(settings.Title) << " into " << Native(dest) << " ("
              << record->InstalledFiles.size() << " files recorded)\n";
    if (grouped) std::cout << "Program group: " << ToTerminal(settings.Title) << "\n";
    if (!registry.is_null()) {
      std::cout << "Registry: " << registry["key"].get<std::string>()
                << "  InstallPath = " << registry["data"].get<std::string>() << "\n";
    }
    if (!observer.Document().empty()) {
      std::cout << "Read me: " << Native(observer.Document()) << "\n";
    }
  }
  return end.Code;
}

// Opens the medium and works out the request as the wizard would; nullopt
// after a message when the run cannot start (exitCode tells why).
std::optional<TPrepared> Prepare(const TInstallArguments& arguments, int& exitCode) {
  if (arguments.AllDisks && arguments.ThisDisk) {
    std::cerr << "mora install: --all-disks and --this-disk exclude each other\n";
    exitCode = ExitUsage;
    return std::nullopt;
  }
  std::optional<installer::TPartChoice> chosenParts;
  if (!arguments.Parts.empty()) {
    chosenParts = ParseParts(arguments.Parts);
    if (!chosenParts) {
      std::cerr << "mora install: --parts takes data, sound and movie separated by commas, "
                   "or none (not \""
                << arguments.Parts << "\")\n";
      exitCode = ExitUsage;
      return std::nullopt;
    }
  }
  const std::string path = PathArgument(arguments.Medium);
  if (!platform::FileExists(path) && !platform::DirectoryExists(path)) {
    std::cerr << "mora: " << arguments.Medium << ": no such file or folder\n";
    exitCode = ExitMissing;
    return std::nullopt;
  }
  TPrepared prepared;
  for (const std::string& folder : arguments.Media) {
    const std::string media = PathArgument(folder);
    if (!platform::DirectoryExists(media)) {
      std::cerr << "mora: " << folder << ": no such folder (--media)\n";
      exitCode = ExitMissing;
      return std::nullopt;
    }
    prepared.MediaFolders.push_back(settings::AppendPathDelimiter(media));
  }
  try {
    prepared.Medium = installer::OpenMedium(installer::StartForMedium(path));
  } catch (...) {
    exitCode = EndAfterFailure(std::current_exception()).Code;
    return std::nullopt;
  }
  const settings::TMoraInstallSet& settings = *prepared.Medium.Settings;
  if (settings.UninstallMode != 0) {
    std::cerr << "mora: " << arguments.Medium
              << " is an installation, not a medium (mora uninstall removes it)\n";
    exitCode = ExitUsage;
    return std::nullopt;
  }

  installer::TInstallRequest& request = prepared.Request;
  // A setup program carrying its archive stands on its medium: its folder
  // holds the loose files (the program started without an argument would
  // look at the root of the current drive).
  const std::string& sourceDir = prepared.Medium.SourceDir;
  request.SourceFolder = settings::AppendPathDelimiter(
      sourceDir.empty() ? archive::ExtractFilePath(prepared.Medium.Start.ProgramFile) : sourceDir);
  request.AllDisks =
      arguments.AllDisks || (!arguments.ThisDisk && installer::DefaultAllDisks(settings));
  const installer::TPartChoice parts =
      chosenParts ? *chosenParts : installer::DefaultParts(settings);
  request.Data = parts.Data;
  request.Sound = parts.Sound;
  request.Movie = parts.Movie;
  request.RequiredBytes = installer::RequiredBytesFor(settings, request.AllDisks, parts);

  if (settings.SetupKind == 2) {
    if (!arguments.Dest.empty()) {
      std::cerr << "mora install: this title installs into the Windows folder; --dest cannot "
                   "choose another\n";
      exitCode = ExitUsage;
      return std::nullopt;
    }
    request.DestDir = installer::DestDirFor(settings, "");
    return prepared;
  }
  std::string chosen =
      arguments.Dest.empty()
          ? installer::DefaultDestination(settings, platform::WindowsVersion()).Dest
          : PathArgument(arguments.Dest);
  if (chosen.size() > 3 && base::EndsWithPathDelimiter(chosen)) chosen.pop_back();
  const installer::TDestinationCheck check = installer::CheckDestination(settings, chosen);
  if (check != installer::TDestinationCheck::Ok) {
    std::cerr << "mora: " << MessageText(base::Sjis("正しいインストール先を指定してください"))
              << "\n"
              << "mora: " << Native(chosen)
              << (check == installer::TDestinationCheck::TooShort
                      ? ": a drive's root cannot take the installation\n"
                      : ": no installation of this title to add to\n");
    exitCode = ExitFailure;
    return std::nullopt;
  }
  request.DestDir = installer::DestDirFor(settings, chosen);
  if (arguments.DryRun) return prepared;

  const std::int64_t free = installer::FreeMegabytes(request.DestDir[0], platform::DiskFreeBytes);
  if (free < installer::NeededMegabytes(request.RequiredBytes)) {
    std::cerr << "mora: "
              << MessageText(base::Sjis(
                     "ドライブにじゅうぶんな空き容量がありません\r\nこのまま処理を続けますか？"))
              << "\n";
    const bool goOn = arguments.Yes || (CanAsk() && AskYesNo("", false));
    if (!goOn) {
      if (!CanAsk()) std::cerr << "mora: --yes installs all the same\n";
      exitCode = ExitFailure;
      return std::nullopt;
    }
  }
  return prepared;
}

int Install(const TInstallArguments& arguments) {
  int exitCode = ExitOk;
  std::optional<TPrepared> prepared = Prepare(arguments, exitCode);
  if (!prepared) return exitCode;
  if (arguments.DryRun) {
    try {
      return DryRun(*prepared, arguments.Json);
    } catch (...) {
      return EndAfterFailure(std::current_exception()).Code;
    }
  }
  return RunInstall(*prepared, arguments);
}

const TCommandRegistration Registration(40, [](CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("install", "Install a title from its medium");
  auto arguments = std::make_shared<TInstallArguments>();
  command
      ->add_option("MEDIUM", arguments->Medium,
                   "The medium folder (holding install.dat) or a setup program carrying the "
                   "archive (an add-on)")
      ->required();
  command->add_option("--dest", arguments->Dest,
                      "Installation folder (default: the one the setup program proposes)");
  command->add_option("--parts", arguments->Parts,
                      "Parts besides the program: data, sound, movie separated by commas, or "
                      "none (default: the setup program's choice)");
  command->add_flag("--all-disks", arguments->AllDisks, "Install every disk of the set");
  command->add_flag("--this-disk", arguments->ThisDisk, "Install only the disk given");
  command
      ->add_option("--media", arguments->Media,
                   "Folder of the next disk asked for (repeat for further disks)")
      ->allow_extra_args(false);
  command->add_flag("--dry-run", arguments->DryRun,
                    "Show what would be written, and the space needed, without writing");
  command->add_flag("--yes", arguments->Yes,
                    "Ask nothing: go on despite too little free space; a disk not given ends "
                    "the run");
  command->add_flag("--json", arguments->Json, "Print one JSON object at the end");
  command->callback([arguments, &exitCode] { exitCode = Install(*arguments); });
});

}  // namespace
}  // namespace mora::cli
