// mora picture FILE --seed N [--frame K] -o OUT.png, and
// mora picture ARCHIVE --entry NAME --seed N [--frame K] -o OUT.png: composes
// one frame of a Vint picture (a file, or an entry of an archive) and writes
// it as an 8-bit RGB PNG. Missing inputs exit with ExitMissing, damaged
// pictures with ExitDamaged, a frame number beyond the picture with ExitUsage.
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "archive/vrfiles.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "cli/commands.h"
#include "pictures/png.h"
#include "pictures/vints.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace mora::cli {
namespace {

struct TPictureOptions {
  std::string Input;
  std::string Entry;
  std::string Output;
  std::int64_t Seed = 0;
  int Frame = 0;
};

int ConvertPicture(const TPictureOptions& options) {
  const std::string path = PathArgument(options.Input);
  if (const auto missing = CheckInputFile(options.Input, path, "a picture or archive")) {
    return *missing;
  }
  platform::TMemoryStream stream;
  std::string sourceName;
  try {
    if (options.Entry.empty()) {
      stream.LoadFromFile(path);
      sourceName = SourceName(options.Input, path);
    } else {
      const std::string entry = SourceName(options.Entry, options.Entry);
      archive::TVrFileCollection collection;
      collection.Open(path);
      collection.LoadEntry(stream, entry);
      sourceName = entry;
    }
  } catch (...) {
    return ReportFailure(std::current_exception());
  }
  stream.SetPosition(0);

  // Only the frames up to the one asked for are needed.
  // Seeds are 32-bit; one given as an unsigned number keeps its bits.
  pictures::TVintFrameList list(
      static_cast<std::int32_t>(static_cast<std::uint32_t>(options.Seed)));
  list.LoadFromStream(stream, options.Frame == 0, sourceName);
  if (options.Frame >= list.Count()) {
    std::cerr << "mora: " << ToTerminal(sourceName) << ": has " << list.Count()
              << (list.Count() == 1 ? " frame" : " frames") << ", no frame " << options.Frame
              << "\n";
    return ExitUsage;
  }
  const std::string png = pictures::EncodePng(list.Frame(options.Frame).Bitmap());
  platform::TFileStream out(PathArgument(options.Output), platform::TFileStream::TMode::Create);
  out.WriteBytes(png);
  return ExitOk;
}

const TCommandRegistration Registration(60, [](CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand(
      "picture", "Compose a frame of a Vint picture (a file or an archive entry) into a PNG");
  auto options = std::make_shared<TPictureOptions>();
  command->add_option("FILE", options->Input, "The Vint file, or the archive with --entry")
      ->required();
  command->add_option("--entry", options->Entry, "Name of the picture inside the archive FILE");
  command->add_option("--seed", options->Seed, "The picture seed (PictureSeed of install.dat)")
      ->required()
      ->check(CLI::Range(std::int64_t{INT32_MIN}, std::int64_t{UINT32_MAX}));
  command->add_option("--frame", options->Frame, "Frame to write (default 0)")
      ->check(CLI::NonNegativeNumber);
  command->add_option("-o,--output", options->Output, "The PNG file to write")->required();
  command->callback([options, &exitCode] { exitCode = ConvertPicture(*options); });
});

}  // namespace
}  // namespace mora::cli
