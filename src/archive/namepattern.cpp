#include "archive/namepattern.h"

#include "base/sjis.h"

namespace mora::archive {

namespace {

constexpr std::uint16_t Separator = '\\';

// The text as characters: a single byte as itself, a double-byte character
// as lead * 256 + trail; "/" becomes "\" and, when folding, ASCII capitals
// small letters.
std::vector<std::uint16_t> Characters(std::string_view text, bool fold) {
  std::vector<std::uint16_t> characters;
  characters.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (base::IsLeadByte(byte) && i + 1 < text.size()) {
      characters.push_back(
          static_cast<std::uint16_t>(byte << 8 | static_cast<unsigned char>(text[i + 1])));
      ++i;
    } else if (byte == '/') {
      characters.push_back(Separator);
    } else if (fold && byte >= 'A' && byte <= 'Z') {
      characters.push_back(static_cast<std::uint16_t>(byte - 'A' + 'a'));
    } else {
      characters.push_back(byte);
    }
  }
  return characters;
}

std::uint16_t Folded(std::uint16_t c) {
  return c >= 'A' && c <= 'Z' ? static_cast<std::uint16_t>(c - 'A' + 'a') : c;
}

std::uint16_t UpperOf(std::uint16_t c) {
  return c >= 'a' && c <= 'z' ? static_cast<std::uint16_t>(c - 'a' + 'A') : c;
}

}  // namespace

TNamePattern::TNamePattern(std::string_view pattern) {
  // Sets keep the letters as written, so a range means what it says; the
  // name's small letters are tried in both cases against them.
  const std::vector<std::uint16_t> p = Characters(pattern, false);
  for (std::size_t i = 0; i < p.size(); ++i) {
    TToken token;
    if (p[i] == '*') {
      token.Kind = TKind::Star;
      if (i + 1 < p.size() && p[i + 1] == '*') {
        token.Kind = TKind::DoubleStar;
        while (i + 1 < p.size() && p[i + 1] == '*') ++i;
      }
    } else if (p[i] == '?') {
      token.Kind = TKind::AnyChar;
    } else if (p[i] == '[') {
      std::size_t j = i + 1;
      if (j < p.size() && (p[j] == '!' || p[j] == '^')) {
        token.Negated = true;
        ++j;
      }
      const std::size_t firstMember = j;
      while (j < p.size() && (p[j] != ']' || j == firstMember)) {
        if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
          token.Ranges.push_back({p[j], p[j + 2]});
          j += 3;
        } else {
          token.Ranges.push_back({p[j], p[j]});
          ++j;
        }
      }
      if (j < p.size()) {
        token.Kind = TKind::Set;
        i = j;
      } else {
        token.Ranges.clear();
        token.Negated = false;
        token.Char = '[';  // no closing "]": the "[" stands for itself
      }
    } else {
      token.Char = Folded(p[i]);
    }
    FTokens.push_back(std::move(token));
  }
}

bool TNamePattern::SetMatches(const TToken& token, std::uint16_t c) const {
  bool member = false;
  for (const TRange& range : token.Ranges) {
    if ((c >= range.First && c <= range.Last) ||
        (UpperOf(c) >= range.First && UpperOf(c) <= range.Last)) {
      member = true;
      break;
    }
  }
  return member != token.Negated;
}

bool TNamePattern::Matches(std::string_view name) const {
  const std::vector<std::uint16_t> n = Characters(name, true);
  // matches[j]: the tokens from the current one on match the name from j
  // on. Built from the last token back, one row at a time.
  std::vector<char> next(n.size() + 1, 0);
  next[n.size()] = 1;
  std::vector<char> row(n.size() + 1, 0);
  for (std::size_t t = FTokens.size(); t-- > 0;) {
    const TToken& token = FTokens[t];
    for (std::size_t j = n.size() + 1; j-- > 0;) {
      const bool more = j < n.size();
      switch (token.Kind) {
        case TKind::Char: row[j] = more && n[j] == token.Char && next[j + 1]; break;
        case TKind::AnyChar: row[j] = more && n[j] != Separator && next[j + 1]; break;
        case TKind::Set:
          row[j] = more && n[j] != Separator && SetMatches(token, n[j]) && next[j + 1];
          break;
        case TKind::Star: row[j] = next[j] || (more && n[j] != Separator && row[j + 1]); break;
        case TKind::DoubleStar: row[j] = next[j] || (more && row[j + 1]); break;
      }
    }
    next.swap(row);
  }
  return next[0] != 0;
}

}  // namespace mora::archive
