// Stand-in setup program of the packing tests. Finds the archive it carries
// as start-up does (its resource "BINTYPE"/"DUMMY" when that starts with
// "vf", else the archive appended behind the "mr" trailer, opened through
// the running program's own name), reads install.dat from it and writes
// "<placement> <Title> <entries>" into the answer file named by its
// argument, or "error: <message>".
// Usage: authoring_test_probe <answer file>
#include <exception>
#include <string>

#include "archive/vrfiles.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/resources.h"
#include "platform/streams.h"
#include "settings/installset.h"

int main(int argc, char** argv) {
  using namespace mora;
  if (argc < 2) return 2;
  const std::string answer = platform::PathFromNative(argv[1]);
  try {
    const std::string self = platform::ModuleFileName();
    archive::TVrFileCollection collection;
    std::string placement = "none";
    if (auto module = platform::TModule::Load(self)) {
      const auto resource = module->FindResource("DUMMY", "BINTYPE");
      if (resource && resource->substr(0, 2) == "vf") {
        collection.OpenResource(std::move(module), "DUMMY", "BINTYPE");
        placement = "resource";
      }
    }
    if (placement == "none") {
      collection.Open(self);
      placement = "appended";
    }
    // Entries from the archive only, not from loose files beside it.
    collection.BaseFolder.clear();
    platform::TMemoryStream stream;
    collection.LoadEntry(stream, "install.dat");
    settings::TMoraInstallSet settings;
    settings.LoadFromStream(stream);
    platform::WriteFileAtomic(
        answer, placement + " " + settings.Title + " " + std::to_string(collection.Count() - 1));
  } catch (const std::exception& e) {
    platform::WriteFileAtomic(answer, std::string("error: ") + e.what());
    return 1;
  }
  return 0;
}
