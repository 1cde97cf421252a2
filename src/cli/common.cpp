#include "cli/common.h"

#include <iostream>
#include <new>

#include "authoring/manifest.h"
#include "base/errors.h"
#include "base/sjis.h"
#include "installer/medium.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace mora::cli {

std::string PathArgument(const std::string& nativePath) {
  return platform::PathFromNative(nativePath);
}

std::string ToTerminal(std::string_view text932) { return base::Cp932ToUtf8Lossy(text932); }

std::string MessageLine(const std::string& text932) {
  const std::string text = ToTerminal(text932);
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      line += ' ';
      ++i;
    } else {
      line += text[i];
    }
  }
  return line;
}

std::string SourceName(const std::string& argument, const std::string& path) {
  try {
    return base::Utf8ToCp932(argument);
  } catch (const base::EConvertError&) {
    return path;
  }
}

namespace {

TFailure Classify(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const installer::EMediumMissing& e) {
    return {ExitMissing, MessageLine(e.Message())};
  } catch (const authoring::EManifestError& e) {
    switch (e.Kind()) {
      case authoring::EManifestError::TKind::MissingFile:
        return {ExitMissing, MessageLine(e.Message())};
      case authoring::EManifestError::TKind::DoesNotFit:
        return {ExitFailure, MessageLine(e.Message())};
      case authoring::EManifestError::TKind::Invalid: break;
    }
    return {ExitDamaged, MessageLine(e.Message())};
  } catch (const base::EFOpenError& e) {
    return {ExitMissing, MessageLine(e.Message())};
  } catch (const base::EWriteError& e) {
    return {ExitFailure, MessageLine(e.Message())};
  } catch (const base::EFCreateError& e) {
    return {ExitFailure, MessageLine(e.Message())};
  } catch (const base::EStreamError& e) {
    return {ExitDamaged, MessageLine(e.Message())};
  } catch (const base::EDamagedData& e) {
    return {ExitDamaged, MessageLine(e.Message())};
  } catch (const base::ERangeError& e) {
    return {ExitDamaged, MessageLine(e.Message())};
  } catch (const base::EResNotFound& e) {
    return {ExitDamaged, MessageLine(e.Message())};
  } catch (const base::EZDecompressionError&) {
    // zlib's own word for it is only "error".
    return {ExitDamaged, MessageLine(base::Sjis("ファイルが壊れています"))};
  } catch (const base::Exception& e) {
    return {ExitFailure, MessageLine(e.Message())};
  } catch (const std::bad_alloc&) {
    return {ExitFailure, "out of memory"};
  } catch (const std::exception& e) {
    return {ExitFailure, e.what()};
  } catch (...) {
    return {ExitFailure, "unexpected failure"};
  }
}

}  // namespace

TFailure DescribeFailure(const std::exception_ptr& failure, const std::string& context) {
  TFailure described = Classify(failure);
  if (!context.empty()) described.Text = context + ": " + described.Text;
  return described;
}

int ReportFailure(const std::exception_ptr& failure, const std::string& context) {
  const TFailure described = DescribeFailure(failure, context);
  std::cerr << "mora: " << described.Text << "\n";
  return described.ExitCode;
}

std::optional<int> CheckInputFile(const std::string& argument, const std::string& path,
                                  const char* what) {
  if (platform::FileExists(path)) return std::nullopt;
  if (platform::DirectoryExists(path)) {
    std::cerr << "mora: " << argument << ": is a folder, not " << what << "\n";
  } else {
    std::cerr << "mora: " << argument << ": no such file\n";
  }
  return ExitMissing;
}

std::optional<int> CheckInputExists(const std::string& argument, const std::string& path) {
  if (platform::FileExists(path) || platform::DirectoryExists(path)) return std::nullopt;
  std::cerr << "mora: " << argument << ": no such file or folder\n";
  return ExitMissing;
}

}  // namespace mora::cli
