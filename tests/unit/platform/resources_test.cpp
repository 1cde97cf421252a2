// Reading resources out of PE images built at test time, and the handling
// of damaged resource directories.
#include <gtest/gtest.h>

#include "base/binary.h"
#include "base/errors.h"
#include "byte_damage.h"
#include "pe_image.h"
#include "platform/resources.h"

namespace mora::platform {
namespace {

TEST(PlatformPeResources, FindsNamedAndNumberedResourcesIgnoringCase) {
  const auto image = test::BuildPeImage("vf archive", "numbered");
  EXPECT_EQ(FindPeResource(image.Bytes, "DUMMY", "BINTYPE", "t.exe"), "vf archive");
  EXPECT_EQ(FindPeResource(image.Bytes, "dummy", "BinType", "t.exe"), "vf archive");
  EXPECT_EQ(FindPeResource(image.Bytes, "#101", "#10", "t.exe"), "numbered");
  EXPECT_FALSE(FindPeResource(image.Bytes, "DUMMY2", "BINTYPE", "t.exe").has_value());
  EXPECT_FALSE(FindPeResource(image.Bytes, "DUMMY", "BINTYP", "t.exe").has_value());
  EXPECT_FALSE(FindPeResource(image.Bytes, "#102", "#10", "t.exe").has_value());
  EXPECT_FALSE(FindPeResource(image.Bytes, "DUMMY", "#10", "t.exe").has_value());
}

TEST(PlatformPeResources, DamagedImagesFailNamingTheFile) {
  const auto image = test::BuildPeImage("vf archive", "numbered");
  // Cut inside the section table.
  try {
    FindPeResource(image.Bytes.substr(0, 0x190), "DUMMY", "BINTYPE", "cut.exe");
    FAIL() << "no error for a truncated image";
  } catch (const base::EDamagedData& e) {
    EXPECT_NE(e.Message().find("cut.exe"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(FindPeResource("MZ", "DUMMY", "BINTYPE", "t.exe"), base::EDamagedData);
  EXPECT_THROW(FindPeResource(std::string(0x100, 'x'), "DUMMY", "BINTYPE", "t.exe"),
               base::EDamagedData);

  // A root directory claiming 65535 entries more than the section holds.
  std::string hostile = image.Bytes;
  base::PutUInt16(&hostile[image.ResourceStart + 14], 0xFFFF);
  EXPECT_THROW(FindPeResource(hostile, "#101", "#10", "t.exe"), base::EDamagedData);

  // A data entry whose size runs past the section.
  std::string oversized = image.Bytes;
  base::PutUInt32(&oversized[image.ResourceStart + 132], 0x7FFFFFFF);
  EXPECT_THROW(FindPeResource(oversized, "DUMMY", "BINTYPE", "t.exe"), base::EDamagedData);

  // A subdirectory offset pointing beyond the end.
  std::string wild = image.Bytes;
  base::PutUInt32(&wild[image.ResourceStart + 20], 0x80000000u | 0x00FFFFF0u);
  EXPECT_THROW(FindPeResource(wild, "DUMMY", "BINTYPE", "t.exe"), base::EDamagedData);
}

TEST(PlatformPeResources, RandomlyDamagedImagesGiveTheResourceInsideTheImageOrFail) {
  const auto image = test::BuildPeImage("vf archive", "numbered");
  mora::test::TByteDamage damage(932);
  int refused = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::string bytes = damage.Damage(image.Bytes);
    try {
      const auto found = FindPeResource(bytes, "DUMMY", "BINTYPE", "damaged.exe");
      if (found) {
        // What is returned always lies within the image.
        EXPECT_GE(found->data(), bytes.data());
        EXPECT_LE(found->data() + found->size(), bytes.data() + bytes.size());
      }
    } catch (const base::EDamagedData& e) {
      ++refused;
      EXPECT_NE(e.Message().find("damaged.exe"), std::string::npos) << e.Message();
    }
  }
  EXPECT_GT(refused, 500);
}

}  // namespace
}  // namespace mora::platform
