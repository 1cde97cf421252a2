// The archive reader on any bytes. The first byte chooses the placement: a
// resource holding the whole archive, or an executable ending in an appended
// archive and its trailer; the rest is the data. An opened archive is
// checked, and every entry is read into memory and streamed into a check
// value: both ways must give the same content. The directory itself must
// encode and decode to the same entries.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/bigstreams.h"
#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "fuzz_support.h"
#include "platform/resources.h"
#include "platform/streams.h"

using namespace mora;
using archive::TVrFileCollection;

namespace {

class TImageModule : public platform::TModule {
 public:
  explicit TImageModule(std::string image) : FImage(std::move(image)) {}
  std::optional<std::string_view> FindResource(const std::string& name,
                                               const std::string& type) const override {
    if (base::SameText932(name, "DUMMY") && base::SameText932(type, "BINTYPE")) return FImage;
    return std::nullopt;
  }

 private:
  std::string FImage;
};

bool SameEntries(const archive::TDirectory& a, const archive::TDirectory& b) {
  if (a.Version != b.Version || a.EndOffset != b.EndOffset ||
      a.Entries.size() != b.Entries.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.Entries.size(); ++i) {
    const auto& x = a.Entries[i];
    const auto& y = b.Entries[i];
    if (x.Name != y.Name || x.Offset != y.Offset || x.Stored != y.Stored ||
        x.FileTime != y.FileTime || x.CRC != y.CRC || x.InstallAsFile != y.InstallAsFile) {
      return false;
    }
  }
  return true;
}

void CheckDirectoryRoundTrip(const std::string& image) {
  archive::TDirectory directory;
  try {
    archive::TQsBigMemoryStream stream(image);
    stream.SetPosition(0);
    directory = archive::DecodeDirectory(stream, stream.GetSize(), "fuzz.dat");
  } catch (const base::Exception&) {
    return;
  }
  std::string encoded;
  try {
    encoded = archive::EncodeDirectory(directory);
  } catch (const base::ERangeError&) {
    return;  // a version the writer does not write
  }
  archive::TQsBigMemoryStream again(encoded);
  again.SetPosition(0);
  const archive::TDirectory decoded =
      archive::DecodeDirectory(again, static_cast<std::int64_t>(image.size()), "again.dat");
  fuzz::Check(SameEntries(directory, decoded), "a directory encodes and decodes to itself");
  fuzz::Check(again.GetPosition() == again.GetSize(), "the decoder reads the whole encoding");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool appended = (data[0] & 1) != 0;
  const std::string image(fuzz::Bytes(data + 1, size - 1));
  if (!appended) CheckDirectoryRoundTrip(image);

  TVrFileCollection archive;
  // Lower than the program's own limit, so that each run stays quick.
  archive.MemoryEntryLimit = std::int64_t{16} << 20;
  try {
    if (appended) {
      archive.OpenAppended(fuzz::ScratchFile(image));
    } else {
      archive.OpenResource(std::make_unique<TImageModule>(image), "DUMMY", "BINTYPE");
    }
  } catch (const base::Exception&) {
    return 0;
  }
  // Entries come from the archive alone, not from files beside it.
  archive.BaseFolder.clear();
  archive.Verify();
  for (int i = 0; i < archive.Count(); ++i) {
    const std::string name(archive.Entries(i).Name());
    if (name == archive::SentinelName) continue;
    std::optional<std::string> inMemory;
    std::optional<std::uint32_t> streamed;
    std::int64_t streamedSize = 0;
    try {
      platform::TMemoryStream memory;
      archive.LoadEntry(memory, name);
      inMemory = memory.Bytes();
    } catch (const base::Exception&) {
    }
    try {
      archive::TCrc32Stream check;
      archive.LoadEntry(check, name);
      streamed = check.CRC();
      streamedSize = check.Size();
    } catch (const base::Exception&) {
    }
    if (inMemory && streamed) {
      fuzz::Check(archive::BytesCRC32(*inMemory) == *streamed &&
                      static_cast<std::int64_t>(inMemory->size()) == streamedSize,
                  "an entry streamed and an entry in memory have the same content");
    }
    // Streaming has no limit; only a memory load may refuse what fits a file.
    if (streamed && !inMemory) {
      fuzz::Check(streamedSize > archive.MemoryEntryLimit,
                  "an entry that streams also loads into memory when it fits the limit");
    }
  }
  return 0;
}
