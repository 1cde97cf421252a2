// mora settings FILE [--json]: shows an install.dat, one "Field: value" line
// per field, or as one JSON object keyed by the field names. Texts are
// converted from code page 932 to UTF-8. A missing file exits with
// ExitMissing, an unreadable or damaged one with ExitDamaged (cli/common.h).
#include <exception>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

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

int ShowSettings(const std::string& argument, bool json) {
  const std::string path = PathArgument(argument);
  if (const auto missing = CheckInputFile(argument, path, "a settings file")) return *missing;
  TMoraInstallSet settings;
  try {
    platform::TFileStream stream(path, platform::TFileStream::TMode::OpenRead);
    settings.LoadFromStream(stream, SourceName(argument, path));
  } catch (...) {
    return ReportFailure(std::current_exception());
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
