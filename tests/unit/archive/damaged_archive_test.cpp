// Thousands of damaged archives of every directory version: opening,
// checking and reading every entry either works or fails with the program's
// own exception; a damaged entry is never returned as sound data unnoticed
// by the check.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "archive/vrfiles.h"
#include "archive/vrwriter.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "byte_damage.h"
#include "platform/resources.h"
#include "platform/streams.h"

namespace mora::archive {
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

std::string SampleImage(std::int32_t version) {
  TVrArchiveWriter writer(version);
  TArchiveEntryOptions options;
  options.FileTime = 0x3A214C00;
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\r\n";
  writer.AddBytes("install.dat", "is107 settings", options);
  writer.AddBytes("data\\\x83\x41.txt", text, options);  // data\ア.txt
  options.Stored = version >= 101;
  writer.AddBytes("readme.txt", text.substr(0, 500), options);
  writer.AddBytes("empty.bin", "", options);
  return writer.BuildImage();
}

TEST(ArchiveDamage, DamagedArchivesOpenCheckAndReadOrFailWithOurOwnErrors) {
  test::TByteDamage damage(8122026);
  for (const std::int32_t version : {0, 100, 101, 102}) {
    SCOPED_TRACE(version);
    const std::string good = SampleImage(version);
    int refused = 0;
    for (int round = 0; round < 1000; ++round) {
      TVrFileCollection archive;
      try {
        archive.OpenResource(std::make_unique<TImageModule>(damage.Damage(good)), "DUMMY",
                             "BINTYPE");
        archive.Verify();
        for (int i = 0; i < archive.Count(); ++i) {
          const std::string name(archive.Entries(i).Name());
          if (name == "\\EOF\\") continue;
          platform::TMemoryStream entry;
          archive.LoadEntry(entry, name);
        }
      } catch (const base::Exception&) {
        ++refused;
      }
    }
    EXPECT_GT(refused, 100);
  }
}

}  // namespace
}  // namespace mora::archive
