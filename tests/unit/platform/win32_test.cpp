// What only the Win32 layer does: resources through the system loader
// (checked against the portable PE reader), names outside code page 932,
// text that is not valid Shift-JIS, the system's folders and the
// restart-time deletion record.
#include <gtest/gtest.h>

#include <string>

#include "base/errors.h"
#include "base/sjis.h"
#include "pe_image.h"
#include "platform/filehandle.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "support.h"

// After our headers, so the A/W macros do not rename their declarations.
#include <windows.h>
#undef CopyFile
#undef FindResource
#undef GetFileAttributes
#undef RegQueryValue

namespace mora::platform {
namespace {

using base::Sjis;

std::wstring Wide(const std::string& text932) {
  const std::u16string wide = base::Cp932ToUtf16(text932);
  return std::wstring(wide.begin(), wide.end());
}

TEST(Win32Resources, OwnModuleResourceMatchesThePortableReader) {
  const std::string self = ModuleFileName();
  auto module = TModule::Load(self);
  ASSERT_NE(module, nullptr) << self;
  // The resource compiler stores the two strings without terminators.
  const auto data = module->FindResource("dummy", "BinType");
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(*data, "vftest-payload");
  EXPECT_FALSE(module->FindResource("DUMMY", "OTHERTYPE").has_value());
  EXPECT_FALSE(module->FindResource("DUMMY2", "BINTYPE").has_value());

  const std::string image = ReadFileBytes(self);
  EXPECT_EQ(FindPeResource(image, "DUMMY", "BINTYPE", self), data);
}

TEST(Win32Resources, ImagesBuiltByTheTestsLoadThroughTheSystem) {
  const auto image = test::BuildPeImage("vf archive", "numbered");
  const std::string file = test::FreshFolder() + "built.dll";
  WriteFileAtomic(file, image.Bytes);
  auto module = TModule::Load(file);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->FindResource("DUMMY", "BINTYPE"), "vf archive");
  EXPECT_EQ(module->FindResource("#101", "#10"), "numbered");

  const std::string notAModule = test::FreshFolder() + "plain.dll";
  WriteFileAtomic(notAModule, "MZ but nothing else");
  EXPECT_EQ(TModule::Load(notAModule), nullptr);
  EXPECT_EQ(TModule::Load(test::FreshFolder() + "absent.dll"), nullptr);
}

TEST(Win32Text, InvalidShiftJisIsRefusedClearly) {
  // A lone lead byte and a zero byte have no UTF-16 path form.
  const std::string folder = test::FreshFolder();
  const std::string loneLead = folder + "bad\x81";
  const std::string withZero = folder + std::string("a\0b", 3);
  EXPECT_THROW(FileExists(loneLead), base::EInvalidPath);
  EXPECT_THROW(ForceDirectories(withZero), base::EInvalidPath);
  EXPECT_FALSE(TFileHandle::TryOpen(loneLead, TFileOpenOptions()).has_value());
  EXPECT_THROW(ReadFileBytes(loneLead), base::EFOpenError);
  EXPECT_THROW(WriteFileAtomic(loneLead, "x"), base::EFCreateError);
  EXPECT_THROW(RegWriteString(TRootKey::CurrentUser, "Software\\Mora\x81", "v", "x"),
               base::EInvalidPath);
  EXPECT_EQ(TNamedMutex::Create("mutex\x81"), nullptr);
  EXPECT_FALSE(TNamedMutex::Exists("mutex\x81"));
  EXPECT_FALSE(DeleteAtRestart(loneLead));
  EXPECT_THROW(PathToNative(loneLead), base::EInvalidPath);
}

TEST(Win32Text, NamesOutside932AreListedByTheirShortNameOrNotAtAll) {
  const std::string folder = test::FreshFolder();
  // U+00EB has no 932 form.
  const std::wstring name = Wide(folder) + L"zo\u00eb-\u4e02.txt";
  HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  ::CloseHandle(handle);
  WriteFileAtomic(folder + Sjis("日本語.txt"), "ja");

  const auto entries = FindFiles(folder);
  bool sawJapanese = false;
  for (const auto& entry : entries) {
    // Whatever is listed can be reached again under the listed name.
    EXPECT_TRUE(FileExists(folder + entry.Name)) << base::Cp932ToUtf8Lossy(entry.Name);
    sawJapanese = sawJapanese || entry.Name == Sjis("日本語.txt");
  }
  EXPECT_TRUE(sawJapanese);
  EXPECT_GE(entries.size(), 1u);
  EXPECT_LE(entries.size(), 2u);
}

TEST(Win32Folders, SystemFoldersAreExistingDrivePaths) {
  const std::string temp = TempFolder();
  EXPECT_TRUE(base::EndsWithPathDelimiter(temp));
  EXPECT_TRUE(DirectoryExists(temp));
  const std::string windows = WindowsFolder();
  EXPECT_FALSE(base::EndsWithPathDelimiter(windows));
  EXPECT_TRUE(DirectoryExists(windows));
  EXPECT_TRUE(DirectoryExists(windows + "\\system32"));
  // The value lives under HKLM; the system's own installation writes it.
  const std::string programFiles = ProgramFilesFolder();
  ASSERT_FALSE(programFiles.empty());
  EXPECT_TRUE(DirectoryExists(programFiles)) << programFiles;
  EXPECT_EQ(programFiles,
            RegQueryValue(TRootKey::LocalMachine, "software\\microsoft\\windows\\currentversion",
                          "programfilesdir")
                ->Data);

  const std::string self = ModuleFileName();
  EXPECT_TRUE(FileExists(self));
  ASSERT_GT(self.size(), 18u);
  EXPECT_TRUE(base::SameText932(self.substr(self.size() - 18), "PLATFORM_TESTS.EXE")) << self;
}

TEST(Win32System, DeletionAtRestartIsRecordedForTheSystem) {
  const std::string file = test::FreshFolder() + Sjis("消す.tmp");
  WriteFileAtomic(file, "x");
  ASSERT_EQ(PlatformFamily(), TPlatformFamily::WindowsNT);
  if (!DeleteAtRestart(file)) {
    GTEST_SKIP() << "no right to schedule deletions (not an administrator)";
  }
  // The system keeps the pending operations as UTF-16 pairs (source, target).
  const auto pending =
      RegQueryValue(TRootKey::LocalMachine, "System\\CurrentControlSet\\Control\\Session Manager",
                    "PendingFileRenameOperations");
  ASSERT_TRUE(pending.has_value());
  const std::wstring recorded(reinterpret_cast<const wchar_t*>(pending->Data.data()),
                              pending->Data.size() / sizeof(wchar_t));
  EXPECT_NE(recorded.find(Wide(file.substr(2))), std::wstring::npos);
  EXPECT_TRUE(FileExists(file));
}

}  // namespace
}  // namespace mora::platform
