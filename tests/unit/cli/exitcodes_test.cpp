// The one failure path of mora: every error class the libraries raise ends a
// run with the exit code of the README's table and one line of text.
#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "authoring/manifest.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "cli/common.h"
#include "installer/medium.h"

namespace mora::cli {
namespace {

using base::Sjis;

TEST(MoraFailures, EveryErrorClassHasItsExitCodeAndOneLine) {
  using TKind = authoring::EManifestError::TKind;
  struct TCase {
    const char* What;
    std::exception_ptr Failure;
    int ExitCode;
    std::string Text;
  };
  const TCase cases[] = {
      {"medium without what was asked",
       std::make_exception_ptr(installer::EMediumMissing("game.dat does not exist")), 4,
       "game.dat does not exist"},
      {"file that cannot be opened",
       std::make_exception_ptr(base::EFOpenError(Sjis("a.dat:ファイルがありません"))), 4,
       "a.dat:ファイルがありません"},
      {"manifest naming a missing file",
       std::make_exception_ptr(
           authoring::EManifestError("disks[0].files[1].path", "no such file", TKind::MissingFile)),
       4, "disks[0].files[1].path: no such file"},
      {"damaged data",
       std::make_exception_ptr(base::EDamagedData("game.dat: offset 6: N too large")), 3,
       "game.dat: offset 6: N too large"},
      // A count read from a file that is out of range: 3 in every command.
      {"range", std::make_exception_ptr(base::ERangeError("install.dat: offset 30: DiskCount -1")),
       3, "install.dat: offset 30: DiskCount -1"},
      {"short read",
       std::make_exception_ptr(base::EReadError(Sjis("ストリームからの読み込みエラー"))), 3,
       "ストリームからの読み込みエラー"},
      {"missing resource", std::make_exception_ptr(base::EResNotFound("DUMMY")), 3, "DUMMY"},
      {"damaged zlib data", std::make_exception_ptr(base::EZDecompressionError("error")), 3,
       "ファイルが壊れています"},
      {"invalid manifest",
       std::make_exception_ptr(authoring::EManifestError("settings.Footer", "unknown field")), 3,
       "settings.Footer: unknown field"},
      // Writing is not reading damaged data: a full disk is any other failure.
      {"write", std::make_exception_ptr(base::EWriteError("disk full")), 1, "disk full"},
      {"create", std::make_exception_ptr(base::EFCreateError("cannot create out.png")), 1,
       "cannot create out.png"},
      {"does not fit",
       std::make_exception_ptr(
           authoring::EManifestError("disks[1]", "does not fit", TKind::DoesNotFit)),
       1, "disks[1]: does not fit"},
      {"platform", std::make_exception_ptr(base::EPlatformError("rename failed")), 1,
       "rename failed"},
      {"out of memory", std::make_exception_ptr(std::bad_alloc()), 1, "out of memory"},
      {"library", std::make_exception_ptr(std::runtime_error("json: bad token")), 1,
       "json: bad token"},
      {"anything", std::make_exception_ptr(42), 1, "unexpected failure"},
      // A message of two lines is shown as one.
      {"two lines",
       std::make_exception_ptr(base::EDamagedData(Sjis("ファイルが壊れています\r\nbgm.ogg"))), 3,
       "ファイルが壊れています bgm.ogg"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const TFailure failure = DescribeFailure(c.Failure);
    EXPECT_EQ(failure.ExitCode, c.ExitCode);
    EXPECT_EQ(failure.Text, c.Text);
  }
  const TFailure named =
      DescribeFailure(std::make_exception_ptr(base::EWriteError("disk full")), "out\\a.bin");
  EXPECT_EQ(named.Text, "out\\a.bin: disk full");
}

}  // namespace
}  // namespace mora::cli
