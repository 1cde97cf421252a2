// Thousands of damaged install.dat images: each loads or is refused with the
// program's own exception, and a refusal leaves the object as it was.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "byte_damage.h"
#include "platform/streams.h"
#include "settings/installset.h"

namespace mora::settings {
namespace {

TMoraInstallSet EveryFieldSet() {
  TMoraInstallSet s;
  s.Title = "\x83\x5E\x83\x43\x83\x67\x83\x8B";  // タイトル
  s.FooterText = "Footer";
  s.DefaultDir = "C:\\Game";
  s.ReadmeFile = "readme.txt";
  s.BackgroundPicture = "back.vnt";
  s.ProgramFile = "game.exe";
  s.MediaName = "CD";
  s.RegistryKey = "\\Maker\\Title";
  s.SetupCaption = "Setup";
  s.SetDiskCount(3);
  for (int i = 0; i < 3; ++i) s.DiskDataSizes()[static_cast<std::size_t>(i)] = 1000 * (i + 1);
  s.InstalledFiles = {"game.exe", "data\\a.bin", "data\\b.bin"};
  s.PlainFiles = {"readme.txt", ""};
  s.DataSize = 123456789012;
  return s;
}

TEST(InstallSetDamage, DamagedImagesLoadOrFailWithOurOwnErrors) {
  const std::string good = EveryFieldSet().SaveToBytes();
  test::TByteDamage damage(20261208);
  int refused = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::string bytes = damage.Damage(good);
    TMoraInstallSet s;
    s.Title = "before";
    platform::TMemoryStream stream(bytes);
    try {
      s.LoadFromStream(stream, "E:\\install.dat");
      EXPECT_GE(s.DiskCount(), 0);
      EXPECT_EQ(s.DiskProgramSizes().size(), static_cast<std::size_t>(s.DiskCount()));
    } catch (const base::EDamagedData& e) {
      ++refused;
      EXPECT_EQ(e.Message().rfind("E:\\install.dat", 0), 0u)
          << "round " << round << ": " << e.Message();
      EXPECT_EQ(s.Title, "before") << "round " << round;
    } catch (const base::Exception& e) {
      ++refused;
      EXPECT_EQ(s.Title, "before") << "round " << round << ": " << e.Message();
    }
  }
  // Most damage is noticed; none of it may crash or escape as a foreign
  // exception (the loop above would end the test).
  EXPECT_GT(refused, 1000);
}

}  // namespace
}  // namespace mora::settings
