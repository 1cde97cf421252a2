// Little-endian reading and writing of exact-width fields over a byte range.
// The reader checks every read against the bytes that remain (n > size - pos,
// never pos + n > size) and throws EDamagedData naming the source, the offset
// and the field: "install.dat: offset 57: PlainFiles count ...".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mora::base {

// Every message about damaged outside data reads the same way, so a user can
// find the place with a hex viewer: "source: offset N: field problem".
std::string DamageMessage(std::string_view source, std::int64_t offset, std::string_view field,
                          std::string_view problem);
// Throws EDamagedData with that message.
[[noreturn]] void FailDamaged(std::string_view source, std::int64_t offset, std::string_view field,
                              std::string_view problem);

class TLittleEndianReader {
 public:
  TLittleEndianReader(const void* data, std::size_t size, std::string sourceName);
  explicit TLittleEndianReader(std::string_view bytes, std::string sourceName)
      : TLittleEndianReader(bytes.data(), bytes.size(), std::move(sourceName)) {}

  std::size_t Position() const { return FPosition; }
  std::size_t Size() const { return FSize; }
  std::size_t Remaining() const { return FSize - FPosition; }
  bool AtEnd() const { return FPosition >= FSize; }
  const std::string& SourceName() const { return FSourceName; }

  void Seek(std::size_t position, std::string_view field);
  void Skip(std::size_t count, std::string_view field);

  std::uint8_t ReadByte(std::string_view field);
  std::uint16_t ReadUInt16(std::string_view field);
  std::int32_t ReadInt32(std::string_view field);
  std::uint32_t ReadUInt32(std::string_view field);
  std::int64_t ReadInt64(std::string_view field);
  std::string ReadBytes(std::size_t count, std::string_view field);
  void ReadInto(void* target, std::size_t count, std::string_view field);
  // A view of the next count bytes (valid while the data lives); advances.
  std::string_view ReadView(std::size_t count, std::string_view field);

  // Checks that count items of itemSize bytes can still follow; call before
  // allocating for a count read from the data.
  void RequireItems(std::uint64_t count, std::size_t itemSize, std::string_view field) const;

  // Reads of fixed-width fields that may find the data at its end: they
  // return false (and change nothing) when too few bytes remain.
  bool TryReadByte(std::uint8_t& value);
  bool TryReadInt32(std::int32_t& value);
  bool TryReadInt64(std::int64_t& value);

  [[noreturn]] void Fail(std::string_view field, std::string_view problem) const;

 private:
  void Require(std::size_t count, std::string_view field) const;

  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPosition = 0;
  std::string FSourceName;
};

class TLittleEndianWriter {
 public:
  explicit TLittleEndianWriter(std::string& target) : FTarget(target) {}

  void WriteByte(std::uint8_t value);
  void WriteUInt16(std::uint16_t value);
  void WriteInt32(std::int32_t value);
  void WriteUInt32(std::uint32_t value);
  void WriteInt64(std::int64_t value);
  void WriteBytes(std::string_view bytes);
  void WriteZeros(std::size_t count);
  std::size_t Size() const { return FTarget.size(); }

 private:
  std::string& FTarget;
};

// Plain helpers for fixed positions inside a buffer (no bounds checks: the
// caller has checked the buffer's size).
std::uint16_t GetUInt16(const void* p);
std::uint32_t GetUInt32(const void* p);
std::uint64_t GetUInt64(const void* p);
void PutUInt16(void* p, std::uint16_t value);
void PutUInt32(void* p, std::uint32_t value);
void PutUInt64(void* p, std::uint64_t value);

}  // namespace mora::base
