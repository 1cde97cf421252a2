// Benchmarks of the archive layer, each beside the baseline it is judged
// against in the same run: CRC-32 and inflating against zlib's own calls,
// opening a directory and looking up every name against decoding the same
// directory into a standard hash map, UpdateFrom against a plain file copy,
// Verify against zlib's crc32 over the same bytes read through a file.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/bigstreams.h"
#include "archive/vrfiles.h"
#include "archive/vrlayout.h"
#include "archive/vrwriter.h"
#include "archive/zstream.h"
#include "base/sjis.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/streams.h"

namespace {

using namespace mora;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937_64 random(seed);
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    const std::uint64_t value = random();
    bytes.replace(i, 8, reinterpret_cast<const char*>(&value), 8);
  }
  return bytes;
}

// Text-like bytes that deflate about 3:1, as scenario files do.
std::string TextBytes(std::size_t size, unsigned seed) {
  static const char* const Words[] = {"the ",    "scene ", "begins ", "with ", "a ",
                                      "choice ", "voice ", "music ",  "ends ", "chapter ",
                                      "player ", "night ", "garden ", "moon ", "\n"};
  std::mt19937 random(seed);
  std::string text;
  text.reserve(size + 16);
  while (text.size() < size) {
    text += Words[random() % 15];
    if (random() % 7 == 0) text += std::to_string(random() % 100000);
  }
  text.resize(size);
  return text;
}

// A folder of its own under the temporary folder, removed with its files.
class TBenchFolder {
 public:
  TBenchFolder() {
    FPath = platform::TempFolder() + "mora-bench-" + std::to_string(std::random_device{}()) + "\\";
    platform::ForceDirectories(FPath);
  }
  ~TBenchFolder() {
    for (const std::string& file : FFiles) platform::DeleteFile(file);
    platform::RemoveDirectory(FPath);
  }
  std::string File(const std::string& name) {
    FFiles.push_back(FPath + name);
    return FPath + name;
  }

 private:
  std::string FPath;
  std::vector<std::string> FFiles;
};

constexpr std::size_t CrcSize = 16 << 20;

void BM_Crc32_Zlib(benchmark::State& state) {
  const std::string bytes = RandomBytes(CrcSize, 1);
  for (auto _ : state) {
    uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Crc32_Zlib);

void BM_Crc32_Mora(benchmark::State& state) {
  const std::string bytes = RandomBytes(CrcSize, 1);
  for (auto _ : state) benchmark::DoNotOptimize(archive::BytesCRC32(bytes));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Crc32_Mora);

constexpr std::size_t InflateSize = 16 << 20;

const std::string& CompressedText() {
  static const std::string compressed = archive::DeflateBytes(TextBytes(InflateSize, 2), 6);
  return compressed;
}

// What a plain program does: one z_stream, a 64 KiB output buffer, inflate
// until the end.
void BM_Inflate_Zlib(benchmark::State& state) {
  const std::string& compressed = CompressedText();
  std::vector<unsigned char> out(64 * 1024);
  for (auto _ : state) {
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    std::size_t total = 0;
    int status = Z_OK;
    while (status == Z_OK) {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      status = inflate(&z, Z_NO_FLUSH);
      total += out.size() - z.avail_out;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END || total != InflateSize) state.SkipWithError("zlib failed");
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * InflateSize));
}
BENCHMARK(BM_Inflate_Zlib);

// The streaming inflater that extracts entries into files.
void BM_Inflate_MoraStream(benchmark::State& state) {
  const std::string& compressed = CompressedText();
  for (auto _ : state) {
    archive::TInflater inflater;
    std::size_t total = 0;
    inflater.Put(compressed, [&total](const char*, std::size_t size) { total += size; });
    if (inflater.Finish() != archive::TInflateState::Finished || total != InflateSize) {
      state.SkipWithError("inflater failed");
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * InflateSize));
}
BENCHMARK(BM_Inflate_MoraStream);

// Whole entries into memory (settings, pictures, small entries).
void BM_Inflate_MoraBytes(benchmark::State& state) {
  const std::string& compressed = CompressedText();
  for (auto _ : state) {
    auto out = archive::InflateBytes(compressed, std::uint64_t{1} << 30);
    if (!out || out->size() != InflateSize) state.SkipWithError("inflater failed");
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * InflateSize));
}
BENCHMARK(BM_Inflate_MoraBytes);

std::string EntryName(std::int64_t i) {
  char name[48];
  std::snprintf(name, sizeof name, "data\\scene%03d\\s%07lld.txt", static_cast<int>(i % 997),
                static_cast<long long>(i));
  return name;
}

// A version-102 directory of count entries of one byte each.
const std::string& DirectoryBytes(std::int64_t count) {
  static std::unordered_map<std::int64_t, std::string> cache;
  std::string& bytes = cache[count];
  if (bytes.empty()) {
    archive::TDirectory directory;
    for (std::int64_t i = 0; i < count; ++i) {
      directory.Entries.push_back({EntryName(i), i, 1, 0x2A214000, 0x12345678u, 0});
    }
    directory.EndOffset = count;
    bytes = archive::EncodeDirectory(directory);
  }
  return bytes;
}

