#include "base/binary.h"

#include <cstring>

#include "base/errors.h"

namespace mora::base {

TLittleEndianReader::TLittleEndianReader(const void* data, std::size_t size, std::string sourceName)
    : FData(static_cast<const std::uint8_t*>(data)),
      FSize(size),
      FSourceName(std::move(sourceName)) {}

std::string DamageMessage(std::string_view source, std::int64_t offset, std::string_view field,
                          std::string_view problem) {
  std::string message(source);
  message += ": offset ";
  message += std::to_string(offset);
  message += ": ";
  message += field;
  message += ' ';
  message += problem;
  return message;
}

void FailDamaged(std::string_view source, std::int64_t offset, std::string_view field,
                 std::string_view problem) {
  throw EDamagedData(DamageMessage(source, offset, field, problem));
}

void TLittleEndianReader::Fail(std::string_view field, std::string_view problem) const {
  FailDamaged(FSourceName, static_cast<std::int64_t>(FPosition), field, problem);
}

void TLittleEndianReader::Require(std::size_t count, std::string_view field) const {
  if (count > FSize - FPosition) {
    Fail(field, "needs " + std::to_string(count) + " bytes but only " +
                    std::to_string(FSize - FPosition) + " are left");
  }
}

void TLittleEndianReader::RequireItems(std::uint64_t count, std::size_t itemSize,
                                       std::string_view field) const {
  const std::uint64_t left = FSize - FPosition;
  if (itemSize != 0 && count > left / itemSize) {
    Fail(field,
         "count " + std::to_string(count) + " exceeds the " + std::to_string(left) + " bytes left");
  }
}

void TLittleEndianReader::Seek(std::size_t position, std::string_view field) {
  if (position > FSize) {
    Fail(field, "position " + std::to_string(position) + " lies beyond the end (" +
                    std::to_string(FSize) + " bytes)");
  }
  FPosition = position;
}

void TLittleEndianReader::Skip(std::size_t count, std::string_view field) {
  Require(count, field);
  FPosition += count;
}

std::uint8_t TLittleEndianReader::ReadByte(std::string_view field) {
  Require(1, field);
  return FData[FPosition++];
}

std::uint16_t TLittleEndianReader::ReadUInt16(std::string_view field) {
  Require(2, field);
  const std::uint16_t value = GetUInt16(FData + FPosition);
  FPosition += 2;
  return value;
}

std::uint32_t TLittleEndianReader::ReadUInt32(std::string_view field) {
  Require(4, field);
  const std::uint32_t value = GetUInt32(FData + FPosition);
  FPosition += 4;
  return value;
}

std::int32_t TLittleEndianReader::ReadInt32(std::string_view field) {
  return static_cast<std::int32_t>(ReadUInt32(field));
}

std::int64_t TLittleEndianReader::ReadInt64(std::string_view field) {
  Require(8, field);
  const std::uint64_t value = GetUInt64(FData + FPosition);
  FPosition += 8;
  return static_cast<std::int64_t>(value);
}

std::string TLittleEndianReader::ReadBytes(std::size_t count, std::string_view field) {
  return std::string(ReadView(count, field));
}

std::string_view TLittleEndianReader::ReadView(std::size_t count, std::string_view field) {
  Require(count, field);
  std::string_view view(reinterpret_cast<const char*>(FData) + FPosition, count);
  FPosition += count;
  return view;
}

void TLittleEndianReader::ReadInto(void* target, std::size_t count, std::string_view field) {
  Require(count, field);
  if (count != 0) std::memcpy(target, FData + FPosition, count);
  FPosition += count;
}

bool TLittleEndianReader::TryReadByte(std::uint8_t& value) {
  if (Remaining() < 1) return false;
  value = FData[FPosition++];
  return true;
}

bool TLittleEndianReader::TryReadInt32(std::int32_t& value) {
  if (Remaining() < 4) return false;
  value = static_cast<std::int32_t>(GetUInt32(FData + FPosition));
  FPosition += 4;
  return true;
}

bool TLittleEndianReader::TryReadInt64(std::int64_t& value) {
  if (Remaining() < 8) return false;
  value = static_cast<std::int64_t>(GetUInt64(FData + FPosition));
  FPosition += 8;
  return true;
}

void TLittleEndianWriter::WriteByte(std::uint8_t value) {
  FTarget.push_back(static_cast<char>(value));
}

void TLittleEndianWriter::WriteUInt16(std::uint16_t value) {
  char bytes[2];
  PutUInt16(bytes, value);
  FTarget.append(bytes, 2);
}

void TLittleEndianWriter::WriteUInt32(std::uint32_t value) {
  char bytes[4];
  PutUInt32(bytes, value);
  FTarget.append(bytes, 4);
}

void TLittleEndianWriter::WriteInt32(std::int32_t value) {
  WriteUInt32(static_cast<std::uint32_t>(value));
}

void TLittleEndianWriter::WriteInt64(std::int64_t value) {
  char bytes[8];
  PutUInt64(bytes, static_cast<std::uint64_t>(value));
  FTarget.append(bytes, 8);
}

void TLittleEndianWriter::WriteBytes(std::string_view bytes) { FTarget.append(bytes); }

void TLittleEndianWriter::WriteZeros(std::size_t count) { FTarget.append(count, '\0'); }

std::uint16_t GetUInt16(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t GetUInt32(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint64_t GetUInt64(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint64_t>(GetUInt32(b)) |
         (static_cast<std::uint64_t>(GetUInt32(b + 4)) << 32);
}

void PutUInt16(void* p, std::uint16_t value) {
  auto* b = static_cast<std::uint8_t*>(p);
  b[0] = static_cast<std::uint8_t>(value);
  b[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutUInt32(void* p, std::uint32_t value) {
  auto* b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutUInt64(void* p, std::uint64_t value) {
  auto* b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace mora::base
