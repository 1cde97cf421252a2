// The PE resource writer on images built at test time (PE32 and PE32+), and
// on a real program: the test's stand-in setup program, packed with its
// archive appended or as a resource and started as a process, finds the
// archive the way start-up does (under Wine through the system's own
// resource calls).
#include <gtest/gtest.h>

#include "archive/vrfiles.h"
#include "authoring/packer.h"
#include "authoring/peresourcewriter.h"
#include "base/binary.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "byte_damage.h"
#include "pe_image.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/resources.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "title_fixture.h"

namespace mora::authoring {
namespace {

using test::TSampleTitle;
using test::TTempFolder;

std::uint32_t U32(const std::string& image, std::size_t at) { return base::GetUInt32(&image[at]); }
std::uint16_t U16(const std::string& image, std::size_t at) { return base::GetUInt16(&image[at]); }

TEST(PeResourceWriter, AddsTheResourceInANewSectionAndKeepsTheOthers) {
  for (const bool pe32Plus : {false, true}) {
    SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
    const std::string image =
        platform::test::BuildPeImage("old payload", "numbered", pe32Plus).Bytes;
    const std::string out = AddPeResource(image, "DUMMY", "BINTYPE", "vf new archive", "t.exe");
    EXPECT_EQ(platform::FindPeResource(out, "DUMMY", "BINTYPE", "t.exe"), "vf new archive");
    EXPECT_EQ(platform::FindPeResource(out, "#101", "#10", "t.exe"), "numbered");
    EXPECT_EQ(TPeResourceWriter(out, "t.exe").ResourceList(),
              (std::vector<std::string>{"BINTYPE/DUMMY/0", "10/101/1041"}));

    // By hand: the new tree holds a root of two types (32 bytes), four
    // directories of one entry (4 x 24), two data entries (32), the strings
    // "BINTYPE" (16) and "DUMMY" (12): 188 bytes, 192 aligned; the kept
    // resource's 8 bytes follow, then the new one's 14: 214 bytes in a
    // section at the next 4 KiB boundary (0x2000) and at file offset 0x400.
    const std::size_t opt = 0x98;
    const std::size_t directories = pe32Plus ? 112 : 96;
    const std::size_t table = opt + (pe32Plus ? 240 : 224);
    EXPECT_EQ(U16(out, 0x86), 2);                          // NumberOfSections
    EXPECT_EQ(U32(out, opt + 56), 0x3000u);                // SizeOfImage
    EXPECT_EQ(U32(out, opt + directories + 16), 0x2000u);  // resource RVA
    EXPECT_EQ(U32(out, opt + directories + 20), 214u);     // and size
    EXPECT_EQ(out.substr(table, 8), ".rsrcold");
    EXPECT_EQ(out.substr(table + 40, 6), std::string(".rsrc\0", 6));
    EXPECT_EQ(U32(out, table + 40 + 8), 214u);          // VirtualSize
    EXPECT_EQ(U32(out, table + 40 + 12), 0x2000u);      // VirtualAddress
    EXPECT_EQ(U32(out, table + 40 + 16), 0x200u);       // SizeOfRawData
    EXPECT_EQ(U32(out, table + 40 + 20), 0x400u);       // PointerToRawData
    EXPECT_EQ(U32(out, table + 40 + 36), 0x40000040u);  // readable data
    EXPECT_EQ(out.size(), 0x600u);
    EXPECT_EQ(out.substr(0x400 + 200, 14), "vf new archive");
    EXPECT_EQ(out.substr(0, 0x400).substr(table + 80),
              image.substr(table + 80, 0x400 - table - 80));

    // Adding again replaces the resource, so the tree does not grow.
    const std::string again = AddPeResource(out, "dummy", "bintype", "vf 2", "t.exe");
    EXPECT_EQ(platform::FindPeResource(again, "DUMMY", "BINTYPE", "t.exe"), "vf 2");
    EXPECT_EQ(TPeResourceWriter(again, "t.exe").ResourceList().size(), 2u);
  }
}

TEST(PeResourceWriter, RefusesImagesItCannotExtendNamingTheFile) {
  const std::string image = platform::test::BuildPeImage("x", "numbered").Bytes;
  const std::size_t opt = 0x98;
  struct TCase {
    const char* What;
    std::string Bytes;
    bool Damaged;  // EDamagedData; else ERangeError
    const char* Says;
  };
  std::string signed_ = image;
  base::PutUInt32(&signed_[opt + 96 + 4 * 8 + 4], 0x100);  // certificate table size
  std::string crowded = image;
  crowded[opt + 224 + 40 + 3] = 'x';  // something lies behind the section table
  std::string elf =
      "\x7F"
      "ELF" +
      std::string(200, '\0');
  std::string wild = image;
  base::PutUInt32(&wild[0x200 + 20], 0x80000000u | 0x00FFFFF0u);  // subdirectory beyond the end
  const TCase cases[] = {
      {"signed", signed_, false, "signed"},
      {"no room for a section header", crowded, false, "no free room"},
      {"not a Windows program", elf, true, "MZ"},
      {"cut in the section table", image.substr(0, 0x190), true, "section"},
      {"resource tree beyond the end", wild, true, "resource"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    try {
      AddPeResource(c.Bytes, "DUMMY", "BINTYPE", "vf", "setup.exe");
      ADD_FAILURE() << "accepted";
    } catch (const base::EDamagedData& e) {
      EXPECT_TRUE(c.Damaged) << e.Message();
      EXPECT_NE(e.Message().find("setup.exe"), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find(c.Says), std::string::npos) << e.Message();
    } catch (const base::ERangeError& e) {
      EXPECT_FALSE(c.Damaged) << e.Message();
      EXPECT_NE(e.Message().find("setup.exe"), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find(c.Says), std::string::npos) << e.Message();
    }
  }
}

TEST(PeResourceWriter, DamagedImagesAreRefusedOrGiveAReadableResource) {
  const std::string image = platform::test::BuildPeImage("old", "numbered").Bytes;
  mora::test::TByteDamage damage(11);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = damage.Damage(image);
    std::string out;
    try {
      out = AddPeResource(bytes, "DUMMY", "BINTYPE", "vf payload", "d.exe");
    } catch (const base::EDamagedData&) {
      ++refused;
      continue;
    } catch (const base::ERangeError&) {
      ++refused;
      continue;
    }
    // What the writer accepts, the reader finds the resource in.
    EXPECT_EQ(platform::FindPeResource(out, "DUMMY", "BINTYPE", "d.exe"), "vf payload")
        << "round " << round;
  }
  EXPECT_GT(refused, 0);
}

// The stand-in setup program beside the test program.
std::string ProbeProgram() {
  const std::string self = platform::ModuleFileName();
  const std::size_t slash = base::LastPathDelimiter(self);
  const bool exe = self.size() > 4 && base::SameText932(self.substr(self.size() - 4), ".exe");
  return self.substr(0, slash + 1) + "authoring_test_probe" + (exe ? ".exe" : "");
}

// Starts the packed program and waits for what it wrote into its answer.
std::string RunProbe(const std::string& program) {
  const std::string answer = program + ".answer";
#ifdef MORA_TEST_EMULATOR
  const int result = platform::ShellExecuteOpen(
      platform::PathFromNative(MORA_TEST_EMULATOR),
      "\"" + platform::PathToNative(program) + "\" \"" + answer + "\"", "");
#else
  const int result = platform::ShellExecuteOpen(program, "\"" + answer + "\"", "");
#endif
  EXPECT_GT(result, 32) << program;
  if (result <= 32) return "not started";
  for (int i = 0; i < 600 && !platform::FileExists(answer); ++i) platform::SleepMs(50);
  if (!platform::FileExists(answer)) return "no answer";
  return platform::ReadFileBytes(answer);
}

TEST(PackMedia, TheRealSetupProgramFindsTheArchiveItCarries) {
  const std::string probe = ProbeProgram();
  ASSERT_TRUE(platform::FileExists(probe)) << probe;
  const bool windows = platform::ReadFileBytes(probe).substr(0, 2) == "MZ";
  for (const std::string placement : {"appended", "resource"}) {
    SCOPED_TRACE(placement);
    TTempFolder folder;
    const TSampleTitle title(folder, "unused");
    TManifest manifest = title.Load(placement);
    manifest.SetupProgram = probe;
    manifest.SetupName = windows ? "setup.exe" : "setup";
    TPackOptions options;
    options.OutputFolder = folder / "out";
    const std::string packed = folder / ("out\\disk1\\" + manifest.SetupName);
    if (placement == "resource" && !windows) {
      // A native program has no PE resources to carry the archive.
      try {
        PackMedia(manifest, options);
        ADD_FAILURE() << "packed an archive resource into a native program";
      } catch (const EManifestError& e) {
        EXPECT_EQ(e.Field(), "setup.program");
        EXPECT_NE(e.Message().find("Windows program"), std::string::npos) << e.Message();
      }
      continue;
    }
    PackMedia(manifest, options);
    // Found as start-up finds it: the resource first, then the trailer; the
    // title read from the install.dat entry; every entry counted.
    EXPECT_EQ(RunProbe(packed), placement + " " + TSampleTitle::Title + " 5");
    if (placement == "resource") {
      // The system's resource calls (under Wine) see the new resource and
      // the program's own ones.
      const auto module = platform::TModule::Load(packed);
      ASSERT_NE(module, nullptr);
      const auto archive = module->FindResource("DUMMY", "BINTYPE");
      ASSERT_TRUE(archive.has_value());
      EXPECT_EQ(archive->substr(0, 2), "vf");
      EXPECT_EQ(module->FindResource("PROBEDATA", "#10"), "probe resource kept");
      EXPECT_TRUE(module->FindResource("#1", "#16").has_value());  // version information
    }
  }
}

}  // namespace
}  // namespace mora::authoring
