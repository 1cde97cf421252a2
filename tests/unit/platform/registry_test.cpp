// Registry keys and string values under HKEY_CURRENT_USER.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "base/sjis.h"
#include "platform/registry.h"
#include "support.h"

namespace mora::platform {
namespace {

using base::Sjis;

class PlatformRegistry : public ::testing::Test {
 protected:
  void SetUp() override { FKey = "Software\\MoraPlatformTest\\" + test::UniqueName("run"); }
  void TearDown() override {
    RegDeleteKeyTree(TRootKey::CurrentUser, FKey);
    if (!RegKeyHasSubKeys(TRootKey::CurrentUser, "Software\\MoraPlatformTest")) {
      RegDeleteKeyTree(TRootKey::CurrentUser, "Software\\MoraPlatformTest");
    }
  }
  std::string FKey;
};

TEST_F(PlatformRegistry, KeysAndValuesRoundTripAndDeleteAsATree) {
  const auto root = TRootKey::CurrentUser;
  EXPECT_FALSE(RegKeyExists(root, FKey));
  EXPECT_FALSE(RegQueryValue(root, FKey, "InstallPath").has_value());

  RegWriteString(root, FKey + "\\Title", "InstallPath", Sjis("C:\\ゲーム\\表示"));
  EXPECT_TRUE(RegKeyExists(root, FKey));
  EXPECT_TRUE(RegKeyExists(root, FKey + "\\Title"));
  EXPECT_TRUE(RegKeyHasSubKeys(root, FKey));
  EXPECT_FALSE(RegKeyHasValues(root, FKey));
  EXPECT_TRUE(RegKeyHasValues(root, FKey + "\\Title"));
  EXPECT_FALSE(RegKeyHasSubKeys(root, FKey + "\\Title"));

  auto value = RegQueryValue(root, FKey + "\\Title", "InstallPath");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->Type, TRegValueType::String);
  EXPECT_EQ(value->Data, Sjis("C:\\ゲーム\\表示"));

  // Key and value names ignore ASCII case; a second write replaces.
  RegWriteString(root, FKey + "\\TITLE", "installpath", "D:\\other");
  value = RegQueryValue(root, FKey + "\\title", "INSTALLPATH");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->Data, "D:\\other");

  RegWriteBinary(root, FKey + "\\Title", "Raw", std::string("\x01\x00\x02", 3));
  value = RegQueryValue(root, FKey + "\\Title", "Raw");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->Type, TRegValueType::Other);
  EXPECT_EQ(value->Data, std::string("\x01\x00\x02", 3));

  EXPECT_TRUE(RegDeleteValue(root, FKey + "\\Title", "Raw"));
  EXPECT_FALSE(RegDeleteValue(root, FKey + "\\Title", "Raw"));
  EXPECT_FALSE(RegQueryValue(root, FKey + "\\Title", "Raw").has_value());

  EXPECT_TRUE(RegDeleteKeyTree(root, FKey));
  EXPECT_FALSE(RegKeyExists(root, FKey + "\\Title"));
  EXPECT_FALSE(RegKeyExists(root, FKey));
  EXPECT_FALSE(RegDeleteKeyTree(root, FKey));
}

TEST_F(PlatformRegistry, StringsAreCutAtTheirFirstZeroAndEmptyNamesWork) {
  const auto root = TRootKey::CurrentUser;
  RegWriteString(root, FKey, "", "default");
  RegWriteString(root, FKey, "Cut", std::string("ab\0cd", 5));
  EXPECT_EQ(RegQueryValue(root, FKey, "")->Data, "default");
  EXPECT_EQ(RegQueryValue(root, FKey, "Cut")->Data, "ab");
}

TEST_F(PlatformRegistry, DeletingAKeyLeavesItsSiblings) {
  const auto root = TRootKey::CurrentUser;
  RegWriteString(root, FKey + "\\A\\Deep", "v", "1");
  RegWriteString(root, FKey + "\\B", "v", "2");
  EXPECT_TRUE(RegDeleteKeyTree(root, FKey + "\\A"));
  EXPECT_FALSE(RegKeyExists(root, FKey + "\\A\\Deep"));
  EXPECT_EQ(RegQueryValue(root, FKey + "\\B", "v")->Data, "2");
}

}  // namespace
}  // namespace mora::platform
