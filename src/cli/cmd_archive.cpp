// mora list MEDIUM [--json] [--include PATTERN]... [--lowercase],
// mora extract MEDIUM [-o DIR] [--include PATTERN]... [--lowercase] [NAME...]
// and mora test MEDIUM: inspect, unpack and check a game archive. MEDIUM is a
// game.dat (with its companion .ext beside it), a setup program carrying the
// archive as its resource or appended to it, or a medium folder; the archive
// is found as the setup program finds it (installer/medium.h).
// Missing files and names exit with ExitMissing, damaged data with
// ExitDamaged, names that would leave the output folder or land on the same
// file as another entry's with ExitFailure, before anything is written.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/namepattern.h"
#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "cli/commands.h"
#include "installer/medium.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/streams.h"
#include "platform/system.h"

namespace mora::cli {
namespace {

using archive::TNamePattern;
using archive::TVrFile;
using archive::TVrFileCollection;

// An argument as a 932 name (for entry names typed in UTF-8).
std::string NameArgument(const std::string& argument) {
  try {
    return base::Utf8ToCp932(argument);
  } catch (const base::EConvertError&) {
    return argument;
  }
}

bool IsSentinel(const TVrFile& file) { return file.Name() == archive::SentinelName; }
bool IsSuperseded(const TVrFile& file) { return !file.Name().empty() && file.Name()[0] == '/'; }

// Runs body with the medium's archive open; failures end the run through
// the one failure path.
template <class TBody>
int WithArchive(const std::string& argument, TBody&& body) {
  const std::string path = PathArgument(argument);
  if (const auto missing = CheckInputExists(argument, path)) return *missing;
  try {
    installer::TMediumArchive medium =
        installer::OpenMediumArchive(installer::InspectedMedium(path));
    return body(*medium.Archive);
  } catch (...) {
    return ReportFailure(std::current_exception());
  }
}

// Which entries list and extract take, and how their names are shown and
// written.
struct TSelection {
  std::vector<std::string> Include;  // patterns as typed (UTF-8); none: every entry
  bool Lowercase = false;
};

// The --include patterns as 932 patterns; nullopt after a message when one
// cannot be written in code page 932 (no entry name could match it).
std::optional<std::vector<TNamePattern>> CompilePatterns(const TSelection& selection) {
  std::vector<TNamePattern> patterns;
  for (const std::string& text : selection.Include) {
    try {
      patterns.emplace_back(base::Utf8ToCp932(text));
    } catch (const base::EConvertError&) {
      std::cerr << "mora: --include " << text << ": not a name that code page 932 can hold\n";
      return std::nullopt;
    }
  }
  return patterns;
}

bool Selected(const std::vector<TNamePattern>& patterns, std::string_view name) {
  if (patterns.empty()) return true;
  for (const TNamePattern& pattern : patterns) {
    if (pattern.Matches(name)) return true;
  }
  return false;
}

// The name an entry is listed and extracted under: "/" between components
// as "\", in lower case with --lowercase (ASCII letters only; double-byte
// characters stay as they are).
std::string OutputName(std::string_view name, const TSelection& selection) {
  std::string relative = selection.Lowercase ? base::LowerCase932(name) : std::string(name);
  for (std::size_t i = 0; i < relative.size(); ++i) {
    if (relative[i] == '/' && base::IsCharStart(relative, i)) relative[i] = '\\';
  }
  return relative;
}

std::string FormatDosTime(std::int32_t value) {
  if (value == 0) return "-";
  const auto bits = static_cast<std::uint32_t>(value);
  const unsigned date = bits >> 16;
  const unsigned time = bits & 0xFFFF;
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9),
                (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return text;
}

int ListArchive(const std::string& argument, bool json, const TSelection& selection) {
  const auto patterns = CompilePatterns(selection);
  if (!patterns) return ExitUsage;
  const auto shown = [&](const TVrFile& file) {
    return selection.Lowercase ? base::LowerCase932(file.Name()) : std::string(file.Name());
  };
  return WithArchive(argument, [&](TVrFileCollection& collection) {
    if (json) {
      auto list = nlohmann::ordered_json::array();
      for (int i = 0; i < collection.Count(); ++i) {
        const TVrFile& file = collection.Entries(i);
        if (IsSentinel(file) || !Selected(*patterns, file.Name())) continue;
        nlohmann::ordered_json entry;
        entry["Name"] = ToTerminal(shown(file));
        entry["Offset"] = file.Offset;
        entry["Size"] = file.Size;
        entry["Stored"] = file.Stored != 0;
        entry["FileTime"] = file.FileTime;
        entry["CRC"] = file.CRC;
        entry["InstallAsFile"] = file.InstallAsFile != 0;
        list.push_back(std::move(entry));
      }
      std::cout << list.dump(2) << "\n";
      return ExitOk;
    }
    std::printf("%12s %12s %-6s %-19s %-8s %-4s %s\n", "Offset", "Size", "Kind", "Time", "CRC",
                "File", "Name");
    int count = 0;
    std::int64_t total = 0;
    for (int i = 0; i < collection.Count(); ++i) {
      const TVrFile& file = collection.Entries(i);
      if (IsSentinel(file) || !Selected(*patterns, file.Name())) continue;
      std::printf("%12lld %12lld %-6s %-19s %08X %-4s %s\n", static_cast<long long>(file.Offset),
                  static_cast<long long>(file.Size), file.Stored != 0 ? "stored" : "zlib",
                  FormatDosTime(file.FileTime).c_str(), file.CRC,
                  file.InstallAsFile != 0 ? "yes" : "-", ToTerminal(shown(file)).c_str());
      ++count;
      total += file.Size;
    }
    std::printf("%d entries, %lld bytes stored\n", count, static_cast<long long>(total));
    return ExitOk;
  });
}

// Shows "n/total name" on one line of stderr when it is a terminal, once a
// run has taken longer than a moment, and redraws it a few times a second.
class TProgressLine {
 public:
  explicit TProgressLine(int total)
      : FTotal(total),
        FEnabled(platform::IsTerminal(platform::TStandardStream::Error) && total > 1),
        FStart(std::chrono::steady_clock::now()) {}
  ~TProgressLine() { Clear(); }
  void Show(int index, std::string_view name) {
    if (!FEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - FStart < ShowAfter || (FShown && now - FLastDraw < Redraw)) return;
    FShown = true;
    FLastDraw = now;
    std::cerr << "\r\033[K" << (index + 1) << "/" << FTotal << " " << ToTerminal(name)
              << std::flush;
  }
  void Clear() {
    if (FEnabled && FShown) std::cerr << "\r\033[K" << std::flush;
    FShown = false;
  }

