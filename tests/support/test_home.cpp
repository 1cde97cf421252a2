// Points the POSIX platform layer at a fresh, empty state folder for the
// whole test program, so that no test touches the user's real registry store,
// prefix or pending deletions. Under Wine the test runs in a fresh prefix.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <stdlib.h>

#include <filesystem>
#include <string>
#endif

namespace {

class TMoraHomeEnvironment : public ::testing::Environment {
 public:
#ifndef _WIN32
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "mora-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FHome = pattern;
    ASSERT_EQ(setenv("MORA_HOME", FHome.c_str(), 1), 0);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!FHome.empty()) std::filesystem::remove_all(FHome, ignored);
  }

 private:
  std::string FHome;
#endif
};

[[maybe_unused]] ::testing::Environment* const MoraHome =
    ::testing::AddGlobalTestEnvironment(new TMoraHomeEnvironment);

}  // namespace
