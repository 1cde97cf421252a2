// Glob patterns over archive entry names (code page 932 byte strings), for
// choosing entries by name. "*" matches any run of characters within one
// folder level (never a "\"), "**" any run including "\", "?" one character
// other than "\", "[...]" one character of the set ("[!...]" or "[^...]" one
// not in it; "a-z" a range; a "]" right after the "[" is a member), anything
// else itself; a "[" without its "]" is itself. "/" and "\" are the same
// separator in patterns and names. Letters match without regard to ASCII
// case, as the archive's own lookup compares names; a double-byte character
// is one character and its trail byte is never a separator. The pattern is
// matched against the whole name. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mora::archive {

class TNamePattern {
 public:
  explicit TNamePattern(std::string_view pattern);

  bool Matches(std::string_view name) const;

 private:
  enum class TKind { Char, AnyChar, Star, DoubleStar, Set };
  struct TRange {
    std::uint16_t First;
    std::uint16_t Last;
  };
  struct TToken {
    TKind Kind = TKind::Char;
    std::uint16_t Char = 0;      // TKind::Char, folded
    bool Negated = false;        // TKind::Set
    std::vector<TRange> Ranges;  // TKind::Set
  };

  bool SetMatches(const TToken& token, std::uint16_t c) const;

  std::vector<TToken> FTokens;
};

}  // namespace mora::archive
