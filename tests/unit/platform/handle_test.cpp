// Volume file handles: creation modes, sharing between handles, write-through
// writes, seeking, sizing and flushing.
#include <gtest/gtest.h>

#include "base/errors.h"
#include "platform/filehandle.h"
#include "platform/files.h"
#include "support.h"

namespace mora::platform {
namespace {

TFileOpenOptions Options(TFileAccess access, TFileShare share,
                         TFileCreation creation = TFileCreation::OpenExisting,
                         bool writeThrough = false) {
  TFileOpenOptions options;
  options.Access = access;
  options.Share = share;
  options.Creation = creation;
  options.WriteThrough = writeThrough;
  return options;
}

TEST(PlatformFileHandle, WriteThroughHandleWritesSeeksSizesAndReadsBack) {
  const std::string file = test::FreshFolder() + "volume.dat";
  auto handle = TFileHandle::Open(
      file, Options(TFileAccess::ReadWrite, TFileShare::Read, TFileCreation::CreateAlways, true));
  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(handle.Path(), file);
  EXPECT_EQ(handle.Write("0123456789", 10), 10);
  EXPECT_EQ(handle.Size(), 10);
  EXPECT_EQ(handle.Seek(-4, TSeekOrigin::End), 6);
  char buffer[8] = {};
  EXPECT_EQ(handle.Read(buffer, 8), 4);  // only 4 bytes remain
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(handle.Read(buffer, 8), 0);
  handle.SetSize(3);
  EXPECT_EQ(handle.Size(), 3);
  EXPECT_EQ(handle.Seek(0, TSeekOrigin::Begin), 0);
  EXPECT_EQ(handle.Read(buffer, 8), 3);
  EXPECT_EQ(std::string(buffer, 3), "012");
  handle.Flush();
  handle.Close();
  EXPECT_FALSE(handle.IsOpen());
  EXPECT_EQ(ReadFileBytes(file), "012");
}

TEST(PlatformFileHandle, CreationModesTreatExistingAndMissingFiles) {
  const std::string folder = test::FreshFolder();
  const std::string file = folder + "f.dat";
  EXPECT_FALSE(TFileHandle::TryOpen(file, Options(TFileAccess::Read, TFileShare::Read)));
  EXPECT_THROW(TFileHandle::Open(file, Options(TFileAccess::Read, TFileShare::Read)),
               base::EFOpenError);
  EXPECT_THROW(
      TFileHandle::Open(folder + "no\\dir.dat",
                        Options(TFileAccess::Write, TFileShare::None, TFileCreation::CreateAlways)),
      base::EFCreateError);
  WriteFileAtomic(file, "abc");
  {
    auto h = TFileHandle::Open(
        file, Options(TFileAccess::ReadWrite, TFileShare::None, TFileCreation::OpenAlways));
    EXPECT_EQ(h.Size(), 3);  // kept
  }
  {
    auto h = TFileHandle::Open(
        file, Options(TFileAccess::ReadWrite, TFileShare::None, TFileCreation::CreateAlways));
    EXPECT_EQ(h.Size(), 0);  // truncated
  }
  EXPECT_FALSE(TFileHandle::TryOpen(folder, Options(TFileAccess::Read, TFileShare::ReadWrite)));
}

TEST(PlatformFileHandle, SharingFollowsAccessAndShareOfEveryOpenHandle) {
  const std::string file = test::FreshFolder() + "shared.dat";
  auto writer = TFileHandle::Open(
      file, Options(TFileAccess::ReadWrite, TFileShare::Read, TFileCreation::CreateAlways, true));
  writer.Write("0123456789", 10);

  // Another reader must let the writer write; one that only shares reading cannot open.
  EXPECT_FALSE(TFileHandle::TryOpen(file, Options(TFileAccess::Read, TFileShare::Read)));
  auto lenientReader =
      TFileHandle::TryOpen(file, Options(TFileAccess::Read, TFileShare::ReadWrite));
  ASSERT_TRUE(lenientReader.has_value());
  // The writer shares only reading: no second writer.
  EXPECT_FALSE(TFileHandle::TryOpen(file, Options(TFileAccess::ReadWrite, TFileShare::ReadWrite)));
  // A refused re-creation must not have truncated the writer's data.
  EXPECT_FALSE(TFileHandle::TryOpen(
      file, Options(TFileAccess::Write, TFileShare::None, TFileCreation::CreateAlways)));
  EXPECT_EQ(writer.Size(), 10);

  lenientReader.reset();
  writer.Close();
  auto reader1 = TFileHandle::TryOpen(file, Options(TFileAccess::Read, TFileShare::Read));
  auto reader2 = TFileHandle::TryOpen(file, Options(TFileAccess::Read, TFileShare::Read));
  ASSERT_TRUE(reader1.has_value());
  EXPECT_TRUE(reader2.has_value());
  EXPECT_FALSE(TFileHandle::TryOpen(file, Options(TFileAccess::ReadWrite, TFileShare::Read)));
  EXPECT_FALSE(TFileHandle::TryOpen(file, Options(TFileAccess::Read, TFileShare::None)));
}

}  // namespace
}  // namespace mora::platform
