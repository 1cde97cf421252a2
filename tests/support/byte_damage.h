// Seeded damage to well-formed files, for tests that feed readers of outside
// data thousands of broken variants: each must either load or throw one of
// the program's own exceptions. A crash, an out-of-bounds access (caught by
// the sanitizers), a huge allocation or a foreign exception fails the test.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace mora::test {

class TByteDamage {
 public:
  explicit TByteDamage(std::uint32_t seed) : FRandom(seed) {}

  // A copy of bytes with one to four kinds of damage applied: bytes
  // overwritten at random, set to extreme values (0, 0x7F/0x80/0xFF runs
  // that make lengths and counts huge or negative), cut off, or a range
  // duplicated so that later fields shift.
  std::string Damage(const std::string& bytes) {
    std::string result = bytes;
    const int rounds = Between(1, 4);
    for (int round = 0; round < rounds && !result.empty(); ++round) {
      switch (Between(0, 4)) {
        case 0:
          for (int n = Between(1, 8); n > 0; --n) result[Index(result)] = RandomByte();
          break;
        case 1: {
          static const char extremes[] = {'\x00', '\x7F', '\x80', '\xFF'};
          const std::size_t at = Index(result);
          const std::size_t length = std::min<std::size_t>(Between(1, 4), result.size() - at);
          result.replace(at, length, length, extremes[Between(0, 3)]);
          break;
        }
        case 2: result.resize(Index(result)); break;
        case 3: {
          const std::size_t at = Index(result);
          const std::size_t length = std::min<std::size_t>(Between(1, 16), result.size() - at);
          result.insert(at, result.substr(at, length));
          break;
        }
        default: {
          // A single bit: the smallest change, and the one checksums and
          // deflate streams are meant to catch.
          char& byte = result[Index(result)];
          byte = static_cast<char>(byte ^ (1 << Between(0, 7)));
          break;
        }
      }
    }
    return result;
  }

 private:
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(FRandom); }
  std::size_t Index(const std::string& bytes) {
    return std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(FRandom);
  }
  char RandomByte() { return static_cast<char>(Between(0, 255)); }

  std::mt19937 FRandom;
};

}  // namespace mora::test
