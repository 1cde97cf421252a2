// mora settings FILE [--json]: shows an install.dat, one "Field: value" line
// per field, or as one JSON object keyed by the field names. Texts are
// converted from code page 932 to UTF-8. A missing file exits with
// ExitMissing, an unreadable or damaged one with ExitDamaged.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/sjis.h"
#include "cli/commands.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "settings/installset.h"

namespace mora::cli {
namespace {

using settings::TMoraInstallSet;

// Calls visit(name, value) for every field in file order; value is a
// std::string (932), an integer, a span of sizes or a list of 932 strings.
template <class TVisit>
void ForEachField(const TMoraInstallSet& s, TVisit&& visit) {
  visit("FormatVersion", static_cast<std::int64_t>(s.FormatVersion()));
  visit("DiskIndex", static_cast<std::int64_t>(s.DiskIndex));
  visit("Title", s.Title);
  visit("FooterText", s.FooterText);
  visit("DefaultDir", s.DefaultDir);
  visit("ReadmeFile", s.ReadmeFile);
  visit("ShowReadme", static_cast<std::int64_t>(s.ShowReadme));
  visit("BackgroundPicture", s.BackgroundPicture);
  visit("BackgroundLayout", static_cast<std::int64_t>(s.BackgroundLayout));
  visit("DiskCount", static_cast<std::int64_t>(s.DiskCount()));
  visit("ProgramFile", s.ProgramFile);
  visit("PictureSeed", static_cast<std::int64_t>(s.PictureSeed));
  visit("ShowRuntimeButtons", static_cast<std::int64_t>(s.ShowRuntimeButtons));
  visit("SpareFlag", static_cast<std::int64_t>(s.SpareFlag));
  visit("MediaName", s.MediaName);
  visit("RegistryKey", s.RegistryKey);
  visit("DiskProgramSizes", s.DiskProgramSizes());
  visit("DiskDataSizes", s.DiskDataSizes());
  visit("DiskSoundSizes", s.DiskSoundSizes());
  visit("DiskMovieSizes", s.DiskMovieSizes());
  visit("ProgramSize", s.ProgramSize);
  visit("DataSize", s.DataSize);
  visit("SoundSize", s.SoundSize);
  visit("MovieSize", s.MovieSize);
  visit("UninstallMode", static_cast<std::int64_t>(s.UninstallMode));
  visit("AddOnPackage", static_cast<std::int64_t>(s.AddOnPackage));
  visit("InstalledFiles", s.InstalledFiles);
  visit("DataInstalled", static_cast<std::int64_t>(s.DataInstalled));
  visit("SetupKind", static_cast<std::int64_t>(s.SetupKind));
  visit("FilesInArchive", static_cast<std::int64_t>(s.FilesInArchive));
  visit("PlainFiles", s.PlainFiles);
  visit("SetupCaption", s.SetupCaption);
}

struct TTextPrinter {
  std::ostream& Out;

  void operator()(const char* name, std::int64_t value) const {
    Out << name << ": " << value << "\n";
  }
  void operator()(const char* name, const std::string& value) const {
    Out << name << ": " << ToTerminal(value) << "\n";
  }
  void operator()(const char* name, std::span<const std::int64_t> values) const {
    Out << name << ":";
    for (std::size_t i = 0; i < values.size(); ++i) Out << (i == 0 ? " " : ", ") << values[i];
    Out << "\n";
  }
  void operator()(const char* name, const std::vector<std::string>& values) const {
    Out << name << ": " << values.size() << (values.size() == 1 ? " entry" : " entries") << "\n";
    for (const std::string& value : values) Out << "  " << ToTerminal(value) << "\n";
  }
};

struct TJsonBuilder {
  nlohmann::ordered_json& Object;

  void operator()(const char* name, std::int64_t value) const { Object[name] = value; }
  void operator()(const char* name, const std::string& value) const {
    Object[name] = ToTerminal(value);
  }
  void operator()(const char* name, std::span<const std::int64_t> values) const {
    Object[name] = std::vector<std::int64_t>(values.begin(), values.end());
  }
  void operator()(const char* name, const std::vector<std::string>& values) const {
    auto list = nlohmann::ordered_json::array();
    for (const std::string& value : values) list.push_back(ToTerminal(value));
    Object[name] = std::move(list);
  }
};

// The name messages use for the file: the argument as typed, in 932 where it
// converts, else the drive path.
std::string SourceName(const std::string& argument, const std::string& path) {
  try {
    return base::Utf8ToCp932(argument);
  } catch (const base::EConvertError&) {
    return path;
  }
}

int ShowSettings(const std::string& argument, bool json) {
  const std::string path = PathArgument(argument);
  if (!platform::FileExists(path)) {
    std::cerr << "mora: " << argument
              << (platform::DirectoryExists(path) ? ": is a folder, not a settings file\n"
                                                  : ": no such file\n");
    return ExitMissing;
  }
  TMoraInstallSet settings;
  try {
    platform::TFileStream stream(path, platform::TFileStream::TMode::OpenRead);
    settings.LoadFromStream(stream, SourceName(argument, path));
  } catch (const base::EDamagedData& e) {
    std::cerr << "mora: " << ToTerminal(e.Message()) << "\n";
    return ExitDamaged;
  } catch (const base::ERangeError& e) {
    std::cerr << "mora: " << ToTerminal(e.Message()) << "\n";
    return ExitDamaged;
  } catch (const base::EStreamError& e) {
    std::cerr << "mora: " << argument << ": cannot be read: " << ToTerminal(e.Message()) << "\n";
    return ExitDamaged;
  }
  if (json) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    ForEachField(settings, TJsonBuilder{object});
    std::cout << object.dump(2) << "\n";
  } else {
    ForEachField(settings, TTextPrinter{std::cout});
  }
  return ExitOk;
}

const TCommandRegistration Registration(30, [](CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("settings", "Show the fields of an install.dat settings file");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  command->add_option("FILE", *file, "The install.dat to show")->required();
  command->add_flag("--json", *json, "Print one JSON object keyed by the field names");
  command->callback([file, json, &exitCode] { exitCode = ShowSettings(*file, *json); });
});

}  // namespace
}  // namespace mora::cli