void BM_Directory_DecodeAndStdMap(benchmark::State& state) {
  const std::int64_t count = state.range(0);
  const std::string& bytes = DirectoryBytes(count);
  for (auto _ : state) {
    archive::TQsBigMemoryStream stream(bytes);
    stream.SetPosition(0);
    archive::TDirectory directory = archive::DecodeDirectory(stream, stream.GetSize(), "bench.dat");
    std::unordered_map<std::string, std::size_t> index;
    index.reserve(directory.Entries.size());
    for (std::size_t i = 0; i < directory.Entries.size(); ++i) {
      index[base::LowerCase932(directory.Entries[i].Name)] = i;
    }
    std::size_t found = 0;
    for (std::int64_t i = 0; i < count; ++i) found += index.count(base::LowerCase932(EntryName(i)));
    if (found != static_cast<std::size_t>(count)) state.SkipWithError("lookup failed");
  }
  state.SetComplexityN(count);
}
BENCHMARK(BM_Directory_DecodeAndStdMap)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_Directory_OpenAndLookUp(benchmark::State& state) {
  const std::int64_t count = state.range(0);
  const std::string& bytes = DirectoryBytes(count);
  for (auto _ : state) {
    archive::TQsBigMemoryStream stream(bytes);
    stream.SetPosition(0);
    archive::TVrFileCollection collection;
    collection.ReadDirectory(stream);
    std::int64_t found = 0;
    for (std::int64_t i = 0; i < count; ++i) found += collection.IndexOf(EntryName(i)) == i;
    if (found != count) state.SkipWithError("lookup failed");
  }
  state.SetComplexityN(count);
}
BENCHMARK(BM_Directory_OpenAndLookUp)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A medium archive of 64 MiB: one 48 MiB stored entry and 1,024 of 16 KiB.
struct TMediumArchive {
  TBenchFolder Folder;
  std::string Name;
  std::int64_t Bytes = 0;

  TMediumArchive() {
    Name = Folder.File("medium.dat");
    archive::TVrArchiveWriter writer;
    archive::TArchiveEntryOptions stored;
    stored.Stored = true;
    stored.FileTime = 0x2A214000;
    writer.AddBytes("big.dat", RandomBytes(48 << 20, 3), stored);
    for (int i = 0; i < 1024; ++i) {
      writer.AddBytes("small\\" + std::to_string(i), RandomBytes(16 << 10, 4 + i), stored);
    }
    writer.WriteSeparate(Name);
    Bytes = archive::TQsBigFileStream(Name, archive::fmBigOpenRead).GetSize();
  }
};

TMediumArchive& Medium() {
  static TMediumArchive medium;
  return medium;
}

void BM_UpdateFrom_PlainFileCopy(benchmark::State& state) {
  TMediumArchive& medium = Medium();
  TBenchFolder target;
  const std::string copy = target.File("copy.dat");
  for (auto _ : state) {
    if (!platform::CopyFile(medium.Name, copy, false)) state.SkipWithError("copy failed");
  }
  state.SetBytesProcessed(state.iterations() * medium.Bytes);
}
BENCHMARK(BM_UpdateFrom_PlainFileCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UpdateFrom_FileStreams(benchmark::State& state) {
  TMediumArchive& medium = Medium();
  TBenchFolder target;
  const std::string game = target.File("game.dat");
  target.File("game.ext");
  archive::TVrFileCollection source;
  source.OpenFile(medium.Name, true);
  for (auto _ : state) {
    archive::TVrFileCollection installed;
    installed.OpenFile(game, true);
    if (!installed.UpdateFrom(source)) state.SkipWithError("nothing taken over");
    state.PauseTiming();
    installed.Open("");
    platform::DeleteFile(game);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * medium.Bytes);
}
BENCHMARK(BM_UpdateFrom_FileStreams)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Verify_ZlibOverFile(benchmark::State& state) {
  TMediumArchive& medium = Medium();
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    platform::TFileStream file(medium.Name, platform::TFileStream::TMode::OpenRead);
    uLong crc = 0;
    for (std::int64_t n; (n = file.Read(buffer.data(), 1 << 20)) > 0;) {
      crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(n));
    }
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(state.iterations() * medium.Bytes);
}
BENCHMARK(BM_Verify_ZlibOverFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Verify_Archive(benchmark::State& state) {
  TMediumArchive& medium = Medium();
  archive::TVrFileCollection collection;
  collection.OpenFile(medium.Name, true);
  for (auto _ : state) {
    if (!collection.Verify()) state.SkipWithError("verify failed");
  }
  state.SetBytesProcessed(state.iterations() * medium.Bytes);
}
BENCHMARK(BM_Verify_Archive)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
