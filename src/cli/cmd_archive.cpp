// mora list MEDIUM [--json], mora extract MEDIUM [-o DIR] [NAME...] and
// mora test MEDIUM: inspect, unpack and check a game archive. MEDIUM is a
// game.dat (with its companion .ext beside it), a setup program carrying the
// archive as its resource or appended to it, or a medium folder; the archive
// is found as the setup program finds it (installer/medium.h).
// Missing files and names exit with ExitMissing, damaged data with
// ExitDamaged, names that would leave the output folder with ExitFailure.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "cli/commands.h"
#include "installer/medium.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/streams.h"

namespace mora::cli {
namespace {

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

// Runs body with the medium's archive open, mapping the failures to exit
// codes.
template <class TBody>
int WithArchive(const std::string& argument, TBody&& body) {
  const std::string path = PathArgument(argument);
  if (!platform::FileExists(path) && !platform::DirectoryExists(path)) {
    std::cerr << "mora: " << argument << ": no such file or folder\n";
    return ExitMissing;
  }
  try {
    installer::TMediumArchive medium = installer::OpenMediumArchive(path);
    return body(*medium.Archive);
  } catch (const installer::EMediumMissing& e) {
    std::cerr << "mora: " << ToTerminal(e.Message()) << "\n";
    return ExitMissing;
  } catch (const base::EDamagedData& e) {
    std::cerr << "mora: " << ToTerminal(e.Message()) << "\n";
    return ExitDamaged;
  } catch (const base::EResNotFound& e) {
    std::cerr << "mora: " << argument << ": " << ToTerminal(e.Message()) << "\n";
    return ExitDamaged;
  }
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

int ListArchive(const std::string& argument, bool json) {
  return WithArchive(argument, [&](TVrFileCollection& collection) {
    if (json) {
      auto list = nlohmann::ordered_json::array();
      for (int i = 0; i < collection.Count(); ++i) {
        const TVrFile& file = collection.Entries(i);
        if (IsSentinel(file)) continue;
        nlohmann::ordered_json entry;
        entry["Name"] = ToTerminal(file.Name());
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
      if (IsSentinel(file)) continue;
      std::printf("%12lld %12lld %-6s %-19s %08X %-4s %s\n", static_cast<long long>(file.Offset),
                  static_cast<long long>(file.Size), file.Stored != 0 ? "stored" : "zlib",
                  FormatDosTime(file.FileTime).c_str(), file.CRC,
                  file.InstallAsFile != 0 ? "yes" : "-", ToTerminal(file.Name()).c_str());
      ++count;
      total += file.Size;
    }
    std::printf("%d entries, %lld bytes stored\n", count, static_cast<long long>(total));
    return ExitOk;
  });
}

// Shows "n/total name" on one line of stderr when it is a terminal.
class TProgressLine {
 public:
  explicit TProgressLine(int total) : FTotal(total), FEnabled(isatty(2) != 0 && total > 1) {}
  ~TProgressLine() {
    if (FEnabled && FShown) std::cerr << "\r\033[K" << std::flush;
  }
  void Show(int index, const std::string& name) {
    if (!FEnabled) return;
    FShown = true;
    std::cerr << "\r\033[K" << (index + 1) << "/" << FTotal << " " << ToTerminal(name)
              << std::flush;
  }

 private:
  int FTotal;
  bool FEnabled;
  bool FShown = false;
};

int ExtractArchive(const std::string& argument, const std::string& outputArgument,
                   const std::vector<std::string>& nameArguments) {
  return WithArchive(argument, [&](TVrFileCollection& collection) {
    std::string folder = outputArgument.empty() ? platform::CurrentFolder()
                                                : PathArgument(outputArgument);
    if (!base::EndsWithPathDelimiter(folder)) folder += '\\';

    std::vector<int> chosen;
    if (nameArguments.empty()) {
      for (int i = 0; i < collection.Count(); ++i) {
        const TVrFile& file = collection.Entries(i);
        if (!IsSentinel(file) && !IsSuperseded(file)) chosen.push_back(i);
      }
    } else {
      for (const std::string& argumentName : nameArguments) {
        const int index = collection.IndexOf(NameArgument(argumentName));
        if (index < 0 || IsSentinel(collection.Entries(index))) {
          std::cerr << "mora: " << argument << ": no entry named " << argumentName << "\n";
          return ExitMissing;
        }
        chosen.push_back(index);
      }
    }
    // Refuse the whole extraction before writing anything.
    for (const int index : chosen) {
      const std::string& name = collection.Entries(index).Name();
      if (!archive::IsSafeEntryPath(name)) {
        std::cerr << "mora: " << argument << ": entry \"" << ToTerminal(name)
                  << "\" would be written outside the output folder; nothing extracted\n";
        return ExitFailure;
      }
    }

    TProgressLine progress(static_cast<int>(chosen.size()));
    for (std::size_t n = 0; n < chosen.size(); ++n) {
      const TVrFile& file = collection.Entries(chosen[n]);
      progress.Show(static_cast<int>(n), file.Name());
      std::string relative = file.Name();
      for (std::size_t i = 0; i < relative.size(); ++i) {
        if (relative[i] == '/' && base::IsCharStart(relative, i)) relative[i] = '\\';
      }
      const std::string target = folder + relative;
      const std::size_t delimiter = base::LastPathDelimiter(target);
      if (delimiter != std::string::npos) platform::ForceDirectories(target.substr(0, delimiter));
      try {
        collection.ExtractEntryToFile(file.Name(), target);
        if (file.FileTime != 0) platform::SetFileDosTime(target, file.FileTime);
      } catch (const base::EZDecompressionError&) {
        std::cerr << "\nmora: " << argument << ": " << ToTerminal(file.Name())
                  << ": damaged zlib data\n";
        return ExitDamaged;
      } catch (const base::EReadError& e) {
        std::cerr << "\nmora: " << argument << ": " << ToTerminal(file.Name()) << ": "
                  << ToTerminal(e.Message()) << "\n";
        return ExitDamaged;
      }
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
        collection.LoadEntry(content, file.Name());
      } catch (const base::EZDecompressionError&) {
        std::cout << argument << ": " << ToTerminal(file.Name()) << ": damaged zlib data\n";
        return ExitDamaged;
      }
      // Entries installed as files carry the check value of their content.
      if (file.InstallAsFile != 0 && file.CRC != 0 &&
          content.CRC() != file.CRC) {
        std::cout << argument << ": " << ToTerminal(file.Name())
                  << ": check value does not match\n";
        return ExitDamaged;
      }
    }
    std::cout << argument << ": " << count << " entries, all sound\n";
    return ExitOk;
  });
}

const char* const MediumHelp =
    "game.dat, a setup program carrying the archive, or a medium folder";

const TCommandRegistration Registration(20, [](CLI::App& app, int& exitCode) {
  {
    auto* command = app.add_subcommand("list", "List the entries of a game archive");
    auto archive = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    command->add_option("MEDIUM", *archive, MediumHelp)
        ->required();
    command->add_flag("--json", *json, "Print a JSON array of the entries");
    command->callback([archive, json, &exitCode] { exitCode = ListArchive(*archive, *json); });
  }
  {
    auto* command = app.add_subcommand("extract", "Extract entries of a game archive");
    auto archive = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    command->add_option("MEDIUM", *archive, MediumHelp)
        ->required();
    command->add_option("-o,--output", *output, "Folder to extract into (default: current)");
    command->add_option("NAME", *names, "Entries to extract (default: all current ones)");
    command->callback([archive, output, names, &exitCode] {
      exitCode = ExtractArchive(*archive, *output, *names);
    });
  }
  {
    auto* command = app.add_subcommand("test", "Check every entry of a game archive");
    auto archive = std::make_shared<std::string>();
    command->add_option("MEDIUM", *archive, MediumHelp)
        ->required();
    command->callback([archive, &exitCode] { exitCode = TestArchive(*archive); });
  }
});

}  // namespace
}  // namespace mora::cli
