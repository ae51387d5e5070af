#include "app/Characters.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "platform/Utf8.h"

namespace kestrune {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Range {
  char32_t first;
  char32_t last;
};

bool inRanges(std::span<const Range> ranges, char32_t c) {
  auto it = std::upper_bound(ranges.begin(), ranges.end(), c,
                             [](char32_t value, const Range& r) { return value < r.first; });
  return it != ranges.begin() && c <= std::prev(it)->last;
}

// Marks that never start a character of their own: combining marks of the
// common scripts, variation selectors, emoji modifiers and tag characters.
// Sorted by first code point.
constexpr Range kExtend[] = {
    {0x0300, 0x036F},   {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF},   {0x05C1, 0x05C2},
    {0x05C4, 0x05C5},   {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F},   {0x0670, 0x0670},
    {0x06D6, 0x06DC},   {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED},   {0x0900, 0x0903},
    {0x093A, 0x093C},   {0x093E, 0x094F}, {0x0951, 0x0957}, {0x0962, 0x0963},   {0x0981, 0x0983},
    {0x09BC, 0x09BC},   {0x09BE, 0x09CD}, {0x09D7, 0x09D7}, {0x09E2, 0x09E3},   {0x0B82, 0x0B82},
    {0x0BBE, 0x0BCD},   {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},   {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF},   {0x200C, 0x200C}, {0x20D0, 0x20FF}, {0x302A, 0x302F},   {0x3099, 0x309A},
    {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F}, {0xFF9E, 0xFF9F}, {0x1F3FB, 0x1F3FF}, {0xE0020, 0xE007F},
    {0xE0100, 0xE01EF},
};

// Symbols that emoji ZWJ sequences join (a compact approximation of the
// extended pictographic property). Sorted by first code point.
constexpr Range kPictographic[] = {
    {0x00A9, 0x00A9}, {0x00AE, 0x00AE}, {0x203C, 0x203C}, {0x2049, 0x2049},   {0x2122, 0x2122},
    {0x2139, 0x2139}, {0x2194, 0x2199}, {0x21A9, 0x21AA}, {0x231A, 0x231B},   {0x2328, 0x2328},
    {0x23CF, 0x23CF}, {0x23E9, 0x23F3}, {0x23F8, 0x23FA}, {0x24C2, 0x24C2},   {0x25AA, 0x25AB},
    {0x25B6, 0x25B6}, {0x25C0, 0x25C0}, {0x25FB, 0x25FE}, {0x2600, 0x27BF},   {0x2934, 0x2935},
    {0x2B05, 0x2B07}, {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55},   {0x3030, 0x3030},
    {0x303D, 0x303D}, {0x3297, 0x3297}, {0x3299, 0x3299}, {0x1F000, 0x1F1E5}, {0x1F200, 0x1FFFD},
};

enum class Kind {
  other,
  cr,
  lf,
  control,
  extend,
  zwj,
  regionalIndicator,
  pictographic,
  hangulL,
  hangulV,
  hangulT,
  hangulLV,
  hangulLVT,
};

Kind hangulKind(char32_t c) {
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0xA960 && c <= 0xA97C)) {
    return Kind::hangulL;
  }
  if ((c >= 0x1160 && c <= 0x11A7) || (c >= 0xD7B0 && c <= 0xD7C6)) {
    return Kind::hangulV;
  }
  if ((c >= 0x11A8 && c <= 0x11FF) || (c >= 0xD7CB && c <= 0xD7FB)) {
    return Kind::hangulT;
  }
  if (c >= 0xAC00 && c <= 0xD7A3) {
    return (c - 0xAC00) % 28 == 0 ? Kind::hangulLV : Kind::hangulLVT;
  }
  return Kind::other;
}

Kind kindOf(char32_t c) {
  if (c == '\r') {
    return Kind::cr;
  }
  if (c == '\n') {
    return Kind::lf;
  }
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) {
    return Kind::control;
  }
  if (c < 0x300) {
    return c == 0xA9 || c == 0xAE ? Kind::pictographic : Kind::other;
  }
  if (c == 0x200D) {
    return Kind::zwj;
  }
  if (c >= 0x1F1E6 && c <= 0x1F1FF) {
    return Kind::regionalIndicator;
  }
  if (inRanges(kExtend, c)) {
    return Kind::extend;
  }
  if (inRanges(kPictographic, c)) {
    return Kind::pictographic;
  }
  return hangulKind(c);
}

// Decodes one code point at `pos` and advances past it. A malformed or
// truncated sequence yields U+FFFD and consumes one byte.
char32_t decodeAt(std::string_view text, std::size_t& pos) {
  return platform::decodeUtf8(text, pos).value_or(kReplacement);
}

bool hangulJoins(Kind before, Kind after) {
  switch (before) {
    case Kind::hangulL:
      return after == Kind::hangulL || after == Kind::hangulV || after == Kind::hangulLV ||
             after == Kind::hangulLVT;
    case Kind::hangulLV:
    case Kind::hangulV:
      return after == Kind::hangulV || after == Kind::hangulT;
    case Kind::hangulLVT:
    case Kind::hangulT:
      return after == Kind::hangulT;
    default:
      return false;
  }
}

// Walks the text cluster by cluster.
class ClusterScanner {
 public:
  explicit ClusterScanner(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ >= text_.size(); }

  // Advances past one cluster.
  void next() {
    Kind previous = kindAtAndAdvance();
    bool pictographicRun = previous == Kind::pictographic;
    std::size_t regionalCount = previous == Kind::regionalIndicator ? 1 : 0;
    while (!atEnd()) {
      std::size_t lookahead = pos_;
      const Kind current = kindOf(decodeAt(text_, lookahead));
      if (!joins(previous, current, pictographicRun, regionalCount)) {
        return;
      }
      pos_ = lookahead;
      if (current == Kind::regionalIndicator) {
        ++regionalCount;
      }
      if (current != Kind::extend && current != Kind::zwj) {
        pictographicRun = current == Kind::pictographic;
      }
      previous = current;
    }
  }

  std::size_t position() const { return pos_; }

 private:
  Kind kindAtAndAdvance() { return kindOf(decodeAt(text_, pos_)); }

  static bool joins(Kind previous, Kind current, bool pictographicRun, std::size_t regionalCount) {
    if (previous == Kind::cr) {
      return current == Kind::lf;
    }
    if (previous == Kind::lf || previous == Kind::control) {
      return false;
    }
    if (current == Kind::cr || current == Kind::lf || current == Kind::control) {
      return false;
    }
    if (hangulJoins(previous, current)) {
      return true;
    }
    if (current == Kind::extend || current == Kind::zwj) {
      return true;
    }
    if (previous == Kind::zwj && current == Kind::pictographic) {
      return pictographicRun;
    }
    if (previous == Kind::regionalIndicator && current == Kind::regionalIndicator) {
      return regionalCount % 2 == 1;
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::size_t characterCount(std::string_view utf8) {
  std::size_t count = 0;
  for (ClusterScanner scanner(utf8); !scanner.atEnd(); scanner.next()) {
    ++count;
  }
  return count;
}

std::string_view characterPrefix(std::string_view utf8, std::size_t count) {
  ClusterScanner scanner(utf8);
  for (std::size_t i = 0; i < count && !scanner.atEnd(); ++i) {
    scanner.next();
  }
  return utf8.substr(0, scanner.position());
}

}  // namespace kestrune
