// mora pack MANIFEST -o OUTDIR [--setup PATH]: builds complete media from a
// manifest (docs/authoring.md): one folder per disk with its setup program,
// install.dat, archive and loose files, and prints what each disk holds.
// A manifest that is invalid exits with ExitDamaged, one naming a missing
// file with ExitMissing, files that do not fit their disk with ExitFailure.
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "authoring/manifest.h"
#include "authoring/packer.h"
#include "cli/commands.h"
#include "platform/folders.h"

namespace mora::cli {
namespace {

using authoring::Thousands;

struct TPackArguments {
  std::string Manifest;
  std::string Output;
  std::string Setup;
};

void PrintParts(const char* label, std::int64_t program, std::int64_t data, std::int64_t sound,
                std::int64_t movie) {
  std::cout << "  " << label << ": program " << Thousands(program) << ", data " << Thousands(data)
            << ", sound " << Thousands(sound) << ", movie " << Thousands(movie) << "\n";
}

int Pack(const TPackArguments& arguments) {
  try {
    const authoring::TManifest manifest = authoring::LoadManifest(PathArgument(arguments.Manifest));
    authoring::TPackOptions options;
    options.OutputFolder = PathArgument(arguments.Output);
    if (!arguments.Setup.empty()) options.SetupProgram = PathArgument(arguments.Setup);
    const authoring::TPackReport report = authoring::PackMedia(manifest, options);
    for (std::size_t d = 0; d < report.Disks.size(); ++d) {
      const authoring::TPackedDisk& disk = report.Disks[d];
      char percent[32];
      std::snprintf(percent, sizeof percent, "%.1f%%",
                    100.0 * static_cast<double>(disk.Used) / static_cast<double>(disk.Capacity));
      std::cout << "disk " << d + 1 << ": " << platform::PathToNative(disk.Folder) << "\n  "
                << disk.Files.size() << " files, " << Thousands(disk.Used) << " of "
                << Thousands(disk.Capacity) << " bytes used (" << percent << ")\n";
      PrintParts("installs", disk.ProgramSize, disk.DataSize, disk.SoundSize, disk.MovieSize);
    }
    const auto& s = report.Settings;
    std::cout << "all disks:\n";
    PrintParts("install", s.ProgramSize, s.DataSize, s.SoundSize, s.MovieSize);
    return ExitOk;
  } catch (...) {
    return ReportFailure(std::current_exception());
  }
}

const TCommandRegistration Registration(70, [](CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand(
      "pack", "Build complete setup media (one folder per disk) from a manifest");
  auto arguments = std::make_shared<TPackArguments>();
  command->add_option("MANIFEST", arguments->Manifest, "The manifest (JSON, see docs/authoring.md)")
      ->required();
  command
      ->add_option("-o,--output", arguments->Output,
                   "Folder that receives the disk folders (they must be new or empty)")
      ->required();
  command->add_option("--setup", arguments->Setup,
                      "The setup program to put on the disks (instead of the manifest's)");
  command->callback([arguments, &exitCode] { exitCode = Pack(*arguments); });
});

}  // namespace
}  // namespace mora::cli