 private:
  static constexpr std::chrono::milliseconds ShowAfter{500};
  static constexpr std::chrono::milliseconds Redraw{100};
  int FTotal;
  bool FEnabled;
  bool FShown = false;
  std::chrono::steady_clock::time_point FStart;
  std::chrono::steady_clock::time_point FLastDraw{};
};

// Two chosen entries that would land on the same file or where one needs a
// folder of the other's name. Names are compared without regard to ASCII
// case on every system, so the outcome is the same on a file system that
// tells case apart and on one that does not. Prints both names and answers
// true.
bool ReportCollision(const std::string& argument, const TVrFileCollection& collection,
                     const std::vector<int>& chosen, const TSelection& selection) {
  // Every target name and every folder it needs, folded, with the entry
  // that claims it.
  std::unordered_map<std::string, int> files;
  std::unordered_map<std::string, int> folders;
  const auto clash = [&](int first, int second, const char* how) {
    std::cerr << "mora: " << argument << ": entries \""
              << ToTerminal(collection.Entries(first).Name()) << "\" and \""
              << ToTerminal(collection.Entries(second).Name()) << "\" " << how
              << "; nothing extracted (--include can take them one at a time)\n";
    return true;
  };
  for (const int index : chosen) {
    const std::string target =
        base::LowerCase932(OutputName(collection.Entries(index).Name(), selection));
    if (const auto found = files.find(target); found != files.end()) {
      return clash(found->second, index, "would be written to the same file");
    }
    if (const auto found = folders.find(target); found != folders.end()) {
      return clash(found->second, index, "need the same name as a file and as a folder");
    }
    files.emplace(target, index);
    for (std::size_t i = 0; i < target.size(); ++i) {
      if (!base::IsPathDelimiter(target, i)) continue;
      const std::string folder = target.substr(0, i);
      if (const auto found = files.find(folder); found != files.end()) {
        return clash(found->second, index, "need the same name as a file and as a folder");
      }
      folders.emplace(folder, index);
    }
  }
  return false;
}

int ExtractArchive(const std::string& argument, const std::string& outputArgument,
                   const std::vector<std::string>& nameArguments, const TSelection& selection) {
  const auto patterns = CompilePatterns(selection);
  if (!patterns) return ExitUsage;
  return WithArchive(argument, [&](TVrFileCollection& collection) {
    std::string folder =
        outputArgument.empty() ? platform::CurrentFolder() : PathArgument(outputArgument);
    if (!base::EndsWithPathDelimiter(folder)) folder += '\\';

    std::vector<int> chosen;
    if (nameArguments.empty()) {
      for (int i = 0; i < collection.Count(); ++i) {
        const TVrFile& file = collection.Entries(i);
        if (!IsSentinel(file) && !IsSuperseded(file) && Selected(*patterns, file.Name())) {
          chosen.push_back(i);
        }
      }
    } else {
      // Names given pick their entries; --include narrows them further.
      for (const std::string& argumentName : nameArguments) {
        const int index = collection.IndexOf(NameArgument(argumentName));
        if (index < 0 || IsSentinel(collection.Entries(index))) {
          std::cerr << "mora: " << argument << ": no entry named " << argumentName << "\n";
          return ExitMissing;
        }
        const bool named = std::find(chosen.begin(), chosen.end(), index) != chosen.end();
        if (!named && Selected(*patterns, collection.Entries(index).Name())) {
          chosen.push_back(index);
        }
      }
    }
    // Refuse the whole extraction before writing anything.
    for (const int index : chosen) {
      const std::string_view name = collection.Entries(index).Name();
      if (!archive::IsSafeEntryPath(name)) {
        std::cerr << "mora: " << argument << ": entry \"" << ToTerminal(name)
                  << "\" would be written outside the output folder; nothing extracted\n";
        return ExitFailure;
      }
    }
    if (ReportCollision(argument, collection, chosen, selection)) return ExitFailure;

    TProgressLine progress(static_cast<int>(chosen.size()));
    for (std::size_t n = 0; n < chosen.size(); ++n) {
      const TVrFile& file = collection.Entries(chosen[n]);
      progress.Show(static_cast<int>(n), file.Name());
      const std::string target = folder + OutputName(file.Name(), selection);
      const std::size_t delimiter = base::LastPathDelimiter(target);
      if (delimiter != std::string::npos) platform::ForceDirectories(target.substr(0, delimiter));
      try {
        collection.ExtractEntryToFile(std::string(file.Name()), target);
        if (file.FileTime != 0) platform::SetFileDosTime(target, file.FileTime);
      } catch (const base::EZDecompressionError&) {
        progress.Clear();
        std::cerr << "mora: " << argument << ": " << ToTerminal(file.Name())
                  << ": damaged zlib data\n";
        return ExitDamaged;
      } catch (...) {
        progress.Clear();
        return ReportFailure(std::current_exception(), argument + ": " + ToTerminal(file.Name()));
      }
    }
    progress.Clear();
    if (chosen.empty()) {
      std::cerr << "mora: " << argument << ": no entry matches; nothing extracted\n";
    }
    return ExitOk;
  });
}

int TestArchive(const std::string& argument) {
  return WithArchive(argument, [&](TVrFileCollection& collection) {
    int bad = -1;
    if (!collection.Verify(&bad)) {
      std::cout << argument << ": " << ToTerminal(collection.Entries(bad).Name())
                << ": check value does not match\n";
      return ExitDamaged;
    }
    int count = 0;
    for (int i = 0; i < collection.Count(); ++i) {
      const TVrFile& file = collection.Entries(i);
      if (IsSentinel(file)) continue;
      ++count;
      if (IsSuperseded(file) || (file.Stored != 0 && file.InstallAsFile == 0)) continue;
      // Inflated piece by piece into a check value, never held whole.
      archive::TCrc32Stream content;
      try {
        collection.LoadEntry(content, std::string(file.Name()));
      } catch (const base::EZDecompressionError&) {
        std::cout << argument << ": " << ToTerminal(file.Name()) << ": damaged zlib data\n";
        return ExitDamaged;
      }
      // Entries installed as files carry the check value of their content.
      if (file.InstallAsFile != 0 && file.CRC != 0 && content.CRC() != file.CRC) {
        std::cout << argument << ": " << ToTerminal(file.Name())
                  << ": check value does not match\n";
        return ExitDamaged;
      }
    }
    std::cout << argument << ": " << count << " entries, all sound\n";
    return ExitOk;
  });
}

const char* const MediumHelp = "game.dat, a setup program carrying the archive, or a medium folder";

void AddSelectionOptions(CLI::App& command, TSelection& selection) {
  command
      .add_option("--include", selection.Include,
                  "Only entries whose name matches this glob (repeatable): * within one "
                  "folder level, ** across levels, ?, [...]; case ignored, / or \\ between "
                  "folders")
      ->allow_extra_args(false);
  command.add_flag("--lowercase", selection.Lowercase,
                   "Names in lower case (ASCII letters; what extract writes)");
}

const TCommandRegistration Registration(20, [](CLI::App& app, int& exitCode) {
  {
    auto* command = app.add_subcommand("list", "List the entries of a game archive");
    auto archive = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto selection = std::make_shared<TSelection>();
    command->add_option("MEDIUM", *archive, MediumHelp)->required();
    command->add_flag("--json", *json, "Print a JSON array of the entries");
    AddSelectionOptions(*command, *selection);
    command->callback([archive, json, selection, &exitCode] {
      exitCode = ListArchive(*archive, *json, *selection);
    });
  }
  {
    auto* command = app.add_subcommand("extract", "Extract entries of a game archive");
    auto archive = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    auto selection = std::make_shared<TSelection>();
    command->add_option("MEDIUM", *archive, MediumHelp)->required();
    command->add_option("-o,--output", *output, "Folder to extract into (default: current)");
    AddSelectionOptions(*command, *selection);
    command->add_option("NAME", *names, "Entries to extract (default: all current ones)");
    command->callback([archive, output, names, selection, &exitCode] {
      exitCode = ExtractArchive(*archive, *output, *names, *selection);
    });
  }
  {
    auto* command = app.add_subcommand("test", "Check every entry of a game archive");
    auto archive = std::make_shared<std::string>();
    command->add_option("MEDIUM", *archive, MediumHelp)->required();
    command->callback([archive, &exitCode] { exitCode = TestArchive(*archive); });
  }
});

}  // namespace
}  // namespace mora::cli
